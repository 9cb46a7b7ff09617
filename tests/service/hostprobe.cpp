// A hosted program that misbehaves on purpose, chosen by the name it is
// copied under: "nowindow" never creates a window and runs until a file
// "quit.txt" appears beside it; "exits" ends by itself after a second;
// "crashes" faults; "slowquit" shows a window of the demo's class and ends
// three seconds after WM_QUIT; "neverquits" shows that window and ignores
// WM_QUIT until "quit.txt" appears. Each writes "<name>.started" beside itself
// first (the window modes once their window exists).

#include <windows.h>
#include <stdio.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH];
    GetModuleFileNameA(0, path, sizeof(path));
    char* name = strrchr(path, '\\') + 1;
    char* dot = strrchr(name, '.');
    if (dot)
        *dot = 0;
    char mode[64];
    snprintf(mode, sizeof(mode), "%s", name);

    bool windowMode = strcmp(mode, "slowquit") == 0 || strcmp(mode, "neverquits") == 0;
    if (windowMode)
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(0);
        windowClass.lpszClassName = "TarniDemoAppWindow";
        RegisterClassA(&windowClass);
        CreateWindowA("TarniDemoAppWindow", mode, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, 0, 0, windowClass.hInstance, 0);
    }

    char marker[MAX_PATH];
    snprintf(marker, sizeof(marker), "%.*s%s.started", (int)(name - path), path, mode);
    char quit[MAX_PATH];
    snprintf(quit, sizeof(quit), "%.*squit.txt", (int)(name - path), path);
    FILE* started = fopen(marker, "w");
    if (started)
    {
        fprintf(started, "%s\n", GetCommandLineA());
        fclose(started);
    }

    if (windowMode)
    {
        MSG message;
        while (GetMessageA(&message, 0, 0, 0) > 0)
            DispatchMessageA(&message);
        if (strcmp(mode, "slowquit") == 0)
        {
            Sleep(3000);
            return 0;
        }
    }
    if (windowMode || strcmp(mode, "nowindow") == 0)
    {
        for (int waited = 0; waited < 60000 && GetFileAttributesA(quit) == INVALID_FILE_ATTRIBUTES; waited += 100)
            Sleep(100);
        return 0;
    }
    if (strcmp(mode, "exits") == 0)
    {
        Sleep(1000);
        return 3;
    }
    if (strcmp(mode, "crashes") == 0)
    {
        Sleep(500);
        RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, 0);
    }
    return 1;
}
