#include "framework/app/resources.h"

#include <windows.h>
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osysfile.h"

namespace
{
    HMODULE gResourceModule = 0;
    bool gLanguageLoaded = false;

    bool EndsWith(const STRING& text, const char* tail)
    {
        return STRING::Compare(text.Right((int)strlen(tail)).Text(), tail) == 0;
    }

    HMODULE LoadLanguageLibrary(const STRING& folder, int locale, STRING& path)
    {
        path = FILENAME(folder.Text(), TARNIAPP::LanguageLibraryName(locale)).GetPath();
        HMODULE library = LoadLibraryA(path.Text());
        Logit("TARNIAPP::SetupLanguage LoadLibrary %s returns %p\n", path.Text(), (void*)library);
        return library;
    }
}

namespace TARNIAPP
{

void* ResourceModule() { return gResourceModule; }

void SetResourceModule(void* module)
{
    gResourceModule = static_cast<HMODULE>(module);
}

bool LanguageLibraryLoaded() { return gLanguageLoaded; }

const char* LanguageLibraryName(int locale)
{
    switch (locale)
    {
    case 7: return "german.dll";
    case 12: return "french.dll";
    case 14: return "hungarian.dll";
    default: return "english.dll";
    }
}

STRING ProductDirectory(const char* directory)
{
    STRING result(STRING::NullGuard(directory));
    bool development = FILENAME(result.Text(), "..\\main.cpp").Exists() ||
                       FILENAME(result.Text(), "..\\approot.cpp").Exists();
    if (development && EndsWith(result, "\\Release"))
        result.Truncate(result.Length() - 8);
    else if (development && EndsWith(result, "\\Release2"))
        result.Truncate(result.Length() - 9);
    return result;
}

bool SetupLanguage(const char* modulePath, const char* subfolder, const char* version,
                   const char* displayName, bool quiet)
{
    subfolder = STRING::NullGuard(subfolder);
    STRING name(displayName ? displayName : subfolder);
    if (!name.IsEmpty())
        name[0] = (char)toupper((unsigned char)name[0]);
    SetAppName(name.Text());
    SetVersion(STRING::NullGuard(version));

    STRING directory = FILENAME(STRING::NullGuard(modulePath)).Directory().GetPath();
    STRING folder = FILENAME(ProductDirectory(directory.Text()).Text(), subfolder).GetPath();

    // A second setup replaces the library of the first.
    ReleaseResourceModule();

    STRING path;
    HMODULE library = LoadLanguageLibrary(folder, gLocale, path);
    if (!library && strcmp(LanguageLibraryName(gLocale), "english.dll") != 0)
    {
        gLocale = 9;
        library = LoadLanguageLibrary(folder, gLocale, path);
    }
    gResourceModule = library;
    if (library)
    {
        gLanguageLoaded = true;
        return true;
    }
    if (quiet)
        return false;

    char text[300];
    FORMAT::Print(text, sizeof(text), "DLL not found:\r%.255s", path.Text());
    AppMessageBox(0, text, "Tarni Application", MB_ICONERROR);
    Logit("TARNIAPP::SetupLanguage no language library, exit 99\n");
    exit(99);
    return false;
}

void ReleaseResourceModule()
{
    if (gLanguageLoaded && gResourceModule)
    {
        FreeLibrary(gResourceModule);
        gResourceModule = static_cast<HMODULE>(Instance());
    }
    gLanguageLoaded = false;
}

}
