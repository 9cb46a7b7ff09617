// A hosted program that misbehaves on purpose, chosen by the name it is
// copied under: "nowindow" never creates a window and runs until a file
// "quit.txt" appears beside it; "exits" ends by itself after a second;
// "crashes" faults. Each writes "<name>.started" beside itself first.

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

    char marker[MAX_PATH];
    snprintf(marker, sizeof(marker), "%.*s%s.started", (int)(name - path), path, mode);
    FILE* started = fopen(marker, "w");
    if (started)
    {
        fprintf(started, "%s\n", GetCommandLineA());
        fclose(started);
    }

    if (strcmp(mode, "nowindow") == 0)
    {
        char quit[MAX_PATH];
        snprintf(quit, sizeof(quit), "%.*squit.txt", (int)(name - path), path);
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
