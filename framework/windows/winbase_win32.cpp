#include "framework/windows/winbase_win32.h"

#include <shellapi.h>
#include <commctrl.h>
#include <string.h>

#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "framework/os/winhandle_win32.h"
#include "framework/windows/helpfile.h"

namespace
{
    LIBRARYFUNCTION gGetDpiForMonitor("shcore.dll", "GetDpiForMonitor");
    LIBRARYFUNCTION gEnableThemeDialogTexture("uxtheme.dll", "EnableThemeDialogTexture");
    SYSTEMFUNCTION<decltype(ShellExecuteW)> gShellExecuteW("shell32.dll", "ShellExecuteW");
    SYSTEMFUNCTION<decltype(DragQueryFileW)> gDragQueryFile("shell32.dll", "DragQueryFileW");
    SYSTEMFUNCTION<decltype(DragFinish)> gDragFinish("shell32.dll", "DragFinish");
    int gAppWindowCounter = 0;
    int gScaleOverride = -1;
    DLGPROC gDialogProcedure = 0;

    const DWORD ChildStyleBits = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    const DWORD TitleBarBits = 0x00CF0000;   // caption, system menu, sizing frame, minimise or maximise box

    HINSTANCE ResourceModule()
    {
        return static_cast<HINSTANCE>(TARNIAPP::ResourceModule());
    }

    class DISPLAYDC
    {
    public:
        DISPLAYDC() : Dc(CreateDCW(L"DISPLAY", 0, 0, 0)) {}
        ~DISPLAYDC()
        {
            if (Dc)
                DeleteDC(Dc);
        }
        DISPLAYDC(const DISPLAYDC&) = delete;
        DISPLAYDC& operator=(const DISPLAYDC&) = delete;
        HDC Get() const { return Dc; }

    private:
        HDC Dc;
    };

    void* User32Function(const char* name)
    {
        HMODULE user32 = GetModuleHandleA("user32.dll");
        return user32 ? reinterpret_cast<void*>(GetProcAddress(user32, name)) : 0;
    }

    HWND TopLevel(HWND window)
    {
        while (window && (GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD))
            window = GetParent(window);
        return window;
    }

    STRING ClassNameOf(HWND window)
    {
        char name[256] = "";
        if (window)
            GetClassNameA(window, name, sizeof(name));
        return STRING(name);
    }

    bool IsPushButton(HWND control)
    {
        STRING name = ClassNameOf(control);
        if (STRING::Compare(name.Text(), "QuvUsrButton") == 0)
            return true;
        if (STRING::Compare(name.Text(), "Button") != 0)
            return false;
        LONG_PTR type = GetWindowLongPtrA(control, GWL_STYLE) & BS_TYPEMASK;
        return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_USERBUTTON;
    }

    void PumpMessages()
    {
        WINDOW::WinProcessMessages(42);
    }

    // Programs with windows pump messages while OSYS waits for a program, and
    // their system colours follow dark mode.
    struct FRAMEWORKHOOKS
    {
        FRAMEWORKHOOKS()
        {
            OSYS::SetMessagePumpHook(PumpMessages);
            OSYS::SetDarkModeHook(WINTHEME::IsDarkMode);
        }
    } gFrameworkHooks;

    int SizingEdges(WPARAM edge)
    {
        switch (edge)
        {
        case WMSZ_LEFT: return 1;
        case WMSZ_RIGHT: return 2;
        case WMSZ_TOP: return 4;
        case WMSZ_TOPLEFT: return 5;
        case WMSZ_TOPRIGHT: return 6;
        case WMSZ_BOTTOM: return 8;
        case WMSZ_BOTTOMLEFT: return 9;
        case WMSZ_BOTTOMRIGHT: return 10;
        default: return 0;
        }
    }
}

BASEWINDOW::BASEWINDOW() : hWnd(0), Id(-1), pHook(0) {}

BASEWINDOW::BASEWINDOW(const BASEWINDOW& other) : hWnd(other.hWnd), Id(other.Id), pHook(other.pHook) {}

BASEWINDOW::~BASEWINDOW()
{
    hWnd = 0;
    Id = -1;
}

HACCEL BASEWINDOW::GetAccelerators()
{
    return 0;
}

void BASEWINDOW::Attach(HWND window)
{
    hWnd = window;
    pHook = 0;
    if (!window)
        Id = -1;
    else if (GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD)
        Id = (int32_t)GetWindowLongA(window, GWL_ID);
    else
        Id = IDUNKNOWN;
}

WNDPROC BASEWINDOW::SetHook(WNDPROC hook)
{
    WNDPROC previous = pHook;
    pHook = hook;
    return previous;
}

void BASEWINDOW::SetDialogProcedure(DLGPROC procedure)
{
    gDialogProcedure = procedure;
}

