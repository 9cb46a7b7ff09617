// Helpers shared by the Win32 files of the operating-system layer.
#pragma once

#include "framework/app/logit.h"

namespace OSYSWIN32
{
    inline const char* TextOrEmpty(const char* text)
    {
        return text ? text : "";
    }

    // A failed call on a kernel object is reported with its handle.
    inline void AssertOnHandle(const char* condition, const void* handle, const char* file, int line)
    {
        char info[64];
        FORMAT::Print(info, sizeof(info), "handle= %p", handle);
        AssertHandler(0, condition, file, line, info, 0);
    }
}
