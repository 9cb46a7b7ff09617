// STRINGARRAY: splitting, text files line by line, search, comparison.

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "framework/app/logit.h"
#include "framework/containers/stringarray.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"

namespace
{
    // ASCII case folding, as everywhere in the text classes.
    bool EqualNoCase(const char* a, const char* b, size_t n)
    {
        for (size_t i = 0; i < n; i++)
        {
            unsigned char x = (unsigned char)a[i], y = (unsigned char)b[i];
            if (x >= 'a' && x <= 'z')
                x -= 'a' - 'A';
            if (y >= 'a' && y <= 'z')
                y -= 'a' - 'A';
            if (x != y)
                return false;
        }
        return true;
    }
}

STRINGARRAY::STRINGARRAY(int maxitems) : DYNARRAY<STRING>(maxitems, 64)
{
    SetTypeName("STRINGARRAY");
}

STRINGARRAY::STRINGARRAY(const char* source, const char* token, int maxitems) : DYNARRAY<STRING>(maxitems, 64)
{
    SetTypeName("STRINGARRAY");
    LogitIf(1, "STRINGARRAY::STRINGARRAY source= %s, token= %s\n", STRING::NullGuard(source), STRING::NullGuard(token));
    if (source)
        Split(source, token);
}

void STRINGARRAY::Split(const char* source, const char* token)
{
    source = STRING::NullGuard(source);
    token = STRING::NullGuard(token);
    Lock();
    for (int i = ItemCount - 1; i >= 0; i--)
        DeleteItem(i, 1);
    const char* start = source;
    for (const char* p = source; p && token; p++)
    {
        if (*p == 0 || strchr(token, *p))
        {
            STRING item;
            item.Set((int)(p - start), start);
            AddItem(item, 1);
            if (*p == 0)
                break;
            start = p + 1;
        }
    }
    Unlock();
}

int STRINGARRAY::Compare(const STRING* item1, const STRING* item2, int mode) const
{
    if (mode & 1)
    {
        // The difference of two ints may not fit an int: clamp it, keeping its sign.
        long long difference = (long long)atoi(item1->Text()) - atoi(item2->Text());
        return difference > INT_MAX ? INT_MAX : difference < INT_MIN ? INT_MIN : (int)difference;
    }
    if (mode & 16)
        return STRING::Compare(item1->Text(), item2->Text(), 1);
    return strcmp(item1->Text(), item2->Text());
}

void STRINGARRAY::AddLine(int index, const STRING& line, int unescape)
{
    if (unescape)
        InsertItem(index, line.Unescape(0), 1);
    else
        InsertItem(index, line, 1);
}

int STRINGARRAY::Load(const char* filename, int unescape)
{
    PERFORMANCETIMER timer("STRINGARRAY::Load", false);
    filename = STRING::NullGuard(filename);
    Logit("STRINGARRAY::Load %s (%ld bytes)\n", filename, (long)FILENAME(filename).Size());
    OSYS::SetLastError(0);

    Lock();
    int lines = 0;
    FILE* file = fsopen(filename, "r");
    if (file)
    {
        const int chunkSize = 65535;
        char* chunk = static_cast<char*>(malloc(chunkSize));
        STRING line;
        const STRING fresh;
        size_t got;
        while (chunk && (got = fread(chunk, 1, chunkSize, file)) > 0)
        {
            const char* p = chunk;
            const char* end = chunk + got;
            int lineEnds = 0;
            for (const char* lf = p; (lf = static_cast<const char*>(memchr(lf, '\n', end - lf))) != 0; lf++)
                lineEnds++;
            Reserve(lineEnds, 1);
            while (p < end)
            {
                const char* lf = static_cast<const char*>(memchr(p, '\n', end - p));
                if (!lf)
                {
                    line.Append(p, (int)(end - p));
                    break;
                }
                line.Append(p, (int)(lf - p));
                AddLine(lines++, line, unescape);
                // Items copy the line's block size: after a long line, later
                // short items would each get a buffer of that size.
                if (line.BlockSize() != fresh.BlockSize() || line.Flags() != fresh.Flags())
                    line = fresh;
                else
                    line.Truncate(0);
                p = lf + 1;
            }
        }
        if (line.Length() > 0)
            AddLine(lines++, line, unescape);
        free(chunk);
        fclose(file);
    }
    Unlock();

    int error = OSYS::GetLastError();
    if (file && error == 0)
        Logit("STRINGARRAY::Load returns %d, time= %.2lf ms\n", lines, timer.Elapsed() * 1000.0);
    else
        Logit("STRINGARRAY::Load returns %d, lasterr= '%s', time= %.2lf ms.\n", lines,
              OSYS::GetErrorText(error).Text(), timer.Elapsed() * 1000.0);
    return lines;
}