bool BASEWINDOW::RegisterWindowClass(const char* className, UINT style, WNDPROC procedure, HINSTANCE instance,
                                     int iconId, HCURSOR cursor)
{
    HINSTANCE resources = ResourceModule();
    WNDCLASSA wc = {};
    wc.style = style;
    wc.lpfnWndProc = procedure;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 4;
    wc.hInstance = instance ? instance : resources;
    wc.hIcon = LoadIconA(resources, MAKEINTRESOURCEA(iconId));
    if (!wc.hIcon)
        wc.hIcon = LoadIconA(GetModuleHandleA(0), MAKEINTRESOURCEA(1));
    if (!wc.hIcon)
        wc.hIcon = LoadIconA(resources, MAKEINTRESOURCEA(1));
    if (!wc.hIcon)
        wc.hIcon = LoadIconA(resources, IDI_APPLICATION);
    wc.hCursor = cursor ? cursor : LoadCursorA(0, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    wc.lpszMenuName = 0;
    wc.lpszClassName = className;
    return RegisterClassA(&wc) != 0;
}

bool BASEWINDOW::Create(DWORD style, const char* title, int x, int y, int width, int height, HWND parent, int id,
                        int menuId, const char* className, HCURSOR cursor)
{
    hWnd = 0;
    pHook = 0;
    Id = id;
    STRING name = className ? STRING(className) : STRING::Sprintf("AppWindow%d", gAppWindowCounter++);
    RegisterWindowClass(name.Text(), CS_OWNDC, ClassWindowProc, 0, id, cursor);

    HINSTANCE resources = ResourceModule();
    OWNEDMENU menu((style & WS_CHILD) ? 0 : LoadMenuA(resources, MAKEINTRESOURCEA(menuId)));
    HMENU menuOrId = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)) : menu.Get();
    HWND window = CreateWindowExA(0, name.Text(), STRING::NullGuard(title), style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                  x, y, width, height, parent, menuOrId, resources, this);
    if (!window)
        return false;
    menu.Release();
    hWnd = window;

    RECT client = {};
    GetClientRect(window, &client);
    if ((width == CW_USEDEFAULT && client.right - client.left == 0) ||
        (height == CW_USEDEFAULT && client.bottom - client.top == 0))
        MoveWindow(window, 32, 32, 600, 400, TRUE);
    return true;
}

bool BASEWINDOW::IsFrameworkWindow(HWND window)
{
    DWORD pid = 0;
    if (window)
        GetWindowThreadProcessId(window, &pid);
    if (!window || pid != GetCurrentProcessId())
        return false;
    return GetWindowLongPtrA(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&BASEWINDOW::ClassWindowProc) ||
           (gDialogProcedure &&
            GetWindowLongPtrA(window, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(gDialogProcedure));
}

void BASEWINDOW::OfferKeyToHotKeys(const MSG& message)
{
    // A framework window's procedure has offered it already.
    if (message.message == WM_KEYDOWN && message.hwnd && !IsFrameworkWindow(message.hwnd))
        DiagnosticHotKeys(message.message, message.wParam, message.lParam);
}

int32_t BASEWINDOW::Init(HWND window)
{
    if (!IsFrameworkWindow(window))
    {
        Logit("BASEWINDOW::Init Not our process, WM__QUERYID was not sent\n");
        return 0;
    }
    int32_t id = -1;
    if (!SendMessageA(window, WM__QUERYID, reinterpret_cast<WPARAM>(&id), 0))
        return 0;
    return id;
}

int32_t BASEWINDOW::GetId()
{
    return Id == IDUNKNOWN ? Init(hWnd) : Id;
}

LRESULT CALLBACK BASEWINDOW::ClassWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE && lParam)
    {
        BASEWINDOW* created = static_cast<BASEWINDOW*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        if (created)
        {
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
            created->hWnd = window;
        }
    }
    BASEWINDOW* object = reinterpret_cast<BASEWINDOW*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!object)
        return DefWindowProcA(window, message, wParam, lParam);

    LRESULT hooked = object->pHook ? object->pHook(window, message, wParam, lParam) : 0;
    DiagnosticHotKeys(message, wParam, lParam);
    if (message == WM__QUERYID)
    {
        if (!wParam)
            return 0;
        *reinterpret_cast<int32_t*>(wParam) = object->Id;
        return 1;
    }
    LRESULT result = object->WinProc(message, wParam, lParam);
    if (message == WM_DESTROY)
        result = object->WinProc(message, wParam, lParam);
    else if (message == WM_NCDESTROY)
    {
        // The window is gone: the object keeps no handle to it.
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        object->hWnd = 0;
        object->Id = -1;
    }
    return hooked | result;
}

WINDOW::WINDOW() : AutoDestroy(0), DpiScale(-1)
{
    Attach(0);
}

WINDOW::WINDOW(HWND window) : AutoDestroy(0), DpiScale(-1)
{
    Attach(window);
}

WINDOW::WINDOW(const WINDOW& other) : BASEWINDOW(other), AutoDestroy(0), DpiScale(-1) {}

WINDOW::WINDOW(DWORD style, const char* title, int x, int y, int width, int height, HWND parent, int id, int menuId,
               const char* className, HCURSOR cursor)
    : AutoDestroy(0), DpiScale(-1)
{
    Create(style, title, x, y, width, height, parent, id, menuId, className, cursor);
    AutoDestroy = 1;
    if (!(style & WS_CHILD))
        DpiScale = (int16_t)DpiScaleOf(hWnd);
}

WINDOW::~WINDOW()
{
    DestroyOwnedWindow();
}

void WINDOW::DestroyOwnedWindow()
{
    if (AutoDestroy && hWnd && ::IsWindow(hWnd))
    {
        Logit("WINDOW::~WINDOW auto-destroying %s %d\n", ClassNameOf(hWnd).Text(), (int)Id);
        DestroyWindow(hWnd);
    }
}

CHILDWINDOW::CHILDWINDOW(HWND parent, int id, int x, int y, int width, int height, DWORD style,
                         const char* className)
    : WINDOW(style | ChildStyleBits, "", x, y, width, height, parent, id, 0,
             className ? className : "MorvelChildWindow")
{
}

