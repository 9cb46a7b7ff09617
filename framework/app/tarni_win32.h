#pragma once
// The application frame: process entry, start-up in a fixed order, the
// program-argument list and its queries, the frame globals.

#include <stdint.h>

#include "framework/app/resources.h"
#include "framework/containers/stringarray.h"
#include "framework/text/strings.h"

typedef int (*APPMAINFUNC)(int count, char** arguments, char** environment);

// The application's main function; a program sets it with a TARNIAPPMAIN.
extern APPMAINFUNC pfnAppMain;

struct TARNIAPPMAIN
{
    explicit TARNIAPPMAIN(APPMAINFUNC appMain) { pfnAppMain = appMain; }
};

extern int gLocale;               // Windows primary language id: 7 German, 9 English, ...
extern STRING gWorkDir;           // current directory at start
extern uint32_t gMainThreadId;

// 1 when an argument is '/' or '-' followed by exactly key (case ignored).
int TestArg(const char* key);
// 1 when at least index+1 arguments carry a value for key ("/KEY:v" or "-KEY v").
int TestArgValue(const char* key, int index);
// The value of the index-th argument that begins with '/' or '-' and key.
STRING GetArgValue(const char* key, int index);

namespace TARNIAPP
{
    const int MaxArgumentPointers = 256;

    // Runs the frame: start-up, appMain, exit banner. Returns appMain's result.
    int Run(void* instance, APPMAINFUNC appMain);

    // Splits a command line in place into argv[0] = self and its tokens; a first
    // token that names the program (longer than four characters, ending in
    // ".exe") is dropped. argv holds MaxArgumentPointers entries; returns the count.
    int SplitCommandLine(char* text, char* self, char** argv);

    // Collects the program arguments: command-line entries, then the lines of
    // every "commandline.ini" candidate. defaultLanguage is used when no LANG is given.
    void AcquireArguments(int count, char** argv, int defaultLanguage);

    // Registers a clean-up that runs when the application's main function has
    // returned, before the log closes; the latest registered runs first.
    // Answers false (after the assertion) when the list is full.
    bool AtExit(void (*cleanup)());

    // The candidate "commandline.ini" files that exist, in reading order.
    void CommandLineIniCandidates(STRINGARRAY& files, bool* desktopTaken);

    STRINGARRAY& Arguments();
    const STRING& MakerName();
    const STRING& AppName();
    void SetAppName(const char* name);
    const STRING& Version();
    void SetVersion(const char* version);
    const STRING& ArgumentZero();
    const STRING& AppDirectory();
    const STRING& CommandLine();
    bool IsMainThread();
    void* Instance();
}
