// The bounded formatting routines: portable, shared by the log and by all
// code that formats into a fixed buffer; and the log's level filter, which the
// Windows and the native log share.

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "framework/app/logit.h"
#include "framework/os/osys.h"

bool LogitLevelPasses(unsigned int level, unsigned int current)
{
    if ((unsigned char)(current & 15) < (unsigned char)(level & 15))
        return false;
    return !(level & ~15u) || (level & ~15u & current);
}

namespace FORMAT
{

int PrintV(char* buffer, size_t size, const char* format, va_list args)
{
    if (format && strcmp(format, "%s") == 0)
    {
        const char* text = va_arg(args, const char*);
        return (int)Copy(buffer, text ? text : "(null)", size);
    }
    // Terminated whenever size >= 1; only an error (n < 0) can leave the
    // buffer undefined.
    int n = OSYS::FormatV(buffer, size, format ? format : "(null)", args);
    if (n < 0 && size > 0)
        buffer[0] = 0;
    return n;
}

int Print(char* buffer, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = PrintV(buffer, size, format, args);
    va_end(args);
    return n;
}

template <class CHAR>
static size_t Length(const CHAR* text)
{
    size_t n = 0;
    while (text[n])
        n++;
    return n;
}

template <class CHAR>
static size_t CopyT(CHAR* target, const CHAR* source, size_t size)
{
    size_t length = Length(source);
    if (size > 0)
    {
        size_t n = length < size - 1 ? length : size - 1;
        memcpy(target, source, n * sizeof(CHAR));
        target[n] = 0;
    }
    return length;
}

template <class CHAR>
static size_t AppendT(CHAR* target, const CHAR* source, size_t size)
{
    size_t used = 0;
    while (used < size && target[used])
        used++;
    if (used == size)
        return size + Length(source);
    return used + CopyT(target + used, source, size - used);
}

size_t Copy(char* target, const char* source, size_t size)
{
    return CopyT(target, source ? source : "", size);
}

size_t Append(char* target, const char* source, size_t size)
{
    return AppendT(target, source ? source : "", size);
}

int CopyChecked(char* target, const char* source, size_t size)
{
    size_t n = Copy(target, source, size);
    return n < size ? (int)n : -1;
}

int AppendChecked(char* target, const char* source, size_t size)
{
    size_t n = Append(target, source, size);
    return n < size ? (int)n : -1;
}

size_t CopyW(wchar_t* target, const wchar_t* source, size_t size)
{
    return CopyT(target, source ? source : L"", size);
}

size_t AppendW(wchar_t* target, const wchar_t* source, size_t size)
{
    return AppendT(target, source ? source : L"", size);
}

int CopyCheckedW(wchar_t* target, const wchar_t* source, size_t size)
{
    size_t n = CopyW(target, source, size);
    return n < size ? (int)n : -1;
}

int AppendCheckedW(wchar_t* target, const wchar_t* source, size_t size)
{
    size_t n = AppendW(target, source, size);
    return n < size ? (int)n : -1;
}

char* AllocateV(const char* format, va_list args)
{
    char local[1024];
    va_list again;
    va_copy(again, args);
    int needed = PrintV(local, sizeof(local), format, args);
    char* result = 0;
    if (needed >= 0 && needed < (int)sizeof(local))
    {
        result = static_cast<char*>(malloc(needed + 1));
        if (result)
            memcpy(result, local, needed + 1);
    }
    else if (needed >= 0)
    {
        int reqd_len = needed;
        result = static_cast<char*>(malloc(reqd_len + 1));
        if (result)
        {
            int rc = PrintV(result, reqd_len + 1, format, again);
            AssertHandler(rc == reqd_len, "rc==reqd_len", __FILE__, __LINE__, 0, 0);
        }
    }
    va_end(again);
    return result;
}

char* Allocate(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char* result = AllocateV(format, args);
    va_end(args);
    return result;
}

}
