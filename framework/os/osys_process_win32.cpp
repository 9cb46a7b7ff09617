// Win32 processes and threads: program start, shell execution, pipes to a
// child, threads, privileges and priorities.

#include <windows.h>
#include <process.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include "framework/app/logit.h"
#include "framework/os/osys.h"
#include "framework/os/osysinternal_win32.h"
#include "framework/os/winhandle_win32.h"
#include "framework/text/strings.h"

namespace
{
    void (*gMessagePump)() = 0;

    SYSTEMFUNCTION<decltype(ShellExecuteA)> gShellExecute("shell32.dll", "ShellExecuteA");
    SYSTEMFUNCTION<decltype(ShellExecuteExA)> gShellExecuteEx("shell32.dll", "ShellExecuteExA");

    // The kernel's basic process record (winternl.h cannot be included: its
    // STRING is not ours).
    struct PROCESSBASICS
    {
        LONG ExitStatus;
        void* Peb;
        ULONG_PTR AffinityMask;
        LONG BasePriority;
        ULONG_PTR ProcessId;
        ULONG_PTR ParentProcessId;
    };
    typedef LONG WINAPI QUERYPROCESS(HANDLE process, int infoClass, void* info, ULONG size, ULONG* returned);
    SYSTEMFUNCTION<QUERYPROCESS> gQueryProcess("ntdll.dll", "NtQueryInformationProcess");
    SYSTEMFUNCTION<decltype(QueryFullProcessImageNameA)> gQueryImageName("kernel32.dll", "QueryFullProcessImageNameA");

    const char* BaseName(const char* path)
    {
        const char* name = path;
        for (const char* p = path; *p; p++)
        {
            if (*p == '\\' || *p == '/')
                name = p + 1;
        }
        return name;
    }

    intptr_t OpenThroughShell(void* owner, const char* file, const char* parameters, const char* directory)
    {
        auto shellExecute = gShellExecute.Get();
        return shellExecute ? reinterpret_cast<intptr_t>(
                                  shellExecute(static_cast<HWND>(owner), "open", file, parameters, directory, SW_SHOW))
                            : 0;
    }
}

PIPECHILD::PIPECHILD() : hProcess(0), hInput(0), hOutput(0), Pid(0)
{
}

PIPECHILD::~PIPECHILD()
{
    Close();
}

void PIPECHILD::Close()
{
    void** handles[] = {&hProcess, &hInput, &hOutput};
    for (void** handle : handles)
    {
        if (*handle)
            CloseHandle(*handle);
        *handle = 0;
    }
    Pid = 0;
}

int PIPECHILD::Write(const void* data, int size)
{
    DWORD written = 0;
    if (!hInput || !data || size < 0 || !WriteFile(hInput, data, (DWORD)size, &written, 0))
        return -1;
    return (int)written;
}

int PIPECHILD::Read(void* buffer, int size)
{
    DWORD read = 0;
    if (!hOutput || !buffer || size < 0)
        return -1;
    if (!ReadFile(hOutput, buffer, (DWORD)size, &read, 0))
        return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    return (int)read;
}

void PIPECHILD::CloseInput()
{
    if (hInput)
        CloseHandle(hInput);
    hInput = 0;
}

