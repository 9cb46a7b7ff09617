// The log and the assertion handler of the native Linux build of text and
// containers: lines go to a file opened with /LOGIT:path, and a failed
// assertion is written to the log and to standard error, never asked about.

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <mutex>

#include "framework/app/logit.h"
#include "framework/os/osys.h"

unsigned int LogitLevel = 0;

namespace
{
    std::recursive_mutex gLock;
    FILE* gLogFile = 0;
    volatile bool gWriting = false;
    bool gNoAssert = false;
    const char* gSuppressPrefix = 0;
    bool gSuppressPersistent = false;
    ASSERTHOOK gAssertHook = 0;
    int64_t gTimeBase = 0;
    uint32_t gFirstThread = 0;
    bool gAtLineStart = true;
    int gIndentation = 0;
    const char IndentBars[] = "| | | | | | | | | | | | | | | | | | | ";

    void WriteLine(const char* format, va_list args)
    {
        std::lock_guard<std::recursive_mutex> guard(gLock);
        if (!gLogFile)
            return;
        int64_t now = 0, frequency = 1;
        OSYS::PerformanceCounter(&now, &frequency);
        if (gTimeBase == 0)
            gTimeBase = now;
        uint32_t thread = OSYS::GetCurrentThreadId();
        if (gFirstThread == 0)
            gFirstThread = thread;
        if (strncmp(format, "[>>]", 4) == 0 && gIndentation < 30)
        {
            gIndentation += 2;
            format += 4;
        }
        else if (strncmp(format, "[<<]", 4) == 0 && gIndentation >= 2)
        {
            gIndentation -= 2;
            format += 4;
        }
        char logitbuf[8192];
        int howmany = 0;
        if (gAtLineStart)
            howmany = FORMAT::Print(logitbuf, sizeof(logitbuf), "[%07.3lf%c%04x] %.*s",
                                    (double)(now - gTimeBase) / (double)frequency, thread == gFirstThread ? ':' : '#',
                                    (unsigned)(thread & 0xFFFFF), gIndentation, IndentBars);
        int room = (int)sizeof(logitbuf) - howmany;
        int wanted = strchr(format, '%') ? FORMAT::PrintV(logitbuf + howmany, room, format, args)
                                         : (int)FORMAT::Copy(logitbuf + howmany, format, room);
        howmany += wanted < room ? (wanted > 0 ? wanted : 0) : room - 1;
        gAtLineStart = howmany > 0 && logitbuf[howmany - 1] == '\n';
        fwrite(logitbuf, 1, (size_t)howmany, gLogFile);
        fflush(gLogFile);
    }

    bool SuppressedBy(const char* format)
    {
        if (!gSuppressPrefix || !format)
            return false;
        if (strncmp(format, gSuppressPrefix, strlen(gSuppressPrefix)) != 0)
            return false;
        if (!gSuppressPersistent)
            gSuppressPrefix = 0;
        return true;
    }

    bool StartsWithNoCase(const char* text, const char* prefix)
    {
        return strncasecmp(text, prefix, strlen(prefix)) == 0;
    }
}

int Logit(const char* format, ...)
{
    if (!gWriting)
        return 0;
    if (SuppressedBy(format))
        return 0;
    va_list args;
    va_start(args, format);
    WriteLine(format ? format : "<NULL>", args);
    va_end(args);
    return 1;
}

int LogitIf(unsigned int level, const char* format, ...)
{
    if (!gWriting)
        return 0;
    if (SuppressedBy(format))
        return 0;
    if (!LogitLevelPasses(level, LogitLevel))
        return 0;
    if (!format)
        return 1;
    va_list args;
    va_start(args, format);
    WriteLine(format, args);
    va_end(args);
    return 1;
}

void LogitSuppress(const char* prefix, int persistent)
{
    gSuppressPrefix = prefix;
    gSuppressPersistent = persistent != 0;
}

int LogitIsEnabled()
{
    return gWriting;
}

// /LOGIT:path, /LOGITCLOSE, /LOG:n and /NOASSERT; the other options need Windows.
int LogitOption(const char* argument)
{
    if (!argument)
        return 0;
    std::lock_guard<std::recursive_mutex> guard(gLock);
    const char* value = argument + 1;
    if (StartsWithNoCase(value, "LOGIT:"))
    {
        if (gLogFile)
            fclose(gLogFile);
        gLogFile = fopen(value + 6, "w");
        gWriting = gLogFile != 0;
        gAtLineStart = true;
        gIndentation = 0;
        return 1;
    }
    if (strcasecmp(value, "LOGITCLOSE") == 0)
    {
        if (gLogFile)
            fclose(gLogFile);
        gLogFile = 0;
        gWriting = false;
        return 1;
    }
    if (StartsWithNoCase(value, "LOG:"))
    {
        LogitLevel |= (unsigned int)atol(value + 4);
        return 1;
    }
    if (strcasecmp(value, "NOASSERT") == 0)
    {
        gNoAssert = !gNoAssert;
        return 1;
    }
    return 0;
}

ASSERTHOOK AssertSetHook(ASSERTHOOK hook)
{
    ASSERTHOOK previous = gAssertHook;
    gAssertHook = hook;
    return previous;
}

int AssertHandler(int conditionValue, const char* conditionText, const char* file, int line, const char* info,
                  int silent)
{
    if (conditionValue)
        return 1;
    conditionText = conditionText ? conditionText : "<null>";
    if (gAssertHook && gAssertHook(conditionText, file, line, info))
        return 1;
    char message[2047];
    FORMAT::Print(message, sizeof(message), "    Condition: %s\n    Location : %s line %d\n    Add. Info: %s\n",
                  conditionText, file ? file : "", line, info ? info : "<null>");
    Logit("*** ASSERTION FAILED: \n%s\n", message);
    if (!gNoAssert && !silent)
        fprintf(stderr, "*** ASSERTION FAILED: \n%s\n", message);
    return 1;
}

int DiagnosticHotKeys(unsigned int, uintptr_t, intptr_t)
{
    return 0;
}
