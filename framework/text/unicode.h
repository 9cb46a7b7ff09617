#pragma once
// Code page service (UNICODE) and the 16-bit string (WSTRING). Portable: the
// system's own conversions are reached through framework/os.

#include <stdarg.h>
#include <stdint.h>

#include "framework/text/strings.h"

#ifdef UNICODE
#error "build without -DUNICODE: the class UNICODE takes that name"
#endif

class WSTRING;

// One code page as unicodetbl.cpp (generated) describes it: its changes
// against a base table, applied when the UNICODE object is created.
struct UNICODESOURCE
{
    const char* Name;
    int CodePage;
    int CharSet;
    int Family;
    int DoubleByte;
    int Base;                   // -1: the identity; else an earlier table
    int BaseCodePage;           // the code page that earlier table must have
    const uint16_t* Changes;    // byte, code point pairs
    int NumChanges;
};

namespace UNICODETABLES
{
    extern const UNICODESOURCE Sources[];
    extern const int Count;
}

struct UNICODETABLE
{
    char Name[64];
    int CodePage;
    int CharSet;        // font character set to use with this code page
    int Family;
    int16_t DoubleByte;
};

struct UNICODEENTRY
{
    uint8_t Byte;
    uint16_t CodePage;      // 0: unused entry
    uint16_t CodePoint;     // 127: the byte is not defined
};

// What FromUtf8 carries from one piece of a stream to the next; start zeroed.
struct UTF8STATE
{
    unsigned char Bytes[8];     // the sequence collected so far, lead byte first
    int Collected;
    int Expected;               // continuation bytes still to come
    uint32_t Value;
    int Error;                  // set once malformed input was read
};

class UNICODE
{
public:
    static UNICODE* Get();
    static void Release();

    // Byte to UTF-16 code unit; 127 for a byte the code page leaves undefined.
    char16_t ToUnicode(unsigned char byte, int codepage);
    // 1 if ch has a byte in codepage; *out gets that byte or the best fallback.
    int FromUnicode(char16_t ch, int codepage, unsigned char* out);
    // One code point as UTF-8 and a terminating zero; returns the bytes (1..4).
    static int ToUtf8(uint32_t codepoint, unsigned char* out, int outmax);
    // Appends the units decoded from count bytes (-1: up to the zero byte); a
    // sequence cut at the end stays in *state for the next call. Returns the units.
    static int FromUtf8(const unsigned char* bytes, int count, WSTRING& wstring, UTF8STATE* state);
    // End of a stream: a sequence still pending is appended byte by byte.
    static int FinishUtf8(WSTRING& wstring, UTF8STATE* state);

    // Whole texts, appended to out; the rules of each code page as in the
    // conversions of STRING and WSTRING. Return the bytes or units appended.
    int Widen(const char* text, int len, int codepage, WSTRING& out);
    int Narrow(const char16_t* wtext, int len, int codepage, STRING& out);

    int GetNumTables() const { return NumTables; }
    const UNICODETABLE& GetTable(int i) const { return Tables[i < 0 || i >= NumTables ? 0 : i]; }
    int TableIndex(int codepage) const;     // -1: no table
    int GetReverseSize() const { return ReverseSize; }

private:
    UNICODE();
    ~UNICODE();
    UNICODE(const UNICODE&) = delete;
    UNICODE& operator=(const UNICODE&) = delete;

    void FillTables();
    void BuildReverse();
    char16_t TableUnit(int idx, unsigned char byte) const;
    int Lookup(char16_t ch, int idx, int codepage, unsigned char* out);
    int SystemFallback(char16_t ch, int codepage, unsigned char* out);
    int UnknownCodePage(int codepage);
    int SystemNarrow(const char16_t* wtext, int len, int tocp, STRING& out);

    UNICODETABLE Tables[32];
    int NumTables;
    int ReverseSize;
    int* Reverse;
};

// UTF-16 text on the shared buffer core; lengths and positions count
// characters. Unallocated until first stored to.
class WSTRING : public BUFFERCORE
{
public:
    explicit WSTRING(int blocksize = 0);
    WSTRING(const STRING& text);                    // by the string's code page
    WSTRING(const char* text, int codepage);        // UNICODE_CPUTF8 decodes UTF-8
    WSTRING(const char16_t* wtext, int len = -1);
    WSTRING(const WSTRING& other);
    virtual ~WSTRING();

    WSTRING& operator=(const WSTRING& other);
    WSTRING& operator=(const STRING& text);
    WSTRING& operator=(const char* text);           // code page 1252
    WSTRING& operator=(const char16_t* wtext);

    const char16_t* Text() const { return Buffer ? reinterpret_cast<const char16_t*>(Buffer) : u""; }
    int Length() const { return StrLen / 2; }

    char16_t& operator[](int i);
    const char16_t& operator[](int i) const;

    void Append(char16_t ch);
    void Append(const char* text, int codepage);
    void Append(const char16_t* wtext, int len = -1);
    void Append(const WSTRING& other);
    // printf with the system's wide conventions: %s takes 16-bit text, %hs 8-bit.
    int Format(const char16_t* format, ...);
    int AppendFormat(const char16_t* format, ...);

    int Truncate(int newlength);
    void DeleteLeft(int howmany);
    void DeleteRight(int howmany);
    void Insert(const char16_t* wtext, int pos);
    void Replace(const char16_t* oldtext, const char16_t* newtext);
    void Trim(char how, const char16_t* set);
    // Only characters below 256 change (ASCII and Latin-1 letters).
    void ToUpper();
    void ToLower();

    int Pos(char16_t ch) const;
    int Pos(const char16_t* wtext, int start = 0) const;
    WSTRING Mid(int start, int count = -1) const;
    int TokenCount(const char16_t* delims) const;
    WSTRING Token(int n, const char16_t* delims, int flags = 0) const;
    int HasAny(unsigned mask) const;
    // UTF-8 into buffer, at most size - 1 bytes and a zero; returns the bytes.
    int ToUtf8(char* buffer, int size) const;

    // Case-insensitive (ASCII and Latin-1); nullsafe as STRING::Compare.
    static int Compare(const char16_t* a, const char16_t* b, int nullsafe = 1);
    // STRING::NullGuard for 16-bit text: null reads as "<NULL>".
    static const char16_t* NullGuard(const char16_t* p, const char* label = 0);

private:
    friend class UNICODE;
    int FormatInto(bool append, const char16_t* format, va_list args);
    char16_t* Units() { return reinterpret_cast<char16_t*>(Buffer); }
    void SetUnits(const char16_t* wtext, int len);
    void AppendUnits(const char16_t* wtext, int len);
    // Room for units more behind the text (null if it cannot grow); Commit
    // then takes the units written there into the text.
    char16_t* Reserve(int units);
    void Commit(int units);
    void IndexFailed(int i, int line) const;
    static int Compare16(const char16_t* a, const char16_t* b);
};
