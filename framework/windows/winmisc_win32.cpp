#include "framework/windows/winmisc_win32.h"

#include "framework/app/languages/languages.h"
#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "framework/text/strings.h"
#include "framework/windows/windows_win32.h"

#include <errno.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include <new>

namespace
{
    const int AppTitleResource = IDS_APPTITLE;
    const int PlainWrapColumn = 55;
    const char16_t Holder = 0x00FF;   // "&nbsp;" until the wrap is done

    const char* const InfoWindowClass = "TarniWinClassInfoWindow";
    const int InfoWindowId = 1000;
    const int InfoEditId = 1001;
    const int InfoCheckId = 1002;

    const int KeyedWrapColumn = 55;

    // The structure as systems before Vista know it (340 bytes): they refuse a larger one.
#if _WIN32_WINNT >= 0x600
    const UINT MetricsSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
#else
    const UINT MetricsSize = sizeof(NONCLIENTMETRICSA);
#endif

    RECT WorkArea()
    {
        RECT area = {};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        return area;
    }

    // Centred in the work area's size; its origin is not added.
    void CentreInWorkArea(HWND window, int width, int height)
    {
        const RECT area = WorkArea();
        MoveWindow(window, (area.right - area.left - width) / 2, (area.bottom - area.top - height) / 2, width, height,
                   TRUE);
    }

    // A box opened from a control belongs to the control's top-level window.
    HWND TopLevelOwner(HWND window)
    {
        while (window && (GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD))
            window = GetParent(window);
        return window;
    }

    WSTRING BoxTitle(const char* title)
    {
        if (title)
            return WSTRING(title, 1252);
        const wchar_t* resource = 0;
        int length = LoadStringW(static_cast<HINSTANCE>(TARNIAPP::ResourceModule()), AppTitleResource,
                                 reinterpret_cast<LPWSTR>(&resource), 0);
        if (length > 0 && resource)
            return WSTRING(reinterpret_cast<const char16_t*>(resource), length);
        // Programs without the language resources still get a named box.
        return WSTRING(TARNIAPP::AppName());
    }

    int ShowBox(const char* kind, HWND owner, const char* title, const char* text, UINT style)
    {
        Logit("WINTARNI::%s title=%s text=%s\n", kind, STRING::NullGuard(title), STRING::NullGuard(text));
        if (int answer = AssertBoxNotShown(title ? title : TARNIAPP::AppName().Text(), text, style))
            return answer;
        HWND topLevel = TopLevelOwner(owner);
        WSTRING message = WINTARNI::FormatMsgText(text, PlainWrapColumn, false);
        WSTRING caption = BoxTitle(title);
        return MessageBoxW(topLevel, reinterpret_cast<const wchar_t*>(message.Text()),
                           reinterpret_cast<const wchar_t*>(caption.Text()), style);
    }

    SIZE SizeOf(HWND window)
    {
        RECT rect = {};
        if (window)
            GetWindowRect(window, &rect);
        SIZE size = {rect.right - rect.left, rect.bottom - rect.top};
        return size;
    }

    void Place(HWND window, int x, int y, SIZE size)
    {
        MoveWindow(window, x, y, size.cx, size.cy, TRUE);
    }

    // The keyed box's icon control: paints the system icon of the nibble kept
    // in its user data and answers nothing else.
    LRESULT CALLBACK KeyedIconProcedure(HWND window, UINT message, WPARAM, LPARAM)
    {
        if (message == WM_PAINT)
        {
            LPCSTR icon = 0;
            switch (GetWindowLongPtrA(window, GWLP_USERDATA))
            {
            case MB_ICONHAND: icon = IDI_HAND; break;
            case MB_ICONQUESTION: icon = IDI_QUESTION; break;
            case MB_ICONEXCLAMATION: icon = IDI_EXCLAMATION; break;
            case MB_ICONASTERISK: icon = IDI_ASTERISK; break;
            default: break;
            }
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            HICON image = icon ? LoadIconA(0, icon) : 0;
            if (dc && image)
                DrawIcon(dc, 0, 0, image);
            EndPaint(window, &paint);
        }
        return 0;
    }