HACCEL WINDOW::GetAccelerators() { return 0; }
int WINDOW::OnCreate() { return 0; }
int WINDOW::OnActivate() { return 0; }
int WINDOW::OnDeactivate() { return 0; }
int WINDOW::OnMenuCommand(int id) { return 0; }
int WINDOW::OnButton(int id) { return 0; }
LRESULT WINDOW::OnControlNotify(int code, HWND control, LPARAM extra) { return 0; }
int WINDOW::OnScroll(int code, HWND control, int position) { return 0; }
int WINDOW::OnKey(const KEYEVENT& event) { return 0; }
int WINDOW::OnMenuLoop(UINT message, WPARAM wParam) { return 0; }
LRESULT WINDOW::OnImeMessage(UINT message, WPARAM wParam, LPARAM lParam) { return 0; }
int WINDOW::OnTimer(UINT_PTR id) { return 0; }
int WINDOW::OnMove() { return 0; }
int WINDOW::OnSize() { return 0; }
int WINDOW::OnSizing(RECT* rect, int edges) { return 0; }
int WINDOW::OnDpiChanged(int newScale, RECT* suggested) { return 0; }
int WINDOW::OnThemeChanged() { return 0; }
int WINDOW::OnInputLanguage(LPARAM lParam, int languageId, const char* layoutName) { return 0; }
int WINDOW::OnEraseBackground() { return 1; }
int WINDOW::OnShow() { return 0; }
int WINDOW::OnHide() { return 0; }
int WINDOW::OnSetFocus() { return 0; }
int WINDOW::OnKillFocus() { return 0; }
int WINDOW::OnMaximize() { return 0; }
int WINDOW::OnMinimize() { return 0; }
int WINDOW::OnRestore() { return 0; }
int WINDOW::OnMouse(UINT message, int x, int y, WPARAM extra) { return 0; }
int WINDOW::OnDropFiles(int count, STRINGARRAY& names) { return 0; }
int WINDOW::OnDropFilesWide(int count, WSTRINGARRAY& names) { return 0; }
int WINDOW::Reserved31() { return 0; }
LRESULT WINDOW::OnNcMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) { return 0; }
LRESULT WINDOW::OnMenuBarMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) { return 0; }
LRESULT WINDOW::OnCtlColor(UINT message, HWND control, HDC dc) { return 0; }
LRESULT WINDOW::OnOwnerDraw(UINT message, WPARAM wParam, LPARAM lParam) { return 0; }
int WINDOW::OnClose() { return 0; }
int WINDOW::OnDestroy() { return 0; }
LRESULT WINDOW::OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam) { return 0; }
LRESULT WINDOW::Reserved39(UINT message, WPARAM wParam, LPARAM lParam) { return 0; }

int WINDOW::OnPaint()
{
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hWnd, &paint);
    if (dc)
    {
        RECT client = {};
        GetClientRect(hWnd, &client);
        HBRUSH brush = CreateSolidBrush(OSYS::GetThemedSysColor(COLOR_BTNSHADOW) & 0xFFFFFF);
        if (brush)
        {
            FillRect(dc, &client, brush);
            DeleteObject(brush);
        }
    }
    ::EndPaint(hWnd, &paint);
    return 1;
}

int WINDOW::OnHelp()
{
    HELPFILE* help = HELPFILE::Existing();
    return help && help->ShowHelpFor(hWnd, GetId()) ? 1 : 0;
}

int WINDOW::OnEndSession()
{
    PostMessageA(hWnd, WM_CLOSE, 0, 0);
    return 0;
}

bool WINDOW::IsMaximized()
{
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    return GetWindowPlacement(hWnd, &placement) && placement.showCmd == SW_SHOWMAXIMIZED;
}

void WINDOW::RefreshDarkMode()
{
    if (!WINTHEME::DarkModeSupported())
        return;
    bool dark = WINTHEME::RefreshDarkMode();
    WINTHEME::AllowDarkMode(hWnd);
    if (GetWindowLongPtrA(hWnd, GWL_STYLE) & TitleBarBits)
        WINTHEME::SetDarkTitleBar(hWnd, dark);
}

