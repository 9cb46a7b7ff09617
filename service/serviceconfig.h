#pragma once
// The controller's configuration: "service.cfg" beside the executable (or
// the file named by /CFG:), loaded once before any verb is looked at.

#include "framework/containers/stringarray.h"
#include "framework/text/strings.h"

namespace SERVICECONFIG
{
    // The process-wide store, read by every part of the controller.
    HASH& Store();
    // The value of key, empty when the key is missing (the store is not changed).
    STRING Value(const char* key);

    // Loads and checks the file, defaults "ADVGUI" and refuses Windows
    // 95/98/ME. 0: go on; 99: Windows 95/98/ME; 100: file missing or
    // incomplete. Shows a message box for 99 and 100.
    int Load();

    // The text for "NOTWIN95" or "NOSERVICECFG" in the current language.
    STRING MessageText(const char* id);
}
