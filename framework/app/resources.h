#pragma once
// The resource module: every dialog template, string, icon and window-class
// instance that the framework loads by number comes from this one module.
// The process entry sets it to the executable; the language setup can put a
// language library ("english.dll", "german.dll", ...) in its place.

#include "framework/text/strings.h"

namespace TARNIAPP
{
    void* ResourceModule();
    void SetResourceModule(void* module);
    // True once the language setup has loaded a library; only such a module
    // is freed by ReleaseResourceModule.
    bool LanguageLibraryLoaded();

    // The library for a Windows primary language id: 7 "german.dll",
    // 12 "french.dll", 14 "hungarian.dll", any other "english.dll".
    const char* LanguageLibraryName(int locale);

    // Loads the library of gLocale from the folder of modulePath (without a
    // development build suffix) plus subfolder and makes it the resource
    // module. A missing library falls back to English (gLocale becomes 9); a
    // missing English one answers false when quiet, else shows
    // "DLL not found" and ends the process with exit code 99. displayName
    // (else subfolder) becomes the application name, first letter upper case.
    bool SetupLanguage(const char* modulePath, const char* subfolder, const char* version,
                       const char* displayName, bool quiet);

    // Frees a loaded language library; the resource module is then the
    // executable again.
    void ReleaseResourceModule();

    // A build folder's trailing "\Release" or "\Release2" is dropped when
    // "..\main.cpp" or "..\approot.cpp" lies beside it: development programs
    // find their files where the installed program keeps them.
    STRING ProductDirectory(const char* directory);
}
