#pragma once
// Diagnostic log, assertion handler and bounded formatting routines.
// Portable declarations: no system headers, so text and containers can use them.

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

// Low 4 bits: verbosity (0..15); bits 4..31: category mask. /LOG:n ORs n in.
extern unsigned int LogitLevel;

int Logit(const char* format, ...);
int LogitIf(unsigned int level, const char* format, ...);
// LogitIf's filter: the level in the low four bits at most the current one,
// and category bits above them, when given, shared with the current ones.
bool LogitLevelPasses(unsigned int level, unsigned int current);
void LogitSuppress(const char* prefix, int persistent);
int LogitOption(const char* argument);
int LogitIsEnabled();   // active or debug output: read by the crash handler

// Returns 1. With conditionValue 0 records the failure, then asks the user
// unless silent; only the answer No ends the program.
int AssertHandler(int conditionValue, const char* conditionText, const char* file, int line,
                  const char* info, int silent);

// Observer of failed assertions, called first with their texts. A hook that
// returns non-zero takes the assertion over: nothing is logged, written or shown.
typedef int (*ASSERTHOOK)(const char* conditionText, const char* file, int line, const char* info);
ASSERTHOOK AssertSetHook(ASSERTHOOK hook);   // returns the previous hook

// A process whose windows nobody sees (a service) is unattended: failed
// assertions are recorded as under /NOASSERT, and boxes are written to
// "assert.log" instead of shown, answered with their default.
void AssertSetUnattended(int on);
int AssertIsUnattended();
// The gate of every box: 0 when it may be shown; else it is recorded and
// its default answer returned (OK; No for Yes/No; Abort; otherwise Cancel).
int AssertBoxNotShown(const char* title, const char* text, unsigned style);
int AssertDefaultAnswer(unsigned style);
// MessageBoxA behind that gate.
int AppMessageBox(void* owner, const char* text, const char* title, unsigned style);

// Ctrl+Shift+F5..F9 (without Alt): log on/off, console log, fault.
int DiagnosticHotKeys(unsigned int message, uintptr_t wParam, intptr_t lParam);

namespace FORMAT
{
    // snprintf semantics: always terminated when size >= 1; returns the full
    // length the output needs. A format that is exactly "%s" copies the argument.
    int Print(char* buffer, size_t size, const char* format, ...);
    int PrintV(char* buffer, size_t size, const char* format, va_list args);

    // strlcpy / strlcat semantics (result: length of the whole text tried).
    size_t Copy(char* target, const char* source, size_t size);
    size_t Append(char* target, const char* source, size_t size);
    // The same, but -1 when the text was cut.
    int CopyChecked(char* target, const char* source, size_t size);
    int AppendChecked(char* target, const char* source, size_t size);

    size_t CopyW(wchar_t* target, const wchar_t* source, size_t size);
    size_t AppendW(wchar_t* target, const wchar_t* source, size_t size);
    int CopyCheckedW(wchar_t* target, const wchar_t* source, size_t size);
    int AppendCheckedW(wchar_t* target, const wchar_t* source, size_t size);

    // Formats into a 1024-byte stack buffer first; longer output is measured
    // and formatted again into an exact allocation. Free the result with free().
    char* Allocate(const char* format, ...);
    char* AllocateV(const char* format, va_list args);
}
