#include "framework/windows/winapp_win32.h"

#include <stddef.h>
#include <string.h>
#include <wchar.h>

#include <memory>

#include "framework/app/logit.h"
#include "framework/app/resources.h"
#include "framework/os/winhandle_win32.h"
#include "framework/windows/helpfile.h"
#include "framework/windows/winbase_win32.h"

namespace
{
    HMODULE ResModule() { return static_cast<HMODULE>(TARNIAPP::ResourceModule()); }

    bool IsKeyboardMessage(UINT message) { return message >= WM_KEYFIRST && message <= 0x109; }

    // Room for every version of the structure: the shell reads only what the
    // size field names, and the rest stays zero.
    union NOTIFYBUFFER
    {
        NOTIFYICONDATAA Data;
        unsigned char Bytes[TASKBARICON::LARGESIZE];
    };
    static_assert(sizeof(NOTIFYICONDATAA) <= TASKBARICON::LARGESIZE, "notify buffer too small");

    SYSTEMFUNCTION<decltype(Shell_NotifyIconA)> gShellNotifyIcon("shell32.dll", "Shell_NotifyIconA");

    BOOL WINAPI ShellNotifyIcon(DWORD message, NOTIFYICONDATAA* data)
    {
        auto notifyIcon = gShellNotifyIcon.Get();
        return notifyIcon && notifyIcon(message, data);
    }

    NOTIFYICONFUNCTION gNotifyIcon = ShellNotifyIcon;

    // The menu's text of the item at position, whole (not cut to 256).
    WSTRING ItemText(HMENU menu, int position)
    {
        int length = GetMenuStringW(menu, (UINT)position, 0, 0, MF_BYPOSITION);
        if (length <= 0)
            return WSTRING();
        std::unique_ptr<wchar_t[]> buffer(new wchar_t[(size_t)length + 1]());
        if (GetMenuStringW(menu, (UINT)position, buffer.get(), length + 1, MF_BYPOSITION) <= 0)
            return WSTRING();
        return WSTRING(reinterpret_cast<const char16_t*>(buffer.get()));
    }

    bool NameMatches(const WSTRING& itemText, const WSTRING& name)
    {
        const char16_t* text = itemText.Text();
        const char16_t* tab = text;
        while (*tab && *tab != u'\t')
            tab++;
        WSTRING beforeTab(text, (int)(tab - text));
        WSTRING cleaned;
        for (const char16_t* c = text; c < tab; c++)
        {
            if (*c != u'&')
                cleaned.Append(*c);
        }
        int length = cleaned.Length();
        const char16_t* chars = cleaned.Text();
        while (length > 0 && (chars[length - 1] == u' ' || chars[length - 1] == u'\t' || chars[length - 1] == u'.'))
            length--;
        WSTRING trimmed(chars, length);
        return WSTRING::Compare(trimmed.Text(), name.Text()) == 0 || WSTRING::Compare(beforeTab.Text(), name.Text()) == 0;
    }

    int FindIdByName(HMENU menu, const WSTRING& name)
    {
        int count = GetMenuItemCount(menu);
        for (int i = 0; i < count; i++)
        {
            HMENU sub = GetSubMenu(menu, i);
            if (sub)
            {
                int found = FindIdByName(sub, name);
                if (found != -1)
                    return found;
            }
            else if (NameMatches(ItemText(menu, i), name))
                return (int)GetMenuItemID(menu, i);
        }
        return -1;
    }

    HMENU FindHolder(HMENU menu, int id)
    {
        int count = GetMenuItemCount(menu);
        for (int i = 0; i < count; i++)
        {
            HMENU sub = GetSubMenu(menu, i);
            if (sub)
            {
                HMENU found = FindHolder(sub, id);
                if (found)
                    return found;
            }
            else if (GetMenuItemID(menu, i) == (UINT)id)
                return menu;
        }
        return 0;
    }
}

APPLICATION* APPLICATION::pCurrentInstance = 0;

APPLICATION::APPLICATION(int32_t value1, int32_t value2)
    : Value1(value1), Value2(value2), Reserved1(0), Reserved2(0), IdAccelerator(0)
{
    Logit("APPLICATION::APPLICATION\n");
    if (pCurrentInstance)
        AssertHandler(0, "APPLICATION::pCurrentInstance==NULL", __FILE__, __LINE__, 0, 0);
    pCurrentInstance = this;
    Logit("APPLICATION::APPLICATION done\n");
}

APPLICATION::~APPLICATION()
{
    Logit("APPLICATION::~APPLICATION\n");
    if (pCurrentInstance != this)
        AssertHandler(0, "APPLICATION::pCurrentInstance==this", __FILE__, __LINE__, 0, 0);
    pCurrentInstance = 0;
    Logit("APPLICATION::~APPLICATION done\n");
}

