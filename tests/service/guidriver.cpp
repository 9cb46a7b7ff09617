// Drives the controller dialog from outside, as a person at the screen would:
// reads the notice and the dialog, presses enabled buttons. The demo runs one
// command per call:
//   guidriver notice          waits for the notice; prints its title, text and check box
//   guidriver close-notice    closes the notice with its close box
//   guidriver dialog          waits for the dialog; prints its title and both lines
//   guidriver press NAME      presses Install, Start, Stop, Uninstall, Help or Done once enabled
//   guidriver wait TEXT       waits up to 20 s for a status line containing TEXT
//   guidriver geometry notice|dialog   prints WxH+X+Y of the window (for a screenshot)
// Exit code 0 on success, 1 when the window or button is missing or disabled.

#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <string>

namespace
{
    const char NoticeClass[] = "TarniWinClassInfoWindow";
    const int StatusLine = 1104;
    const int ResultLine = 1105;

    struct BUTTON
    {
        const char* Name;
        int Id;
    };
    const BUTTON Buttons[] = {{"Install", 1100}, {"Uninstall", 1101}, {"Start", 1102},
                              {"Stop", 1103},    {"Help", 9},         {"Done", 2}};

    std::string Utf8(const std::wstring& text)
    {
        int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), 0, 0, 0, 0);
        std::string result(length, '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &result[0], length, 0, 0);
        return result;
    }

    std::string Text(HWND window)
    {
        wchar_t buffer[4096] = L"";
        GetWindowTextW(window, buffer, 4096);
        return Utf8(buffer);
    }

    // Asked with WM_GETTEXT: the text of another program's edit control is
    // not its window caption.
    std::string ItemText(HWND dialog, int id)
    {
        wchar_t buffer[4096] = L"";
        GetDlgItemTextW(dialog, id, buffer, 4096);
        return Utf8(buffer);
    }

    // The controller dialog is the dialog with a status line.
    BOOL CALLBACK FindDialog(HWND window, LPARAM found)
    {
        char className[16] = "";
        GetClassNameA(window, className, sizeof(className));
        if (strcmp(className, "#32770") == 0 && GetDlgItem(window, StatusLine) && IsWindowVisible(window))
        {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }

    HWND WaitFor(bool notice)
    {
        for (int waited = 0; waited < 20000; waited += 100)
        {
            HWND found = 0;
            if (notice)
                found = FindWindowA(NoticeClass, 0);
            else
                EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&found));
            if (found && IsWindowVisible(found))
                return found;
            Sleep(100);
        }
        fprintf(stderr, "guidriver: no %s window\n", notice ? "notice" : "dialog");
        return 0;
    }

    void PrintLines(HWND dialog)
    {
        printf("   status: %s\n", ItemText(dialog, StatusLine).c_str());
        printf("   result: %s\n", ItemText(dialog, ResultLine).c_str());
    }

    int Notice()
    {
        HWND notice = WaitFor(true);
        if (!notice)
            return 1;
        printf("   notice \"%s\":\n", Text(notice).c_str());
        std::string text = ItemText(notice, 1001);
        for (size_t start = 0; start < text.size();)
        {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos)
                end = text.size();
            printf("   | %s\n", text.substr(start, end - start).c_str());
            start = end + 2;
        }
        HWND check = GetDlgItem(notice, 1002);
        if (check && IsWindowVisible(check))
            printf("   [ ] %s\n", Text(check).c_str());
        return 0;
    }

    int Press(const char* name)
    {
        HWND dialog = WaitFor(false);
        if (!dialog)
            return 1;
        for (const BUTTON& button : Buttons)
        {
            if (_stricmp(button.Name, name) != 0)
                continue;
            // The dialog enables a button at its next refresh: wait for it.
            HWND control = GetDlgItem(dialog, button.Id);
            for (int waited = 0; control && !IsWindowEnabled(control) && waited < 10000; waited += 200)
                Sleep(200);
            if (!control || !IsWindowEnabled(control))
            {
                printf("   %s is not enabled\n", button.Name);
                return 1;
            }
            printf("== press %s (\"%s\")\n", button.Name, Text(control).c_str());
            fflush(stdout);
            // Done ends the program: nothing to read afterwards.
            if (button.Id == 2)
            {
                PostMessageA(control, BM_CLICK, 0, 0);
                return 0;
            }
            SendMessageA(control, BM_CLICK, 0, 0);
            PrintLines(dialog);
            return 0;
        }
        fprintf(stderr, "guidriver: no button %s\n", name);
        return 1;
    }

    int WaitForStatus(const char* part)
    {
        HWND dialog = WaitFor(false);
        if (!dialog)
            return 1;
        for (int waited = 0; waited < 20000; waited += 200)
        {
            if (ItemText(dialog, StatusLine).find(part) != std::string::npos)
            {
                printf("== status now \"%s\"\n", ItemText(dialog, StatusLine).c_str());
                return 0;
            }
            Sleep(200);
        }
        printf("   the status did not become \"%s\"\n", part);
        PrintLines(dialog);
        return 1;
    }

    int Geometry(bool notice)
    {
        HWND window = WaitFor(notice);
        RECT rect;
        if (!window || !GetWindowRect(window, &rect))
            return 1;
        printf("%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
        return 0;
    }
}

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    std::string argument = argc > 2 ? argv[2] : "";
    int rc = 1;
    if (command == "notice")
        rc = Notice();
    else if (command == "close-notice")
    {
        HWND notice = WaitFor(true);
        if (notice)
        {
            PostMessageA(notice, WM_CLOSE, 0, 0);
            rc = 0;
        }
    }
    else if (command == "dialog")
    {
        HWND dialog = WaitFor(false);
        if (dialog)
        {
            printf("   dialog \"%s\"\n", Text(dialog).c_str());
            PrintLines(dialog);
            rc = 0;
        }
    }
    else if (command == "press" && argc > 2)
        rc = Press(argv[2]);
    else if (command == "wait" && argc > 2)
        rc = WaitForStatus(argv[2]);
    else if (command == "geometry")
        rc = Geometry(argument == "notice");
    else
        fprintf(stderr, "usage: guidriver notice|close-notice|dialog|press NAME|wait TEXT|geometry notice|dialog\n");
    fflush(stdout);
    return rc;
}
