// STRINGARRAY line loading: any file loads as the lines its text-mode bytes
// hold (CR LF read as LF, Ctrl+Z ends the text), unescaped on request with
// only the assertions of bad backslash sequences; saved and loaded again
// (escaped, or plain when no item needs it) the items come back unchanged.

#include <unistd.h>

#include "framework/containers/stringarray.h"
#include "tests/fuzz/fuzzsupport.h"

namespace
{
    std::vector<std::string> Items(const STRINGARRAY& array)
    {
        std::vector<std::string> items;
        for (int i = 0; i < array.Count(); i++)
            items.emplace_back(array.GetItem(i)->Text(), (size_t)array.GetItem(i)->Length());
        return items;
    }

    void WriteBytes(const std::string& path, const std::string& bytes)
    {
        FILE* file = fopen(path.c_str(), "wb");
        if (!file)
            abort();
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }

    const std::string& FilePath()
    {
        static const std::string path =
            std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/tarni-fuzz-lines-" +
            std::to_string(getpid()) + ".txt";
        return path;
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FUZZ::Setup({"FALSE", "isxdigit(xdigit[0])", "isxdigit(xdigit[1])"});
    atexit([] { unlink(FilePath().c_str()); });
    return 0;
}

// The first byte's low bit asks for unescaping; the rest is the file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int unescape = data[0] & 1;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    WriteBytes(FilePath(), bytes);
    STRINGARRAY array;
    const int loaded = array.Load(FilePath().c_str(), unescape);

    std::string text = bytes.substr(0, bytes.find('\x1a'));
    std::vector<std::string> expected;
    std::string line;
    for (size_t i = 0; i < text.size(); i++)
    {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (text[i] != '\n')
        {
            line.push_back(text[i]);
            continue;
        }
        expected.push_back(line);
        line.clear();
    }
    if (!line.empty())
        expected.push_back(line);
    if (!unescape)
        FUZZ_CHECK(Items(array) == expected, std::to_string(array.Count()), std::to_string(expected.size()));
    FUZZ_CHECK(loaded == (int)expected.size() && array.Count() == loaded, std::to_string(loaded),
               std::to_string(expected.size()));

    FUZZ::NoAssertions([&] {
        const std::vector<std::string> items = Items(array);
        FUZZ_CHECK(array.Save(FilePath().c_str(), 1) > 0, std::string(), std::string());
        STRINGARRAY again;
        again.Load(FilePath().c_str(), 1);
        // An empty last item has no line of its own.
        std::vector<std::string> kept = items;
        if (!kept.empty() && kept.back().empty())
            kept.pop_back();
        FUZZ_CHECK(Items(again) == kept, std::to_string(again.Count()), std::to_string(kept.size()));
    });
    return 0;
}
