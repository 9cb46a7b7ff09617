#include "framework/text/strings.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>

#include "framework/app/logit.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "framework/text/unicode.h"

namespace
{
    const int POOLBUFFERSIZE = 96;  // also the default block size
    const int POOLMAX = 127;

    char* gPoolItems[POOLMAX];
    int gPoolCount;
    std::atomic<bool> gPoolClosed(false);

    std::atomic<int> gFailOnNull(0);
    std::atomic<CRITSECT*> gPoolLock(nullptr);

    // Made on first use; of two threads that race here, the first stored wins.
    CRITSECT* PoolLock()
    {
        CRITSECT* lock = gPoolLock.load(std::memory_order_acquire);
        if (!lock)
        {
            CRITSECT* created = new CRITSECT();
            if (gPoolLock.compare_exchange_strong(lock, created, std::memory_order_acq_rel))
                lock = created;
            else
                delete created;
        }
        return lock;
    }

    char* AllocateBuffer(int size)
    {
        char* p = 0;
        if (size == POOLBUFFERSIZE && !gPoolClosed)
        {
            bool nullEntry = false;
            CRITSECT* lock = PoolLock();
            lock->Enter();
            if (gPoolCount > 0)
            {
                p = gPoolItems[--gPoolCount];
                nullEntry = (p == 0);
            }
            lock->Leave();
            if (nullEntry)
                AssertHandler(0, "ptr", __FILE__, __LINE__, 0, 0);
        }
        if (p)
            memset(p, 0, size);
        else
            p = static_cast<char*>(calloc(size, 1));  // fresh heap pages come zeroed
        return p;
    }

    void ReleaseBuffer(char* p, int size)
    {
        if (!p)
            return;
        if (size == POOLBUFFERSIZE && !gPoolClosed)
        {
            CRITSECT* lock = PoolLock();
            lock->Enter();
            if (gPoolCount < POOLMAX)
            {
                gPoolItems[gPoolCount++] = p;
                p = 0;
            }
            lock->Leave();
        }
        free(p);
    }

    // Case mapping is plain ASCII: independent of the locale, and the program
    // relies only on ASCII letters matching without regard to case.
    inline unsigned char AsciiUpper(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }
    inline unsigned char AsciiLower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

