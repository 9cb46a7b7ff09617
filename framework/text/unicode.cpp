#include "framework/text/unicode.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/app/logit.h"
#include "framework/os/osys.h"

namespace
{
    const int ENTRYCOUNT = 8192;    // 32 tables of 256 bytes
    const int REVERSEMAX = 9728;    // the reverse index covers code points below this
    const char16_t UNDEFINED = 127;

    UNICODEENTRY gEntries[ENTRYCOUNT];
    std::atomic<UNICODE*> gUnicode(nullptr);

    struct FALLBACK
    {
        char16_t Ch;
        char Ascii;
    };

    // Lines and box corners that no table maps, drawn with ASCII instead.
    const FALLBACK gFallback[] = {
        {0x2500, '-'}, {0x2502, '|'}, {0x2550, '='}, {0x2551, '"'}, {0x2013, '-'}, {0x2014, '-'},
        {0x250C, '+'}, {0x2514, '+'}, {0x2510, '+'}, {0x2518, '+'}, {0x253C, '+'}, {0x252C, '+'},
        {0x251C, '+'}, {0x2524, '+'}, {0x2534, '+'}, {0x2554, '+'}, {0x255A, '+'}, {0x2557, '+'},
        {0x255D, '+'}, {0x2566, '+'}, {0x2560, '+'}, {0x2563, '+'}, {0x2569, '+'},
    };

    char FallbackFor(char16_t ch)
    {
        for (const FALLBACK& f : gFallback)
        {
            if (f.Ch == ch)
                return f.Ascii;
        }
        return 0;
    }

    int AnsiCodePage()
    {
        return OSYS::GetAnsiCodePage();
    }

    // The Windows code page whose conversion stands in for a table that lacks a character.
    int SystemCodePageFor(int codepage)
    {
        switch (codepage)
        {
            case 437: case 737: case 850: case 852: case 866: case 878:
                return OSYS::GetOemCodePage();
            case 8860: return 1252;
            case 8861: return 1250;
            case 8863: return 1257;
            case 8864: return 1251;
            case 8866: return 1253;
            case 8867: return 1255;
            case 8868: return 1254;
            default: break;
        }
        if (codepage >= 1250 && codepage <= 1258)
            return codepage;
        // A UTF ANSI code page cannot give single bytes.
        int ansi = AnsiCodePage();
        return ansi >= 65000 ? 1252 : ansi;
    }

    int Length16(const char16_t* p)
    {
        return static_cast<int>(std::char_traits<char16_t>::length(p));
    }

    // Latin-1 case mapping: ASCII letters and the accented letters below 256.
    inline char16_t Upper16(char16_t c)
    {
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            return static_cast<char16_t>(c - 32);
        return c;
    }

    inline char16_t Lower16(char16_t c)
    {
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
            return static_cast<char16_t>(c + 32);
        return c;
    }

    inline bool InSet16(const char16_t* set, char16_t c)
    {
        for (; *set; ++set)
        {
            if (*set == c)
                return true;
        }
        return false;
    }

    // Units up to the first zero, as the C routines would read the text.
    int TextLength(const char16_t* text, int length)
    {
        int n = 0;
        while (n < length && text[n])
            ++n;
        return n;
    }

    void ClearState(UTF8STATE* state)
    {
        memset(state, 0, sizeof *state);
    }
}


UNICODE* UNICODE::Get()
{
    UNICODE* object = gUnicode.load(std::memory_order_acquire);
    if (object)
        return object;
    // No lock: should two threads race at the first use, the loser's copy is dropped.
    UNICODE* fresh = new UNICODE();
    if (gUnicode.compare_exchange_strong(object, fresh, std::memory_order_acq_rel))
        return fresh;
    delete fresh;
    return object;
}

void UNICODE::Release()
{
    delete gUnicode.exchange(nullptr);
}

UNICODE::UNICODE() : NumTables(0), ReverseSize(0), Reverse(0)
{
    Logit("UNICODE::UNICODE\n");
    Logit("UNICODE::UNICODE init tables\n");
    memset(gEntries, 0, sizeof gEntries);
    memset(Tables, 0, sizeof Tables);
    FillTables();
    Logit("UNICODE::UNICODE init done\n");
    BuildReverse();
    Logit("UNICODE::UNICODE done\n");
}

UNICODE::~UNICODE()
{
    Logit("UNICODE::~UNICODE\n");
    free(Reverse);
    Reverse = 0;
    ReverseSize = 0;
    Logit("UNICODE::~UNICODE done\n");
}

