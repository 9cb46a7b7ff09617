// STRINGARRAY split: n delimiters give n + 1 items, each the bytes between them.

#include <fuzzer/FuzzedDataProvider.h>

#include "framework/containers/stringarray.h"
#include "tests/fuzz/fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FUZZ::Setup({});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    std::string token = provider.ConsumeRandomLengthString(8).c_str();
    std::string source = provider.ConsumeRemainingBytesAsString().c_str();
    STRINGARRAY array(source.c_str(), token.c_str());

    std::vector<std::string> expected(1);
    for (char c : source)
    {
        if (token.find(c) != std::string::npos)
            expected.emplace_back();
        else
            expected.back().push_back(c);
    }
    std::vector<std::string> items;
    for (int i = 0; i < array.Count(); i++)
        items.emplace_back(array.GetItem(i)->Text(), (size_t)array.GetItem(i)->Length());
    FUZZ_CHECK(items == expected, std::to_string(items.size()), std::to_string(expected.size()));
    return 0;
}
