#include <windows.h>
#include <dbghelp.h>
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "framework/app/crashdump.h"
#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "framework/os/winhandle_win32.h"
#include "framework/windows/winmisc_win32.h"

namespace
{
    typedef BOOL(WINAPI* MINIDUMPWRITEDUMP)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                            PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

    const size_t ReserveSize = 4 * 1024 * 1024;
    const int MaxAttempts = 99;

    int gDumpLevel = 0;
    LIBRARYFUNCTION gMiniDumpWriteDump("dbghelp.dll", "MiniDumpWriteDump");
    HMODULE gDumpLibrary = 0;
    MINIDUMPWRITEDUMP gDumpFunction = 0;
    char gUserName[96] = "";
    char gDumpFolder[128] = "";
    void* gReserve = 0;
    // The thread inside the handler; 0 while no fault was handled.
    volatile LONG gHandlerThread = 0;

    const struct { const char* Name; unsigned Type; } gKinds[] = {
        {"TINY", 0x000}, {"MINI", 0x150}, {"TARNI", 0x155}, {"MIDI", 0x325}, {"MAXI", 0x126},
    };

    const char* const gTextEnglish =
        "The program %s has encountered an error and will be terminated.\n\nYou can now choose to create a file with "
        "crash-debugging information \nfor upload to Tarni (a developer at Tarni will then look at the file and such "
        "files often helps us fix the problem in future versions).\n\n Filename: %s\n (in folder '%s')\n\nPlease "
        "consider to send the file, especially if you encounter the problem multiple times.\n\nDo you now want to "
        "create and send the crash-information?  (If you coosse 'Yes', a web browser will open with an upload form "
        "to send the file, otherwise the program will simply terminate)?";
    const char* const gTextGerman =
        "Das Programm %s hat einen Fehler verursacht und muss beendet werden.\n\nSie k\xf6nnen eine Datei mit "
        "Crash-Informationen per Web-Upload oder Email an Tarni senden. Dies kann helfen, das Problem in "
        "zuk\xfcnftigen Versionen zu beheben (speziell dann, wenn der Fehler h\xe4ufiger auftritt).\n\n Filename: "
        "%s\n (im Ordner '%s')\n\nWollen Sie die Crash-Informationen erzeugen und an Tarni senden? (Wenn Sie mit "
        "'Ja' antworten, \xf6" "ffnet sich ein Web-Formular zum Upload der Crash-Datei, andernfalls wird das "
        "Programm direkt beendet)?";

    void CutTrailingBackslash(char* path)
    {
        size_t length = strlen(path);
        if (length > 3 && (path[length - 1] == '\\' || path[length - 1] == '/'))
            path[length - 1] = 0;
    }

    bool FileExists(const char* path)
    {
        return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
    }

    // The dump's name for attempts 1 to 99: the first that is free as ".dmp"
    // and as ".dmp.gz", else the 99th.
    void ChooseDumpName(char* name, size_t size, const char* folder, const char* tag, const char* kind)
    {
        for (int attempt = 1; attempt <= MaxAttempts; attempt++)
        {
            char number[8] = "";
            if (attempt > 1)
                FORMAT::Print(number, sizeof(number), "_%d", attempt);
            FORMAT::Print(name, size, "%s\\Tarni.CrashInfo.%s.%s.%s%s.dmp", folder, tag, gUserName, kind, number);
            char packed[300];
            FORMAT::Print(packed, sizeof(packed), "%s.gz", name);
            if (!FileExists(name) && !FileExists(packed))
                return;
        }
    }

    void WriteDump(const char* name, EXCEPTION_POINTERS* exception)
    {
        OWNEDHANDLE file(
            CreateFileA(name, GENERIC_WRITE, FILE_SHARE_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0));
        if (!file.Valid())
            return;
        MINIDUMP_EXCEPTION_INFORMATION information;
        information.ThreadId = GetCurrentThreadId();
        information.ExceptionPointers = exception;
        information.ClientPointers = FALSE;
        gDumpFunction(GetCurrentProcess(), GetCurrentProcessId(), file.Get(),
                      static_cast<MINIDUMP_TYPE>(gKinds[gDumpLevel % 5].Type), exception ? &information : 0, 0, 0);
    }

    void Finish()
    {
        Logit("TARNIAPP::WriteDumpToFileHandler finished\n");
        LogitOption("/LOGITCLOSE");
        TerminateProcess(GetCurrentProcess(), CRASHDUMP::ExitCode);
    }