    // Width: the widest line or the check box, whichever is wider; height:
    // the lines and the first line once more.
    SIZE MeasureKeyedText(HWND textControl, HFONT font, const WSTRING& shown, int checkWidth)
    {
        SIZE result = {checkWidth, 0};
        WINDOWDC dc(textControl);
        if (!dc.Get())
        {
            AssertHandler(0, "hdc", __FILE__, __LINE__, 0, 0);
            return result;
        }
        SELECTEDOBJECT selected(dc.Get(), font);
        WSTRING copy(shown);
        copy.Replace(u"\r\n", u"\n");
        copy.Replace(u"\r", u"\n");
        WSTRINGARRAY lines(copy.Text(), u"\n");
        for (int i = 0; i < lines.Count(); i++)
        {
            const WSTRING* line = lines.GetItem(i);
            const bool empty = !line || line->Length() == 0;
            SIZE size = {};
            GetTextExtentPoint32W(dc.Get(), empty ? L"X" : reinterpret_cast<const wchar_t*>(line->Text()),
                                  empty ? 1 : line->Length(), &size);
            if (size.cx > result.cx)
                result.cx = size.cx;
            result.cy += size.cy;
            if (i == 0)
                result.cy += size.cy;
        }
        return result;
    }

    bool StartsWith(const WSTRING& text, const char16_t* head)
    {
        int i = 0;
        for (; head[i]; i++)
        {
            if (i >= text.Length() || text[i] != head[i])
                return false;
        }
        return true;
    }
}

namespace WINTARNI
{
    void InfoMsgBox(HWND owner, const char* title, const char* text)
    {
        ShowBox("InfoMsgBox", owner, title, text, MB_ICONASTERISK | MB_SETFOREGROUND);
    }

    void WarningMsgBox(HWND owner, const char* title, const char* text)
    {
        ShowBox("WarningMsgBox", owner, title, text, MB_ICONEXCLAMATION | MB_SETFOREGROUND);
    }

    void ErrorMsgBox(HWND owner, const char* title, const char* text)
    {
        ShowBox("ErrorMsgBox", owner, title, text, MB_ICONHAND | MB_SETFOREGROUND);
    }

    int YesNoMsgBox(HWND owner, const char* title, const char* text)
    {
        int answer = ShowBox("YesNoMsgBox", owner, title, text, MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND);
        return answer == IDYES ? 1 : 0;
    }

    int YesNoCancelMsgBox(HWND owner, const char* title, const char* text)
    {
        int answer =
            ShowBox("YesNoCancelMsgBox", owner, title, text, MB_YESNOCANCEL | MB_ICONQUESTION | MB_SETFOREGROUND);
        if (answer == IDYES)
            return 1;
        return answer == IDCANCEL ? -1 : 0;
    }

    WSTRING FormatMsgText(const char* text, int wrapColumn, bool force)
    {
        WSTRING source(STRING::NullGuard(text), 1252);
        source.Replace(u"\r\n", u"\r");
        source.Replace(u"\n", u"\r");
        source.Replace(u"&nbsp;", u"\u00FF");
        source.Replace(u"&rarr;", u"\u2192");
        bool reflow = true;
        bool wrap = true;
        if (StartsWith(source, u"##NOWRAP##\r"))
        {
            source.DeleteLeft(11);
            reflow = wrap = false;
        }

        WSTRING result;
        const int length = source.Length();
        if (length == 0)
            return result;
        const bool wrapping = wrap && (force || (wrapColumn != -1 && OSYS::GetOsId() < 5));

        result.Append(source[0]);
        int column = 1;
        for (int i = 1; i < length - 1; i++)
        {
            char16_t ch = source[i];
            const char16_t previous = source[i - 1];
            const char16_t next = source[i + 1];
            bool drop = false;
            if (ch == u'\r')
            {
                if (reflow && previous != u'\r' && next != u'\r' && next != u' ' && next != u'\t')
                {
                    if (previous == u' ')
                        drop = true;
                    else
                        ch = u' ';
                }
                else
                {
                    column = 0;
                }
            }
            column++;
            if (wrapping && ch == u' ' && column > wrapColumn)
            {
                ch = u'\r';
                column = 0;
            }
            if (!drop)
                result.Append(ch);
        }
        if (length > 1)
            result.Append(source[length - 1]);
        result.Replace(u"\u00FF", u" ");
        return result;
    }
}