int PIPECHILD::Wait(int timeout)
{
    if (!hProcess || WaitForSingleObject(hProcess, timeout < 0 ? INFINITE : (DWORD)timeout) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    if (!GetExitCodeProcess(hProcess, &code))
        return -1;
    return (int)code;
}

namespace OSYS
{
int StartProgram(const char* program, const char* parameters, const char* workDir, const char* title, int flags,
                 _PROCESS_INFORMATION* processInfo, int* exitCode)
{
    int show = (flags & STARTPROGRAM_HIDDEN)      ? SW_HIDE
             : (flags & STARTPROGRAM_MINIMIZED) ? SW_SHOWMINIMIZED
             : (flags & STARTPROGRAM_MAXIMIZED) ? SW_SHOWMAXIMIZED
                                                : SW_SHOWNORMAL;
    program = STRING::NullGuard(program);
    if (exitCode)
        *exitCode = -8;
    if (!program)
        return 0;
    if (program[0] == '*')
    {
        show = SW_SHOWMINIMIZED;
        program++;
    }
    else if (program[0] == '#')
    {
        show = SW_HIDE;
        program++;
    }
    const bool sync = (flags & STARTPROGRAM_SYNC) != 0;
    parameters = OSYSWIN32::TextOrEmpty(parameters);
    Logit("OSYS::StartProgram %s %s (sync= %d)\n", program, parameters, sync ? 1 : 0);

    STRING commandLine;
    if (parameters[0])
        commandLine.Format(program[0] == '"' ? "%s %s" : "\"%s\" %s", program, parameters);
    else
        commandLine = program;

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    char titleText[256];
    if (title && title[0])
    {
        FORMAT::Copy(titleText, title, sizeof(titleText));
        startup.lpTitle = titleText;
    }
    if (show != SW_SHOWNORMAL)
    {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = (WORD)show;
    }
    char directory[1024];
    bool haveDirectory = workDir && workDir[0];
    if (haveDirectory)
        FORMAT::Copy(directory, workDir, sizeof(directory));

    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof(info));
    BOOL rc = CreateProcessA(0, commandLine.At(0), 0, 0, FALSE, 0, 0, haveDirectory ? directory : 0, &startup,
                             &info);
    Logit("OSYS::StartProgram rc= %d\n", (int)rc);
    if (!rc)
    {
        Logit("OSYS::StartProgram getlasterrorstring returned %s\n", GetErrorText(-4711).Text());
        Logit("StartProgram done ok= %d\n", 0);
        return 0;
    }
    OWNEDHANDLE process(info.hProcess), thread(info.hThread);
    int result = rc;
    if (sync)
    {
        const bool pump = (flags & STARTPROGRAM_PUMPMESSAGES) != 0;
        while (WaitForSingleObject(info.hProcess, pump ? 10 : INFINITE) == WAIT_TIMEOUT)
        {
            if (gMessagePump)
                gMessagePump();
        }
        if (exitCode)
        {
            DWORD code = 0;
            if (GetExitCodeProcess(info.hProcess, &code))
                *exitCode = (int)code;
            else
                Logit("OSYS::StartProgram GetExitCodeProcess returned %d/%s\n", 0, GetErrorText(-4711).Text());
        }
        result = 1;
    }
    if (processInfo)
    {
        *processInfo = info;
        process.Release();
        thread.Release();
    }
    Logit("StartProgram done ok= %d\n", 1);
    return result;
}

int StartProgramExitCode(const char* program, const char* parameters, const char* workDir, const char* title)
{
    int code = -8;
    int result = StartProgram(program, parameters, workDir, title, STARTPROGRAM_SYNC, 0, &code) ? code : 1;
    Logit("StartProgramExitCode returns %d\n", result);
    return result;
}

void SetMessagePumpHook(void (*pump)())
{
    gMessagePump = pump;
}


void* CreateThread(THREADFUNCTION function, void* parameter, uint32_t* threadId)
{
    unsigned tid = 0;
    void* thread = reinterpret_cast<void*>(_beginthreadex(0, 0x8000, function, parameter, 0, &tid));
    Logit("OSYS::CreateThread returned hthread= %p, tid= %04x\n", thread, tid);
    if (threadId)
        *threadId = tid;
    return thread;
}

void* CreateThreadWithParm(THREADFUNCTION function, void* parameter1, void* parameter2, uint32_t* threadId)
{
    THREADPARM* block = static_cast<THREADPARM*>(malloc(sizeof(THREADPARM)));
    if (!block)
    {
        AssertHandler(0, "pparm", __FILE__, __LINE__, 0, 0);
        return 0;
    }
    block->Marker = THREADPARM::MARKER;
    block->Parameter1 = parameter1;
    block->Parameter2 = parameter2;
    unsigned tid = 0;
    void* thread = reinterpret_cast<void*>(_beginthreadex(0, 0x8000, function, block, 0, &tid));
    if (!thread)
        free(block);
    Logit("OSYS::CreateThreadWithParm returned %p, tid= %04x\n", thread, tid);
    if (threadId)
        *threadId = tid;
    return thread;
}

bool WaitThread(void* thread, int timeout)
{
    Logit("OSYS::WaitThread hthread=%p, timeout=%d\n", thread, timeout);
    if (!thread)
    {
        AssertHandler(0, "hthread!=NULL", __FILE__, __LINE__, 0, 0);
        return false;
    }
    DWORD rc = WaitForSingleObject(thread, timeout < 0 ? INFINITE : (DWORD)timeout);
    DWORD error = rc == WAIT_FAILED ? ::GetLastError() : rc;
    CloseHandle(thread);
    if (rc != WAIT_OBJECT_0)
        Logit("OSYS::WaitThread hthread=%p timeout=%d failed %s\n", thread, timeout, GetErrorText((int)error).Text());
    return rc == WAIT_OBJECT_0;
}

bool KillThread(void* thread)
{
    if (!thread)
        return false;
    BOOL ok = TerminateThread(thread, 1);
    CloseHandle(thread);
    return ok != FALSE;
}

bool ShellExecuteRun(void* owner, const char* program, const char* parameters, const char* workDir)
{
    program = STRING::NullGuard(program);
    Logit("OSYS::ShellExecuteRun owner= %p, program= %s, parm= %s, workdir= %s\n", owner, OSYSWIN32::TextOrEmpty(program),
          OSYSWIN32::TextOrEmpty(parameters), OSYSWIN32::TextOrEmpty(workDir));
    if (!program)
        return false;
    intptr_t rc = OpenThroughShell(owner, program, parameters, workDir);
    Logit("OSYS::ShellExecuteRun rc= %d (ok= %d)\n", (int)rc, rc > 32 ? 1 : 0);
    return rc > 32;
}

bool ShellExecuteRunSync(void* owner, const char* program, const char* parameters, const char* workDir, int timeout,
                         int* exitCode)
{
    program = STRING::NullGuard(program);
    Logit("OSYS::ShellExecuteRunSync owner= %ps, program= %s, parm= %s, workdir= %s\n", owner, OSYSWIN32::TextOrEmpty(program),
          OSYSWIN32::TextOrEmpty(parameters), OSYSWIN32::TextOrEmpty(workDir));
    if (exitCode)
        *exitCode = -1;
    if (!program)
        return false;
    SHELLEXECUTEINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = sizeof(info);
    // No error box: a failure is the caller's to report, and a box would block it.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.hwnd = static_cast<HWND>(owner);
    info.lpVerb = "open";
    info.lpFile = program;
    info.lpParameters = parameters;
    info.lpDirectory = workDir;
    info.nShow = SW_SHOW;
    auto shellExecuteEx = gShellExecuteEx.Get();
    if (!shellExecuteEx || !shellExecuteEx(&info))
        return false;
    OWNEDHANDLE process(info.hProcess);
    if (process.Get() && WaitForSingleObject(process.Get(), timeout < 0 ? INFINITE : (DWORD)timeout) == WAIT_OBJECT_0)
    {
        DWORD code = 0;
        if (exitCode && GetExitCodeProcess(process.Get(), &code))
            *exitCode = (int)code;
    }
    return true;
}

bool OpenDocument(const char* path, void* owner)
{
    path = STRING::NullGuard(path);
    if (!path)
        return false;
    char directory[MAX_PATH] = "";
    ::GetCurrentDirectoryA(sizeof(directory), directory);
    intptr_t rc = OpenThroughShell(owner, path, 0, directory);
    Logit("OSYS::OpenDocument %s rc= %d\n", path, (int)rc);
    return rc > 32;
}

STRING ParentProcessImage()
{
    // The kernel names the parent and its image in three short calls. A process
    // snapshot copies the whole process list, a noticeable part of the
    // controller's start-up: it is the way only for systems without those
    // calls and for a parent this process may not open.
    DWORD parent = 0;
    PROCESSBASICS basic = {};
    auto queryProcess = gQueryProcess.Get();
    if (queryProcess && queryProcess(::GetCurrentProcess(), 0, &basic, sizeof(basic), 0) >= 0)
        parent = static_cast<DWORD>(basic.ParentProcessId);
    auto queryImageName = gQueryImageName.Get();
    if (parent && queryImageName)
    {
        OWNEDHANDLE process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent));
        char path[MAX_PATH] = "";
        DWORD size = sizeof(path);
        if (process.Valid() && queryImageName(process.Get(), 0, path, &size))
            return STRING(BaseName(path));
    }

    OWNEDHANDLE snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.Valid())
        return STRING("");
    const DWORD self = ::GetCurrentProcessId();
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = !parent && Process32First(snapshot.Get(), &entry); more && !parent; more = Process32Next(snapshot.Get(), &entry))
    {
        if (entry.th32ProcessID == self)
            parent = entry.th32ParentProcessID;
    }
    entry.dwSize = sizeof(entry);
    for (BOOL more = parent && Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry))
    {
        if (entry.th32ProcessID == parent)
            return STRING(BaseName(entry.szExeFile));
    }
    return STRING("");
}

