// STRING Token, Replace and the searches with fuzzed arguments, each against
// a model on std::string; the other token and trim operations run for the
// sanitizers with only the assertions documented for bad arguments.

#include <fuzzer/FuzzedDataProvider.h>

#include "framework/text/strings.h"
#include "tests/fuzz/fuzzsupport.h"

namespace
{
    std::string Bytes(const STRING& s)
    {
        return std::string(s.Text(), (size_t)s.Length());
    }

    char Upper(char c)
    {
        return c >= 'a' && c <= 'z' ? (char)(c - 32) : c;
    }

    size_t Search(const std::string& text, const std::string& what, size_t from, bool caseSensitive)
    {
        if (caseSensitive)
            return text.find(what, from);
        for (size_t p = from; p + what.size() <= text.size(); p++)
        {
            size_t k = 0;
            while (k < what.size() && Upper(text[p + k]) == Upper(what[k]))
                k++;
            if (k == what.size())
                return p;
        }
        return std::string::npos;
    }

    std::string Token(const std::string& text, int n, const std::string& delims, int flags, bool& allocated)
    {
        size_t start = 0;
        for (int i = 0; i < n; i++)
        {
            size_t next = text.find_first_of(delims, start);
            if (next == std::string::npos)
            {
                allocated = (flags & 0x10000) != 0;
                return "";
            }
            start = next + 1;
        }
        size_t end = (flags & 0xFFFF) ? text.size() : text.find_first_of(delims, start);
        std::string token = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        allocated = true;
        return token;
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FUZZ::Setup({"how=='L' || how=='R' || how=='B'", "strlen(delim)==1"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    // Texts are C strings here: the operations read their arguments to the first zero.
    std::string text = provider.ConsumeRandomLengthString(1 << 22).c_str();
    std::string a = provider.ConsumeRandomLengthString(64).c_str();
    std::string b = provider.ConsumeRandomLengthString(64).c_str();
    int n = provider.ConsumeIntegralInRange<int>(-3, 40);
    int flags = provider.PickValueInArray({0, 1, 0x10000, 0x10001, 0x20000});
    int start = provider.ConsumeIntegralInRange<int>(-4, (int)text.size() + 4);
    bool caseSensitive = provider.ConsumeBool();
    char how = provider.ConsumeIntegral<char>();
    const STRING original(text.c_str());

    // Token.
    if (n >= 0 && !a.empty())
    {
        bool allocated = false;
        std::string expected = Token(text, n, a, flags, allocated);
        STRING token = original.Token(n, a.c_str(), flags);
        FUZZ_CHECK(Bytes(token) == expected && token.IsAllocated() == allocated,
                   Bytes(token) + (token.IsAllocated() ? " (allocated)" : ""), expected + (allocated ? " (allocated)" : ""));
        FUZZ_CHECK(token.GetCodePage() == 1252, Bytes(token), expected);
    }
    else
    {
        original.Token(n, a.c_str(), flags);
    }

    // Replace: every occurrence, left to right, never searching the new text.
    {
        STRING replaced(text.c_str());
        replaced.Replace(a.c_str(), b.c_str(), caseSensitive);
        std::string expected = text;
        if (!a.empty() && a != b)
        {
            for (size_t at = Search(expected, a, 0, caseSensitive); at != std::string::npos;
                 at = Search(expected, a, at + b.size(), caseSensitive))
                expected.replace(at, a.size(), b);
        }
        FUZZ_CHECK(Bytes(replaced) == expected, Bytes(replaced), expected);
    }

    // Pos, iPos, Find and iFind from any start.
    {
        int where = -2;
        int found = original.Find(a.c_str(), &where, start);
        int ifound = original.iFind(a.c_str(), 0, start);
        int pos = original.Pos(a.c_str(), start);
        int ipos = original.iPos(a.c_str(), start);
        if (start >= 0)
        {
            size_t e = start >= (int)text.size() ? std::string::npos : Search(text, a, (size_t)start, true);
            size_t ie = start >= (int)text.size() ? std::string::npos : Search(text, a, (size_t)start, false);
            int expected = e == std::string::npos ? -1 : (int)e;
            int iexpected = ie == std::string::npos ? -1 : (int)ie;
            FUZZ_CHECK(pos == expected && where == expected && found == (expected >= 0), std::to_string(pos),
                       std::to_string(expected));
            FUZZ_CHECK(ipos == iexpected && ifound == (iexpected >= 0), std::to_string(ipos),
                       std::to_string(iexpected));
        }
        else
        {
            FUZZ_CHECK(pos >= -1 && pos < (int)text.size() && ipos >= -1 && ipos < (int)text.size(),
                       std::to_string(pos), text);
        }
    }

    // The rest for the sanitizers: results only have to stay inside the text.
    STRING edited(text.c_str());
    edited.Trim(how, b.c_str());
    FUZZ_CHECK(edited.Length() <= original.Length(), Bytes(edited), text);
    int where = -2;
    if (original.FindUnquoted(a.c_str(), &where, start > 0 ? start : 0))
        FUZZ_CHECK(where >= 0 && where < original.Length(), std::to_string(where), text);
    original.TokenCount(a.c_str());
    original.Mid(start, n);
    STRING tokens(text.c_str());
    std::string delim = a.substr(0, 1 + (size_t)(flags & 1));
    tokens.ReplaceToken(n, delim.c_str(), b.c_str());
    tokens.InsertToken(n, delim.c_str(), b.c_str());
    tokens.DeleteToken(n, delim.c_str());
    return 0;
}
