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
        Split(source, STRING::NullGuard(token));
}

void STRINGARRAY::Split(const char* source, const char* token)
{
    Lock();
    for (int i = ItemCount - 1; i >= 0; i--)
        DeleteItem(i, 1);
    const char* start = source;
    for (const char* p = source;; p++)
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
        size_t got;
        while (chunk && (got = fread(chunk, 1, chunkSize, file)) > 0)
        {
            const char* p = chunk;
            const char* end = chunk + got;
            while (p < end)
            {
                const char* lf = static_cast<const char*>(memchr(p, '\n', end - p));
                if (!lf)
                {
                    line.Append(p, (int)(end - p));
                    break;
                }
                line.Append(p, (int)(lf - p));
                InsertItem(lines++, unescape ? line.Unescape(0) : line, 1);
                line.Truncate(0);
                p = lf + 1;
            }
        }
        if (line.Length() > 0)
            InsertItem(lines++, unescape ? line.Unescape(0) : line, 1);
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