LRESULT APPLICATION::Message(int event, WPARAM wParam, LPARAM lParam, LPARAM extra)
{
    AssertHandler(0, "FALSE", __FILE__, __LINE__, 0, 0);
    return 0;
}

void APPLICATION::SetAccelerators(int32_t idAccelerator, const char* windowClass)
{
    if (IdAccelerator != 0 && IdAccelerator != idAccelerator)
        AssertHandler(0, "this->IdAccelerator==0 || this->IdAccelerator==idaccel", __FILE__, __LINE__, 0, 0);
    IdAccelerator = idAccelerator;
    AcceleratorClass = WSTRING(windowClass ? windowClass : "", 1252);
}

HACCEL APPLICATION::ChooseAccelerators(HWND active, HACCEL own)
{
    wchar_t className[129] = L"{no window}";
    if (active)
        GetClassNameW(active, className, 128);
    if (own && wcscmp(className, reinterpret_cast<const wchar_t*>(AcceleratorClass.Text())) == 0)
        return own;
    DWORD process = 0;
    if (!active || !GetWindowThreadProcessId(active, &process) || process != GetCurrentProcessId())
        return 0;
    HACCEL table = 0;
    if (SendMessageA(active, WM__QUERYACCELERATORS, reinterpret_cast<WPARAM>(&table), 0) && table)
        return table;
    return 0;
}

int APPLICATION::Run()
{
    Logit("APPLICATION::Run\n");
    Message(APPLICATION_OPEN, 0, 0, 0);
    Logit("APPLICATION::Run after APPLICATION_OPEN\n");
    RunLoop();
    Logit("APPLICATION::Run done\n");
    return 0;
}

