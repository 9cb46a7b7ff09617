// HASH text form: any text parses with only the assertions of malformed lines
// and its ToText reads back to the same pairs; pairs stored through Get, with
// keys the format can carry, survive Save and Load through a file.

#include <unistd.h>

#include <tuple>

#include "framework/containers/stringarray.h"
#include "tests/fuzz/fuzzsupport.h"

namespace
{
    typedef std::vector<std::tuple<std::string, std::string, bool>> PAIRS;

    std::string Bytes(const STRING& s)
    {
        return std::string(s.Text(), (size_t)s.Length());
    }

    PAIRS Pairs(const HASH& store)
    {
        PAIRS pairs;
        for (int i = 0; i < store.Count(); i++)
        {
            const STRING* value = store.ValueAt(i);
            pairs.emplace_back(store.KeyAt(i), Bytes(*value), (value->Flags() & STRINGFLAG_BINARY) != 0);
        }
        return pairs;
    }

    std::string Describe(const PAIRS& pairs)
    {
        std::string text;
        for (const auto& pair : pairs)
            text += std::get<0>(pair) + "=" + std::get<1>(pair) + (std::get<2>(pair) ? " (binary)\n" : "\n");
        return text;
    }

    bool StartsWithNoCase(const std::string& text, const char* prefix)
    {
        return strncasecmp(text.c_str(), prefix, strlen(prefix)) == 0;
    }

    // The keys the text form carries (see the README): no zero byte, '=',
    // line end or Ctrl+Z, and no comment or pseudo-key. A CR at a key's end
    // is carried: the value, escaped, always ends the line.
    bool Carried(const std::string& key)
    {
        return key.find_first_of(std::string("=\n\x1a\0", 4)) == std::string::npos &&
               key.compare(0, 2, "//") != 0 &&
               (key.empty() || key[0] != '#');
    }

    // #Key is written as it stands but read through unescaping.
    bool KeyCarried(const STRING& key)
    {
        std::string text = Bytes(key);
        return text.find_first_of(std::string("\\\n\0", 3)) == std::string::npos &&
               !(text.size() >= 5 && text.compare(0, 3, "={{") == 0 && text.compare(text.size() - 2, 2, "}}") == 0) &&
               (text.empty() || text.back() != '\r');
    }

    const std::string& FilePath()
    {
        static const std::string path =
            std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/tarni-fuzz-hash-" +
            std::to_string(getpid()) + ".cfg";
        return path;
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FUZZ::Setup({"item.Find(\"=\")", "FALSE", "isxdigit(xdigit[0])", "isxdigit(xdigit[1])"});
    atexit([] { unlink(FilePath().c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0x7fffffff)
        return 0;
    STRING text;
    text.Set((int)size, data);
    HASH parsed(text);
    if (!KeyCarried(parsed.Key))
        parsed.Key = STRING();
    STRING written = parsed.ToText();
    FUZZ::NoAssertions([&] {
        HASH again(written);
        FUZZ_CHECK(Pairs(again) == Pairs(parsed), Describe(Pairs(again)), Describe(Pairs(parsed)));
        FUZZ_CHECK(again.Handle == parsed.Handle, Bytes(written), Bytes(text));
        if (KeyCarried(parsed.Key))
            FUZZ_CHECK(Bytes(again.Key) == Bytes(parsed.Key), Bytes(again.Key), Bytes(parsed.Key));
    });

    // Key and value alternate between 0xFF bytes; a value that begins with
    // 0xFE is stored as binary.
    std::vector<std::string> parts = FUZZ::Parts(data, size, '\xff', 1 << 20);
    HASH stored;
    for (size_t i = 0; i + 1 < parts.size(); i += 2)
    {
        const std::string& key = parts[i];
        if (!Carried(key) || StartsWithNoCase(key, "#Handle=") || StartsWithNoCase(key, "#Key="))
            continue;
        STRING& value = stored.Get(key.c_str());
        value.Set((int)parts[i + 1].size(), parts[i + 1].data());
        if (!parts[i + 1].empty() && parts[i + 1][0] == '\xfe')
            value.SetFlag(STRINGFLAG_BINARY);
        else
            value.ClearFlag(STRINGFLAG_BINARY);
    }
    FUZZ::NoAssertions([&] {
        FUZZ_CHECK(stored.Save(FilePath().c_str()) == 1, std::string(), std::string());
        HASH loaded;
        FUZZ_CHECK(loaded.Load(FilePath().c_str()) == 1, std::string(), std::string());
        FUZZ_CHECK(Pairs(loaded) == Pairs(stored), Describe(Pairs(loaded)), Describe(Pairs(stored)));
    });
    return 0;
}
