// A small desktop application to host as a service. Started with "/service"
// it creates its main window (class "TarniDemoAppWindow", found by the
// controller), runs until it receives WM_QUIT, and records what happened in
// "demoapp.log" beside itself: command line, arguments, working directory,
// start and end.

#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>

static const char WindowClass[] = "TarniDemoAppWindow";

static void Stamp(FILE* log, const char* what)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    fprintf(log, "%04d-%02d-%02d %02d:%02d:%02d.%03d %s\n", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
            now.wSecond, now.wMilliseconds, what);
    fflush(log);
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE)
    {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY)
    {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    char path[MAX_PATH];
    GetModuleFileNameA(0, path, sizeof(path));
    char* slash = strrchr(path, '\\');
    strcpy(slash ? slash + 1 : path, "demoapp.log");
    // In a folder it cannot write to, the program still runs, unrecorded.
    FILE* log = fopen(path, "a");
    if (!log)
        log = fopen("NUL", "w");
    if (!log)
        return 1;

    Stamp(log, "start");
    fprintf(log, "command line: %s\n", GetCommandLineA());
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; arguments && i < count; i++)
        fprintf(log, "argument %d: %ls\n", i, arguments[i]);
    LocalFree(arguments);
    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(directory), directory);
    fprintf(log, "working directory: %s\n", directory);

    bool asService = count > 1 && strstr(GetCommandLineA(), "/service") != 0;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(0, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = WindowClass;
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA(WindowClass, "Tarni Demo Application", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 400, 200, 0, 0, instance, 0);
    if (!window)
    {
        Stamp(log, "end: the window could not be created");
        fclose(log);
        return 2;
    }
    // As a service the window stays hidden; on the desktop it is shown.
    if (!asService)
        ShowWindow(window, show);
    Stamp(log, asService ? "running as a service, waiting for WM_QUIT" : "running on the desktop");

    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, 0, 0, 0)) > 0)
    {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Stamp(log, got == 0 ? "end: WM_QUIT received" : "end: the message loop failed");
    fclose(log);
    return 0;
}