    inline int HexValue(unsigned char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    inline bool InSet(const char* set, size_t setlen, char c)
    {
        return memchr(set, c, setlen) != 0;  // unlike strchr, never matches the zero byte
    }

    void IndexFailed(const char* condition, int line, int i, int len, const char* text)
    {
        char detail[256];
        FORMAT::Print(detail, sizeof detail, "i= %d, len= %d, buf= %s", i, len, text);
        AssertHandler(0, condition, __FILE__, line, detail, 0);
    }
}

BUFFERCORE::BUFFERCORE(int blocksize, unsigned flags)
    : Buffer(0), StrLen(0), BufSize(0), BlkSize(blocksize < 1 ? POOLBUFFERSIZE : blocksize), StrFlags(flags)
{
}

BUFFERCORE::BUFFERCORE(const BUFFERCORE& other)
    : Buffer(0), StrLen(0), BufSize(0), BlkSize(other.BlkSize), StrFlags(other.StrFlags)
{
    if (other.Buffer)
        Set(other.StrLen, other.Buffer);
}

BUFFERCORE& BUFFERCORE::operator=(const BUFFERCORE& other)
{
    if (this == &other)
        return *this;
    BlkSize = other.BlkSize;
    StrFlags = other.StrFlags;
    if (other.Buffer)
        Set(other.StrLen, other.Buffer);
    else
        Free();
    return *this;
}

BUFFERCORE::~BUFFERCORE()
{
    Free();
}

bool BUFFERCORE::Inside(const void* p) const
{
    if (!Buffer || !p)
        return false;
    const char* c = static_cast<const char*>(p);
    return std::less_equal<const char*>()(Buffer, c) && std::less<const char*>()(c, Buffer + BufSize);
}

void BUFFERCORE::Terminate()
{
    if (!Buffer)
        return;
    if (StrFlags & STRINGFLAG_WIDE)
    {
        int unit = StrLen / 2 * 2;
        Buffer[unit] = 0;
        Buffer[unit + 1] = 0;
    }
    Buffer[StrLen] = 0;
}

int BUFFERCORE::Set(int len, const void* data)
{
    if (BlkSize < 1)
        BlkSize = POOLBUFFERSIZE;
    if (len < 0)
        return 1;
    long long need = static_cast<long long>(len) + 1 + ((StrFlags & STRINGFLAG_WIDE) ? 1 : 0);
    if (BufSize < need)
    {
        long long capacity = (need / BlkSize + 1) * BlkSize;
        char* fresh = capacity <= INT_MAX ? AllocateBuffer(static_cast<int>(capacity)) : 0;
        if (!fresh)
        {
            AssertHandler(0, "buffer", __FILE__, __LINE__, 0, 0);
            return 0;
        }
        // Copy before the old buffer goes back: data may point into it.
        if (data)
            memcpy(fresh, data, len);
        else if (Buffer)
            memcpy(fresh, Buffer, StrLen);
        ReleaseBuffer(Buffer, BufSize);
        Buffer = fresh;
        BufSize = static_cast<int>(capacity);
        Make();
    }
    else if (data)
    {
        memmove(Buffer, data, len);
    }
    StrLen = len;
    Terminate();
    return 1;
}

void BUFFERCORE::Make()
{
    int c = BufSize;
    if (!(StrFlags & STRINGFLAG_DYNABLOCK))
    {
        if (c <= 32768)
        {
            int least = c >= 8192 ? 4096 : c >= 4096 ? 2048 : c >= 1024 ? 1024 : 0;
            if (BlkSize < least)
                BlkSize = least;
        }
        else
        {
            StrFlags |= STRINGFLAG_DYNABLOCK;
            if (BlkSize < 32768)
            {
                BlkSize = 32768;
                Logit("STRING::Make Upgrade String to STRINGFLAG_DYNABLOCK\n");
            }
        }
        return;
    }
    int block = BlkSize > c / 2 ? BlkSize : c / 2;
    if (block >= 2097152)
        block = 2097152;
    else if (block >= 4096)
        block = (block + 1023) / 1024 * 1024;
    if (block != BlkSize)
    {
        BlkSize = block;
        Logit("STRING::Make STRINGFLAG_DYNABLOCK new blocksize %d\n", block);
    }
}

void BUFFERCORE::Append(const void* data, int n)
{
    if (n < 0)
    {
        AssertHandler(0, "n>=0", __FILE__, __LINE__, 0, 0);
        return;
    }
    if (!data)
        n = 0;
    long long total = static_cast<long long>(StrLen) + n;
    if (total > INT_MAX - 2)
    {
        AssertHandler(0, "buffer", __FILE__, __LINE__, 0, 0);
        return;
    }
    // Data inside this buffer is found again by its offset after a reallocation.
    const bool own = Inside(data);
    const size_t offset = own ? static_cast<size_t>(static_cast<const char*>(data) - Buffer) : 0;
    int len = static_cast<int>(total);
    if (len >= BufSize - 8)
    {
        if (!Set(len, 0))
            return;
    }
    else
    {
        StrLen = len;
    }
    const char* source = own ? Buffer + offset : static_cast<const char*>(data);
    char* target = Buffer + len - n;
    if (n == 1)
        *target = *source;
    else if (n > 1)
        memmove(target, source, n);
    Terminate();
}

void BUFFERCORE::Free()
{
    ReleaseBuffer(Buffer, BufSize);
    Buffer = 0;
    StrLen = 0;
    BufSize = 0;
}

void BUFFERCORE::Swap(BUFFERCORE& other)
{
    std::swap(Buffer, other.Buffer);
    std::swap(StrLen, other.StrLen);
    std::swap(BufSize, other.BufSize);
    std::swap(BlkSize, other.BlkSize);
    std::swap(StrFlags, other.StrFlags);
}

void BUFFERCORE::PoolShutdown()
{
    if (gPoolClosed.exchange(true))
        return;
    CRITSECT* lock = PoolLock();
    lock->Enter();
    while (gPoolCount > 0)
        free(gPoolItems[--gPoolCount]);
    lock->Leave();
    delete lock;
}

STRING::STRING(int blocksize) : BINARY(0, 0, blocksize), CodePage(1252)
{
}

STRING::STRING(const char* text, int codepage) : BINARY(0, 0, 0), CodePage(codepage)
{
    if (text)
        Set(static_cast<int>(strlen(text)), text);
}

STRING::STRING(const char16_t* wtext, int length, int codepage) : BINARY(0, 0, POOLBUFFERSIZE), CodePage(codepage)
{
    if (length == UNICODE_CPSYSTEM || length == UNICODE_CPFLAT)
    {
        AssertHandler(0, "length!=UNICODE_CPSYSTEM && length!=UNICODE_CPFLAT", __FILE__, __LINE__, 0, 0);
        return;
    }
    if (wtext)
    {
        Set(0, 0);
        UNICODE::Get()->Narrow(wtext, length < 0 ? -1 : length, codepage, *this);
    }
}

STRING::STRING(const char16_t* wtext, int codepage) : STRING(wtext, -1, codepage)
{
}

STRING::STRING(const WSTRING& wtext, int codepage)
    : STRING(wtext.IsAllocated() ? wtext.Text() : 0, wtext.Length(), codepage)
{
}

STRING::STRING(double value, int decimals) : BINARY(0, 0, 0), CodePage(1252)
{
    char text[64];
    FORMAT::Print(text, sizeof text, "%1.*lf", decimals < 0 ? 4 : decimals, value);
    if (decimals < 0 && strchr(text, '.'))
    {
        size_t len = strlen(text);
        while (len > 1 && text[len - 1] == '0')
            text[--len] = 0;
        if (len > 1 && text[len - 1] == '.')
            text[--len] = 0;
    }
    Set(static_cast<int>(strlen(text)), text);
}

STRING::STRING(const STRING& other) : BINARY(other), CodePage(other.CodePage)
{
}

STRING& STRING::operator=(const STRING& other)
{
    if (this != &other)
    {
        BUFFERCORE::operator=(other);
        CodePage = other.CodePage;
    }
    return *this;
}

STRING STRING::Sprintf(const char* format, ...)
{
    STRING rc;
    va_list args;
    va_start(args, format);
    rc.FormatInto(false, "rc.StrLen==nchars", format, args);
    va_end(args);
    return rc;
}

char& STRING::operator[](int i)
{
    static char dummy;
    if (i >= 0 && i < StrLen)
        return Buffer[i];
    dummy = 0;
    IndexFailed("i>=0 && i<this->StrLen", __LINE__, i, StrLen, Text());
    return dummy;
}

const char& STRING::operator[](int i) const
{
    static char dummy;
    if (i >= 0 && i < StrLen)
        return Buffer[i];
    dummy = 0;
    IndexFailed("i>=0 && i<this->StrLen", __LINE__, i, StrLen, Text());
    return dummy;
}

char* STRING::At(int i)
{
    static char dummy;
    if (i >= 0 && i <= StrLen)
    {
        Materialise();
        if (Buffer)
            return Buffer + i;
    }
    dummy = 0;
    IndexFailed("i>=0 && i<=this->StrLen", __LINE__, i, StrLen, Text());
    return &dummy;
}

const char* STRING::At(int i) const
{
    static char dummy;
    if (i >= 0 && i <= StrLen)
        return Text() + i;
    dummy = 0;
    IndexFailed("i>=0 && i<=this->StrLen", __LINE__, i, StrLen, Text());
    return &dummy;
}

void STRING::AppendSlow(const char* text, int len)
{
    if (!text)
    {
        text = NullGuard(text, "STRING::Append op1");
        if (!text)
            return;
        len = -1;
    }
    if (len < 0)
        len = static_cast<int>(strlen(text));
    BUFFERCORE::Append(text, len);
}

void STRING::Append(const STRING& other)
{
    if (other.Buffer)
        BUFFERCORE::Append(other.Buffer, other.StrLen);
}

STRING STRING::Concat(const char* a, int alen, const char* b, int blen)
{
    STRING rc;
    if (static_cast<long long>(alen) + blen > INT_MAX - 2)
    {
        AssertHandler(0, "buffer", __FILE__, __LINE__, 0, 0);
        return rc;
    }
    if (rc.Set(alen + blen, 0))
    {
        rc.Set(alen, a);
        rc.BUFFERCORE::Append(b, blen);
    }
    return rc;
}

STRING operator||(const STRING& a, const char* b)
{
    b = STRING::NullGuard(b, "STR::op2||");
    if (!b)
        b = "";
    return STRING::Concat(a.Text(), a.Length(), b, static_cast<int>(strlen(b)));
}

STRING operator||(const char* a, const STRING& b)
{
    a = STRING::NullGuard(a, "STR::op1||");
    if (!a)
        a = "";
    return STRING::Concat(a, static_cast<int>(strlen(a)), b.Text(), b.Length());
}

STRING operator||(const STRING& a, const STRING& b)
{
    return STRING::Concat(a.Text(), a.Length(), b.Text(), b.Length());
}

int STRING::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = FormatInto(false, "this->StrLen==nchars", format, args);
    va_end(args);
    return n;
}

