#pragma once
// 8-bit string on a growable byte buffer. Portable: no system headers.

#include <stdarg.h>
#include <string.h>

#ifndef TARNI_UNICODE_CP_DEFINED
#define TARNI_UNICODE_CP_DEFINED
// Code page identifiers that are not Windows code page numbers.
enum
{
    UNICODE_CPSYSTEM = -2,  // the system's ANSI code page
    UNICODE_CPFLAT = -3,    // bytes are code points 0 to 255
    UNICODE_CPUTF8 = -4     // UTF-8
};
#endif

enum : unsigned
{
    STRINGFLAG_WIDE = 1,        // 16-bit content: terminated by two zero bytes
    STRINGFLAG_DYNABLOCK = 2,   // grown past 32 KiB: block size follows the size
    STRINGFLAG_BINARY = 16      // arbitrary bytes (marked by the key/value store)
};

// The growable buffer shared by STRING, WSTRING and BINARY. Whenever Buffer is
// non-null the byte at StrLen (a 16-bit unit for wide content) is zero.
class BUFFERCORE
{
public:
    // Store len bytes from data (null keeps the old prefix); len < 0 only
    // settles the block size. Returns 0 when the buffer could not be allocated.
    int Set(int len, const void* data);
    // Append n bytes; data may point into this buffer.
    void Append(const void* data, int n);
    void Free();

    int Capacity() const { return BufSize; }
    int BlockSize() const { return BlkSize; }
    unsigned Flags() const { return StrFlags; }
    void SetFlag(unsigned flag) { StrFlags |= flag; }
    void ClearFlag(unsigned flag) { StrFlags &= ~flag; }
    bool IsAllocated() const { return Buffer != 0; }
    bool IsEmpty() const { return StrLen == 0; }
    bool NotEmpty() const { return StrLen != 0; }

    // Called once by the frame at exit: frees the pooled 96-byte buffers.
    static void PoolShutdown();

protected:
    explicit BUFFERCORE(int blocksize = 0, unsigned flags = 0);
    BUFFERCORE(const BUFFERCORE& other);
    BUFFERCORE& operator=(const BUFFERCORE& other);
    ~BUFFERCORE();

    void Swap(BUFFERCORE& other);       // the five fields
    bool Inside(const void* p) const;   // p points into the allocated buffer
    void Terminate();                   // zero at StrLen, by content width

    char* Buffer;
    int StrLen;
    int BufSize;
    int BlkSize;
    unsigned StrFlags;

private:
    void Make();
};

class WSTRING;
class STRING;

// Arbitrary bytes on the buffer core, with whole-file Load and Save and the
// byte encodings of the text formats. A zero byte always follows the bytes.
class BINARY : public BUFFERCORE
{
public:
    explicit BINARY(const void* data = 0, int len = 0, int blocksize = 0);
    BINARY(const BINARY& other) : BUFFERCORE(other) {}
    BINARY& operator=(const BINARY& other)
    {
        BUFFERCORE::operator=(other);
        return *this;
    }

    int Length() const { return StrLen; }
    const unsigned char* Bytes() const { return reinterpret_cast<const unsigned char*>(Buffer); }
    using BUFFERCORE::Append;
    void Append(const BINARY& other);

    // memcmp of n bytes; null pointers read as "<NULL>".
    static int Compare(const void* p1, const void* p2, int n);

    int Load(const char* filename, const char* mode);   // 1 if read; unchanged if not
    int Save(const char* filename, const char* mode);   // 1 if the file could be opened

    STRING ToBase64(int linebreaks) const;
    STRING FromBase64() const;
    STRING ToHex() const;
    STRING FromHex() const;
    STRING UrlEscape() const;
    STRING FromQuotedPrintable() const;
};

BINARY operator||(const BINARY& a, const BINARY& b);

