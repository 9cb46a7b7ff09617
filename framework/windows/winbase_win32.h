#pragma once
// Framework windows: one object per window, found from the handle through
// GWLP_USERDATA; every message of the window reaches a virtual operation of
// the object. A window the object created is destroyed with it; one attached
// to an existing handle is left alone.

#include <windows.h>
#include <stdint.h>

#include "framework/containers/stringarray.h"
#include "framework/text/strings.h"
#include "framework/text/unicode.h"
#include "framework/windows/winkeys_win32.h"

// Sent by systems newer than the headers this is built for.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif

// The framework's own messages.
enum : UINT
{
    WM__NOTIFYICON = 0x4F0,       // notification-icon callback
    WM__ENDMODAL = 0x4F1,         // ends a modal dialog; wParam = result
    WM__APPMESSAGE = 0x4F9,       // for the application object
    WM__QUERYID = 0x4FA,          // wParam: int32_t* filled with the window's id; result 1
    WM__QUERYACCELERATORS = 0x4FB,// wParam: HACCEL* filled by GetAccelerators
    WM__DEFERREDCREATE = 0x501,   // posted by a new window to itself: runs OnCreate
};

class BASEWINDOW
{
public:
    // The id of a window that has to be asked for it (BASEWINDOW::Init).
    static const int32_t IDUNKNOWN = 0x7D000000;

    BASEWINDOW();
    BASEWINDOW(const BASEWINDOW& other);
    BASEWINDOW& operator=(const BASEWINDOW&) = delete;

    virtual LRESULT WinProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual HACCEL GetAccelerators();
    virtual ~BASEWINDOW();

    // Registers the class and creates the window; true when a window exists.
    // A null className takes "AppWindow<n>", n counting such windows.
    bool Create(DWORD style, const char* title, int x, int y, int width, int height, HWND parent, int id,
                int menuId, const char* className, HCURSOR cursor);
    // A failed registration (the class exists already) is not reported.
    static bool RegisterWindowClass(const char* className, UINT style, WNDPROC procedure, HINSTANCE instance,
                                    int iconId, HCURSOR cursor);
    static LRESULT CALLBACK ClassWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The dialog procedure of framework dialogs, so that Init asks them too.
    static void SetDialogProcedure(DLGPROC procedure);

    // A window of this process run by the framework's window or dialog procedure.
    static bool IsFrameworkWindow(HWND window);
    // A key typed into a plain control reaches no framework procedure and so no
    // hot-key filter: the message loops offer it here.
    static void OfferKeyToHotKeys(const MSG& message);
    // The id of a framework window of this process, asked with WM__QUERYID;
    // 0 for any other window.
    static int32_t Init(HWND window);
    int32_t GetId();
    HWND Hwnd() const { return hWnd; }
    // The hook sees every message first; its result is OR-ed into the answer.
    WNDPROC SetHook(WNDPROC hook);
    WNDPROC GetHook() const { return pHook; }

protected:
    void Attach(HWND window);

    HWND hWnd;
    int32_t Id;
    WNDPROC pHook;
};

class WINDOW : public BASEWINDOW
{
public:
    WINDOW();
    explicit WINDOW(HWND window);   // attached: never destroyed by this object
    WINDOW(const WINDOW& other);    // attached as well
    WINDOW(DWORD style, const char* title, int x, int y, int width, int height, HWND parent = 0, int id = 0,
           int menuId = 0, const char* className = 0, HCURSOR cursor = 0);

    LRESULT WinProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    HACCEL GetAccelerators() override;
    ~WINDOW() override;

