#pragma once
// Arrays of 8-bit strings: split at delimiters, line-wise Load and Save,
// search and sorting by text or number.

#include <stdint.h>

#include "framework/containers/dynarray.h"
#include "framework/text/strings.h"
#include "framework/text/unicode.h"

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
    void AddLine(int index, const STRING& line, int unescape);   // caller holds the lock
};

// The twin of STRINGARRAY for 16-bit text.
class WSTRINGARRAY : public DYNARRAY<WSTRING>
{
public:
    explicit WSTRINGARRAY(int maxitems = 64);
    WSTRINGARRAY(const char16_t* source, const char16_t* token, int maxitems = 64);

    // Mode 1: decimal integers; else 16: case-insensitive; else code units.
    int Compare(const WSTRING* item1, const WSTRING* item2, int mode) const override;
    // Modes as STRINGARRAY::Find; case folding as WSTRING::Compare.
    int Find(const char16_t* wval, int mode = 0, int start = 0);

    const char16_t* Text(int i) const;   // item text, u"" for a bad index

private:
    void Split(const char16_t* source, const char16_t* token);
};

// A small key/value store whose text form is the configuration file format:
// "key=value" lines, keys kept sorted without regard to case. The keys
// array's lock guards both arrays.
class HASH
{
public:
    HASH();
    explicit HASH(const STRING& text);
    HASH(const HASH& other) = default;
    HASH& operator=(const HASH& other) = default;
    virtual ~HASH();

    int Load(const char* filename);   // 1 if read; the old pairs stay otherwise
    int Save(const char* filename);   // 1 if the file could be opened
    STRING ToText();

    int IndexOf(const char* key) const;              // first pair with key, or -1
    int Exists(const char* key, STRING** pvalue = 0);
    STRING& Get(const char* key);                    // adds the key when missing
    STRING& GetExisting(const char* key);
    int AllowNewKeys(int allow);                     // returns the previous LockTable

    int Count() const { return Keys.Count(); }
    const char* KeyAt(int i) const { return Keys.Text(i); }
    const STRING* ValueAt(int i) const { return Values.GetItem(i); }

    uint32_t Handle;   // "#Handle=", 0 when absent
    STRING Key;        // "#Key=", unallocated when absent

private:
    void Parse(const STRING& text);
    void SortPairs();
    // Index of the first key equal to key, or -1; *insertAt gets where it would stand.
    int Search(const char* key, int* insertAt) const;

    STRINGARRAY Keys;
    STRINGARRAY Values;
    int LockTable;
};