    LONG WINAPI WriteDumpToFileHandler(EXCEPTION_POINTERS* exception)
    {
        LONG self = (LONG)GetCurrentThreadId();
        LONG owner = InterlockedCompareExchange(&gHandlerThread, self, 0);
        if (owner == self)
            TerminateProcess(GetCurrentProcess(), CRASHDUMP::ExitCode);   // a fault inside the handler
        if (owner != 0)
        {
            // Another thread's fault: the first one ends the process.
            for (;;)
                Sleep(INFINITE);
        }

        Logit("TARNIAPP::WriteDumpToFileHandler entered\n");
        if (!gDumpLibrary || !gDumpFunction)
        {
            Logit("TARNIAPP::WriteDumpToFileHandler failed to load dll or proc address (%p/%p)\n",
                  static_cast<void*>(gDumpLibrary), reinterpret_cast<void*>(gDumpFunction));
            Finish();
        }
        CRASHDUMP::ReleaseReserve();

        char tag[128];
        FORMAT::Print(tag, sizeof(tag), "%s%s", TARNIAPP::AppName().Text(), TARNIAPP::Version().Text());
        char* out = tag;
        for (const char* in = tag; *in; in++)
            if (*in != '.')
                *out++ = (char)toupper((unsigned char)*in);
        *out = 0;

        char folder[MAX_PATH];
        bool fallback = gDumpFolder[0] == 0;
        FORMAT::Copy(folder, fallback ? FILENAME("<self>").Directory().Text() : gDumpFolder, sizeof(folder));
        CutTrailingBackslash(folder);

        const char* kind = CRASHDUMP::KindName(gDumpLevel);
        char name[256];
        ChooseDumpName(name, sizeof(name), folder, tag, kind);
        WriteDump(name, exception);

        const char* baseName = strrchr(name, '\\') ? strrchr(name, '\\') + 1 : name;
        bool yes = true;
        if (!LogitIsEnabled())
        {
            char text[800];
            FORMAT::Print(text, sizeof(text), gLocale == 7 ? gTextGerman : gTextEnglish, tag, baseName, folder);
            char title[300];
            FORMAT::Print(title, sizeof(title), "%s Crash", TARNIAPP::AppName().Text());
            yes = WINTARNI::YesNoMsgBox(0, title, text) == 1;
        }
        if (yes)
        {
            char packed[300];
            FORMAT::Print(packed, sizeof(packed), "%s.gz", name);
            if (OSYS::GzipFile(name, packed))
            {
                DeleteFileA(name);
                Logit("TARNIAPP::WriteDumpToFileHandler dump file written (%s)\n", name);
            }
            if (!fallback)
            {
                char address[512];
                FORMAT::Print(address, sizeof(address), "%s/common/crashreport.php?filename=%s%s",
                              CRASHDUMP::ReportHost, baseName, gLocale == 7 ? "&html=htm" : "");
                OSYS::OpenDocument(address, 0);
            }
        }
        Finish();
        return EXCEPTION_EXECUTE_HANDLER;
    }
}

namespace CRASHDUMP
{

const char* const ReportHost = "https://crash.tarni.example";

void Install(int level)
{
    if (level > gDumpLevel)
        gDumpLevel = level;
    if (gDumpLevel == 0)
        return;

    // Kept for the rest of the process: the handler may run at any time.
    gDumpFunction = reinterpret_cast<MINIDUMPWRITEDUMP>(gMiniDumpWriteDump.Get());
    gDumpLibrary = gMiniDumpWriteDump.LibraryModule();

    if (!gUserName[0])
    {
        FORMAT::Copy(gUserName, OSYS::GetUserName().Text(), sizeof(gUserName));
        for (char* c = gUserName; *c; c++)
            if (*c == ' ')
                *c = '_';
        FORMAT::Copy(gDumpFolder, OSYS::GetSystemPath(8).Text(), sizeof(gDumpFolder));
        CutTrailingBackslash(gDumpFolder);
    }
    if (!gReserve)
        gReserve = malloc(ReserveSize);
    SetUnhandledExceptionFilter(WriteDumpToFileHandler);
}

int Level()
{
    return gDumpLevel;
}

const char* KindName(int level)
{
    int index = level % 5;
    return gKinds[index < 0 ? index + 5 : index].Name;
}

void ReleaseReserve()
{
    free(gReserve);
    gReserve = 0;
}

void EndAsOnFault()
{
    volatile int* volatile nowhere = 0;
    *nowhere = 0;
}

}