    // Handlers: not 0 means handled (the value goes back to the system), 0
    // hands the message on to DefWindowProcA.
    virtual int OnCreate();
    virtual int OnActivate();
    virtual int OnDeactivate();
    virtual int OnMenuCommand(int id);
    virtual int OnButton(int id);
    virtual LRESULT OnControlNotify(int code, HWND control, LPARAM extra);
    virtual int OnScroll(int code, HWND control, int position);
    virtual int OnKey(const KEYEVENT& event);
    virtual int OnMenuLoop(UINT message, WPARAM wParam);
    virtual LRESULT OnImeMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual int OnTimer(UINT_PTR id);
    virtual int OnMove();
    virtual int OnSize();
    virtual int OnSizing(RECT* rect, int edges);   // edges: left 1, right 2, top 4, bottom 8
    virtual int OnDpiChanged(int newScale, RECT* suggested);
    virtual int OnThemeChanged();
    virtual int OnInputLanguage(LPARAM lParam, int languageId, const char* layoutName);
    virtual int OnEraseBackground();
    virtual int OnShow();
    virtual int OnHide();
    virtual int OnSetFocus();
    virtual int OnKillFocus();
    virtual int OnMaximize();
    virtual int OnMinimize();
    virtual int OnRestore();
    virtual int OnMouse(UINT message, int x, int y, WPARAM extra);
    virtual int OnDropFiles(int count, STRINGARRAY& names);
    virtual int OnDropFilesWide(int count, WSTRINGARRAY& names);
    virtual int Reserved31();
    virtual LRESULT OnNcMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnMenuBarMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnCtlColor(UINT message, HWND control, HDC dc);   // the brush
    virtual LRESULT OnOwnerDraw(UINT message, WPARAM wParam, LPARAM lParam);
    virtual int OnClose();
    virtual int OnDestroy();
    virtual LRESULT OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT Reserved39(UINT message, WPARAM wParam, LPARAM lParam);
    virtual int OnPaint();
    virtual int OnHelp();
    virtual int OnEndSession();
    virtual bool IsMaximized();

    // DPI: a percentage, 100 at 96 dpi. The override, while set, wins; then
    // the scale this window was laid out for; then the scale of its monitor.
    int GetDpiScale();
    int Scaled(int length);                 // length * scale / 100
    static int DpiScaleOf(HWND window);     // of the window's top-level ancestor
    static int DpiScaleOfRect(const RECT& rect);

    // Message pumping while busy.
    static int WinProcessMessages(int count);   // the count not used
    static void Sleep(int milliseconds);
    static bool WinWaitForSingleObject(HANDLE handle, int timeout);   // true when signalled

    // Placement.
    static RECT GetDesktopRect();
    // Centres on a visible owner (else the desktop); a window that is not a
    // child stays inside the desktop.
    void CenterOnOwner(HWND owner);
    bool IsOnScreen();   // visible and overlapping the desktop
    // HKEY_CURRENT_USER\Software\Tarni\<appKey>: valueName holds the
    // rectangle (16 bytes), valueName + "Maximized" "1" or "0".
    void StoreWindowPos(const char* appKey, const char* valueName);
    void RestoreWindowPos(const char* appKey, const char* valueName, bool moveOnly);

    // Helpers on the window.
    void Show(bool show);
    int Animate(DWORD flags, DWORD time, bool show);       // 1
    int SetTransparency(int alpha, COLORREF colorKey);     // 0 without layered windows
    bool SetTopmost(bool on);
    // No window given: -1 to the bottom, else to the top; after a window
    // the direction must be +1.
    bool SetZOrder(int direction, HWND after = 0);
    bool Move(int x, int y, int width, int height);        // -1 keeps the width or height
    void AddExStyle(LONG bits);
    void RemoveExStyle(LONG bits);
    int FlushRedraw();
    int BringToForeground();
    bool SetText(const char* text);                        // code page 1252
    bool ApplyDialogTheme();                               // true when the texture was applied
    UINT_PTR SetTimer(UINT_PTR id, UINT milliseconds);
    bool KillTimer(UINT_PTR id);
    HDC BeginPaint(PAINTSTRUCT& paint);
    void EndPaint(PAINTSTRUCT& paint);
    HDC GetDC();
    int ReleaseDC(HDC dc);
    bool Enable(bool on);
    bool IsEnabled();
    bool Invalidate(bool erase = true);
    bool Update();
    HWND SetFocus();
    bool HasFocus();
    STRING ClassName();
    bool IsWindow();
    bool IsChild(HWND window);
    bool IsIconic();

protected:
    // Destroys the window when this object created it. A class that adds
    // virtual operations called on WM_DESTROY calls it from its own destructor,
    // while those operations still exist.
    void DestroyOwnedWindow();

    uint8_t AutoDestroy;
    int16_t DpiScale;

private:
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(LPARAM lParam);
    LRESULT OnScrollMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnDropMessage(HDROP drop);
    LRESULT OnDpiChangedMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnDpiScaledSize(WPARAM wParam, LPARAM lParam);
    void RefreshDarkMode();
};

// A plain child window of the framework.
class CHILDWINDOW : public WINDOW
{
public:
    CHILDWINDOW(HWND parent, int id, int x, int y, int width, int height, DWORD style = 0,
                const char* className = 0);
};
