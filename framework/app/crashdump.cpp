#include <windows.h>

#include "framework/app/crashdump.h"

namespace
{
    int gDumpLevel = 0;
}

namespace CRASHDUMP
{

void Install(int level)
{
    if (level > gDumpLevel)
        gDumpLevel = level;
}

int Level()
{
    return gDumpLevel;
}

void EndAsOnFault()
{
    TerminateProcess(GetCurrentProcess(), EXCEPTION_ACCESS_VIOLATION);
}

}