int STRING::AppendFormat(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = FormatInto(true, "nchars2==nchars", format, args);
    va_end(args);
    return n;
}

int STRING::FormatV(const char* format, va_list args)
{
    return FormatInto(false, "this->StrLen==nchars", format, args);
}

int STRING::AppendFormatV(const char* format, va_list args)
{
    return FormatInto(true, "nchars2==nchars", format, args);
}

int STRING::FormatInto(bool append, const char* assertText, const char* format, va_list args)
{
    format = NullGuard(format, "STRING::Format");
    if (!format)
        return 0;
    va_list again;
    va_copy(again, args);
    char local[1024];
    int n = FORMAT::PrintV(local, sizeof local, format, args);
    int stored = 0;
    if (n >= 0 && n < static_cast<int>(sizeof local))
    {
        stored = n;
        if (append)
            BUFFERCORE::Append(local, n);
        else
            Set(n, local);
    }
    else if (n >= 0 && n < INT_MAX - 2)
    {
        // The second pass goes to a temporary: the arguments may point into this text.
        char* temp = static_cast<char*>(malloc(static_cast<size_t>(n) + 1));
        if (!temp)
        {
            AssertHandler(0, "buffer", __FILE__, __LINE__, 0, 0);
        }
        else
        {
            int nchars = FORMAT::PrintV(temp, static_cast<size_t>(n) + 1, format, again);
            if (nchars != n)
                AssertHandler(0, assertText, __FILE__, __LINE__, 0, 0);
            stored = nchars < 0 ? 0 : nchars < n ? nchars : n;
            if (append)
                BUFFERCORE::Append(temp, stored);
            else
                Set(stored, temp);
            free(temp);
        }
    }
    else if (!append)
    {
        Set(0, 0);
    }
    va_end(again);
    return stored;
}

int STRING::Truncate(int newlength)
{
    if (newlength < 0)
    {
        AssertHandler(0, "newlength>=0", __FILE__, __LINE__, 0, 0);
        return 0;
    }
    if (StrLen <= newlength)
        return 0;
    StrLen = newlength;
    Terminate();
    return 1;
}