LRESULT WINDOW::WinProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (message >= 0x401 && message <= WM__APPMESSAGE)
    {
        result = OnUserMessage(message, wParam, lParam);
    }
    else
    {
        switch (message)
        {
        case WM_CREATE:
            if (lParam)
            {
                PostMessageA(hWnd, WM__DEFERREDCREATE, 0, 0);
                break;
            }
            RefreshDarkMode();
            result = OnCreate();
            break;
        case WM__DEFERREDCREATE:
            result = WinProc(WM_CREATE, 0, 0);
            break;
        case WM_DESTROY:
            result = OnDestroy();
            pHook = 0;
            break;
        case WM_QUERYENDSESSION:
            return 1;
        case WM__QUERYID:   // reaches here from a dialog's filter
            if (!wParam)
                return 0;
            *reinterpret_cast<int32_t*>(wParam) = Id;
            return 1;
        case WM_ENDSESSION:
            if (wParam)
                result = OnEndSession();
            break;
        case WM_SIZE:
            if (wParam == SIZE_MINIMIZED)
                result = OnMinimize();
            else if (wParam == SIZE_MAXIMIZED)
                result = OnMaximize() | OnSize();
            else if (wParam == SIZE_RESTORED)
                result = OnRestore() | OnSize();
            else
                result = OnSize();
            break;
        case WM_SETTINGCHANGE:
            if (WINTHEME::DarkModeSupported() && lParam &&
                strcmp(reinterpret_cast<const char*>(lParam), "ImmersiveColorSet") == 0)
            {
                RefreshDarkMode();
                result = OnThemeChanged();
            }
            break;
        case WM_COMMAND:
            result = OnCommand(wParam, lParam);
            break;
        case WM_NOTIFY:
            if (lParam)
                result = OnNotify(lParam);
            break;
        case WM_CONTEXTMENU:
        {
            HWND control = reinterpret_cast<HWND>(wParam);
            if (control && STRING::Compare(ClassNameOf(control).Text(), "ListBox") == 0)
            {
                POINT point = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
                ScreenToClient(hWnd, &point);
                result = OnControlNotify(6, control, MAKELPARAM(point.x, point.y));
            }
            break;
        }
        case WM_HSCROLL:
        case WM_VSCROLL:
            result = OnScrollMessage(message, wParam, lParam);
            break;
        case WM_MOUSEWHEEL:
        {
            short delta = (short)HIWORD(wParam);
            if (delta == 0)
            {
                result = OnScrollMessage(message, wParam, 0);
                break;
            }
            POINT point = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
            ScreenToClient(hWnd, &point);
            result = OnMouse(message, point.x, point.y, (WPARAM)(INT_PTR)(delta * 100 / 12));
            break;
        }
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK:
            result = OnMouse(message, (short)LOWORD(lParam), (short)HIWORD(lParam), wParam);
            break;
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_CHAR:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
        case WM_SYSCHAR:
        case WM_IME_CHAR:
        {
            KEYEVENT event;
            if (WINKEYS::KeyEventFromMessage(message, wParam, lParam, event))
                result = OnKey(event);
            break;
        }
        case WM_IME_STARTCOMPOSITION:
        case WM_IME_COMPOSITION:
            result = OnImeMessage(message, wParam, lParam);
            if (!result)
                return WINKEYS::ImeMessage(hWnd, message, wParam, lParam);
            break;
        case WM_SIZING:
            if (lParam)
                result = OnSizing(reinterpret_cast<RECT*>(lParam), SizingEdges(wParam));
            break;
        case WM_DROPFILES:
            return OnDropMessage(reinterpret_cast<HDROP>(wParam));
        case WM_DPICHANGED:
            return OnDpiChangedMessage(wParam, lParam);
        case WM_GETDPISCALEDSIZE:
            result = OnDpiScaledSize(wParam, lParam);
            break;
        case WM_CTLCOLORSTATIC:
            result = OnCtlColor(message, reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam));
            break;
        case WM__QUERYACCELERATORS:
            if (!wParam)
                break;
            *reinterpret_cast<HACCEL*>(wParam) = GetAccelerators();
            return 1;
        case WM_ACTIVATE:
            result = LOWORD(wParam) != WA_INACTIVE ? OnActivate() : OnDeactivate();
            break;
        case WM_ENTERMENULOOP:
        case WM_EXITMENULOOP:
            result = OnMenuLoop(message, wParam);
            break;
        case WM_TIMER:
            result = OnTimer(wParam);
            break;
        case WM_MOVE:
            result = OnMove();
            break;
        case WM_INPUTLANGCHANGE:
        {
            char layout[KL_NAMELENGTH] = "";
            GetKeyboardLayoutNameA(layout);
            result = OnInputLanguage(lParam, LOWORD(lParam), layout);
            break;
        }
        case WM_ERASEBKGND:
            result = OnEraseBackground();
            break;
        case WM_SHOWWINDOW:
            result = wParam ? OnShow() : OnHide();
            break;
        case WM_SETFOCUS:
            result = OnSetFocus();
            break;
        case WM_KILLFOCUS:
            result = OnKillFocus();
            break;
        case WM_NCCREATE:
        case WM_NCDESTROY:
        case WM_NCPAINT:
        case WM_NCACTIVATE:
        {
            bool handled = false;
            result = OnNcMessage(message, wParam, lParam, handled);
            if (handled)
                return result;
            break;
        }
        case 0x90:
        case 0x91:
        case 0x92:
        case 0x93:
        case 0x94:
        case 0x95:
        {
            bool handled = false;
            result = OnMenuBarMessage(message, wParam, lParam, handled);
            if (handled)
                return result;
            break;
        }
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
            result = OnOwnerDraw(message, wParam, lParam);
            break;
        case WM_CLOSE:
            result = OnClose();
            break;
        case WM_PAINT:
            result = OnPaint();
            break;
        case WM_HELP:
            result = OnHelp();
            break;
        default:
            break;
        }
    }
    if (result)
        return result;
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

LRESULT WINDOW::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    HWND control = reinterpret_cast<HWND>(lParam);
    if (!control && (code == 0 || code == 1))
        return OnMenuCommand(id);
    if (code == BN_CLICKED)
    {
        LRESULT result = 0;
        if (control && IsPushButton(control))
            result = (id == IDHELP || id == 0xFFFC) ? OnHelp() : OnButton(id);
        if (!result)
            result = OnControlNotify(0, control, 0);
        return result;
    }
    switch (code)
    {
    case 0x300:
    case 0x200:
    case 1:
    case 2:
    case 4:
    case 5:
    case 0x13:
        return OnControlNotify(code, control, 0);
    default:
        return 0;
    }
}