class STRING : public BINARY
{
public:
    explicit STRING(int blocksize = 0);
    STRING(const char* text, int codepage = 1252);
    // 16-bit text converted to codepage (length -1: up to the zero).
    STRING(const char16_t* wtext, int length, int codepage);
    STRING(const char16_t* wtext, int codepage);
    STRING(const WSTRING& wtext, int codepage);
    explicit STRING(double value, int decimals = -1);
    STRING(const STRING& other);
    STRING& operator=(const STRING& other);
    void Swap(STRING& other) { BUFFERCORE::Swap(other); }  // the code pages stay

    static STRING Sprintf(const char* format, ...);

    const char* Text() const { return Buffer ? Buffer : ""; }
    int GetCodePage() const { return CodePage; }
    void SetCodePage(int codepage) { CodePage = codepage; }

    char& operator[](int i);
    const char& operator[](int i) const;
    char* At(int i);
    const char* At(int i) const;

    void Append(const char* text, int len = -1);
    void Append(const STRING& other);
    int Format(const char* format, ...);
    int AppendFormat(const char* format, ...);
    int FormatV(const char* format, va_list args);
    int AppendFormatV(const char* format, va_list args);

    int Truncate(int newlength);
    void DeleteLeft(int howmany);
    void DeleteRight(int howmany);
    void Delete(int howmany, int pos);
    void InsertChars(int howmany, int pos, char ch);
    void Insert(const char* text, int pos);
    int StripLast(char ch);
    int StripFirst(char ch);
    void RemoveChars(const char* set, int inset);
    void Replace(const char* oldtext, const char* newtext, int casesensitive = 1);
    void Trim(char how, const char* set);
    void ToUpper();
    void ToLower();
    void Wipe();
    void Materialise();

    int Pos(char ch) const;
    int Pos(const char* str, int start = 0) const;
    int iPos(const char* str, int start = 0) const;
    int Find(char ch, int* where = 0) const;
    int Find(const char* str, int* where = 0, int start = 0) const;
    int iFind(const char* str, int* where = 0, int start = 0) const;
    STRING Mid(int start, int count = -1) const;
    STRING Left(int count) const;
    STRING Right(int count) const;
    int TokenCount(const char* delims) const;
    STRING Token(int n, const char* delims, int flags = 0) const;
    int DeleteToken(int n, const char* delim);
    int InsertToken(int n, const char* delim, const char* text);
    int ReplaceToken(int n, const char* delim, const char* text);
    int FindUnquoted(const char* delims, int* where = 0, int start = 0) const;
    int CopyTo(char* buffer, int size) const;
    int Get(char* buffer, int size) const;

    STRING Escape(const char* extra = "") const;
    STRING Unescape(int lenient = 0) const;

    // Case-insensitive compare; nullsafe: two nulls are equal, one null is 1.
    static int Compare(const char* a, const char* b, int nullsafe = 1);
    // Null reads as "<NULL>" unless TARNIFAILONNULL asks for null (bit 1)
    // and an assertion (bit 2).
    static const char* NullGuard(const char* p, const char* label = 0);

    // Concatenation (operator||): code page 1252, one allocation.
    static STRING Concat(const char* a, int alen, const char* b, int blen);

private:
    void AppendSlow(const char* text, int len);
    int FormatInto(bool append, const char* assertText, const char* format, va_list args);
    int RebuildTokens(int n, const char* delim, const char* text, int mode);

    int CodePage;
};

STRING operator||(const STRING& a, const char* b);
STRING operator||(const char* a, const STRING& b);
STRING operator||(const STRING& a, const STRING& b);

// Appends that need no growth stay inline: byte-wise appends in loops are common.
inline void STRING::Append(const char* text, int len)
{
    if (text)
    {
        if (len < 0)
            len = static_cast<int>(strlen(text));
        const int used = StrLen;
        if (len >= 0 && len < BufSize - 8 - used)
        {
            char* buffer = Buffer;  // read once: the byte stores below may alias
            if (len == 1)
                buffer[used] = *text;
            else
                memmove(buffer + used, text, static_cast<size_t>(len));
            buffer[used + len] = 0;
            StrLen = used + len;
            return;
        }
    }
    AppendSlow(text, len);
}