void WINTARNI::InfoMsgBox(HWND owner, const char* title, const char* text, HASH& state, const char* key)
{
    KeyedMsgBox(MB_ICONASTERISK, owner, title, text, state, key);
}

void WINTARNI::WarningMsgBox(HWND owner, const char* title, const char* text, HASH& state, const char* key)
{
    KeyedMsgBox(MB_ICONEXCLAMATION, owner, title, text, state, key);
}

void WINTARNI::ErrorMsgBox(HWND owner, const char* title, const char* text, HASH& state, const char* key)
{
    KeyedMsgBox(MB_ICONHAND, owner, title, text, state, key);
}

int WINTARNI::YesNoMsgBox(HWND owner, const char* title, const char* text, HASH& state, const char* key)
{
    return KeyedMsgBox(MB_YESNO | MB_ICONQUESTION, owner, title, text, state, key);
}

int WINTARNI::KeyedMsgBox(uint32_t flags, HWND owner, const char* title, const char* text, HASH& state,
                          const char* key)
{
    if (!key)
        AssertHandler(0, "pstatekey", __FILE__, __LINE__, 0, 0);
    const int wasLocked = state.AllowNewKeys(1);
    const STRING stored = state.Get(key);
    state.AllowNewKeys(!wasLocked);
    if (!stored.IsEmpty() && atoi(stored.Text()) != 0)
        return -1;
    if (int answer = AssertBoxNotShown(title ? title : TARNIAPP::AppName().Text(), text, flags & 0x0F))
        return answer == IDNO ? 0 : 1;

    owner = TopLevelOwner(owner);
    DIALOG dialog(IDD_KEYEDMSGBOX, owner);
    HWND box = dialog.Hwnd();
    HWND ok = GetDlgItem(box, IDOK);
    HWND no = GetDlgItem(box, IDNO);
    HWND yes = GetDlgItem(box, IDYES);
    HWND message = GetDlgItem(box, IDC_KEYEDMSGBOX_TEXT);
    HWND check = GetDlgItem(box, IDC_KEYEDMSGBOX_DONTASK);
    const WSTRING shown = FormatMsgText(text, KeyedWrapColumn, true);

    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = MetricsSize;
    OWNEDGDIOBJECT font;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, MetricsSize, &metrics, 0))
        font.Reset(CreateFontIndirectA(&metrics.lfMessageFont));
    SendMessageA(message, WM_SETFONT, (WPARAM)font.Get(), TRUE);
    SendMessageA(check, WM_SETFONT, (WPARAM)font.Get(), TRUE);

    const SIZE checkSize = SizeOf(check);
    const SIZE textSize = MeasureKeyedText(message, static_cast<HFONT>(font.Get()), shown, checkSize.cx);
    SetWindowTextW(message, reinterpret_cast<const wchar_t*>(shown.Text()));
    SetWindowTextW(box, reinterpret_cast<const wchar_t*>(BoxTitle(title).Text()));

    const int scale = WINDOW::DpiScaleOf(owner);
    auto s = [scale](int n) { return n * scale / 100; };
    const int left = 3 * s(10) + GetSystemMetrics(SM_CXICON);
    MoveWindow(message, left, s(20), textSize.cx, textSize.cy, TRUE);
    const int width = left + textSize.cx + 3 * s(10);
    int y = s(20) + textSize.cy;
    if (y < GetSystemMetrics(SM_CYICON))
        y += GetSystemMetrics(SM_CYICON);
    y += 2 * s(10);
    Place(check, (width - checkSize.cx) / 2, y, checkSize);
    const int buttonsTop = y + checkSize.cy + 2 * s(10);
    const SIZE okSize = SizeOf(ok);
    const SIZE yesSize = SizeOf(yes);
    const SIZE noSize = SizeOf(no);
    int buttonHeight = okSize.cy;
    switch (flags & 0x0F)
    {
    case MB_OK:
        ShowWindow(yes, SW_HIDE);
        ShowWindow(no, SW_HIDE);
        Place(ok, (width - okSize.cx) / 2, buttonsTop, okSize);
        break;
    case MB_YESNO:
    {
        ShowWindow(ok, SW_HIDE);
        const int yesLeft = (width - noSize.cx - s(10) - yesSize.cx) / 2;
        Place(yes, yesLeft, buttonsTop, yesSize);
        Place(no, yesLeft + yesSize.cx + s(10), buttonsTop, noSize);
        buttonHeight = yesSize.cy;
        break;
    }
    default:
        AssertHandler(0, "FALSE", __FILE__, __LINE__, 0, 0);
        break;
    }
    const int height = buttonsTop + buttonHeight + s(30) + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION);
    CentreInWorkArea(box, width, height);

    HWND icon = GetDlgItem(box, IDC_KEYEDMSGBOX_ICON);
    if (icon)
    {
        SetWindowLongPtrA(icon, GWLP_USERDATA, (LONG_PTR)(flags & 0xF0));
        SetWindowLongPtrA(icon, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(KeyedIconProcedure));
    }
    MessageBeep(flags & 0xF0);

    const int result = box ? dialog.RunModal() : 0;
    const bool ticked = check && SendMessageA(check, BM_GETCHECK, 0, 0) == BST_CHECKED;
    state.Get(key) = STRING(ticked ? "1" : "0");

    SendMessageA(message, WM_SETFONT, 0, TRUE);
    SendMessageA(check, WM_SETFONT, 0, TRUE);
    font.Reset(0);
    return result == IDNO ? 0 : 1;
}

