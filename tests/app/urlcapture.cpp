// A stand-in web browser: writes the address it was given to "url.txt"
// beside itself.

#include <windows.h>
#include <stdio.h>
#include <string.h>

int main(int count, char** arguments)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(0, path, MAX_PATH);
    char* slash = length ? strrchr(path, '\\') : 0;
    if (!slash || count < 2)
        return 1;
    strcpy(slash + 1, "url.txt");
    FILE* file = fopen(path, "wb");
    if (!file)
        return 1;
    fputs(arguments[1], file);
    fclose(file);
    return 0;
}