void STRING::DeleteLeft(int howmany)
{
    if (howmany < 0)
    {
        AssertHandler(0, "howmany>=0", __FILE__, __LINE__, 0, 0);
        return;
    }
    if (!Buffer || howmany == 0)
        return;
    if (howmany >= StrLen)
        howmany = StrLen;
    memmove(Buffer, Buffer + howmany, StrLen - howmany);
    StrLen -= howmany;
    Terminate();
}

void STRING::DeleteRight(int howmany)
{
    if (howmany < 0)
    {
        AssertHandler(0, "howmany>=0", __FILE__, __LINE__, 0, 0);
        return;
    }
    if (!Buffer)
        return;
    StrLen = howmany >= StrLen ? 0 : StrLen - howmany;
    Terminate();
}

void STRING::Delete(int howmany, int pos)
{
    if (howmany < 0)
    {
        AssertHandler(0, "howmany>=0", __FILE__, __LINE__, 0, 0);
        return;
    }
    if (howmany == 0 || pos < 0 || pos >= StrLen)
        return;
    if (howmany >= StrLen - pos)
    {
        StrLen = pos;
    }
    else
    {
        memmove(Buffer + pos, Buffer + pos + howmany, StrLen - pos - howmany);
        StrLen -= howmany;
    }
    Terminate();
}

void STRING::InsertChars(int howmany, int pos, char ch)
{
    if (howmany < 0)
    {
        AssertHandler(0, "howmany>=0", __FILE__, __LINE__, 0, 0);
        return;
    }
    if (howmany == 0 || pos < 0 || pos >= StrLen)
        return;
    int old = StrLen;
    if (static_cast<long long>(old) + howmany > INT_MAX - 2)
    {
        AssertHandler(0, "buffer", __FILE__, __LINE__, 0, 0);
        return;
    }
    if (!Set(old + howmany, 0))
        return;
    memmove(Buffer + pos + howmany, Buffer + pos, old - pos);
    memset(Buffer + pos, ch, howmany);
}

void STRING::Insert(const char* text, int pos)
{
    if (Inside(text))
    {
        AssertHandler(0, "text!=this->Buffer", __FILE__, __LINE__, 0, 0);
        return;
    }
    text = NullGuard(text, "STRING::Insert");
    if (!text || pos < 0 || pos > StrLen)
        return;
    if (pos == StrLen)
    {
        Append(text);
        return;
    }
    int n = static_cast<int>(strlen(text));
    int old = StrLen;
    InsertChars(n, pos, ' ');
    if (StrLen == old + n)
        memcpy(Buffer + pos, text, n);
}

int STRING::StripLast(char ch)
{
    if (StrLen == 0 || Buffer[StrLen - 1] != ch)
        return 0;
    --StrLen;
    Terminate();
    return 1;
}

int STRING::StripFirst(char ch)
{
    if (StrLen == 0 || Buffer[0] != ch)
        return 0;
    memmove(Buffer, Buffer + 1, StrLen - 1);
    --StrLen;
    Terminate();
    return 1;
}

void STRING::RemoveChars(const char* set, int inset)
{
    set = NullGuard(set, "STRING::RemoveChars");
    if (!set || !Buffer)
        return;
    size_t setlen = strlen(set);
    int kept = 0;
    for (int i = 0; i < StrLen; ++i)
    {
        if (InSet(set, setlen, Buffer[i]) != (inset != 0))
            Buffer[kept++] = Buffer[i];
    }
    StrLen = kept;
    Terminate();
}

void STRING::Replace(const char* oldtext, const char* newtext, int casesensitive)
{
    if (!oldtext || !*oldtext)
        return;
    newtext = NullGuard(newtext, "STRING::Replace");
    if (!newtext || strcmp(oldtext, newtext) == 0)
        return;
    // The texts must not change under our feet when they point into this one.
    STRING oldcopy, newcopy;
    if (Inside(oldtext))
    {
        oldcopy.Append(oldtext);
        oldtext = oldcopy.Text();
    }
    if (Inside(newtext))
    {
        newcopy.Append(newtext);
        newtext = newcopy.Text();
    }
    const int oldlen = static_cast<int>(strlen(oldtext));
    const int newlen = static_cast<int>(strlen(newtext));
    int p = casesensitive ? Pos(oldtext, 0) : iPos(oldtext, 0);
    while (p >= 0)
    {
        long long grown = static_cast<long long>(StrLen) + newlen - oldlen;
        if (grown > INT_MAX - 2)
        {
            AssertHandler(0, "buffer", __FILE__, __LINE__, 0, 0);
            return;
        }
        int length = static_cast<int>(grown);
        if (length >= BufSize)
        {
            int keep = StrLen;
            if (!Set(length, 0))
                return;
            StrLen = keep;
        }
        memmove(Buffer + p + newlen, Buffer + p + oldlen, StrLen - p - oldlen + 1);
        memcpy(Buffer + p, newtext, newlen);
        StrLen = length;
        int next = p + newlen;  // the inserted text is never searched again
        p = casesensitive ? Pos(oldtext, next) : iPos(oldtext, next);
    }
}

