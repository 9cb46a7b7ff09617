#pragma once
// Arrays of 8-bit strings: split at delimiters, line-wise Load and Save,
// search and sorting by text or number.

#include "framework/containers/dynarray.h"
#include "framework/text/strings.h"

class STRINGARRAY : public DYNARRAY<STRING>
{
public:
    explicit STRINGARRAY(int maxitems = 64);
    STRINGARRAY(const char* source, const char* token, int maxitems = 64);

    // Mode 1: texts read as integers; else 16: case-insensitive; else bytes.
    int Compare(const STRING* item1, const STRING* item2, int mode) const override;

    int Load(const char* filename, int unescape = 0);   // lines read, inserted in front
    int Save(const char* filename, int escape = 0);
    int Find(const char* value, int mode = 0, int start = 0);

    const char* Text(int i) const;   // item text, "" for a bad index (after the assertion)

private:
    void Split(const char* source, const char* token);
};