int STRINGARRAY::Save(const char* filename, int escape)
{
    filename = STRING::NullGuard(filename);
    Logit("STRINGARRAY::Save %s\n", filename);
    Lock();
    int result = 0;
    FILE* file = fsopen(filename, "w");
    if (file)
    {
        for (int i = 0; i < ItemCount; i++)
        {
            if (i > 0)
                fputc('\n', file);
            const STRING& item = *ppItems[i];
            if (escape)
            {
                STRING escaped = item.Escape("");
                fwrite(escaped.Text(), 1, escaped.Length(), file);
            }
            else
            {
                fwrite(item.Text(), 1, item.Length(), file);
            }
        }
        fclose(file);
        result = ItemCount > 0 ? ItemCount : 1;
    }
    Unlock();
    Logit("STRINGARRAY::Save returns %d\n", result);
    return result;
}

int STRINGARRAY::Find(const char* value, int mode, int start)
{
    if (!value)
    {
        AssertHandler(0, "pvalue!=NULL", __FILE__, __LINE__, 0, 0);
        return -1;
    }
    Lock();
    int found = -1;
    size_t valueLength = strlen(value);
    for (int i = start < 0 ? 0 : start; i < ItemCount && found < 0; i++)
    {
        const STRING& item = *ppItems[i];
        const char* text = item.Text();
        bool match = false;
        switch (mode)
        {
        case 0:
            match = text[0] == value[0] && STRING::Compare(text, value, 1) == 0;
            break;
        case 1:
        {
            size_t itemLength = strlen(text);
            size_t n = itemLength < valueLength ? itemLength : valueLength;
            match = (itemLength > 0 || valueLength == 0) && EqualNoCase(text, value, n);
            break;
        }
        case 2:
            match = item.iPos(value, 0) >= 0;
            break;
        case 3:
            match = atoi(text) == atoi(value);
            break;
        }
        if (match)
            found = i;
    }
    Unlock();
    return found;
}

const char* STRINGARRAY::Text(int i) const
{
    const STRING* item = GetItem(i);
    return item ? item->Text() : "";
}

namespace
{
    // Latin-1 case folding, as WSTRING::Compare does it.
    char16_t Lower16(char16_t c)
    {
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
            return static_cast<char16_t>(c + 32);
        return c;
    }

    bool EqualNoCase16(const char16_t* a, const char16_t* b, int n)
    {
        for (int i = 0; i < n; i++)
        {
            if (Lower16(a[i]) != Lower16(b[i]))
                return false;
        }
        return true;
    }

    int Length16(const char16_t* text)
    {
        int n = 0;
        while (text[n])
            n++;
        return n;
    }

    // atoi on 16-bit text: blanks, a sign, decimal digits.
    int Wtoi(const char16_t* text)
    {
        text = WSTRING::NullGuard(text, "wtoi");
        if (!text)
            return 0;
        while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
            text++;
        bool negative = *text == '-';
        if (*text == '-' || *text == '+')
            text++;
        long long value = 0;
        for (; *text >= '0' && *text <= '9'; text++)
        {
            if (value <= (long long)INT_MAX + 1)
                value = value * 10 + (*text - '0');
        }
        value = negative ? -value : value;
        return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : (int)value;
    }

    // As STRING::iPos: an empty text contains nothing, not even an empty value.
    bool ContainsNoCase16(const char16_t* text, const char16_t* value)
    {
        int textLength = Length16(text), valueLength = Length16(value);
        if (textLength == 0)
            return false;
        for (int i = 0; i + valueLength <= textLength; i++)
        {
            if (EqualNoCase16(text + i, value, valueLength))
                return true;
        }
        return false;
    }
}

WSTRINGARRAY::WSTRINGARRAY(int maxitems) : DYNARRAY<WSTRING>(maxitems, 64)
{
    SetTypeName("WSTRINGARRAY");
}

WSTRINGARRAY::WSTRINGARRAY(const char16_t* source, const char16_t* token, int maxitems)
    : DYNARRAY<WSTRING>(maxitems, 64)
{
    SetTypeName("WSTRINGARRAY");
    LogitIf(1, "WSTRINGARRAY::WSTRINGARRAY source= %ls, token= %ls\n", WSTRING::NullGuard(source),
            WSTRING::NullGuard(token));
    if (source)
        Split(source, token ? token : u"");
}

void WSTRINGARRAY::Split(const char16_t* source, const char16_t* token)
{
    Lock();
    for (int i = ItemCount - 1; i >= 0; i--)
        DeleteItem(i, 1);
    const char16_t* start = source;
    for (const char16_t* p = source;; p++)
    {
        bool delimiter = false;
        for (const char16_t* t = token; *t && !delimiter; t++)
            delimiter = *t == *p;
        if (*p == 0 || delimiter)
        {
            AddItem(WSTRING(start, (int)(p - start)), 1);
            if (*p == 0)
                break;
            start = p + 1;
        }
    }
    Unlock();
}