void STRING::Trim(char how, const char* set)
{
    how = static_cast<char>(AsciiUpper(static_cast<unsigned char>(how)));
    if (how != 'L' && how != 'R' && how != 'B')
    {
        AssertHandler(0, "how=='L' || how=='R' || how=='B'", __FILE__, __LINE__, 0, 0);
        return;
    }
    if (!Buffer)
        return;
    set = NullGuard(set, "STRING::Trim");
    if (!set)
        return;
    size_t setlen = strlen(set);
    if (how != 'L')
    {
        while (StrLen > 0 && InSet(set, setlen, Buffer[StrLen - 1]))
            --StrLen;
    }
    if (how != 'R')
    {
        int lead = 0;
        while (lead < StrLen && InSet(set, setlen, Buffer[lead]))
            ++lead;
        memmove(Buffer, Buffer + lead, StrLen - lead);
        StrLen -= lead;
    }
    Terminate();
}

void STRING::ToUpper()
{
    if (!Buffer)
    {
        NullGuard(Buffer, "ToUpper");
        return;
    }
    for (char* p = Buffer; *p; ++p)
        *p = static_cast<char>(AsciiUpper(static_cast<unsigned char>(*p)));
}

void STRING::ToLower()
{
    if (!Buffer)
    {
        NullGuard(Buffer, "ToLower");
        return;
    }
    for (char* p = Buffer; *p; ++p)
        *p = static_cast<char>(AsciiLower(static_cast<unsigned char>(*p)));
}

void STRING::Wipe()
{
    volatile char* p = Buffer;  // volatile: the stores must not be dropped
    for (int i = BufSize - 1; i >= 0; --i)
        p[i] = 0;
    StrLen = 0;
}

void STRING::Materialise()
{
    if (!Buffer)
        Set(0, 0);
}

int STRING::Pos(char ch) const
{
    if (!Buffer)
        return -1;
    const void* hit = memchr(Buffer, ch, StrLen);
    return hit ? static_cast<int>(static_cast<const char*>(hit) - Buffer) : -1;
}

int STRING::Pos(const char* str, int start) const
{
    if (start < 0)
        start = 0;
    if (start >= StrLen)
        return -1;
    str = NullGuard(str, "Pos str");
    if (!str)
        return -1;
    const char* hit = strstr(Buffer + start, str);
    return hit ? static_cast<int>(hit - Buffer) : -1;
}

int STRING::iPos(const char* str, int start) const
{
    if (start < 0)
        start = 0;
    if (start >= StrLen)
        return -1;
    str = NullGuard(str, "iPos str");
    if (!str)
        return -1;
    const int m = static_cast<int>(strlen(str));
    for (int p = start; p <= StrLen - m; ++p)
    {
        int k = 0;
        while (k < m && AsciiUpper(static_cast<unsigned char>(Buffer[p + k])) ==
                            AsciiUpper(static_cast<unsigned char>(str[k])))
            ++k;
        if (k == m)
            return p;
    }
    return -1;
}

int STRING::Find(char ch, int* where) const
{
    int p = Pos(ch);
    if (where)
        *where = p;
    return p >= 0;
}

int STRING::Find(const char* str, int* where, int start) const
{
    int p = Pos(str, start);
    if (where)
        *where = p;
    return p >= 0;
}

int STRING::iFind(const char* str, int* where, int start) const
{
    int p = iPos(str, start);
    if (where)
        *where = p;
    return p >= 0;
}

STRING STRING::Mid(int start, int count) const
{
    STRING rc;
    if (start < 0 || start >= StrLen)
        return rc;
    int rest = StrLen - start;
    rc.Set(count < 0 || count > rest ? rest : count, Buffer + start);
    return rc;
}

STRING STRING::Left(int count) const
{
    return Mid(0, count);
}

STRING STRING::Right(int count) const
{
    int start = StrLen - count;
    return Mid(start > 0 ? start : 0, -1);
}

int STRING::TokenCount(const char* delims) const
{
    delims = NullGuard(delims, "TokenCount");
    int count = 1;
    if (!delims)
        return count;
    for (const char* p = Text(); *p; ++p)
    {
        if (strchr(delims, *p))
            ++count;
    }
    return count;
}

STRING STRING::Token(int n, const char* delims, int flags) const
{
    STRING rc;
    delims = NullGuard(delims, "Token");
    const char* p = Text();
    bool found = delims && n >= 0;
    for (int i = 0; found && i < n; ++i)
    {
        const char* d = strpbrk(p, delims);
        if (d)
            p = d + 1;
        else
            found = false;
    }
    if (found)
    {
        const char* end = (flags & 0xFFFF) ? 0 : strpbrk(p, delims);
        if (!end)
            end = p + strlen(p);
        rc.Set(static_cast<int>(end - p), p);
    }
    if (flags & 0x10000)
        rc.Materialise();
    return rc;
}

int STRING::DeleteToken(int n, const char* delim)
{
    return RebuildTokens(n, delim, 0, 0);
}

int STRING::InsertToken(int n, const char* delim, const char* text)
{
    return RebuildTokens(n, delim, NullGuard(text, "InsertToken"), 1);
}

int STRING::ReplaceToken(int n, const char* delim, const char* text)
{
    return RebuildTokens(n, delim, NullGuard(text, "ReplaceToken"), 2);
}

