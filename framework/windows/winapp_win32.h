#pragma once
// The application object with its main loop, menus, and the icon in the
// taskbar's notification area.

#include <windows.h>
#include <shellapi.h>
#include <stdint.h>

#include "framework/text/strings.h"
#include "framework/text/unicode.h"

// The one object of a program that runs a main window of its own: it receives
// the framework's events and runs the main loop, whose accelerators follow the
// active window.
class APPLICATION
{
public:
    enum : int
    {
        APPLICATION_OPEN = 1,   // sent by Run before the loop starts
    };

    APPLICATION(int32_t value1 = 0, int32_t value2 = 0);
    virtual ~APPLICATION();
    APPLICATION(const APPLICATION&) = delete;
    APPLICATION& operator=(const APPLICATION&) = delete;

    // The program's event handler; the default only reports that it is missing.
    virtual LRESULT Message(int event, WPARAM wParam, LPARAM lParam, LPARAM extra);

    // The application's accelerator table (resource module) serves the
    // windows of windowClass (code page 1252).
    void SetAccelerators(int32_t idAccelerator, const char* windowClass);
    // Until WM_QUIT; answers 0.
    int Run();

    static APPLICATION* Current() { return pCurrentInstance; }
    static APPLICATION* pCurrentInstance;

protected:
    int32_t Value1;
    int32_t Value2;
    int32_t Reserved1;
    int32_t Reserved2;
    WSTRING AcceleratorClass;
    int32_t IdAccelerator;

private:
    HACCEL ChooseAccelerators(HWND active, HACCEL own);
    // The loop with the application's table, destroyed when it ends.
    void RunLoop();
};

namespace TARNIAPP
{
    // The plain loop: accelerators of idAccelerator (0: none) for window only.
    void MainDispatchLoop(HWND window, int idAccelerator);
}

// A menu of a window (borrowed) or of the resources (owned, destroyed with
// this object).
class MENU
{
public:
    // The module that stands for the resource module.
    static HMODULE const RESOURCEMODULE;

    explicit MENU(HWND window);
    MENU(int resourceId, HMODULE module, HWND owner = 0);
    MENU(HMENU menu, HWND owner, bool owned);
    ~MENU();
    MENU(const MENU&) = delete;
    MENU& operator=(const MENU&) = delete;

    HMENU Handle() const { return hMenu; }

    // Deletes the item at position when it is a separator; anything else is
    // reported unless noWarning, and stays.
    void DeleteMenuItemSeparator(int position, bool noWarning);
    bool DeleteItem(int item, bool byPosition);
    // Up to 256 characters; by id also inside submenus. Empty when missing.
    WSTRING GetMenuItemText(int item, bool byPosition);
    // The command id of the first item, depth-first, whose text without its
    // accelerator part, "&" markers and trailing blanks and dots, or whose
    // text before the tab, equals name (code page 1252, case ignored); -1
    // when none does. Submenu entries are searched, never answered.
    int GetMenuIdFromName(const char* name);
    bool CheckItem(int id, bool check);
    bool EnableItem(int id, bool enable);
    // The menu or submenu that holds id itself; null when none does.
    HMENU FindSubMenu(int id);
    int ItemId(int position);
    int ItemCount();

private:
    int Owned;
    HMENU hMenu;
    HWND Owner;
};

// The shell's Shell_NotifyIconA, or a stand-in of the tests.
typedef BOOL(WINAPI* NOTIFYICONFUNCTION)(DWORD message, NOTIFYICONDATAA* data);

// An icon in the notification area with a tool tip and balloons; put back
// when the shell has lost it. Callback message WM__NOTIFYICON to the owner.
class TASKBARICON
{
public:
    TASKBARICON(HWND owner, UINT iconId, int iconResourceId, const char* tooltip);
    ~TASKBARICON();
    TASKBARICON(const TASKBARICON&) = delete;
    TASKBARICON& operator=(const TASKBARICON&) = delete;

    bool Add();
    // keepData: owner, ids and tool tip stay for a later Add.
    bool Remove(bool keepData);
    // "&" shows as itself: it is sent as "&&&"; 63 characters at most.
    bool SetTooltip(const char* text);
    // timeout -1: 10 seconds. flags: the NIIF_ info flags.
    bool SetBalloon(DWORD flags, const char* title, const char* text, int timeout);
    bool SetIcon(int iconResourceId);
    bool IsRunning() const { return Running != 0; }
    const STRING& GetTooltip() const { return Tooltip; }

    // Tests only: shell calls go to hook; null puts Shell_NotifyIconA back.
    // Answers the previous function.
    static NOTIFYICONFUNCTION SetShellFunction(NOTIFYICONFUNCTION hook);

    // Structure sizes sent with the calls.
    static const DWORD LARGESIZE = 904;
    static const DWORD SMALLSIZE;

private:
    bool PutBack(bool force);
    bool Recreate(bool force);
    HICON LoadSmallIcon(int iconResourceId);

    int Running;
    HWND Owner;
    UINT IconId;
    uint16_t IconResourceId;
    STRING Tooltip;
    int Version;
    int Guard;
};