int WSTRINGARRAY::Compare(const WSTRING* item1, const WSTRING* item2, int mode) const
{
    if (mode & 1)
    {
        long long difference = (long long)Wtoi(item1->Text()) - Wtoi(item2->Text());
        return difference > INT_MAX ? INT_MAX : difference < INT_MIN ? INT_MIN : (int)difference;
    }
    if (mode & 16)
        return WSTRING::Compare(item1->Text(), item2->Text(), 1);
    const char16_t* a = item1->Text();
    const char16_t* b = item2->Text();
    while (*a && *a == *b)
    {
        a++;
        b++;
    }
    return (int)*a - (int)*b;
}

int WSTRINGARRAY::Find(const char16_t* wval, int mode, int start)
{
    if (!wval)
    {
        AssertHandler(0, "wval!=NULL", __FILE__, __LINE__, 0, 0);
        return -1;
    }
    Lock();
    int found = -1;
    int valueLength = Length16(wval);
    for (int i = start < 0 ? 0 : start; i < ItemCount && found < 0; i++)
    {
        const char16_t* text = ppItems[i]->Text();
        bool match = false;
        switch (mode)
        {
        case 0:
            match = text[0] == wval[0] && WSTRING::Compare(text, wval, 1) == 0;
            break;
        case 1:
        {
            int itemLength = Length16(text);
            int n = itemLength < valueLength ? itemLength : valueLength;
            match = (itemLength > 0 || valueLength == 0) && EqualNoCase16(text, wval, n);
            break;
        }
        case 2:
            match = ContainsNoCase16(text, wval);
            break;
        case 3:
            match = Wtoi(text) == Wtoi(wval);
            break;
        }
        if (match)
            found = i;
    }
    Unlock();
    return found;
}

const char16_t* WSTRINGARRAY::Text(int i) const
{
    const WSTRING* item = GetItem(i);
    return item ? item->Text() : u"";
}

HASH::HASH() : Handle(0), Keys(64), Values(64), LockTable(0)
{
    Keys.SetTypeName("HASH-KEYS");
    Values.SetTypeName("HASH-VALUES");
}

HASH::HASH(const STRING& text) : HASH()
{
    Parse(text);
}

HASH::~HASH()
{
}

namespace
{
    bool StartsWithNoCase(const char* text, const char* prefix)
    {
        return EqualNoCase(text, prefix, strlen(prefix));
    }
}

void HASH::Parse(const STRING& text)
{
    const char* p = text.Text();   // the text ends at its first zero byte
    Keys.Lock();
    for (;;)
    {
        const char* end = strchr(p, '\n');
        int length = end ? (int)(end - p) : (int)strlen(p);
        while (length > 0 && p[length - 1] == '\r')
            length--;
        STRING line;
        line.Set(length, p);

        const char* item = line.Text();
        bool comment = length == 0 || (item[0] == '/' && item[1] == '/') ||
                       (item[0] == '#' && !StartsWithNoCase(item, "#Handle=") && !StartsWithNoCase(item, "#Key="));
        int equals = -1;
        if (!comment && !line.Find("=", &equals))
        {
            AssertHandler(0, "item.Find(\"=\")", __FILE__, __LINE__, item, 0);
            comment = true;
        }
        if (!comment)
        {
            STRING key = line.Left(equals);
            STRING raw = line.Mid(equals + 1);
            STRING value;
            if (raw.Length() >= 5 && strncmp(raw.Text(), "={{", 3) == 0 && strcmp(raw.Text() + raw.Length() - 2, "}}") == 0)
            {
                value = BINARY(raw.Text() + 3, raw.Length() - 5).FromBase64();
                value.SetFlag(STRINGFLAG_BINARY);
            }
            else
            {
                value = raw.Unescape(0);
            }
            if (STRING::Compare(key.Text(), "#Handle", 0) == 0)
            {
                // Read as atol reads (blanks, a sign, digits), but unsigned: atol
                // overflows from 2^31, which the store writes as it stands.
                Handle = (uint32_t)strtoul(value.Text(), 0, 10);
            }
            else if (STRING::Compare(key.Text(), "#Key", 0) == 0)
            {
                Key = value;
                Key.Materialise();
            }
            else
            {
                Keys.AddItem(key, 1);
                Values.AddItem(value, 1);
            }
        }
        if (!end)
            break;
        p = end + 1;
    }
    Keys.Unlock();
    SortPairs();
}

void HASH::SortPairs()
{
    Keys.Lock();
    for (bool swapped = true; swapped;)
    {
        swapped = false;
        for (int i = Keys.Count() - 1; i >= 1; i--)
        {
            if (STRING::Compare(Keys.GetItem(i, 1)->Text(), Keys.GetItem(i - 1, 1)->Text(), 0) < 0)
            {
                Keys.SwapItems(i, i - 1, 1);
                Values.SwapItems(i, i - 1, 1);
                swapped = true;
            }
        }
    }
    Keys.Unlock();
}

