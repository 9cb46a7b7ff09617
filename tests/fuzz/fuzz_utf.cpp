// UTF-8 and UTF-16: any units go to UTF-8 and back unchanged; any bytes
// decode the same whole or in pieces; valid UTF-8 decodes to the code points
// a plain decoder finds, and text of the basic plane encodes back to itself.

#include <fuzzer/FuzzedDataProvider.h>

#include "framework/text/unicode.h"
#include "tests/fuzz/fuzzsupport.h"

namespace
{
    std::u16string Units(const WSTRING& w)
    {
        return std::u16string(w.Text(), (size_t)w.Length());
    }

    std::string Show(const std::u16string& units)
    {
        std::string text;
        for (char16_t u : units)
            text += std::to_string((unsigned)u) + " ";
        return text;
    }

    // Standard UTF-8 (no overlong forms, no surrogates, at most U+10FFFF) to
    // UTF-16; false for anything else.
    bool DecodeStrict(const std::string& bytes, std::u16string& out, bool& basicPlane)
    {
        basicPlane = true;
        for (size_t i = 0; i < bytes.size();)
        {
            unsigned char lead = (unsigned char)bytes[i];
            int extra = lead < 0x80 ? 0 : lead >= 0xC2 && lead <= 0xDF ? 1 : (lead & 0xF0) == 0xE0 ? 2
                                                                      : lead >= 0xF0 && lead <= 0xF4 ? 3 : -1;
            if (extra < 0 || i + extra >= bytes.size() + (extra == 0))
                return false;
            uint32_t value = extra == 0 ? lead : lead & (0x3F >> extra);
            for (int k = 1; k <= extra; k++)
            {
                unsigned char next = (unsigned char)bytes[i + k];
                if ((next & 0xC0) != 0x80)
                    return false;
                value = (value << 6) | (next & 0x3F);
            }
            static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
            if (value < least[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
                return false;
            if (value >= 0x10000)
            {
                basicPlane = false;
                out.push_back((char16_t)(0xD800 + ((value - 0x10000) >> 10)));
                out.push_back((char16_t)(0xDC00 + ((value - 0x10000) & 0x3FF)));
            }
            else
            {
                out.push_back((char16_t)value);
            }
            i += (size_t)extra + 1;
        }
        return true;
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FUZZ::Setup({});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0x3fffffff)
        return 0;
    // Units without zeros (the 8-bit texts end at the first zero byte).
    std::u16string units;
    for (size_t i = 0; i + 1 < size; i += 2)
    {
        char16_t unit = (char16_t)(data[i] | data[i + 1] << 8);
        if (unit)
            units.push_back(unit);
    }
    WSTRING wide(units.c_str(), (int)units.size());
    STRING utf8(wide, UNICODE_CPUTF8);
    WSTRING back(utf8.Text(), UNICODE_CPUTF8);
    FUZZ_CHECK(Units(back) == units, Show(Units(back)), Show(units));

    // WSTRING::ToUtf8 into a buffer of any size gives a prefix of the whole.
    FuzzedDataProvider provider(data, size);
    int room = provider.ConsumeIntegralInRange<int>(0, utf8.Length() + 4);
    std::vector<char> buffer((size_t)room + 1, '\x55');
    int written = wide.ToUtf8(room > 0 ? buffer.data() : 0, room);
    FUZZ_CHECK(written >= 0 && written <= (room > 0 ? room - 1 : 0), std::string(), std::string());
    if (room > 0)
    {
        FUZZ_CHECK(buffer[(size_t)written] == 0 && std::string(buffer.data(), (size_t)written) ==
                                                       std::string(utf8.Text(), (size_t)written),
                   std::string(buffer.data(), (size_t)written), std::string(utf8.Text()));
        FUZZ_CHECK(buffer[(size_t)room] == '\x55', std::string(), std::string());
    }

    // Bytes decode the same in one piece and in pieces of any sizes.
    std::string bytes(reinterpret_cast<const char*>(data), size);
    WSTRING whole;
    UTF8STATE state = {};
    UNICODE::FromUtf8(data, (int)size, whole, &state);
    UNICODE::FinishUtf8(whole, &state);
    WSTRING pieces;
    UTF8STATE pieceState = {};
    size_t at = 0;
    while (at < size)
    {
        size_t piece = 1 + data[at] % 7;
        piece = piece < size - at ? piece : size - at;
        UNICODE::FromUtf8(data + at, (int)piece, pieces, &pieceState);
        at += piece;
    }
    UNICODE::FinishUtf8(pieces, &pieceState);
    FUZZ_CHECK(Units(pieces) == Units(whole), Show(Units(pieces)), Show(Units(whole)));

    std::u16string expected;
    bool basicPlane = false;
    if (DecodeStrict(bytes, expected, basicPlane))
    {
        FUZZ_CHECK(Units(whole) == expected, Show(Units(whole)), Show(expected));
        FUZZ_CHECK(state.Error == 0, std::string(), std::string());
        if (basicPlane && bytes.find('\0') == std::string::npos)
        {
            STRING again(whole, UNICODE_CPUTF8);
            FUZZ_CHECK(std::string(again.Text(), (size_t)again.Length()) == bytes, again.Text(), bytes);
        }
    }
    return 0;
}