LRESULT WINDOW::OnNotify(LPARAM lParam)
{
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    const int code = (int)header->code;
    HWND control = header->hwndFrom;
    STRING kind = ClassNameOf(control);
    if (STRING::Compare(kind.Text(), WC_LISTVIEWA) == 0)
    {
        switch (code)
        {
        case -5:                  // NM_RCLICK
        case -4:                  // NM_RETURN
        case -3:                  // NM_DBLCLK
        case -7:                  // NM_SETFOCUS
        case -101:                // LVN_ITEMCHANGED
            return OnControlNotify(code, control, 0);
        case -108:                // LVN_COLUMNCLICK
        {
            const NMLISTVIEW* pnm = reinterpret_cast<const NMLISTVIEW*>(lParam);
            if (pnm->iItem != -1)
                AssertHandler(0, "pnm->iItem==-1", __FILE__, __LINE__, 0, 0);
            return OnControlNotify(code, control, pnm->iSubItem);
        }
        case -109:                // LVN_BEGINDRAG
        case -155:                // LVN_KEYDOWN
            return OnControlNotify(code, control, lParam);
        default:
            return 0;
        }
    }
    if (STRING::Compare(kind.Text(), WC_TABCONTROLA) == 0)
    {
        if (code == -551)         // TCN_SELCHANGE
            return OnControlNotify(code, control, 0);
        return code == -552 ? 1 : 0;   // TCN_SELCHANGING
    }
    if (STRING::Compare(kind.Text(), WC_TREEVIEWA) == 0)
        return code == -402 ? OnControlNotify(code, control, 0) : 0;   // TVN_SELCHANGED

    switch (code)
    {
    case -722:                    // UDN_DELTAPOS
    {
        const NMUPDOWN* updown = reinterpret_cast<const NMUPDOWN*>(lParam);
        return OnControlNotify(code, control, updown->iPos + updown->iDelta);
    }
    case -520:
        return OnControlNotify(code, control, lParam);
    case -2:                      // NM_CLICK
    case -4:                      // NM_RETURN
    {
        // Only a link control sends an NMLINK with these codes.
        if (STRING::Compare(kind.Text(), "SysLink") != 0)
            return 0;
        const NMLINK* link = reinterpret_cast<const NMLINK*>(lParam);
        if (auto shellExecute = gShellExecuteW.Get())
            shellExecute(0, L"open", link->item.szUrl, 0, 0, SW_SHOWNORMAL);
        return 1;
    }
    default:
        return 0;
    }
}

LRESULT WINDOW::OnScrollMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND control = reinterpret_cast<HWND>(lParam);
    int low = 0, high = 100;
    if (!GetScrollRange(control, SB_CTL, &low, &high))
    {
        low = 0;
        high = 100;
    }
    int code = LOWORD(wParam);
    int position = (short)HIWORD(wParam);
    if (code == SB_ENDSCROLL)
        return 0;
    if (code == SB_TOP)
    {
        code = SB_THUMBPOSITION;
        position = low;
    }
    else if (code == SB_BOTTOM)
    {
        code = SB_THUMBPOSITION;
        position = high;
    }
    return OnScroll(code, control, position);
}

LRESULT WINDOW::OnDropMessage(HDROP drop)
{
    auto dragQueryFile = gDragQueryFile.Get();
    auto dragFinish = gDragFinish.Get();
    if (!drop || !dragQueryFile || !dragFinish)
        return 0;
    const int listed = (int)dragQueryFile(drop, 0xFFFFFFFF, 0, 0);
    STRINGARRAY names(listed > 0 ? listed : 1);
    WSTRINGARRAY wideNames(listed > 0 ? listed : 1);
    for (int i = 0; i < listed; i++)
    {
        wchar_t name[MAX_PATH + 1] = L"";
        // An empty list reads as one empty name on some systems: no file.
        if (dragQueryFile(drop, (UINT)i, name, MAX_PATH) == 0)
            continue;
        WSTRING wide(reinterpret_cast<const char16_t*>(name));
        names.AddItem(STRING(wide, UNICODE_CPSYSTEM));
        wideNames.AddItem(wide);
    }
    const int count = names.Count();
    OnDropFiles(count, names);
    OnDropFilesWide(count, wideNames);
    dragFinish(drop);
    return 0;
}

int WINDOW::DpiScaleOfRect(const RECT& rect)
{
    typedef HRESULT(WINAPI * GETDPIFORMONITOR)(HMONITOR, int, UINT*, UINT*);
    GETDPIFORMONITOR getDpiForMonitor = reinterpret_cast<GETDPIFORMONITOR>(gGetDpiForMonitor.Get());
    if (gScaleOverride != -1)
        return gScaleOverride;
    if (getDpiForMonitor)
    {
        UINT x = 96, y = 96;
        HMONITOR monitor = MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST);
        if (SUCCEEDED(getDpiForMonitor(monitor, 0, &x, &y)))
            return (int)((x + y) / 2) * 100 / 96;
    }
    DISPLAYDC display;
    if (!display.Get())
        return 100;
    return (GetDeviceCaps(display.Get(), LOGPIXELSX) + GetDeviceCaps(display.Get(), LOGPIXELSY)) / 2 * 100 / 96;
}

int WINDOW::DpiScaleOf(HWND window)
{
    RECT rect = {};
    HWND top = TopLevel(window);
    if (top)
        GetWindowRect(top, &rect);
    return DpiScaleOfRect(rect);
}

int WINDOW::GetDpiScale()
{
    if (gScaleOverride != -1)
        return gScaleOverride;
    if (DpiScale != -1)
        return DpiScale;
    return DpiScaleOf(hWnd);
}