int HASH::Search(const char* key, int* insertAt) const
{
    int count = Keys.Count();
    for (int i = 0; i < count; i++)
    {
        int rc = STRING::Compare(Keys.GetItem(i, 1)->Text(), key, 0);
        if (rc >= 0)
        {
            *insertAt = i;
            return rc == 0 ? i : -1;
        }
    }
    *insertAt = count;
    return -1;
}

int HASH::IndexOf(const char* key) const
{
    int insertAt = 0;
    return Search(STRING::NullGuard(key), &insertAt);
}

int HASH::Exists(const char* key, STRING** pvalue)
{
    int index = IndexOf(key);
    if (pvalue)
        *pvalue = index >= 0 ? Values.GetItem(index, 1) : 0;
    return index >= 0 ? 1 : 0;
}

namespace
{
    // What a lookup that finds nothing hands out: empty, shared, not stored.
    STRING gNoValue;

    STRING& NoValue()
    {
        gNoValue.Free();
        return gNoValue;
    }
}

STRING& HASH::Get(const char* key)
{
    key = STRING::NullGuard(key);
    if (!key)
        return NoValue();
    Keys.Lock();
    int insertAt = 0;
    int index = Search(key, &insertAt);
    if (index < 0)
    {
        if (LockTable)
            AssertHandler(0, "!this->LockTable", __FILE__, __LINE__, key, 0);
        STRING newKey(8);
        newKey.Set((int)strlen(key), key);
        Keys.InsertItem(insertAt, newKey, 1);
        Values.InsertItem(insertAt, STRING(""), 1);
        index = Search(key, &insertAt);
    }
    STRING* value = Values.GetItem(index, 1);
    Keys.Unlock();
    return *value;
}

STRING& HASH::GetExisting(const char* key)
{
    key = STRING::NullGuard(key);
    if (!key)
        return NoValue();
    Keys.Lock();
    int insertAt = 0;
    int rcidx = Search(key, &insertAt);
    STRING* value = rcidx >= 0 ? Values.GetItem(rcidx, 1) : 0;
    Keys.Unlock();
    if (!value)
    {
        AssertHandler(0, "rcidx!=-1", __FILE__, __LINE__, key, 0);
        return NoValue();
    }
    return *value;
}

int HASH::AllowNewKeys(int allow)
{
    int previous = LockTable;
    LockTable = allow ? 0 : 1;
    return previous;
}

STRING HASH::ToText()
{
    Keys.Lock();
    long long size = 0;
    for (int i = 0; i < Keys.Count(); i++)
        size += Keys.GetItem(i, 1)->Length() + Values.GetItem(i, 1)->Length() + 2;
    const long long quantum = 65536;
    STRING text((int)((size + quantum - 1) / quantum * quantum));
    text.Set(0, "");
    if (Handle)
        text.AppendFormat("#Handle=%lu\n", (unsigned long)Handle);
    if (Key.IsAllocated())
    {
        text.Append("#Key=");
        text.Append(Key);
        text.Append("\n");
    }
    for (int i = 0; i < Keys.Count(); i++)
    {
        const STRING* value = Values.GetItem(i, 1);
        text.Append(*Keys.GetItem(i, 1));
        text.Append("=");
        if (value->Flags() & STRINGFLAG_BINARY)
        {
            text.Append("={{");
            text.Append(value->ToBase64(0));
            text.Append("}}");
        }
        else
        {
            text.Append(value->Escape("={}"));
        }
        text.Append("\n");
    }
    Keys.Unlock();
    return text;
}

int HASH::Save(const char* filename)
{
    filename = STRING::NullGuard(filename);
    Logit("HASH::Save %s\n", filename);
    int ok = ToText().Save(filename, "w");
    Logit("HASH::Save returns ok= %d\n", ok);
    return ok;
}

int HASH::Load(const char* filename)
{
    filename = STRING::NullGuard(filename);
    Logit("HASH::Load %s\n", filename);
    OSYS::SetLastError(0);
    STRING text;
    if (!text.Load(filename, "r"))
    {
        Logit("HASH::Load returns ok= %d, %s\n", 0, OSYS::GetErrorText(-4711).Text());
        return 0;
    }
    HASH loaded(text);
    if (!loaded.Key.IsAllocated())
        loaded.Key = Key;
    *this = loaded;
    int error = OSYS::GetLastError();
    if (error == 0)
        Logit("HASH::Load returns ok= %d\n", 1);
    else
        Logit("HASH::Load returns ok= %d, %s\n", 1, OSYS::GetErrorText(error).Text());
    return 1;
}
