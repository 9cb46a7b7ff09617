// Escape and Unescape: any bytes escape to printable text that unescapes,
// strictly and without an assertion, to the same bytes; any text unescapes
// with only the assertions of bad backslash sequences.

#include "framework/text/strings.h"
#include "tests/fuzz/fuzzsupport.h"

namespace
{
    std::string Bytes(const STRING& s)
    {
        return std::string(s.Text(), (size_t)s.Length());
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FUZZ::Setup({"FALSE", "isxdigit(xdigit[0])", "isxdigit(xdigit[1])"});
    return 0;
}

// The first byte gives the length (0 to 7) of the extra set that follows it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 0x7fffffff)
        return 0;
    size_t extraLength = data[0] % 8;
    if (extraLength + 1 > size)
        return 0;
    std::string extra;
    for (size_t i = 1; i <= extraLength; i++)
    {
        if (data[i])
            extra.push_back((char)data[i]);
    }
    STRING text;
    text.Set((int)(size - 1 - extraLength), data + 1 + extraLength);
    const std::string original = Bytes(text);

    STRING strict = text.Unescape(0);
    STRING lenient = text.Unescape(1);
    FUZZ::NoAssertions([&] {
        STRING escaped = text.Escape(extra.c_str());
        for (unsigned char c : Bytes(escaped))
            FUZZ_CHECK(c >= 0x20 && c <= 0x7F, Bytes(escaped), original);
        // Outside backslash sequences no byte of the extra set is left.
        const std::string e = Bytes(escaped);
        for (size_t i = 0; i < e.size(); i++)
        {
            if (e[i] == '\\')
            {
                FUZZ_CHECK(i + 1 < e.size(), e, original);
                i += e[i + 1] == 'x' ? 3 : 1;
                continue;
            }
            FUZZ_CHECK(extra.find(e[i]) == std::string::npos, e, original);
        }
        FUZZ_CHECK(Bytes(escaped.Unescape(0)) == original, Bytes(escaped.Unescape(0)), original);
        FUZZ_CHECK(Bytes(escaped.Unescape(1)) == original, Bytes(escaped.Unescape(1)), original);
        FUZZ_CHECK(Bytes(text) == original, Bytes(text), original);
    });
    FUZZ_CHECK(strict.Length() <= text.Length() && lenient.Length() <= text.Length(), Bytes(strict), original);
    return 0;
}