bool CreatePipeChild(const char* commandLine, const char* workDir, PIPECHILD& child)
{
    Logit("APPDIALOG::CreatePipeChild\n");
    child.Close();
    commandLine = STRING::NullGuard(commandLine);
    if (!commandLine)
        return false;
    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), 0, TRUE};
    OWNEDHANDLE outputRead, outputWrite, inputRead, inputWrite;
    if (!CreatePipe(outputRead.Receive(), outputWrite.Receive(), &inheritable, 0))
        return false;
    Logit("APPDIALOG::CreatePipeChild after STDOUT CreatePipe()\n");
    if (!CreatePipe(inputRead.Receive(), inputWrite.Receive(), &inheritable, 0))
        return false;
    Logit("APPDIALOG::CreatePipeChild after STDIN CreatePipe()\n");

    // Our ends must not reach the child, or it never reads the end of its input.
    HANDLE self = GetCurrentProcess();
    OWNEDHANDLE output, input;
    if (!DuplicateHandle(self, outputRead.Get(), self, output.Receive(), 0, FALSE, DUPLICATE_SAME_ACCESS) ||
        !DuplicateHandle(self, inputWrite.Get(), self, input.Receive(), 0, FALSE, DUPLICATE_SAME_ACCESS))
        return false;
    outputRead.Close();
    inputWrite.Close();

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = inputRead.Get();
    startup.hStdOutput = outputWrite.Get();
    startup.hStdError = outputWrite.Get();
    STRING line(commandLine);
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof(info));
    BOOL rc = CreateProcessA(0, line.At(0), 0, 0, TRUE, 0, 0, workDir && workDir[0] ? workDir : 0, &startup, &info);
    Logit("APPDIALOG::CreatePipeChild after CreateProcess() rc=%d\n", (int)rc);
    if (!rc)
        return false;
    CloseHandle(info.hThread);
    child.hProcess = info.hProcess;
    child.hInput = input.Release();
    child.hOutput = output.Release();
    child.Pid = info.dwProcessId;
    return true;
}


}

