#include "framework/windows/winmisc_win32.h"

#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "framework/text/strings.h"

namespace
{
    const int AppTitleResource = 10001;
    const int PlainWrapColumn = 55;
    const char16_t Holder = 0x00FF;   // "&nbsp;" until the wrap is done

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
        HWND topLevel = TopLevelOwner(owner);
        WSTRING message = WINTARNI::FormatMsgText(text, PlainWrapColumn, false);
        WSTRING caption = BoxTitle(title);
        return MessageBoxW(topLevel, reinterpret_cast<const wchar_t*>(message.Text()),
                           reinterpret_cast<const wchar_t*>(caption.Text()), style);
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