// mode 0 removes token n, 1 inserts text before it (after the last token
// when n is past the end), 2 replaces it. Returns 1 when the text changed.
int STRING::RebuildTokens(int n, const char* delim, const char* text, int mode)
{
    delim = NullGuard(delim, "STRING::Token delim");
    if (!delim)
        return 0;
    if (strlen(delim) != 1)
    {
        AssertHandler(0, "strlen(delim)==1", __FILE__, __LINE__, 0, 0);
        return 0;
    }
    if (mode != 0 && !text)
        return 0;
    const int count = TokenCount(delim);
    if (n < 0 || (mode != 1 && n >= count))
        return 0;
    if (mode == 1 && n > count)
        n = count;

    const char d = delim[0];
    STRING out;
    bool first = true;
    auto add = [&](const char* piece, int len) {
        if (!first)
            out.Append(&d, 1);
        out.Append(piece, len);
        first = false;
    };
    const char* p = Text();
    for (int i = 0; i <= count; ++i)
    {
        if (i == n && mode != 0)
            add(text, -1);
        if (i == count)
            break;
        const char* end = strchr(p, d);
        int len = end ? static_cast<int>(end - p) : static_cast<int>(strlen(p));
        if (i != n || mode == 1)
            add(p, len);
        p = end ? end + 1 : p + len;
    }
    Set(out.StrLen, out.Text());
    return 1;
}

int STRING::FindUnquoted(const char* delims, int* where, int start) const
{
    if (where)
        *where = -1;
    delims = NullGuard(delims, "FindUnquoted");
    if (!delims)
        return 0;
    char quote = 0;
    for (int i = start < 0 ? 0 : start; i < StrLen; ++i)
    {
        char c = Buffer[i];
        if (quote)
        {
            if (c == '\\')
                ++i;
            else if (c == quote)
                quote = 0;
        }
        else if (c == '"' || c == '\'')
        {
            quote = c;
        }
        else if (c != 0 && strchr(delims, c))
        {
            if (where)
                *where = i;
            return 1;
        }
    }
    return 0;
}

int STRING::CopyTo(char* buffer, int size) const
{
    if (!buffer || size < 1)
        return 0;
    int n = StrLen < size - 1 ? StrLen : size - 1;
    if (n > 0)
        memcpy(buffer, Buffer, n);
    buffer[n] = 0;
    return n;
}

int STRING::Get(char* buffer, int size) const
{
    if (!buffer || size < 1)
        return 0;
    FORMAT::Print(buffer, size, "%s", Text());
    return buffer[0] != 0;
}

int STRING::Compare(const char* a, const char* b, int nullsafe)
{
    if (!nullsafe)
    {
        a = NullGuard(a, "stricmp p1");
        b = NullGuard(b, "stricmp p2");
    }
    if (!a || !b)
        return (a || b) ? 1 : 0;
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    // Lower-case like the runtime's stricmp, so '_' sorts before letters.
    while (*x && AsciiLower(*x) == AsciiLower(*y))
    {
        ++x;
        ++y;
    }
    return static_cast<int>(AsciiLower(*x)) - static_cast<int>(AsciiLower(*y));
}

const char* STRING::NullGuard(const char* p, const char* label)
{
    if (p)
        return p;
    const char* setting = getenv("TARNIFAILONNULL");
    if (setting)
        gFailOnNull = atoi(setting);
    int mode = gFailOnNull;
    if (!(mode & 1))
        return "<NULL>";
    if (mode & 2)
        AssertHandler(0, "p!=NULL", __FILE__, __LINE__, label ? label : "<none>", 0);
    return 0;
}

STRING STRING::Escape(const char* extra) const
{
    STRING rc;
    if (!extra)
        extra = "";  // no bytes to escape beyond the fixed ones
    char chunk[80];
    int used = 0;
    for (int i = 0; i < StrLen; ++i)
    {
        unsigned char b = static_cast<unsigned char>(Buffer[i]);
        if (b >= 0x20 && b <= 0x7F && b != '\\' && !strchr(extra, b))
        {
            chunk[used++] = static_cast<char>(b);
            if (used == static_cast<int>(sizeof chunk))
            {
                rc.Append(chunk, used);
                used = 0;
            }
            continue;
        }
        if (used)
        {
            rc.Append(chunk, used);
            used = 0;
        }
        char seq[4] = {'\\', 0, 0, 0};
        int len = 2;
        switch (b)
        {
            case '\\': seq[1] = '\\'; break;
            case '"': seq[1] = '"'; break;
            case '\'': seq[1] = '\''; break;
            case 0: seq[1] = '0'; break;
            case 13: seq[1] = 'r'; break;
            case 10: seq[1] = 'n'; break;
            case 9: seq[1] = 't'; break;
            case 26: seq[1] = 'z'; break;
            default:
                seq[1] = 'x';
                seq[2] = "0123456789abcdef"[b >> 4];
                seq[3] = "0123456789abcdef"[b & 15];
                len = 4;
                break;
        }
        rc.Append(seq, len);
    }
    if (used)
        rc.Append(chunk, used);
    return rc;
}

