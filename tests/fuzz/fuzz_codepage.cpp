// The generated code pages, one chosen by the input: every defined byte maps
// to a code point that maps back to a byte of the same code point, whole
// texts convert to 16 bits and back the same way, and any character or code
// page number is taken with only the assertions documented for it.

#include <fuzzer/FuzzedDataProvider.h>

#include "framework/text/unicode.h"
#include "tests/fuzz/fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FUZZ::Setup({"idx!=-1", "cp!=UNICODE_CPUTF8"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    UNICODE* uni = UNICODE::Get();
    int codepage;
    bool table = false;
    switch (provider.ConsumeIntegralInRange<int>(0, 7))
    {
    case 0:
        codepage = provider.ConsumeIntegral<int>();   // mostly not a code page at all
        break;
    case 1:
        codepage = provider.PickValueInArray<int>({UNICODE_CPSYSTEM, UNICODE_CPFLAT, UNICODE_CPUTF8, 1000});
        break;
    default:
        codepage = uni->GetTable(provider.ConsumeIntegralInRange<int>(0, uni->GetNumTables() - 1)).CodePage;
        table = uni->TableIndex(codepage) >= 0 && !uni->GetTable(uni->TableIndex(codepage)).DoubleByte;
        break;
    }
    std::string bytes = provider.ConsumeRandomLengthString(1 << 22);
    std::vector<char16_t> characters;
    while (provider.remaining_bytes() >= 2)
        characters.push_back(provider.ConsumeIntegral<char16_t>());

    for (unsigned char b : bytes)
    {
        char16_t unit = uni->ToUnicode(b, codepage);
        if (!table || unit == 127)
            continue;
        unsigned char out = 0;
        FUZZ::NoAssertions([&] {
            FUZZ_CHECK(uni->FromUnicode(unit, codepage, &out) == 1, std::to_string(out), std::to_string(b));
            FUZZ_CHECK(uni->ToUnicode(out, codepage) == unit, std::to_string(out), std::to_string(b));
        });
    }
    for (char16_t ch : characters)
    {
        unsigned char out = 0;
        uni->FromUnicode(ch, codepage, &out);
    }

    STRING text(bytes.c_str(), codepage);
    WSTRING wide(text);
    STRING back(wide, codepage);
    WSTRING fromUnits(characters.empty() ? u"" : std::u16string(characters.begin(), characters.end()).c_str());
    STRING narrowed(fromUnits, codepage);
    if (table)
    {
        FUZZ_CHECK(wide.Length() == text.Length() && back.Length() == text.Length(), back.Text(), text.Text());
        for (int i = 0; i < text.Length(); i++)
        {
            char16_t unit = uni->ToUnicode((unsigned char)text[i], codepage);
            if (unit != 127)
                FUZZ_CHECK(uni->ToUnicode((unsigned char)back[i], codepage) == unit, back.Text(), text.Text());
        }
    }
    return 0;
}
