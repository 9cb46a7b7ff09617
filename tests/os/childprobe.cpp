// A child for the OS tests. It writes what it was started with (command line,
// show state, title, working directory) to the file named by CHILDPROBE_REPORT
// and then follows its arguments:
//   exit=N      exit code N (default 0)
//   osid        exit code: OSYS::GetOsId()
//   echo        copies standard input to standard output behind "echo:"
//   open=MODE   opens the file named by CHILDPROBE_FILE with MODE, sharing
//               everything itself; exit code 0 if it opened, 1 if not
//   lock        holds a FILELOCK on CHILDPROBE_FILE (exit code 4 when it
//               fails) and sets the event ready=NAME, until the end
//   wait=NAME   waits for the named event; exit code 3 when it is not set
//               within timeout=MS (default 10000)

#include <windows.h>
#include <share.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "framework/os/osys.h"
#include "framework/os/osysfile.h"

namespace
{
    std::string gLine;

    // The value of "key=value" among the blank-separated words of the command line.
    std::string Value(const char* key)
    {
        const std::string marker = std::string(" ") + key + "=";
        size_t at = gLine.find(marker);
        if (at == std::string::npos)
            return "";
        at += marker.size();
        return gLine.substr(at, gLine.find(' ', at) - at);
    }

    bool HasWord(const char* word)
    {
        return gLine.find(std::string(" ") + word + " ") != std::string::npos;
    }

    void Report(const char* commandLine)
    {
        const char* path = getenv("CHILDPROBE_REPORT");
        FILE* report = path ? fopen(path, "wb") : 0;
        if (!report)
            return;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        GetStartupInfoA(&startup);
        char directory[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof(directory), directory);
        fprintf(report, "commandline=%s\nshowflag=%d\nshow=%d\ntitle=%s\ncwd=%s\n", commandLine,
                (startup.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0, startup.wShowWindow,
                startup.lpTitle ? startup.lpTitle : "", directory);
        fclose(report);
    }

    void Echo()
    {
        HANDLE in = GetStdHandle(STD_INPUT_HANDLE), out = GetStdHandle(STD_OUTPUT_HANDLE);
        DWORD n = 0;
        WriteFile(out, "echo:", 5, &n, 0);
        char buffer[512];
        while (ReadFile(in, buffer, sizeof(buffer), &n, 0) && n > 0)
            WriteFile(out, buffer, n, &n, 0);
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), ":end", 4, &n, 0);
    }
}

int main()
{
    const char* commandLine = GetCommandLineA();
    gLine = std::string(" ") + commandLine + " ";
    Report(commandLine);
    if (HasWord("osid"))
        return OSYS::GetOsId();
    if (HasWord("echo"))
        Echo();
    const char* file = getenv("CHILDPROBE_FILE");
    const std::string openMode = Value("open");
    if (!openMode.empty())
    {
        FILE* stream = file ? _fsopen(file, openMode.c_str(), _SH_DENYNO) : 0;
        if (stream)
            fclose(stream);
        return stream ? 0 : 1;
    }
    FILELOCK lock(file);
    if (HasWord("lock"))
    {
        if (!lock.Lock(-1, true))
            return 4;
        HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, Value("ready").c_str());
        SetEvent(ready);
        CloseHandle(ready);
    }
    const std::string event = Value("wait");
    if (!event.empty())
    {
        const std::string timeout = Value("timeout");
        HANDLE handle = OpenEventA(SYNCHRONIZE, FALSE, event.c_str());
        const bool set = handle && WaitForSingleObject(handle, timeout.empty() ? 10000 : atoi(timeout.c_str())) == WAIT_OBJECT_0;
        CloseHandle(handle);
        if (!set)
            return 3;
    }
    return atoi(Value("exit").c_str());
}