STRING STRING::Unescape(int lenient) const
{
    STRING rc(StrLen > 0 ? StrLen : POOLBUFFERSIZE);
    char chunk[1022];
    int used = 0;
    auto put = [&](char c) {
        chunk[used++] = c;
        if (used == static_cast<int>(sizeof chunk))
        {
            rc.Append(chunk, used);
            used = 0;
        }
    };
    for (int i = 0; i < StrLen; ++i)
    {
        char c = Buffer[i];
        if (c != '\\')
        {
            put(c);
            continue;
        }
        if (i + 1 >= StrLen)
        {
            // A lone backslash at the end is an unknown sequence without its byte.
            if (lenient)
                put('\\');
            else
                AssertHandler(0, "FALSE", __FILE__, __LINE__, Text(), 0);
            break;
        }
        c = Buffer[++i];
        switch (c)
        {
            case 'n': put(10); break;
            case 'r': put(13); break;
            case 't': put(9); break;
            case 'z': put(26); break;
            case '0': put(0); break;
            case '"':
            case '\'':
            case '\\': put(c); break;
            case 'x':
            {
                static const char* const digitAsserts[2] = {"isxdigit(xdigit[0])", "isxdigit(xdigit[1])"};
                int value = 0;
                int digits = 0;
                bool bad = false;
                bool cut = false;
                for (int k = 0; k < 2; ++k)
                {
                    if (i + 1 >= StrLen)
                    {
                        if (!bad)
                            AssertHandler(0, digitAsserts[k], __FILE__, __LINE__, Text(), 0);
                        cut = true;
                        break;
                    }
                    int v = HexValue(static_cast<unsigned char>(Buffer[++i]));
                    if (bad)
                        continue;
                    if (v < 0)
                    {
                        AssertHandler(0, digitAsserts[k], __FILE__, __LINE__, Text(), 0);
                        bad = true;
                        continue;
                    }
                    value = value * 16 + v;
                    ++digits;
                }
                if (!cut || digits > 0)
                    put(static_cast<char>(value));
                break;
            }
            default:
                if (lenient)
                    put('\\');
                else
                    AssertHandler(0, "FALSE", __FILE__, __LINE__, Text(), 0);
                put(c);
                break;
        }
    }
    if (used)
        rc.Append(chunk, used);
    return rc;
}

BINARY::BINARY(const void* data, int len, int blocksize) : BUFFERCORE(blocksize)
{
    if (data && len >= 0)
        Set(len, data);
}

void BINARY::Append(const BINARY& other)
{
    if (other.Buffer)
        BUFFERCORE::Append(other.Buffer, other.StrLen);
}

BINARY operator||(const BINARY& a, const BINARY& b)
{
    BINARY result;
    result.Set(0, "");
    result.Append(a);
    result.Append(b);
    return result;
}

int BINARY::Compare(const void* p1, const void* p2, int n)
{
    const void* a = p1 ? p1 : STRING::NullGuard(0, "memcmp p1");
    const void* b = p2 ? p2 : STRING::NullGuard(0, "memcmp p2");
    if (!a || !b || n <= 0)
        return 0;
    return memcmp(a, b, static_cast<size_t>(n));
}

int BINARY::Load(const char* filename, const char* mode)
{
    filename = STRING::NullGuard(filename);
    long long size = FILENAME(filename).Size();
    Logit("BINARY::Load %s (%d bytes)\n", filename, static_cast<int>(size));
    FILE* file = fsopen(filename, STRING::NullGuard(mode));
    STRING status("OK");
    if (file)
    {
        const long long quantum = 65536;
        if (size != 0)
            BlkSize = size > 0 && size < INT_MAX - quantum ? static_cast<int>((size + quantum - 1) / quantum * quantum)
                                                           : POOLBUFFERSIZE;
        Set(0, "");
        char chunk[32768];
        size_t got;
        do
        {
            got = fread(chunk, 1, sizeof chunk, file);
            if (got > 0)
                BUFFERCORE::Append(chunk, static_cast<int>(got));
        } while (got == sizeof chunk);
        fclose(file);
    }
    else
    {
        status = OSYS::GetErrorText(-4711);
    }
    Logit("BINARY::Load returns %p, %d bytes, %s\n", static_cast<void*>(file), StrLen, status.Text());
    return file ? 1 : 0;
}

int BINARY::Save(const char* filename, const char* mode)
{
    filename = STRING::NullGuard(filename);
    Logit("BINARY::Save %s\n", filename);
    FILE* file = fsopen(filename, STRING::NullGuard(mode));
    STRING status("OK");
    int written = -1;
    if (file)
    {
        const char* bytes = Buffer ? Buffer : STRING::NullGuard(0, "STRING::Save");
        written = bytes ? static_cast<int>(fwrite(bytes, 1, static_cast<size_t>(StrLen), file)) : 0;
        if (fflush(file) == 0)
            fscommit(file);
        fclose(file);
    }
    else
    {
        status = OSYS::GetErrorText(-4711);
    }
    Logit("BINARY::Save returns %p, %d bytes, %s\n", static_cast<void*>(file), written, status.Text());
    return file ? 1 : 0;
}

namespace
{
    constexpr char Base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