void UNICODE::FillTables()
{
    const int maxTables = static_cast<int>(sizeof Tables / sizeof Tables[0]);
    NumTables = UNICODETABLES::Count;
    if (NumTables > maxTables)
    {
        AssertHandler(0, "this->NumTables <= ARRAYMAX(this->Tables)", __FILE__, __LINE__, 0, 0);
        NumTables = maxTables;
    }
    for (int t = 0; t < NumTables; ++t)
    {
        const UNICODESOURCE& source = UNICODETABLES::Sources[t];
        UNICODETABLE& table = Tables[t];
        FORMAT::Copy(table.Name, source.Name, sizeof table.Name);
        table.CodePage = source.CodePage;
        table.CharSet = source.CharSet;
        table.Family = source.Family;
        table.DoubleByte = static_cast<int16_t>(source.DoubleByte);

        // A derived table copies its base, which must already sit at its place.
        bool derived = false;
        if (source.Base >= 0)
        {
            derived = source.Base < t && Tables[source.Base].CodePage == source.BaseCodePage;
            if (!derived)
            {
                char condition[64];
                FORMAT::Print(condition, sizeof condition, "this->Tables[%d].cp==%d", source.Base, source.BaseCodePage);
                AssertHandler(0, condition, __FILE__, __LINE__, 0, 0);
            }
        }
        UNICODEENTRY* entries = gEntries + t * 256;
        for (int b = 0; b < 256; ++b)
        {
            entries[b].Byte = static_cast<uint8_t>(b);
            entries[b].CodePage = static_cast<uint16_t>(source.CodePage);
            entries[b].CodePoint = derived ? gEntries[source.Base * 256 + b].CodePoint : static_cast<uint16_t>(b);
        }
        for (int i = 0; i < source.NumChanges; ++i)
            entries[source.Changes[2 * i] & 0xFF].CodePoint = source.Changes[2 * i + 1];
    }
}

void UNICODE::BuildReverse()
{
    int highest = 0;
    for (const UNICODEENTRY& e : gEntries)
    {
        if (e.CodePage && e.CodePoint > highest)
            highest = e.CodePoint;
    }
    int size = highest + 1 < REVERSEMAX ? highest + 1 : REVERSEMAX;
    Reverse = static_cast<int*>(malloc(sizeof(int) * size));
    if (!Reverse)
    {
        AssertHandler(0, "buffer", __FILE__, __LINE__, 0, 0);
        return;     // every lookup then scans its table
    }
    ReverseSize = size;
    for (int u = 0; u < size; ++u)
        Reverse[u] = -1;
    for (int i = 0; i < ENTRYCOUNT; ++i)
    {
        const UNICODEENTRY& e = gEntries[i];
        if (e.CodePage && e.CodePoint && e.CodePoint < size && Reverse[e.CodePoint] < 0)
            Reverse[e.CodePoint] = i;
    }
    // Code points no table defines go to the byte of the same value in 1252.
    for (int u = 1; u <= 254 && u < size; ++u)
    {
        if (Reverse[u] < 0)
            Reverse[u] = u;
    }
}

int UNICODE::TableIndex(int codepage) const
{
    for (int t = 0; t < NumTables; ++t)
    {
        if (Tables[t].CodePage == codepage)
            return t;
    }
    return -1;
}

char16_t UNICODE::TableUnit(int idx, unsigned char byte) const
{
    const UNICODEENTRY& e = gEntries[idx * 256 + byte];
    return e.CodePage ? e.CodePoint : UNDEFINED;
}

int UNICODE::UnknownCodePage(int codepage)
{
    char info[32];
    FORMAT::Print(info, sizeof info, "codepage :%d", codepage);
    AssertHandler(0, "idx!=-1", __FILE__, __LINE__, info, 0);
    return '@';
}

char16_t UNICODE::ToUnicode(unsigned char byte, int codepage)
{
    if (codepage == UNICODE_CPFLAT || byte < 128)
        return byte;
    if (codepage == 1252 || codepage == 1000)
        return TableUnit(0, byte);
    if (codepage == UNICODE_CPSYSTEM)
    {
        char c = static_cast<char>(byte);
        char16_t unit = 0;
        if (OSYS::MultiByteToWide(AnsiCodePage(), &c, 1, &unit, 1) == 1)
            return unit;
        return TableUnit(0, byte);
    }
    if (codepage == UNICODE_CPUTF8)
    {
        AssertHandler(0, "cp!=UNICODE_CPUTF8", __FILE__, __LINE__, 0, 0);
        return '@';
    }
    int idx = codepage == 437 ? 1 : TableIndex(codepage);
    if (idx < 0)
        return static_cast<char16_t>(UnknownCodePage(codepage));
    return TableUnit(idx, byte);
}