GETPRIVILEGE::GETPRIVILEGE(const char* privilegeName)
    : PrivilegeName(STRING::NullGuard(privilegeName)), hToken(0), Privilege{0, 0, 0, 0}, Adjusted(false), Ok(false)
{
    HANDLE token = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    {
        // The Windows 95 family has no tokens: every privilege is granted.
        if (::GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
        {
            ::SetLastError(0);
            Ok = true;
        }
        return;
    }
    hToken = token;

    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    if (!LookupPrivilegeValueA(0, PrivilegeName.Text(), &privileges.Privileges[0].Luid))
    {
        OSYSWIN32::AssertOnHandle("ok", token, __FILE__, __LINE__);
        return;
    }
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    TOKEN_PRIVILEGES previous = {};
    DWORD previousSize = sizeof(previous);
    ::SetLastError(0);
    BOOL adjusted = AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(previous), &previous, &previousSize);
    // A privilege the token lacks still "succeeds", with ERROR_NOT_ALL_ASSIGNED.
    DWORD error = ::GetLastError();
    Ok = adjusted && error == 0;
    if (!Ok)
        Logit("GETPRIVILEGE::GetLastError after AdjustTokenPrivileges is %ld\n", (long)error);
    // A privilege that was enabled before stays enabled afterwards. Windows
    // lists only changed privileges in the previous state, Wine all of them.
    Adjusted = Ok && previous.PrivilegeCount > 0 && !(previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED);
    Privilege = {1, privileges.Privileges[0].Luid.LowPart, privileges.Privileges[0].Luid.HighPart, SE_PRIVILEGE_ENABLED};
}

