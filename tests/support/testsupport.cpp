#include "tests/support/testsupport.h"

#include "framework/os/osys.h"
#include "framework/text/strings.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <stdio.h>


#include "framework/app/logit.h"

namespace TESTSUPPORT
{

TEMPDIR::TEMPDIR(const char* tag)
{
    char base[MAX_PATH];
    GetTempPathA(sizeof(base), base);
    static unsigned counter = 0;
    for (;;)
    {
        char name[MAX_PATH];
        snprintf(name, sizeof(name), "%starni-%s-%lu-%u", base, tag, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryA(name, 0))
        {
            Dir = name;
            break;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
}

std::string TEMPDIR::File(const std::string& name) const
{
    return Dir + "\\" + name;
}

TEMPDIR::~TEMPDIR()
{
    if (Dir.empty())
        return;
    std::string from = Dir + std::string(1, '\0');   // double-terminated list
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&op);
}

CHILD::~CHILD()
{
    if (Info.hProcess)
    {
        if (WaitForSingleObject(Info.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(Info.hProcess, 1);
        CloseHandle(Info.hProcess);
        CloseHandle(Info.hThread);
    }
}

bool CHILD::Start(const std::string& commandLine, const std::string& workDir,
                  const std::vector<std::string>& environment, const std::string& application)
{
    std::string block;
    if (!environment.empty())
    {
        char* current = GetEnvironmentStringsA();
        for (const char* p = current; *p; p += strlen(p) + 1)
            block.append(p, strlen(p) + 1);
        FreeEnvironmentStringsA(current);
        for (const std::string& entry : environment)
            block.append(entry.c_str(), entry.size() + 1);
        block.push_back('\0');
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    // A program copied a moment ago has once failed to start under Wine on a
    // fresh prefix; a second try after a pause is reported, not hidden.
    for (int attempt = 1; attempt <= 3; attempt++)
    {
        std::vector<char> command(line);
        if (CreateProcessA(application.empty() ? 0 : application.c_str(), command.data(), 0, 0, FALSE, 0,
                           block.empty() ? 0 : (void*)block.data(), workDir.empty() ? 0 : workDir.c_str(), &startup,
                           &Info))
            return true;
        fprintf(stderr, "CHILD::Start attempt %d of %s failed with error %lu\n", attempt, commandLine.c_str(),
                (unsigned long)GetLastError());
        Sleep(200);
    }
    return false;
}

int CHILD::Wait(int timeoutMs)
{
    if (!Info.hProcess)
        return -1;
    if (WaitForSingleObject(Info.hProcess, timeoutMs) != WAIT_OBJECT_0)
    {
        TerminateProcess(Info.hProcess, 1);
        WaitForSingleObject(Info.hProcess, 5000);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(Info.hProcess, &code);
    return (int)code;
}

std::string SystemFolder(int type)
{
    std::string path = OSYS::GetSystemPath(type).Text();
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

APPVERSION::APPVERSION(const std::string& program, const char* version)
    : Key("Software\\Wine\\AppDefaults\\" + program)
{
    RegSetKeyValueA(HKEY_CURRENT_USER, Key.c_str(), "Version", REG_SZ, version, (DWORD)strlen(version) + 1);
}

APPVERSION::~APPVERSION()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, Key.c_str());
}

std::string SelfPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(0, path, sizeof(path));
    return path;
}

int RunDisabledTest(const std::string& name)
{
    CHILD self;
    if (!self.Start("\"" + SelfPath() + "\" --gtest_also_run_disabled_tests --gtest_filter=" + name))
        return -2;
    return self.Wait(60000);
}

std::string SelfDirectory()
{
    std::string path = SelfPath();
    return path.substr(0, path.find_last_of('\\'));
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SetEnvironment(const std::string& name, const std::string& value)
{
    _putenv((name + "=" + value).c_str());   // the runtime copies the text
}

namespace
{
    struct SEARCH
    {
        DWORD Pid;
        const char* ClassName;
        HWND Except;
        HWND Found;
    };

    BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
    {
        SEARCH* search = reinterpret_cast<SEARCH*>(parameter);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        char className[128] = "";
        GetClassNameA(window, className, sizeof(className));
        if (pid == search->Pid && window != search->Except && strcmp(className, search->ClassName) == 0 &&
            IsWindowVisible(window))
        {
            search->Found = window;
            return FALSE;
        }
        return TRUE;
    }
}

// Windows are listed at once: a walk along the z-order would stop at a window
// that another program closes meanwhile.
HWND WaitForWindow(DWORD pid, const char* className, int timeoutMs, HWND except)
{
    for (int waited = 0; waited <= timeoutMs; waited += 50)
    {
        SEARCH search = {pid, className, except, 0};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.Found)
            return search.Found;
        Sleep(50);
    }
    return 0;
}

std::vector<DWORD> ProcessesOf(const std::string& path)
{
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        char image[MAX_PATH] = "";
        DWORD size = sizeof(image);
        if (QueryFullProcessImageNameA(process, 0, image, &size) && _stricmp(image, path.c_str()) == 0)
            ids.push_back(entry.th32ProcessID);
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return ids;
}

void EndProcesses(const std::vector<DWORD>& ids)
{
    for (DWORD id : ids)
    {
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id))
        {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

std::wstring WindowText(HWND window)
{
    wchar_t text[4096] = L"";
    GetWindowTextW(window, text, 4096);
    return text;
}

std::wstring ControlText(HWND dialog, int id)
{
    wchar_t text[4096] = L"";
    GetDlgItemTextW(dialog, id, text, 4096);
    return text;
}

bool PressButton(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    if (!button)
        return false;
    PostMessageW(button, BM_CLICK, 0, 0);
    return true;
}

std::vector<LONG> ChildRect(HWND window, int id)
{
    RECT r = {};
    GetWindowRect(GetDlgItem(window, id), &r);
    MapWindowPoints(0, window, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right, r.bottom};
}

std::vector<SIZE> LineExtents(HFONT font, const std::wstring& text, wchar_t separator, const std::wstring& emptyLine)
{
    HDC dc = GetDC(0);
    HGDIOBJ previous = SelectObject(dc, font);
    std::vector<SIZE> result;
    for (size_t start = 0, end = 0; end != std::wstring::npos; start = end + 1)
    {
        end = text.find(separator, start);
        std::wstring line = text.substr(start, end - start);
        if (line.empty())
            line = emptyLine;
        result.push_back({});
        GetTextExtentPoint32W(dc, line.c_str(), (int)line.size(), &result.back());
    }
    SelectObject(dc, previous);
    ReleaseDC(0, dc);
    return result;
}

std::string Narrow(const std::wstring& text)
{
    int n = WideCharToMultiByte(1252, 0, text.c_str(), (int)text.size(), 0, 0, 0, 0);
    std::string result(n, '\0');
    WideCharToMultiByte(1252, 0, text.c_str(), (int)text.size(), &result[0], n, 0, 0);
    return result;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    for (int waited = 0; !done(); waited += 100)
    {
        if (waited >= timeoutMs)
            return false;
        Sleep(100);
    }
    return true;
}

std::string WaitForText(const std::function<std::string()>& read, const std::string& expected, int timeoutMs)
{
    std::string seen;
    WaitUntil([&] { return (seen = read()) == expected; }, timeoutMs);
    return seen;
}

SCOWNER ServiceHandle(const std::string& name, DWORD access)
{
    SCOWNER manager(OpenSCManagerA(0, 0, SC_MANAGER_ALL_ACCESS));
    return SCOWNER(manager ? OpenServiceA(manager.get(), name.c_str(), access) : 0);
}

DWORD ServiceState(const std::string& name, DWORD* specificExitCode)
{
    SCOWNER service = ServiceHandle(name, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status = {};
    if (!service || !QueryServiceStatus(service.get(), &status))
        return 0;
    if (specificExitCode)
        *specificExitCode = status.dwServiceSpecificExitCode;
    return status.dwCurrentState;
}

std::string ServiceSettings(const std::string& name)
{
    SCOWNER service = ServiceHandle(name, SERVICE_QUERY_CONFIG);
    alignas(8) char buffer[8192];
    QUERY_SERVICE_CONFIGA* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
    DWORD needed = 0;
    if (!service || !QueryServiceConfigA(service.get(), config, sizeof(buffer), &needed))
        return "";
    return std::to_string(config->dwServiceType) + " " + std::to_string(config->dwStartType) + " " +
           std::to_string(config->dwErrorControl) + " " + config->lpServiceStartName + " " + config->lpDisplayName +
           " " + config->lpBinaryPathName;
}

bool SendStop(const std::string& name)
{
    SCOWNER service = ServiceHandle(name, SERVICE_STOP);
    SERVICE_STATUS status;
    return service && ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
}

void RemoveService(const std::string& name)
{
    SCOWNER service = ServiceHandle(name, SERVICE_ALL_ACCESS);
    if (!service)
        return;
    SERVICE_STATUS status;
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    DeleteService(service.get());
    service.reset();
    WaitUntil([&] { return !ServiceHandle(name, SERVICE_QUERY_STATUS); });
}

SERVICEDIR::SERVICEDIR(const char* tag) : Dir(tag), Exe(Dir.File("service.exe"))
{
    static int counter = 0;
    Name = std::string("Tarni") + tag + std::to_string(GetCurrentProcessId()) + "x" + std::to_string(++counter);
    RemoveService(Name);
}

std::string SERVICEDIR::Copy(const std::vector<std::string>& files) const
{
    for (const std::string& file : files)
    {
        if (!CopyFileA((SelfDirectory() + "\\..\\service\\" + file).c_str(), Dir.File(file).c_str(), FALSE))
            return file;
    }
    return "";
}

bool SERVICEDIR::Start(CHILD& child, const std::string& arguments) const
{
    return child.Start("\"" + Exe + "\" " + arguments, Dir.Path(), {}, Exe);
}

int SERVICEDIR::Run(const std::string& arguments, int timeoutMs) const
{
    CHILD child;
    return Start(child, arguments) ? child.Wait(timeoutMs) : -2;
}

}