int UNICODE::FromUnicode(char16_t ch, int codepage, unsigned char* out)
{
    unsigned char ignored;
    if (!out)
        out = &ignored;
    if (codepage == UNICODE_CPFLAT)
    {
        *out = static_cast<unsigned char>(ch & 0xFF);
        return ch <= 0xFF;
    }
    if (ch <= 127)
    {
        *out = static_cast<unsigned char>(ch);
        return 1;
    }
    // The default 1000 converts to the system's ANSI code page, as CPSYSTEM does.
    if (codepage == UNICODE_CPSYSTEM || codepage == 1000)
        return SystemFallback(ch, codepage, out);
    if (codepage == UNICODE_CPUTF8)
    {
        AssertHandler(0, "cp!=UNICODE_CPUTF8", __FILE__, __LINE__, 0, 0);
        *out = '@';
        return 0;
    }
    if (ch < ReverseSize)
    {
        int i = Reverse[ch];
        if (i >= 0 && gEntries[i].CodePage == codepage)
        {
            *out = gEntries[i].Byte;
            return 1;
        }
    }
    int idx = TableIndex(codepage);
    if (idx < 0)
    {
        *out = static_cast<unsigned char>(UnknownCodePage(codepage));
        return 0;
    }
    return Lookup(ch, idx, codepage, out);
}

// Steps after the reverse index: the table's own bytes, then the fallbacks.
int UNICODE::Lookup(char16_t ch, int idx, int codepage, unsigned char* out)
{
    const UNICODEENTRY* entries = gEntries + idx * 256;
    for (int b = 0; b < 256; ++b)
    {
        if (entries[b].CodePoint != ch)
            continue;
        if (b == 0 && ch != 0)
        {
            if (Tables[idx].DoubleByte)
                AssertHandler(0, "FALSE", __FILE__, __LINE__, 0, 0);
            break;
        }
        *out = static_cast<unsigned char>(b);
        return 1;
    }
    return SystemFallback(ch, codepage, out);
}

int UNICODE::SystemFallback(char16_t ch, int codepage, unsigned char* out)
{
    char ascii = FallbackFor(ch);
    if (ascii)
    {
        *out = static_cast<unsigned char>(ascii);
        return 1;
    }
    char byte = '?';
    int usedDefault = 0;
    if (OSYS::WideToMultiByte(SystemCodePageFor(codepage), &ch, 1, &byte, 1, &usedDefault) != 1)
    {
        *out = '?';
        return 0;
    }
    *out = static_cast<unsigned char>(byte);
    return !usedDefault;
}