FILE* WINTARNI::CheckFileOpened(FILE* file, const char* filename)
{
    if (file)
        return file;
    const int error = errno;
    STRING text = OSYS::GetStringFromResource(IDS_FILENOTOPENED);
    text.Replace("$FILENAME", STRING::NullGuard(filename));
    text.Replace("$ERROR", error ? strerror(error) : "-");
    ErrorMsgBox(0, 0, text.Text());   // titled with the application's title
    return file;
}

HWND WINTARNI::ShowInfoWindow(HWND parent, const char* title, const char* text, const char* keyName,
                              const char* valueName)
{
    if (keyName && valueName && INFOWINDOW::ReadFlag(keyName, valueName) != 0)
        return 0;
    INFOWINDOW* window = new (std::nothrow) INFOWINDOW(parent, title, text, keyName, valueName);
    if (!window)
        return 0;
    HWND handle = window->Hwnd();
    if (!handle)
        delete window;
    return handle;
}

INFOWINDOW::INFOWINDOW(HWND parent, const char* title, const char* text, const char* keyName, const char* valueName)
    : WINDOW(WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, title, CW_USEDEFAULT, CW_USEDEFAULT,
             CW_USEDEFAULT, CW_USEDEFAULT, parent, InfoWindowId, 0, InfoWindowClass),
      DontShow(0), KeyName(keyName ? keyName : ""), ValueName(valueName ? valueName : "")
{
    if (!hWnd)
        return;
    text = STRING::NullGuard(text);
    Edit.reset(new (std::nothrow) CONTROL(hWnd, InfoEditId, "EDIT",
                                          ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | WS_VSCROLL, 10, 10, 40, 40,
                                          text));
    Check.reset(new (std::nothrow) CONTROL(hWnd, InfoCheckId, "Button", BS_AUTOCHECKBOX, 10, 60, 10, 100,
                                           "Do not show this window again"));
    if (!Edit || !Check)
    {
        DestroyWindow(hWnd);
        return;
    }
    {
        SCREENDC screen;
        Font.Reset(CreateFontA(-MulDiv(10, screen.Caps(LOGPIXELSY, 96), 72), 0, 0, 0, FW_NORMAL, 0, 0, 0,
                               ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_DONTCARE, "MS Shell Dlg"));
    }

    ApplyDialogTheme();
    Edit->AddExStyle(WS_EX_CLIENTEDGE);
    SetWindowPos(Edit->Hwnd(), 0, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);

    if (KeyName.IsEmpty() || ValueName.IsEmpty())
    {
        Check->Show(false);
    }
    else
    {
        Check->Show(true);
        DontShow = ReadFlag(KeyName.Text(), ValueName.Text());
        if (DontShow)
        {
            // Shown already and ticked meanwhile: nothing to show, nothing to write.
            DontShow = 0;
            DestroyWindow(hWnd);
            return;
        }
    }

    SendMessageA(Edit->Hwnd(), WM_SETFONT, (WPARAM)Font.Get(), TRUE);
    SendMessageA(Check->Hwnd(), WM_SETFONT, (WPARAM)Font.Get(), TRUE);
    Edit->Show(true);

    int width = 50;
    int height = 50;
    WINDOWDC dc(Edit->Hwnd());
    if (!dc.Get())
    {
        AssertHandler(0, "hdc", __FILE__, __LINE__, 0, 0);
    }
    else
    {
        STRINGARRAY lines(text, "\n");
        for (int i = 0; i < lines.Count(); i++)
        {
            const char* line = lines.Text(i);
            if (!*line)
                line = " ";
            SIZE size = {};
            GetTextExtentPoint32A(dc.Get(), line, (int)strlen(line), &size);
            if (size.cx > width)
                width = size.cx;
            height += size.cy;
        }
    }
    CentreInWorkArea(hWnd, width + 30, height + 85);

    if (gLocale == 7)
        Check->SetText("Dieses Fenster nicht mehr anzeigen");
    Check->AddExStyle(WS_EX_TRANSPARENT);
    Show(true);
}

