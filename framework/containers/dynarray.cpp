// Out-of-line helpers of DYNARRAY: its type label and assertion details.

#include "framework/containers/dynarray.h"

namespace DYNARRAYHELP
{

void NameCopy(char* target, const char* name)
{
    FORMAT::Copy(target, name ? name : "", 32);
}

void AssertInsertRange(int pos, int count, const char* file, int line)
{
    char detail[64];
    FORMAT::Print(detail, sizeof(detail), "%d/%d", pos, count);
    AssertHandler(0, "pos>=0 && pos<=this->ItemCount", file, line, detail, 0);
}

void AssertIndex(int i, int maxItems, int count, const char* typeName, const void* array, const char* file, int line)
{
    char detail[256];
    FORMAT::Print(detail, sizeof(detail), "i= %d, max= %d, count= %d, type= %s, this= %p", i, maxItems, count,
                  typeName, array);
    AssertHandler(0, "FALSE", file, line, detail, 0);
}

}
