#pragma once
// Helpers for tests that drive real processes, files and windows.

#include <windows.h>

#include "tests/support/testfiles.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace TESTSUPPORT
{
    // Owner of a started process.
    class CHILD
    {
    public:
        CHILD() = default;
        ~CHILD();
        CHILD(const CHILD&) = delete;
        CHILD& operator=(const CHILD&) = delete;

        // commandLine is passed as it is; environment entries "NAME=value" are
        // added to this process's environment for the child. application, when
        // given, names the program, so the command line may say anything.
        bool Start(const std::string& commandLine, const std::string& workDir = "",
                   const std::vector<std::string>& environment = {}, const std::string& application = "");
        // Exit code, or -1 when the child is still running after timeoutMs
        // (it is then terminated).
        int Wait(int timeoutMs);
        DWORD Id() const { return Info.dwProcessId; }

    private:
        PROCESS_INFORMATION Info = {};
    };

    // A folder of OSYS::GetSystemPath without its trailing backslash.
    std::string SystemFolder(int type);
    std::string SelfPath();
    // Runs one test of this program, named "Suite.DISABLED_Name", in a process
    // of its own (for process-wide state that cannot be undone); its exit code.
    int RunDisabledTest(const std::string& name);

    // The Windows version Wine reports to one program name, while in scope.
    class APPVERSION
    {
    public:
        APPVERSION(const std::string& program, const char* version);
        ~APPVERSION();
        APPVERSION(const APPVERSION&) = delete;
        APPVERSION& operator=(const APPVERSION&) = delete;

    private:
        std::string Key;
    };

    // Runs Undo when the scope ends, however it ends (a test's clean-up).
    struct ATEND
    {
        std::function<void()> Undo;
        ~ATEND() { Undo(); }
    };

    std::string SelfDirectory();

    // A visible top-level window of class className owned by process pid,
    // other than except, waited for.
    HWND WaitForWindow(DWORD pid, const char* className, int timeoutMs, HWND except = 0);
    // Running processes whose program is path (without regard to case).
    std::vector<DWORD> ProcessesOf(const std::string& path);
    // Ends those processes: a failed test's clean-up.
    void EndProcesses(const std::vector<DWORD>& ids);

    std::wstring WindowText(HWND window);
    std::wstring ControlText(HWND dialog, int id);
    bool PressButton(HWND dialog, int id);
    // Left, top, right and bottom of control id in window's client area.
    std::vector<LONG> ChildRect(HWND window, int id);
    // The extent in font of each line of text split at separator, an empty
    // line measured as emptyLine.
    std::vector<SIZE> LineExtents(HFONT font, const std::wstring& text, wchar_t separator, const std::wstring& emptyLine);

    std::string Narrow(const std::wstring& text);

    // done() until it holds, for up to timeoutMs; whether it held.
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);
    // read() until it gives expected, for up to timeoutMs; the last text read.
    std::string WaitForText(const std::function<std::string()>& read, const std::string& expected,
                            int timeoutMs = 15000);

    struct SCCLOSE
    {
        void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
    };
    typedef std::unique_ptr<std::remove_pointer<SC_HANDLE>::type, SCCLOSE> SCOWNER;
    // The service opened with access through a manager with full access; null when either fails.
    SCOWNER ServiceHandle(const std::string& name, DWORD access);
    // State of a service, 0 when it cannot be read; its specific exit code too.
    DWORD ServiceState(const std::string& name, DWORD* specificExitCode = 0);
    // "type start error account display-name binary" of a service, empty when unreadable.
    std::string ServiceSettings(const std::string& name);
    // A stop request that does not wait for the service.
    bool SendStop(const std::string& name);
    // Stops and deletes a service whatever its state; waits until it is gone.
    void RemoveService(const std::string& name);

    // Copies of the built controller and its companions in a folder of their
    // own, for a service name ("Tarni" tag pid x counter) no other test uses;
    // that service is removed when the object is made and when it goes.
    class SERVICEDIR
    {
    public:
        explicit SERVICEDIR(const char* tag);
        ~SERVICEDIR() { RemoveService(Name); }
        // Files of the service's build folder into Dir; the first that failed, else "".
        std::string Copy(const std::vector<std::string>& files) const;
        // Exe with arguments, in Dir.
        bool Start(CHILD& child, const std::string& arguments) const;
        int Run(const std::string& arguments, int timeoutMs = 60000) const;

        TEMPDIR Dir;
        std::string Name;
        std::string Exe;
    };
}