int WINDOW::Scaled(int length)
{
    return length * GetDpiScale() / 100;
}

LRESULT WINDOW::OnDpiChangedMessage(WPARAM wParam, LPARAM lParam)
{
    RECT* suggested = reinterpret_cast<RECT*>(lParam);
    if (!wParam || !suggested)
        return 0;
    const int newScale = (int)((HIWORD(wParam) + LOWORD(wParam)) / 2) * 100 / 96;
    DpiScale = (int16_t)newScale;
    const RECT r = *suggested;
    const int scaleOfRect = DpiScaleOfRect(r);
    if (scaleOfRect != newScale)
    {
        STRING info = STRING::Sprintf("rect=%d/%d %d/%d, dpifornewrect=%d, newscale=%d", (int)r.left, (int)r.top,
                                      (int)r.right, (int)r.bottom, scaleOfRect, newScale);
        AssertHandler(0, "dpifornewrect==newscale", __FILE__, __LINE__, info.Text(), 0);
    }
    Logit("WinProc WM_DPICHANGED newscale=%d, rect=%d/%d %d/%d, size=%dx%d ******\n", newScale, (int)r.left,
          (int)r.top, (int)r.right, (int)r.bottom, (int)(r.right - r.left), (int)(r.bottom - r.top));
    if (!OnDpiChanged(newScale, suggested))
        SetWindowPos(hWnd, 0, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    return 0;
}

LRESULT WINDOW::OnDpiScaledSize(WPARAM wParam, LPARAM lParam)
{
    SIZE* proposed = reinterpret_cast<SIZE*>(lParam);
    if (DpiScale == -1 || DpiScale == 0 || !proposed)
        return 0;
    const int newScale = (int)wParam * 100 / 96;
    Logit("WinProc WM_GETDPISCALEDSIZE.1 current scale=%d, current size %dx%d  ******\n", (int)DpiScale,
          (int)proposed->cx, (int)proposed->cy);
    const double factor = (double)newScale / (double)DpiScale;
    const int width = (int)(proposed->cx * factor);
    const int height = (int)(proposed->cy * factor);
    Logit("WinProc WM_GETDPISCALEDSIZE.2 new scale=%d, new size %dx%d  ******\n", newScale, width, height);
    RECT current = {};
    GetWindowRect(hWnd, &current);
    RECT rect = {current.left, current.top, current.left + width, current.top + height};
    gScaleOverride = newScale;
    int result = OnSizing(&rect, 0);
    gScaleOverride = -1;
    if (!result)
        return 0;
    proposed->cx = rect.right - rect.left;
    proposed->cy = rect.bottom - rect.top;
    Logit("WinProc WM_GETDPISCALEDSIZE.4, final size is %dx%d  ******\n", (int)proposed->cx, (int)proposed->cy);
    return result;
}

int WINDOW::WinProcessMessages(int count)
{
    int done = 0;
    MSG msg;
    while (done < count && PeekMessageA(&msg, 0, 0, 0, PM_REMOVE))
    {
        Logit("WINDOW::WinProcessMessages dispatch msg= %04x\n", msg.message);
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        done++;
    }
    Logit("WINDOW::WinProcessMessages done after n=%d messages\n", done);
    return count - done;
}

void WINDOW::Sleep(int milliseconds)
{
    Logit("WINDOW::Sleep\n");
    const int64_t end = OSYS::ElapsedMs() + milliseconds;
    while (OSYS::ElapsedMs() < end)
    {
        ::Sleep(100);
        WinProcessMessages(42);
    }
    Logit("WINDOW::Sleep done\n");
}

bool WINDOW::WinWaitForSingleObject(HANDLE handle, int timeout)
{
    bool signalled = false;
    for (;;)
    {
        DWORD rc = MsgWaitForMultipleObjects(1, &handle, FALSE, timeout < 0 ? INFINITE : (DWORD)timeout, QS_ALLINPUT);
        if (rc != WAIT_OBJECT_0 + 1)
        {
            signalled = rc == WAIT_OBJECT_0;
            break;
        }
        MSG msg;
        for (int i = 0; i < 10 && PeekMessageA(&msg, 0, 0, 0, PM_REMOVE); i++)
        {
            Logit("WINDOW::WinWaitForSingleObject dispatch msg= %04x\n", msg.message);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    Logit("WINDOW::WinWaitForSingleObject finished\n");
    return signalled;
}

RECT WINDOW::GetDesktopRect()
{
    RECT rect = {};
    const int monitors = GetSystemMetrics(SM_CMONITORS);
    Logit("WINDOW::GetDesktopRect detected %d monitors\n", monitors);
    if (monitors <= 1)
    {
        GetWindowRect(GetDesktopWindow(), &rect);
    }
    else
    {
        rect.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
        rect.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        rect.right = rect.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
        rect.bottom = rect.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    }
    Logit("WINDOW::GetDesktopRect return (%d %d %d %d)\n", (int)rect.left, (int)rect.top, (int)rect.right,
          (int)rect.bottom);
    return rect;
}

void WINDOW::CenterOnOwner(HWND owner)
{
    const bool visibleOwner = owner && IsWindowVisible(owner);
    if (!visibleOwner)
        owner = GetDesktopWindow();
    if (::IsChild(hWnd, owner))
    {
        AssertHandler(0, "!is_child", __FILE__, __LINE__, 0, 0);
        return;
    }
    const bool child = (GetWindowLongPtrA(hWnd, GWL_STYLE) & WS_CHILD) != 0;
    RECT area = {}, own = {};
    GetWindowRect(owner, &area);
    GetWindowRect(hWnd, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    int x = (area.right - area.left - width) / 2;
    int y = (area.bottom - area.top - height) / 2;
    if (!child)
    {
        x += area.left;
        y += area.top;
    }
    if (!visibleOwner || !child)
    {
        RECT desktop = GetDesktopRect();
        if (x + width > desktop.right)
            x = desktop.right - width;
        if (y + height > desktop.bottom)
            y = desktop.bottom - height;
        if (x < desktop.left)
            x = desktop.left;
        if (y < desktop.top)
            y = desktop.top;
    }
    SetWindowPos(hWnd, 0, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool WINDOW::IsOnScreen()
{
    if (!hWnd || !IsWindowVisible(hWnd))
        return false;
    RECT own = {}, overlap = {};
    GetWindowRect(hWnd, &own);
    RECT desktop = GetDesktopRect();
    return IntersectRect(&overlap, &own, &desktop) != 0;
}

void WINDOW::StoreWindowPos(const char* appKey, const char* valueName)
{
    if (!IsOnScreen())
        return;
    const bool maximized = IsMaximized();
    RECT rect = {};
    if (maximized)
    {
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof(placement);
        GetWindowPlacement(hWnd, &placement);
        rect = placement.rcNormalPosition;
    }
    else
    {
        GetWindowRect(hWnd, &rect);
        if (GetWindowLongPtrA(hWnd, GWL_STYLE) & WS_CHILD)
            MapWindowPoints(0, GetParent(hWnd), reinterpret_cast<POINT*>(&rect), 2);
    }
    Logit("WINDOW::StoreWindowPos(%d, %d, %d, %d)\n", (int)rect.left, (int)rect.top, (int)rect.right,
          (int)rect.bottom);
    const int32_t data[4] = {(int32_t)rect.left, (int32_t)rect.top, (int32_t)rect.right, (int32_t)rect.bottom};
    REGISTRY registry(REGISTRY::KIND_USER, appKey);
    registry.WriteBinary(valueName, data, sizeof(data));
    registry.WriteString(STRING::Sprintf("%sMaximized", STRING::NullGuard(valueName)).Text(), maximized ? "1" : "0");
}

void WINDOW::RestoreWindowPos(const char* appKey, const char* valueName, bool moveOnly)
{
    const RECT desktop = GetDesktopRect();
    if (!moveOnly && !(GetWindowLongPtrA(hWnd, GWL_STYLE) & WS_THICKFRAME))
    {
        AssertHandler(0, "(cansize)", __FILE__, __LINE__, "You should call this function with move_only=TRUE", 0);
        moveOnly = true;
    }
    Logit("WINDOW::RestoreWindowPos screen= (%d, %d, %d, %d)\n", (int)desktop.left, (int)desktop.top,
          (int)desktop.right, (int)desktop.bottom);
    REGISTRY registry(REGISTRY::KIND_USER, appKey);
    int32_t data[4] = {};
    int size = sizeof(data);
    uint32_t type = 0;
    const int32_t& left = data[0];
    const int32_t& top = data[1];
    bool success = registry.ReadBuffer(valueName, data, size, &type) && type == REG_BINARY &&
                   size == (int)sizeof(data) && left >= desktop.left - 10 && left < desktop.right - 10 &&
                   top >= desktop.top - 10 && top < desktop.bottom - 10;
    if (success)
    {
        if (moveOnly)
            SetWindowPos(hWnd, 0, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        else
            MoveWindow(hWnd, left, top, data[2] - left, data[3] - top, TRUE);
    }
    Logit("WINDOW::RestoreWindowPos rect= (%d, %d, %d, %d), success= %d\n", (int)data[0], (int)data[1],
          (int)data[2], (int)data[3], success ? 1 : 0);
    STRING maximized("0");
    type = 0;
    registry.ReadString(STRING::Sprintf("%sMaximized", STRING::NullGuard(valueName)).Text(), maximized, &type);
    if (type == REG_SZ && strcmp(maximized.Text(), "1") == 0)
        ShowWindow(hWnd, SW_SHOWMAXIMIZED);
}

void WINDOW::Show(bool show)
{
    int command = SW_HIDE;
    if (show)
        command = ::IsIconic(hWnd) ? SW_RESTORE : IsMaximized() ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    ShowWindow(hWnd, command);
}

int WINDOW::Animate(DWORD flags, DWORD time, bool show)
{
    typedef BOOL(WINAPI * ANIMATEWINDOW)(HWND, DWORD, DWORD);
    ANIMATEWINDOW animate = reinterpret_cast<ANIMATEWINDOW>(User32Function("AnimateWindow"));
    if (!flags || !animate)
    {
        Show(show);
        return 1;
    }
    if (show)
    {
        ShowWindow(hWnd, SW_HIDE);
        animate(hWnd, time, flags);
    }
    else
    {
        animate(hWnd, time, flags | AW_HIDE);
    }
    return 1;
}

int WINDOW::SetTransparency(int alpha, COLORREF colorKey)
{
    typedef BOOL(WINAPI * SETLAYERED)(HWND, COLORREF, BYTE, DWORD);
    SETLAYERED setLayered = reinterpret_cast<SETLAYERED>(User32Function("SetLayeredWindowAttributes"));
    if (!setLayered)
        return 0;
    alpha = alpha < 0 ? 0 : alpha > 255 ? 255 : alpha;
    if (alpha == 255)
    {
        RemoveExStyle(WS_EX_LAYERED);
        return 1;
    }
    AddExStyle(WS_EX_LAYERED);
    if (colorKey != (COLORREF)-1)
        return setLayered(hWnd, colorKey, 0, LWA_COLORKEY) ? 1 : 0;
    return setLayered(hWnd, 0, (BYTE)alpha, LWA_ALPHA) ? 1 : 0;
}

bool WINDOW::SetTopmost(bool on)
{
    const UINT flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    return SetWindowPos(hWnd, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, flags) != 0;
}

bool WINDOW::SetZOrder(int direction, HWND after)
{
    const UINT flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW | SWP_NOACTIVATE;
    if (!after)
        return SetWindowPos(hWnd, direction == -1 ? HWND_BOTTOM : HWND_TOP, 0, 0, 0, 0, flags) != 0;
    if (direction != 1)
    {
        AssertHandler(0, "topbottom==+1", __FILE__, __LINE__, 0, 0);
        return false;
    }
    return SetWindowPos(hWnd, after, 0, 0, 0, 0, flags) != 0;
}

bool WINDOW::Move(int x, int y, int width, int height)
{
    RECT rect = {};
    GetWindowRect(hWnd, &rect);
    if (width == -1)
        width = rect.right - rect.left;
    if (height == -1)
        height = rect.bottom - rect.top;
    return MoveWindow(hWnd, x, y, width, height, TRUE) != 0;
}

void WINDOW::AddExStyle(LONG bits)
{
    SetWindowLongA(hWnd, GWL_EXSTYLE, GetWindowLongA(hWnd, GWL_EXSTYLE) | bits);
}

void WINDOW::RemoveExStyle(LONG bits)
{
    SetWindowLongA(hWnd, GWL_EXSTYLE, GetWindowLongA(hWnd, GWL_EXSTYLE) & ~bits);
}

int WINDOW::FlushRedraw()
{
    Logit("[>>]WINDOW::FlushRedraw\n");
    int rc = RedrawWindow(hWnd, 0, 0, RDW_UPDATENOW | RDW_ALLCHILDREN);
    Logit("[<<]WINDOW::FlushRedraw done, rc= %d\n", rc);
    return rc;
}

int WINDOW::BringToForeground()
{
    int rc = SetForegroundWindow(hWnd);
    Logit("WINDOW::BringToForeground SetForegroundWindow (1), rc= %d\n", rc);
    return rc;
}

bool WINDOW::SetText(const char* text)
{
    WSTRING wide(STRING::NullGuard(text), 1252);
    return SetWindowTextW(hWnd, reinterpret_cast<const wchar_t*>(wide.Text())) != 0;
}

namespace
{
    BOOL CALLBACK MakeButtonTransparent(HWND child, LPARAM)
    {
        if (STRING::Compare(ClassNameOf(child).Text(), "Button") == 0 && (GetWindowLongA(child, GWL_STYLE) & 7) != 0)
            SetWindowLongA(child, GWL_EXSTYLE, GetWindowLongA(child, GWL_EXSTYLE) | WS_EX_TRANSPARENT);
        return TRUE;
    }
}

bool WINDOW::ApplyDialogTheme()
{
    typedef HRESULT(WINAPI * ENABLETEXTURE)(HWND, DWORD);
    ENABLETEXTURE enableTexture = reinterpret_cast<ENABLETEXTURE>(gEnableThemeDialogTexture.Get());
    bool applied = false;
    // Themed controls come only with a manifest.
    if (FindResourceA(GetModuleHandleA(0), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) && enableTexture)
    {
        applied = SUCCEEDED(enableTexture(hWnd, 6));   // ETDT_ENABLETAB
        EnumChildWindows(hWnd, MakeButtonTransparent, 0);
    }
    AddExStyle(WS_EX_CONTROLPARENT);
    return applied;
}

UINT_PTR WINDOW::SetTimer(UINT_PTR id, UINT milliseconds) { return ::SetTimer(hWnd, id, milliseconds, 0); }
bool WINDOW::KillTimer(UINT_PTR id) { return ::KillTimer(hWnd, id) != 0; }
HDC WINDOW::BeginPaint(PAINTSTRUCT& paint) { return ::BeginPaint(hWnd, &paint); }
void WINDOW::EndPaint(PAINTSTRUCT& paint) { ::EndPaint(hWnd, &paint); }
HDC WINDOW::GetDC() { return ::GetDC(hWnd); }
int WINDOW::ReleaseDC(HDC dc) { return ::ReleaseDC(hWnd, dc); }
bool WINDOW::Enable(bool on) { return EnableWindow(hWnd, on) != 0; }
bool WINDOW::IsEnabled() { return IsWindowEnabled(hWnd) != 0; }
bool WINDOW::Invalidate(bool erase) { return InvalidateRect(hWnd, 0, erase) != 0; }
bool WINDOW::Update() { return UpdateWindow(hWnd) != 0; }
HWND WINDOW::SetFocus() { return ::SetFocus(hWnd); }
bool WINDOW::HasFocus() { return GetFocus() == hWnd; }
STRING WINDOW::ClassName() { return ClassNameOf(hWnd); }
bool WINDOW::IsWindow() { return hWnd && ::IsWindow(hWnd); }
bool WINDOW::IsChild(HWND window) { return ::IsChild(hWnd, window) != 0; }
bool WINDOW::IsIconic() { return ::IsIconic(hWnd) != 0; }