INFOWINDOW::~INFOWINDOW()
{
    if (!KeyName.IsEmpty() && !ValueName.IsEmpty() && DontShow)
    {
        REGISTRY registry(REGISTRY::KIND_USER, KeyName.Text());
        bool ok = registry.WriteBinary(ValueName.Text(), &DontShow, sizeof(DontShow));
        AssertHandler(ok, "ok", __FILE__, __LINE__, ValueName.Text(), 0);
    }
    // The controls go with the window; their owners then find nothing to destroy.
    DestroyOwnedWindow();
    Edit.reset();
    Check.reset();
}

int32_t INFOWINDOW::ReadFlag(const char* keyName, const char* valueName)
{
    REGISTRY registry(REGISTRY::KIND_USER, keyName);
    int32_t flag = 0;
    int size = sizeof(flag);
    uint32_t type = 0;
    if (!registry.ReadBuffer(valueName, &flag, size, &type) || type != REG_BINARY || size != (int)sizeof(flag))
        return 0;
    return flag;
}

LRESULT INFOWINDOW::WinProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED)
            break;
        Layout(LOWORD(lParam), HIWORD(lParam));
        return 1;
    case WM_CLOSE:
        DontShow = Check && Check->Hwnd() && SendMessageA(Check->Hwnd(), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
        SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
        delete this;
        return 1;
    case WM_PAINT:
        Paint();
        return 1;
    default:
        break;
    }
    return WINDOW::WinProc(message, wParam, lParam);
}

void INFOWINDOW::Layout(int width, int height)
{
    // Sizes arrive while the window is being made, before the controls exist.
    if (Edit && Edit->Hwnd())
        MoveWindow(Edit->Hwnd(), 10, 10, width - 20, height - 45, TRUE);
    if (Check && Check->Hwnd())
        MoveWindow(Check->Hwnd(), 10, height - 20, width - 20, 16, TRUE);
}

void INFOWINDOW::Paint()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(paint);
    if (dc)
    {
        RECT client = {};
        GetClientRect(hWnd, &client);
        OWNEDGDIOBJECT brush(CreateSolidBrush(OSYS::GetThemedSysColor(COLOR_BTNFACE) & 0xFFFFFF));
        if (brush.Get())
            FillRect(dc, &client, static_cast<HBRUSH>(brush.Get()));
    }
    EndPaint(paint);
}