void APPLICATION::RunLoop()
{
    OWNEDACCEL own(IdAccelerator ? LoadAcceleratorsA(ResModule(), MAKEINTRESOURCEA(IdAccelerator)) : 0);
    if (IdAccelerator && !own.Get())
        AssertHandler(0, "haccel_self", __FILE__, __LINE__, 0, 0);
    MSG message;
    // GetMessageA answers 0 for WM_QUIT and -1 when it cannot read at all.
    while (GetMessageA(&message, 0, 0, 0) > 0)
    {
        bool keyboard = IsKeyboardMessage(message.message);
        BASEWINDOW::OfferKeyToHotKeys(message);
        if (keyboard)
        {
            HWND active = GetActiveWindow();
            HACCEL table = ChooseAccelerators(active, own.Get());
            if (table && TranslateAcceleratorA(active, table, &message))
                continue;
        }
        if (message.message == WM__APPMESSAGE)
        {
            Message((int)message.wParam, 0, message.lParam, 0);
            continue;
        }
        HELPFILE* help = HELPFILE::Existing();
        if (keyboard && help && help->PreTranslate(&message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Logit("APPLICATION::Run after main loop\n");
}

namespace TARNIAPP
{

void MainDispatchLoop(HWND window, int idAccelerator)
{
    Logit("TARNIAPP::MainDispatchLoop\n");
    OWNEDACCEL table(idAccelerator ? LoadAcceleratorsA(ResModule(), MAKEINTRESOURCEA(idAccelerator)) : 0);
    if (idAccelerator && !table.Get())
        AssertHandler(0, "haccel", __FILE__, __LINE__, 0, 0);
    MSG message;
    while (GetMessageA(&message, 0, 0, 0) > 0)
    {
        BASEWINDOW::OfferKeyToHotKeys(message);
        if (table.Get() && GetActiveWindow() == window && TranslateAcceleratorA(window, table.Get(), &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Logit("TARNIAPP::MainDispatchLoop done\n");
}

}

HMODULE const MENU::RESOURCEMODULE = reinterpret_cast<HMODULE>(static_cast<INT_PTR>(-1));

MENU::MENU(HWND window) : Owned(0), hMenu(window ? GetMenu(window) : 0), Owner(window)
{
}

MENU::MENU(int resourceId, HMODULE module, HWND owner) : Owned(1), hMenu(0), Owner(owner)
{
    if (module == RESOURCEMODULE)
        module = ResModule();
    hMenu = LoadMenuA(module, MAKEINTRESOURCEA(resourceId));
}

MENU::MENU(HMENU menu, HWND owner, bool owned) : Owned(owned ? 1 : 0), hMenu(menu), Owner(owner)
{
}

MENU::~MENU()
{
    if (Owned && hMenu)
        DestroyMenu(hMenu);
}

void MENU::DeleteMenuItemSeparator(int position, bool noWarning)
{
    Logit("MENU::DeleteMenuItemSeparator at pos=%d\n", position);
    MENUITEMINFOA info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE;
    bool separator = hMenu && GetMenuItemInfoA(hMenu, (UINT)position, TRUE, &info) && (info.fType & MFT_SEPARATOR);
    if (separator)
        DeleteMenu(hMenu, (UINT)position, MF_BYPOSITION);
    else if (!noWarning)
        AssertHandler(0, "nowarn || item_is_separator", __FILE__, __LINE__, 0, 0);
    if (Owner)
        DrawMenuBar(Owner);
    Logit("MENU::DeleteMenuItemSeparator at pos=%d done\n", position);
}

bool MENU::DeleteItem(int item, bool byPosition)
{
    bool done = hMenu && DeleteMenu(hMenu, (UINT)item, byPosition ? MF_BYPOSITION : MF_BYCOMMAND);
    if (Owner)
        DrawMenuBar(Owner);
    return done;
}

WSTRING MENU::GetMenuItemText(int item, bool byPosition)
{
    Logit("MENU::GetMenuItemText %d (ispos=%d)\n", item, byPosition ? 1 : 0);
    HMENU menu = byPosition ? hMenu : FindSubMenu(item);
    wchar_t text[257] = L"";
    if (menu && GetMenuStringW(menu, (UINT)item, text, 257, byPosition ? MF_BYPOSITION : MF_BYCOMMAND) > 0)
        return WSTRING(reinterpret_cast<const char16_t*>(text));
    return WSTRING();
}

int MENU::GetMenuIdFromName(const char* name)
{
    if (!hMenu || !name)
        return -1;
    return FindIdByName(hMenu, WSTRING(name, 1252));
}

bool MENU::CheckItem(int id, bool check)
{
    return hMenu && CheckMenuItem(hMenu, (UINT)id, MF_BYCOMMAND | (check ? MF_CHECKED : MF_UNCHECKED)) != (DWORD)-1;
}

bool MENU::EnableItem(int id, bool enable)
{
    return hMenu && EnableMenuItem(hMenu, (UINT)id, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED)) != -1;
}

HMENU MENU::FindSubMenu(int id) { return hMenu ? FindHolder(hMenu, id) : 0; }

int MENU::ItemId(int position) { return hMenu ? (int)GetMenuItemID(hMenu, position) : -1; }

int MENU::ItemCount() { return hMenu ? GetMenuItemCount(hMenu) : 0; }

// The 32-bit build's version-3 size is 504; the 64-bit one's is larger.
const DWORD TASKBARICON::SMALLSIZE = offsetof(NOTIFYICONDATAA, hBalloonIcon);
static_assert(sizeof(void*) == 8 || offsetof(NOTIFYICONDATAA, hBalloonIcon) == 504, "version-3 size");

TASKBARICON::TASKBARICON(HWND owner, UINT iconId, int iconResourceId, const char* tooltip)
    : Running(0), Owner(owner), IconId(iconId), IconResourceId((uint16_t)iconResourceId), Tooltip(tooltip ? tooltip : ""),
      Version(0), Guard(0)
{
    Add();
}

TASKBARICON::~TASKBARICON()
{
    if (Running)
        Remove(true);
}

NOTIFYICONFUNCTION TASKBARICON::SetShellFunction(NOTIFYICONFUNCTION hook)
{
    NOTIFYICONFUNCTION previous = gNotifyIcon;
    gNotifyIcon = hook ? hook : ShellNotifyIcon;
    return previous;
}

HICON TASKBARICON::LoadSmallIcon(int iconResourceId)
{
    int size = GetSystemMetrics(SM_CXSMICON);
    HICON icon = 0;
    if (ResModule())
        icon = (HICON)LoadImageA(ResModule(), MAKEINTRESOURCEA(iconResourceId), IMAGE_ICON, size, size, 0);
    if (!icon)
        icon = (HICON)LoadImageA(GetModuleHandleA(0), MAKEINTRESOURCEA(iconResourceId), IMAGE_ICON, size, size, 0);
    if (!icon)
        AssertHandler(0, "nof.hIcon", __FILE__, __LINE__, 0, 0);
    return icon;
}

bool TASKBARICON::Add()
{
    NOTIFYBUFFER nof;
    memset(&nof, 0, sizeof(nof));
    nof.Data.cbSize = LARGESIZE;
    nof.Data.hWnd = Owner;
    nof.Data.uID = IconId;
    nof.Data.uFlags = NIF_MESSAGE;
    nof.Data.uCallbackMessage = WM__NOTIFYICON;
    OWNEDICON icon(IconResourceId ? LoadSmallIcon(IconResourceId) : 0);
    if (icon.Get())
    {
        nof.Data.uFlags |= NIF_ICON;
        nof.Data.hIcon = icon.Get();
    }
    if (Tooltip.NotEmpty())
    {
        nof.Data.uFlags |= NIF_TIP;
        FORMAT::Copy(nof.Data.szTip, Tooltip.Text(), sizeof(nof.Data.szTip));
    }
    Logit("TASKBARICON::TASKBARICON about to Shell_NotifyIcon(NIM_ADD, &nof)\n");
    Logit("TASKBARICON::TASKBARICON                (%p, %d, %s)\n", (void*)Owner, (int)IconId, Tooltip.Text());
    Running = gNotifyIcon(NIM_ADD, &nof.Data) ? 1 : 0;
    if (!Running)
        Running = gNotifyIcon(NIM_ADD, &nof.Data) ? 1 : 0;
    if (!Running)
        Logit("TASKBARICON::TASKBARICON UpAndRunning= %d %dL\n", Running, (int)GetLastError());
    else
        Version = 5;
    return Running != 0;
}

bool TASKBARICON::Remove(bool keepData)
{
    NOTIFYBUFFER nof;
    memset(&nof, 0, sizeof(nof));
    nof.Data.cbSize = SMALLSIZE;
    nof.Data.hWnd = Owner;
    nof.Data.uID = IconId;
    bool ok = gNotifyIcon(NIM_DELETE, &nof.Data) != FALSE;
    Running = 0;
    if (!keepData)
    {
        Owner = 0;
        IconId = 0;
        IconResourceId = 0;
        Tooltip = STRING();
    }
    return ok;
}

bool TASKBARICON::SetTooltip(const char* text)
{
    Tooltip = STRING(text ? text : "");
    STRING shown(Tooltip);
    shown.Replace("&", "&&&");
    shown.Truncate(63);
    NOTIFYBUFFER nof;
    memset(&nof, 0, sizeof(nof));
    nof.Data.cbSize = SMALLSIZE;
    nof.Data.hWnd = Owner;
    nof.Data.uID = IconId;
    nof.Data.uFlags = NIF_TIP;
    FORMAT::Copy(nof.Data.szTip, shown.Text(), sizeof(nof.Data.szTip));
    Logit("TASKBARICON::SetTooltip about to Shell_NotifyIcon(NIM_MODIFY, &nof)\n");
    bool ok = gNotifyIcon(NIM_MODIFY, &nof.Data) != FALSE;
    Logit("TASKBARICON::SetTooltip returned ok= %d\n", ok ? 1 : 0);
    if (!ok)
        ok = Recreate(false);
    return ok;
}

bool TASKBARICON::SetBalloon(DWORD flags, const char* title, const char* text, int timeout)
{
    NOTIFYBUFFER nof;
    memset(&nof, 0, sizeof(nof));
    nof.Data.cbSize = LARGESIZE;
    nof.Data.hWnd = Owner;
    nof.Data.uID = IconId;
    nof.Data.uFlags = NIF_INFO;
    FORMAT::Copy(nof.Data.szInfo, text ? text : "", sizeof(nof.Data.szInfo));
    FORMAT::Copy(nof.Data.szInfoTitle, title ? title : "", sizeof(nof.Data.szInfoTitle));
    nof.Data.uTimeout = timeout == -1 ? 10 : (UINT)timeout;
    nof.Data.dwInfoFlags = flags;
    Logit("TASKBARICON::SetBalloon about to Shell_NotifyIcon(NIM_MODIFY, &nof)\n");
    bool ok = gNotifyIcon(NIM_MODIFY, &nof.Data) != FALSE;
    Logit("TASKBARICON::SetBalloon returned ok= %d\n", ok ? 1 : 0);
    if (!ok)
        Recreate(true);
    return ok;
}

bool TASKBARICON::SetIcon(int iconResourceId)
{
    OWNEDICON icon(LoadSmallIcon(iconResourceId));
    IconResourceId = (uint16_t)iconResourceId;
    NOTIFYBUFFER nof;
    memset(&nof, 0, sizeof(nof));
    nof.Data.cbSize = SMALLSIZE;
    nof.Data.hWnd = Owner;
    nof.Data.uID = IconId;
    nof.Data.uFlags = NIF_ICON;
    nof.Data.hIcon = icon.Get();
    Logit("TASKBARICON::SetIcon about to Shell_NotifyIcon(NIM_MODIFY, &nof)\n");
    bool ok = gNotifyIcon(NIM_MODIFY, &nof.Data) != FALSE;
    Logit("TASKBARICON::SetIcon returned ok= %d\n", ok ? 1 : 0);
    if (!ok)
        Recreate(false);
    return ok;
}

// While the icon is being put back, failures inside do not start another round.
bool TASKBARICON::Recreate(bool force)
{
    if (Guard)
        return false;
    Guard = 1;
    bool ok = PutBack(force);
    Guard = 0;
    return ok;
}

bool TASKBARICON::PutBack(bool force)
{
    STRING tooltip(Tooltip);
    if (!force && SetTooltip(tooltip.Text()))
        return true;
    Remove(true);
    Add();
    return SetTooltip(tooltip.Text());
}