GETPRIVILEGE::~GETPRIVILEGE()
{
    if (Adjusted)
    {
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Luid.LowPart = Privilege.LuidLow;
        privileges.Privileges[0].Luid.HighPart = Privilege.LuidHigh;
        privileges.Privileges[0].Attributes = 0;
        if (!AdjustTokenPrivileges(hToken, FALSE, &privileges, 0, 0, 0))
            OSYSWIN32::AssertOnHandle("ok", hToken, __FILE__, __LINE__);
    }
    if (hToken)
        CloseHandle(hToken);
}

// The process pseudo handle needs no closing.
RAISEPROCESSPRIORITY::RAISEPROCESSPRIORITY(int priorityClass, int previousClass)
    : hProcess(GetCurrentProcess()), PreviousClass(previousClass), RaiseOk(false)
{
    if (PreviousClass == -1)
        PreviousClass = (int)GetPriorityClass(hProcess);
    LogitIf(1, "RAISEPROCESSPRIORITY::RAISEPROCESSPRIORITY prio= %d\n", priorityClass);
    RaiseOk = SetPriorityClass(hProcess, (DWORD)priorityClass) != FALSE;
    LogitIf(1, "RAISEPROCESSPRIORITY::RAISEPROCESSPRIORITY done, ok= %d, origclass= %d\n", RaiseOk, PreviousClass);
}

RAISEPROCESSPRIORITY::~RAISEPROCESSPRIORITY()
{
    LogitIf(1, "RAISEPROCESSPRIORITY::~RAISEPROCESSPRIORITY (RaiseOk=%d)\n", RaiseOk);
    BOOL rc = RaiseOk ? SetPriorityClass(hProcess, (DWORD)PreviousClass) : FALSE;
    LogitIf(1, "RAISEPROCESSPRIORITY::~RAISEPROCESSPRIORITY done (rc= %d)\n", rc);
}

RAISETHREADPRIORITY::RAISETHREADPRIORITY(int priority, int previousPriority)
    : hThread(0), PreviousPriority(previousPriority), RaiseOk(false)
{
    // A real handle, not the pseudo handle: it keeps naming the thread that
    // made the object.
    HANDLE thread = 0;
    if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread, 0, FALSE,
                        DUPLICATE_SAME_ACCESS))
        hThread = thread;
    else
        OSYSWIN32::AssertOnHandle("ok", GetCurrentThread(), __FILE__, __LINE__);
    if (PreviousPriority == -1)
        PreviousPriority = GetThreadPriority(hThread);
    LogitIf(1, "RAISETHREADPRIORITY::RAISETHREADPRIORITY prio= %d\n", priority);
    RaiseOk = hThread && SetThreadPriority(hThread, priority);
    LogitIf(1, "RAISETHREADPRIORITY::RAISETHREADPRIORITY done, ok= %d, origclass= %d\n", RaiseOk, PreviousPriority);
}

RAISETHREADPRIORITY::~RAISETHREADPRIORITY()
{
    LogitIf(1, "RAISETHREADPRIORITY::~RAISETHREADPRIORITY (RaiseOk=%d)\n", RaiseOk);
    BOOL rc = RaiseOk ? SetThreadPriority(hThread, PreviousPriority) : FALSE;
    LogitIf(1, "RAISETHREADPRIORITY::~RAISETHREADPRIORITY done (rc= %d)\n", rc);
    if (hThread)
        CloseHandle(hThread);
}

bool RAISETHREADPRIORITY::SetPriority(int priority)
{
    LogitIf(1, "RAISETHREADPRIORITY::SetPriority called, prio= %d\n", priority);
    bool ok = hThread && SetThreadPriority(hThread, priority);
    if (ok)
        RaiseOk = true;
    return ok;
}