int UNICODE::ToUtf8(uint32_t codepoint, unsigned char* out, int outmax)
{
    if (outmax < 4)
    {
        AssertHandler(0, "outmax>=4", __FILE__, __LINE__, 0, 0);
        if (out && outmax > 0)
            out[0] = 0;
        return 0;
    }
    if (!out)
        return 0;
    int n;
    if (codepoint < 0x80)
    {
        out[0] = static_cast<unsigned char>(codepoint);
        n = 1;
    }
    else if (codepoint < 0x800)
    {
        out[0] = static_cast<unsigned char>(0xC0 | (codepoint >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (codepoint & 0x3F));
        n = 2;
    }
    else if (codepoint > 0xFFFF)
    {
        out[0] = static_cast<unsigned char>(0xF0 | ((codepoint >> 18) & 0x07));
        out[1] = static_cast<unsigned char>(0x80 | ((codepoint >> 12) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | ((codepoint >> 6) & 0x3F));
        out[3] = static_cast<unsigned char>(0x80 | (codepoint & 0x3F));
        n = 4;
    }
    else
    {
        out[0] = static_cast<unsigned char>(0xE0 | (codepoint >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((codepoint >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (codepoint & 0x3F));
        n = 3;
    }
    if (n < outmax)
        out[n] = 0;
    return n;
}

int UNICODE::FromUtf8(const unsigned char* bytes, int count, WSTRING& wstring, UTF8STATE* state)
{
    UTF8STATE local;
    if (!state)
    {
        ClearState(&local);
        state = &local;
    }
    if (state->Expected < 0 || state->Expected > 5 || state->Collected < 0 || state->Collected > 6 ||
        (state->Expected == 0) != (state->Collected == 0))
        ClearState(state);
    if (!bytes)
        return 0;
    if (count < 0)
        count = static_cast<int>(strlen(reinterpret_cast<const char*>(bytes)));
    if (count == 0)
        return 0;

    // One unit per byte at most, plus the bytes of a sequence left pending.
    char16_t* start = wstring.Reserve(count + state->Collected);
    if (!start)
        return 0;
    char16_t* p = start;
    for (int i = 0; i < count; ++i)
    {
        unsigned b = bytes[i];
        if (state->Expected == 0)
        {
            if (b < 0xC0 || b >= 0xFE)
            {
                *p++ = static_cast<char16_t>(b);    // ASCII, or a stray byte read as Latin-1
                continue;
            }
            int more = b < 0xE0 ? 1 : b < 0xF0 ? 2 : b < 0xF8 ? 3 : b < 0xFC ? 4 : 5;
            state->Bytes[0] = static_cast<unsigned char>(b);
            state->Collected = 1;
            state->Expected = more;
            state->Value = b & (0x3Fu >> more);
            continue;
        }
        if ((b & 0xC0) == 0x80)
        {
            state->Bytes[state->Collected++] = static_cast<unsigned char>(b);
            state->Value = (state->Value << 6) | (b & 0x3F);
            if (--state->Expected > 0)
                continue;
            uint32_t v = state->Value;
            if (v <= 0xFFFF)
            {
                *p++ = static_cast<char16_t>(v);
            }
            else if (v <= 0x1FFFFF)
            {
                // Four-byte values past U+10FFFF too: their pair is not valid
                // UTF-16, but the value's bits stay in the text.
                v -= 0x10000;
                *p++ = static_cast<char16_t>(0xD800 | (v >> 10));
                *p++ = static_cast<char16_t>(0xDC00 | (v & 0x3FF));
            }
            else
            {
                *p++ = 0xFFFD;
            }
            state->Collected = 0;
            state->Value = 0;
            continue;
        }
        // Malformed: the sequence so far and this byte are taken as Latin-1.
        for (int k = 0; k < state->Collected; ++k)
            *p++ = state->Bytes[k];
        *p++ = static_cast<char16_t>(b);
        state->Collected = 0;
        state->Expected = 0;
        state->Value = 0;
        state->Error = 1;
    }
    int units = static_cast<int>(p - start);
    wstring.Commit(units);
    return units;
}

int UNICODE::FinishUtf8(WSTRING& wstring, UTF8STATE* state)
{
    if (!state || state->Collected <= 0 || state->Collected > 6)
        return 0;
    int units = state->Collected;
    char16_t* p = wstring.Reserve(units);
    if (!p)
        return 0;
    for (int k = 0; k < units; ++k)
        p[k] = state->Bytes[k];
    wstring.Commit(units);
    ClearState(state);
    state->Error = 1;
    return units;
}

int UNICODE::Widen(const char* text, int len, int codepage, WSTRING& out)
{
    if (!text)
        return 0;
    if (len < 0)
        len = static_cast<int>(strlen(text));
    if (len == 0)
        return 0;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    if (codepage == UNICODE_CPUTF8)
    {
        UTF8STATE state;
        ClearState(&state);
        int units = FromUtf8(bytes, len, out, &state);
        return units + FinishUtf8(out, &state);
    }
    // The system converts text of the ANSI code page, and Korean double-byte text.
    if (codepage == UNICODE_CPSYSTEM || codepage == 949)
    {
        int syscp = codepage == 949 ? 949 : AnsiCodePage();
        int need = OSYS::MultiByteToWide(syscp, text, len, 0, 0);
        char16_t* p = need > 0 ? out.Reserve(need) : 0;
        int units = p ? OSYS::MultiByteToWide(syscp, text, len, p, need) : 0;
        if (units > 0)
        {
            out.Commit(units);
            return units;
        }
    }
    int idx = 0;
    if (codepage != UNICODE_CPFLAT && codepage != UNICODE_CPSYSTEM && codepage != 1252 && codepage != 1000)
    {
        idx = TableIndex(codepage);
        if (idx < 0)
        {
            for (int i = 0; i < len; ++i)
            {
                if (bytes[i] >= 128)
                {
                    UnknownCodePage(codepage);    // once for the whole text
                    break;
                }
            }
        }
    }
    char16_t* p = out.Reserve(len);
    if (!p)
        return 0;
    for (int i = 0; i < len; ++i)
    {
        unsigned char b = bytes[i];
        if (b < 128 || codepage == UNICODE_CPFLAT)
            p[i] = b;
        else if (codepage == UNICODE_CPSYSTEM)
            p[i] = ToUnicode(b, codepage);
        else
            p[i] = idx < 0 ? u'@' : TableUnit(idx, b);
    }
    out.Commit(len);
    return len;
}

int UNICODE::SystemNarrow(const char16_t* wtext, int len, int tocp, STRING& out)
{
    if (tocp != UNICODE_CPSYSTEM && tocp != 1252)
    {
        AssertHandler(0, "tocp==UNICODE_CPSYSTEM || tocp==1252", __FILE__, __LINE__, 0, 0);
        tocp = 1252;
    }
    const int syscp = tocp == 1252 ? 1252 : AnsiCodePage();
    char local[2048];
    int n = OSYS::WideToMultiByte(syscp, wtext, len, local, sizeof local, 0);
    if (n > 0)
    {
        out.Append(local, n);
        return n;
    }
    int need = OSYS::WideToMultiByte(syscp, wtext, len, 0, 0, 0);
    if (need > 0)
    {
        char* exact = static_cast<char*>(malloc(need));
        n = exact ? OSYS::WideToMultiByte(syscp, wtext, len, exact, need, 0) : 0;
        if (n > 0)
            out.Append(exact, n);
        free(exact);
        if (n > 0)
            return n;
    }
    for (int i = 0; i < len; ++i)
    {
        unsigned char b;
        FromUnicode(wtext[i], tocp, &b);
        out.Append(reinterpret_cast<const char*>(&b), 1);
    }
    return len;
}

int UNICODE::Narrow(const char16_t* wtext, int len, int codepage, STRING& out)
{
    if (!wtext)
        return 0;
    if (len < 0)
        len = Length16(wtext);
    if (len == 0)
        return 0;
    if (codepage == 1252)
        return SystemNarrow(wtext, len, 1252, out);
    if (codepage == UNICODE_CPSYSTEM || codepage == 1000)
        return SystemNarrow(wtext, len, UNICODE_CPSYSTEM, out);

    const int old = out.Length();
    if (codepage == UNICODE_CPUTF8)
    {
        if (static_cast<long long>(len) * 3 > INT_MAX - 16 - old || !out.Set(old + 3 * len, 0))
            return 0;
        unsigned char* p = reinterpret_cast<unsigned char*>(out.At(old));
        int used = 0;
        for (int i = 0; i < len; ++i)
            used += ToUtf8(wtext[i], p + used, 4);
        out.Truncate(old + used);
        return used;
    }
    if (codepage == 949)
    {
        int need = OSYS::WideToMultiByte(949, wtext, len, 0, 0, 0);
        if (need > 0 && out.Set(old + need, 0))
        {
            int n = OSYS::WideToMultiByte(949, wtext, len, out.At(old), need, 0);
            out.Truncate(old + n);
            if (n > 0)
                return n;
        }
    }
    int idx = codepage == UNICODE_CPFLAT ? 0 : TableIndex(codepage);
    if (idx < 0)
    {
        for (int i = 0; i < len; ++i)
        {
            if (wtext[i] > 127)
            {
                UnknownCodePage(codepage);    // once for the whole text
                break;
            }
        }
    }
    if (!out.Set(old + len, 0))
        return 0;
    unsigned char* p = reinterpret_cast<unsigned char*>(out.At(old));
    for (int i = 0; i < len; ++i)
    {
        char16_t ch = wtext[i];
        if (codepage == UNICODE_CPFLAT)
            p[i] = static_cast<unsigned char>(ch & 0xFF);
        else if (ch <= 127)
            p[i] = static_cast<unsigned char>(ch);
        else if (idx < 0)
            p[i] = '@';
        else if (ch < ReverseSize && Reverse[ch] >= 0 && gEntries[Reverse[ch]].CodePage == codepage)
            p[i] = gEntries[Reverse[ch]].Byte;
        else
            Lookup(ch, idx, codepage, p + i);
    }
    return len;
}


WSTRING::WSTRING(int blocksize) : BUFFERCORE(blocksize, STRINGFLAG_WIDE)
{
}

WSTRING::WSTRING(const STRING& text) : BUFFERCORE(0, STRINGFLAG_WIDE)
{
    if (text.IsAllocated())
    {
        Set(0, 0);
        UNICODE::Get()->Widen(text.Text(), text.Length(), text.GetCodePage(), *this);
    }
}

WSTRING::WSTRING(const char* text, int codepage) : BUFFERCORE(0, STRINGFLAG_WIDE)
{
    if (text)
    {
        Set(0, 0);
        UNICODE::Get()->Widen(text, -1, codepage, *this);
    }
}

WSTRING::WSTRING(const char16_t* wtext, int len) : BUFFERCORE(0, STRINGFLAG_WIDE)
{
    if (len == UNICODE_CPSYSTEM || len == UNICODE_CPFLAT)
    {
        AssertHandler(0, "len!=UNICODE_CPSYSTEM && len!=UNICODE_CPFLAT", __FILE__, __LINE__, 0, 0);
        return;
    }
    if (wtext)
        SetUnits(wtext, len < 0 ? Length16(wtext) : len);
}

WSTRING::WSTRING(const WSTRING& other) : BUFFERCORE(other)
{
}

WSTRING::~WSTRING()
{
}

WSTRING& WSTRING::operator=(const WSTRING& other)
{
    BUFFERCORE::operator=(other);
    return *this;
}

WSTRING& WSTRING::operator=(const STRING& text)
{
    if (!text.IsAllocated())
    {
        Free();
        return *this;
    }
    Set(0, 0);
    UNICODE::Get()->Widen(text.Text(), text.Length(), text.GetCodePage(), *this);
    return *this;
}

WSTRING& WSTRING::operator=(const char* text)
{
    if (!text)
    {
        Free();
        return *this;
    }
    Set(0, 0);
    UNICODE::Get()->Widen(text, -1, 1252, *this);
    return *this;
}

WSTRING& WSTRING::operator=(const char16_t* wtext)
{
    if (!wtext)
        Free();
    else
        SetUnits(wtext, Length16(wtext));     // Set copes with text inside this buffer
    return *this;
}

void WSTRING::SetUnits(const char16_t* wtext, int len)
{
    Set(2 * len, wtext);
}

char16_t* WSTRING::Reserve(int units)
{
    long long need = static_cast<long long>(StrLen) + 2LL * units;
    if (units < 0 || need > INT_MAX - 16)
    {
        AssertHandler(0, "buffer", __FILE__, __LINE__, 0, 0);
        return 0;
    }
    const int old = StrLen;
    if (!Buffer || need + 8 >= BufSize)
    {
        if (!Set(static_cast<int>(need), 0))
            return 0;
        StrLen = old;
        Terminate();
    }
    return Units() + old / 2;
}

void WSTRING::Commit(int units)
{
    StrLen += 2 * units;
    Terminate();
}

char16_t& WSTRING::operator[](int i)
{
    static char16_t dummy;
    if (i >= 0 && i < Length())
        return Units()[i];
    dummy = 0;
    IndexFailed(i, __LINE__);
    return dummy;
}

const char16_t& WSTRING::operator[](int i) const
{
    static char16_t dummy;
    if (i >= 0 && i < Length())
        return Text()[i];
    dummy = 0;
    IndexFailed(i, __LINE__);
    return dummy;
}

void WSTRING::IndexFailed(int i, int line) const
{
    char text[128];
    ToUtf8(text, sizeof text);
    char detail[256];
    FORMAT::Print(detail, sizeof detail, "i= %d, len= %d, buf= %s", i, Length(), text);
    AssertHandler(0, "i>=0 && i<this->StrLen", __FILE__, line, detail, 0);
}

void WSTRING::Append(char16_t ch)
{
    BUFFERCORE::Append(&ch, 2);
}

void WSTRING::Append(const char* text, int codepage)
{
    text = STRING::NullGuard(text, "WSTRING::Append op1");
    if (!text)
        return;
    if (!Buffer)
        Set(0, 0);
    UNICODE::Get()->Widen(text, -1, codepage, *this);
}

void WSTRING::Append(const char16_t* wtext, int len)
{
    wtext = NullGuard(wtext, "WSTRING::Append op1");
    if (!wtext)
        return;
    BUFFERCORE::Append(wtext, 2 * (len < 0 ? Length16(wtext) : len));
}

void WSTRING::Append(const WSTRING& other)
{
    if (other.Buffer)
        BUFFERCORE::Append(other.Buffer, other.StrLen);
}

int WSTRING::Format(const char16_t* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = FormatInto(false, format, args);
    va_end(args);
    return n;
}

int WSTRING::AppendFormat(const char16_t* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = FormatInto(true, format, args);
    va_end(args);
    return n;
}

int WSTRING::FormatInto(bool append, const char16_t* format, va_list args)
{
    format = NullGuard(format, "WSTRING::Format");
    if (!format)
        return 0;
    va_list again;
    va_copy(again, args);
    const int localmax = 1024;
    char16_t local[localmax];
    int n = OSYS::FormatWideV(local, localmax, format, args);
    int stored = 0;
    if (n >= 0 && n < localmax)
    {
        stored = n;
        if (append)
            BUFFERCORE::Append(local, 2 * n);
        else
            SetUnits(local, n);
    }
    else if (n >= 0 && n < INT_MAX / 2 - 16)
    {
        // The arguments may point into this text: format into a copy first.
        const int wbufmax = n + 1;
        char16_t* heap = static_cast<char16_t*>(malloc(sizeof(char16_t) * wbufmax));
        int nwchars = heap ? OSYS::FormatWideV(heap, wbufmax, format, again) : -1;
        if (nwchars >= 0 && nwchars < wbufmax)
        {
            stored = nwchars;
            if (append)
                BUFFERCORE::Append(heap, 2 * nwchars);
            else
                SetUnits(heap, nwchars);
        }
        else
        {
            AssertHandler(0, "nwchars>=0 && nwchars<wbufmax", __FILE__, __LINE__, 0, 0);
        }
        free(heap);
    }
    else
    {
        AssertHandler(0, "nwchars>=0 && nwchars<wbufmax", __FILE__, __LINE__, 0, 0);
    }
    va_end(again);
    return stored;
}

int WSTRING::Truncate(int newlength)
{
    if (newlength < 0)
    {
        AssertHandler(0, "newlength>=0", __FILE__, __LINE__, 0, 0);
        return 0;
    }
    if (Length() <= newlength)
        return 0;
    StrLen = 2 * newlength;
    Terminate();
    return 1;
}

void WSTRING::DeleteLeft(int howmany)
{
    if (howmany < 0)
    {
        AssertHandler(0, "howmany>=0", __FILE__, __LINE__, 0, 0);
        return;
    }
    if (!Buffer || howmany == 0)
        return;
    if (howmany > Length())
        howmany = Length();
    memmove(Buffer, Buffer + 2 * howmany, StrLen - 2 * howmany);
    StrLen -= 2 * howmany;
    Terminate();
}

void WSTRING::DeleteRight(int howmany)
{
    if (howmany < 0)
    {
        AssertHandler(0, "howmany>=0", __FILE__, __LINE__, 0, 0);
        return;
    }
    if (!Buffer)
        return;
    StrLen = howmany >= Length() ? 0 : StrLen - 2 * howmany;
    Terminate();
}

void WSTRING::Insert(const char16_t* wtext, int pos)
{
    if (Inside(wtext))
    {
        AssertHandler(0, "wtext!=wbuf", __FILE__, __LINE__, 0, 0);
        return;
    }
    wtext = NullGuard(wtext, "WSTRING::Insert");
    if (!wtext || pos < 0 || pos > Length())
        return;
    if (pos == Length())
    {
        Append(wtext);
        return;
    }
    const int n = Length16(wtext);
    const int old = Length();
    if (n == 0 || static_cast<long long>(old) + n > INT_MAX / 2 - 16 || !Set(2 * (old + n), 0))
        return;
    char16_t* units = Units();
    memmove(units + pos + n, units + pos, sizeof(char16_t) * (old - pos));
    memcpy(units + pos, wtext, sizeof(char16_t) * n);
}

void WSTRING::Replace(const char16_t* oldtext, const char16_t* newtext)
{
    if (!oldtext || !*oldtext)
        return;
    newtext = NullGuard(newtext, "WSTRING::Replace");
    if (!newtext || Compare16(oldtext, newtext) == 0)
        return;
    const int oldlen = Length16(oldtext);
    const int newlen = Length16(newtext);
    int p = Pos(oldtext, 0);
    if (p < 0)
        return;
    // Built aside: the texts may point into this one, and replacements are never searched again.
    WSTRING result(BlkSize);
    int from = 0;
    while (p >= 0)
    {
        result.AppendUnits(Text() + from, p - from);
        result.AppendUnits(newtext, newlen);
        from = p + oldlen;
        p = Pos(oldtext, from);
    }
    result.AppendUnits(Text() + from, Length() - from);
    SetUnits(result.Text(), result.Length());
}

void WSTRING::AppendUnits(const char16_t* wtext, int len)
{
    if (len > 0)
        BUFFERCORE::Append(wtext, 2 * len);
    else if (!Buffer)
        Set(0, 0);
}

void WSTRING::Trim(char how, const char16_t* set)
{
    if (how >= 'a' && how <= 'z')
        how = static_cast<char>(how - 32);
    if (how != 'L' && how != 'R' && how != 'B')
    {
        AssertHandler(0, "how=='L' || how=='R' || how=='B'", __FILE__, __LINE__, 0, 0);
        return;
    }
    if (!Buffer)
        return;
    set = NullGuard(set, "WSTRING::Trim");
    if (!set)
        return;
    char16_t* units = Units();
    int len = Length();
    if (how != 'L')
    {
        while (len > 0 && InSet16(set, units[len - 1]))
            --len;
    }
    if (how != 'R')
    {
        int lead = 0;
        while (lead < len && InSet16(set, units[lead]))
            ++lead;
        memmove(units, units + lead, sizeof(char16_t) * (len - lead));
        len -= lead;
    }
    StrLen = 2 * len;
    Terminate();
}

void WSTRING::ToUpper()
{
    if (!Buffer)
    {
        NullGuard(0, "ToUpper");
        return;
    }
    for (char16_t* p = Units(); *p; ++p)
        *p = Upper16(*p);
}

void WSTRING::ToLower()
{
    if (!Buffer)
    {
        NullGuard(0, "ToLower");
        return;
    }
    for (char16_t* p = Units(); *p; ++p)
        *p = Lower16(*p);
}

int WSTRING::Pos(char16_t ch) const
{
    const char16_t* units = Text();
    for (int i = 0; i < Length(); ++i)
    {
        if (units[i] == ch)
            return i;
    }
    return -1;
}

int WSTRING::Pos(const char16_t* wtext, int start) const
{
    if (start < 0)
        start = 0;
    if (start >= Length())
        return -1;
    wtext = NullGuard(wtext, "Pos str");
    if (!wtext)
        return -1;
    const char16_t* units = Text();
    const int end = TextLength(units, Length());
    const int m = Length16(wtext);
    for (int p = start; p <= end - m; ++p)
    {
        if (memcmp(units + p, wtext, sizeof(char16_t) * m) == 0)
            return p;
    }
    return -1;
}

WSTRING WSTRING::Mid(int start, int count) const
{
    WSTRING rc;
    if (start < 0 || start >= Length())
        return rc;
    int rest = Length() - start;
    rc.SetUnits(Text() + start, count < 0 || count > rest ? rest : count);
    return rc;
}

int WSTRING::TokenCount(const char16_t* delims) const
{
    delims = NullGuard(delims, "TokenCount");
    int count = 1;
    if (!delims)
        return count;
    for (const char16_t* p = Text(); *p; ++p)
    {
        if (InSet16(delims, *p))
            ++count;
    }
    return count;
}

WSTRING WSTRING::Token(int n, const char16_t* delims, int flags) const
{
    WSTRING rc;
    delims = NullGuard(delims, "Token");
    const char16_t* p = Text();
    bool found = delims && n >= 0;
    for (int i = 0; found && i < n; ++i)
    {
        while (*p && !InSet16(delims, *p))
            ++p;
        if (*p)
            ++p;
        else
            found = false;
    }
    if (found)
    {
        const char16_t* end = p;
        if (flags & 0xFFFF)
            end += Length16(p);
        else
            while (*end && !InSet16(delims, *end))
                ++end;
        rc.SetUnits(p, static_cast<int>(end - p));
    }
    if ((flags & 0x10000) && !rc.Buffer)
        rc.Set(0, 0);
    return rc;
}

int WSTRING::HasAny(unsigned mask) const
{
    const char16_t* units = Text();
    for (int i = 0; i < Length(); ++i)
    {
        if (units[i] & mask)
            return 1;
    }
    return 0;
}

int WSTRING::ToUtf8(char* buffer, int size) const
{
    if (!buffer || size < 1)
        return 0;
    const char16_t* units = Text();
    int used = 0;
    for (int i = 0; i < Length(); ++i)
    {
        unsigned char seq[4];
        int n = UNICODE::ToUtf8(units[i], seq, sizeof seq);
        if (used + n > size - 1)
        {
            // The bytes that fit are kept, even within a character; the rest is dropped.
            memcpy(buffer + used, seq, size - 1 - used);
            used = size - 1;
            break;
        }
        memcpy(buffer + used, seq, n);
        used += n;
    }
    buffer[used] = 0;
    return used;
}

int WSTRING::Compare16(const char16_t* a, const char16_t* b)
{
    while (*a && *a == *b)
    {
        ++a;
        ++b;
    }
    return static_cast<int>(*a) - static_cast<int>(*b);
}

int WSTRING::Compare(const char16_t* a, const char16_t* b, int nullsafe)
{
    if (!nullsafe)
    {
        a = NullGuard(a, "wstricmp p1");
        b = NullGuard(b, "wstricmp p2");
    }
    if (!a || !b)
        return (a || b) ? 1 : 0;
    while (*a && Lower16(*a) == Lower16(*b))
    {
        ++a;
        ++b;
    }
    return static_cast<int>(Lower16(*a)) - static_cast<int>(Lower16(*b));
}

const char16_t* WSTRING::NullGuard(const char16_t* p, const char* label)
{
    if (p)
        return p;
    return STRING::NullGuard(0, label) ? u"<NULL>" : 0;
}
