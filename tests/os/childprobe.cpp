// A child for the OS tests. It writes what it was started with (command line,
// show state, title, working directory) to the file named by CHILDPROBE_REPORT
// and then follows its arguments:
//   exit=N      exit code N (default: CHILDPROBE_EXIT, else 0)
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
#include <string.h>

#include <string>

#include "framework/os/osys.h"
#include "framework/os/osysfile.h"

namespace
{
    // The value of "key=value" among the blank-separated words of the command line.
    std::string Value(const char* commandLine, const char* key)
    {
        std::string line = std::string(" ") + commandLine;
        std::string marker = std::string(" ") + key + "=";
        size_t at = line.find(marker);
        if (at == std::string::npos)
            return "";
        at += marker.size();
        return line.substr(at, line.find(' ', at) - at);
    }

    bool HasWord(const char* commandLine, const char* word)
    {
        std::string line = std::string(" ") + commandLine + " ";
        return line.find(std::string(" ") + word + " ") != std::string::npos;
    }

    void Report(const char* commandLine)
    {
        const char* path = getenv("CHILDPROBE_REPORT");
        if (!path)
            return;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        GetStartupInfoA(&startup);
        char directory[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof(directory), directory);
        FILE* report = fopen(path, "wb");
        if (!report)
            return;
        fprintf(report, "commandline=%s\n", commandLine);
        fprintf(report, "showflag=%d\n", (startup.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0);
        fprintf(report, "show=%d\n", startup.wShowWindow);
        fprintf(report, "title=%s\n", startup.lpTitle ? startup.lpTitle : "");
        fprintf(report, "cwd=%s\n", directory);
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
    Report(commandLine);
    if (HasWord(commandLine, "osid"))
        return OSYS::GetOsId();
    if (HasWord(commandLine, "echo"))
        Echo();
    const char* file = getenv("CHILDPROBE_FILE");
    std::string openMode = Value(commandLine, "open");
    if (!openMode.empty())
    {
        FILE* stream = file ? _fsopen(file, openMode.c_str(), _SH_DENYNO) : 0;
        if (stream)
            fclose(stream);
        return stream ? 0 : 1;
    }
    FILELOCK lock(file);
    if (HasWord(commandLine, "lock"))
    {
        if (!lock.Lock(-1, true))
            return 4;
        HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, Value(commandLine, "ready").c_str());
        if (ready)
        {
            SetEvent(ready);
            CloseHandle(ready);
        }
    }
    std::string event = Value(commandLine, "wait");
    if (!event.empty())
    {
        std::string timeout = Value(commandLine, "timeout");
        HANDLE handle = OpenEventA(SYNCHRONIZE, FALSE, event.c_str());
        bool set = handle && WaitForSingleObject(handle, timeout.empty() ? 10000 : atoi(timeout.c_str())) == WAIT_OBJECT_0;
        if (handle)
            CloseHandle(handle);
        if (!set)
            return 3;
    }
    std::string code = Value(commandLine, "exit");
    if (code.empty() && getenv("CHILDPROBE_EXIT"))
        code = getenv("CHILDPROBE_EXIT");
    return atoi(code.c_str());
}