    // The byte "%2x" reads from two characters: up to two leading hex digits.
    int HexPair(const char* p)
    {
        int high = HexValue(static_cast<unsigned char>(p[0]));
        if (high < 0)
            return 0;
        int low = HexValue(static_cast<unsigned char>(p[1]));
        return low < 0 ? high : high * 16 + low;
    }
}

STRING BINARY::ToBase64(int linebreaks) const
{
    STRING result;
    char line[80];
    int used = 0;
    const unsigned char* p = Bytes();
    for (int i = 0; p && i < StrLen; i += 3)
    {
        if (used + 4 > 76)
        {
            result.Append(line, used);
            if (linebreaks)
                result.Append("\r\n", 2);
            used = 0;
        }
        unsigned value = static_cast<unsigned>(p[i]) << 16;
        if (i + 1 < StrLen)
            value |= static_cast<unsigned>(p[i + 1]) << 8;
        if (i + 2 < StrLen)
            value |= p[i + 2];
        line[used++] = Base64Alphabet[(value >> 18) & 63];
        line[used++] = Base64Alphabet[(value >> 12) & 63];
        line[used++] = i + 1 < StrLen ? Base64Alphabet[(value >> 6) & 63] : '=';
        line[used++] = i + 2 < StrLen ? Base64Alphabet[value & 63] : '=';
    }
    if (used > 0)
    {
        result.Append(line, used);
        if (linebreaks)
            result.Append("\r\n", 2);
    }
    return result;
}

STRING BINARY::FromBase64() const
{
    // Position in "=ABC…/": '=' is 0 and marks an absent value; others are invalid.
    struct POSITIONS
    {
        signed char Of[256] = {};
        constexpr POSITIONS()
        {
            for (int c = 0; c < 256; c++)
                Of[c] = -1;
            Of[static_cast<unsigned char>('=')] = 0;
            for (int i = 0; Base64Alphabet[i]; i++)
                Of[static_cast<unsigned char>(Base64Alphabet[i])] = static_cast<signed char>(i + 1);
        }
    };
    static constexpr POSITIONS positions;

    STRING result;
    char chunk[256];
    int used = 0;
    int values[4];
    int collected = 0;
    bool ended = false;
    auto decode = [&] {
        if (collected >= 2 && values[0] >= 0 && values[1] >= 0)
        {
            chunk[used++] = static_cast<char>((values[0] << 2) | (values[1] >> 4));
            if (collected >= 3 && values[2] >= 0)
            {
                chunk[used++] = static_cast<char>(((values[1] & 15) << 4) | (values[2] >> 2));
                if (collected >= 4 && values[3] >= 0)
                    chunk[used++] = static_cast<char>(((values[2] & 3) << 6) | values[3]);
            }
        }
        collected = 0;
        if (used >= 253)
        {
            result.Append(chunk, used);
            used = 0;
        }
    };
    const unsigned char* p = Bytes();
    for (int i = 0; p && i < StrLen && !ended; i++)
    {
        int position = positions.Of[p[i]];
        if (position < 0)
            continue;
        values[collected++] = position - 1;
        ended = position == 0;
        if (collected == 4 || ended)
            decode();
    }
    if (!ended && collected > 0)
        decode();
    if (used > 0)
        result.Append(chunk, used);
    return result;
}

STRING BINARY::ToHex() const
{
    static const char digits[] = "0123456789abcdef";
    STRING result;
    result.Set(0, "");
    const unsigned char* p = Bytes();
    for (int i = 0; p && i < StrLen; i++)
    {
        char pair[2] = {digits[p[i] >> 4], digits[p[i] & 15]};
        result.Append(pair, 2);
    }
    return result;
}

STRING BINARY::FromHex() const
{
    STRING result(StrLen > 80 ? 1024 : POOLBUFFERSIZE);
    result.Set(0, "");
    for (int i = 0; Buffer && i + 1 < StrLen; i += 2)
    {
        char byte = static_cast<char>(HexPair(Buffer + i));
        result.Append(&byte, 1);
    }
    return result;
}

STRING BINARY::UrlEscape() const
{
    STRING result;
    result.Set(0, "");
    const unsigned char* p = Bytes();
    for (int i = 0; p && i < StrLen; i++)
    {
        unsigned char c = p[i];
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || strchr("-_.~", c);
        if (plain && c)
            result.Append(reinterpret_cast<const char*>(p + i), 1);
        else
            result.AppendFormat("%%%02X", c);
    }
    return result;
}

STRING BINARY::FromQuotedPrintable() const
{
    STRING result;
    result.Set(0, "");
    for (int i = 0; Buffer && i < StrLen; i++)
    {
        const char* p = Buffer + i;
        if (*p == '=' && i + 1 < StrLen && p[1] == '\n')
        {
            i += 1;
        }
        else if (*p == '=' && i + 2 < StrLen && p[1] == '\r' && p[2] == '\n')
        {
            i += 2;
        }
        else if (*p == '=' && i + 2 < StrLen && HexValue(static_cast<unsigned char>(p[1])) >= 0 &&
                 HexValue(static_cast<unsigned char>(p[2])) >= 0)
        {
            char byte = static_cast<char>(HexPair(p + 1));
            result.Append(&byte, 1);
            i += 2;
        }
        else
        {
            result.Append(p, 1);
        }
    }
    return result;
}
