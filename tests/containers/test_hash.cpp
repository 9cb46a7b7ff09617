// HASH: the configuration text format, sorted lookup, writing and loading.

#include <gtest/gtest.h>

#include <set>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "framework/containers/stringarray.h"
#include "tests/support/assertspy.h"
#include "tests/support/testfiles.h"

using namespace TESTSUPPORT;

namespace
{
    typedef std::vector<std::pair<std::string, std::string>> PAIRS;

    PAIRS Pairs(const HASH& store)
    {
        PAIRS pairs;
        for (int i = 0; i < store.Count(); i++)
            pairs.emplace_back(store.KeyAt(i), std::string(store.ValueAt(i)->Text(), store.ValueAt(i)->Length()));
        return pairs;
    }
}

TEST(HashFormat, EveryKindOfLineAndDuplicateKeys)
{
    HASH store(STRING("// a comment=1\n"
                      "#Comment\n"
                      "# x=1\n"
                      " //blank=first\n"
                      "#handle=12\n"
                      "#KEY=abc\n"
                      "x=a=b\n"
                      "Key = value\n"
                      "=empty key\n"
                      "tab=a\\tb\n"
                      "bin=={{TWFu}}\n"
                      "\n"
                      "/opt=slash\n"
                      "last=no line feed"));
    EXPECT_EQ((PAIRS{{"", "empty key"}, {" //blank", "first"}, {"/opt", "slash"}, {"bin", "Man"}, {"Key ", " value"},
                     {"last", "no line feed"}, {"tab", "a\tb"}, {"x", "a=b"}}),
              Pairs(store));
    EXPECT_EQ(12u, store.Handle);
    EXPECT_STREQ("abc", store.Key.Text());
    EXPECT_TRUE(store.ValueAt(3)->Flags() & STRINGFLAG_BINARY);
    EXPECT_FALSE(store.ValueAt(7)->Flags() & STRINGFLAG_BINARY);

    // Keys sort stably without regard to case; lookups find the first.
    HASH dup(STRING("b=2\nA=1\na=3\nB=4\n"));
    EXPECT_EQ((PAIRS{{"A", "1"}, {"a", "3"}, {"b", "2"}, {"B", "4"}}), Pairs(dup));
    EXPECT_STREQ("2", dup.Get("B").Text());
}

TEST(HashFormat, BadInputAssertsAndTheParseGoesOnKeepingOddBytes)
{
    // The line without "=" asserts once; the bad escape and hex digit once each.
    ASSERTSPY spy;
    HASH store(STRING("a=1\nno equals here\nb=\\q\\x4gz\n"));
    ASSERT_EQ(3u, spy.Count());
    EXPECT_EQ("item.Find(\"=\")", spy[0].Condition);
    EXPECT_EQ("no equals here", spy[0].Info);
    EXPECT_EQ((PAIRS{{"a", "1"}, {"b", "q\x04z"}}), Pairs(store));

    // No trimming and no byte-order-mark handling; garbage is a line of its own.
    std::string bigValue(3 * 1024 * 1024, 'v');
    std::string text = "\xEF\xBB\xBF" "first=bom\n   =blank key\n" "big=" + bigValue + "\n";
    for (int c = 1; c < 256; c++)
        if (c != '\n')
            text.push_back((char)c);
    text += "\ntail=end\n";
    spy.Clear();
    HASH odd{STRING(text.c_str())};
    EXPECT_GE(spy.Count(), 1u) << "the garbage line is reported";
    EXPECT_STREQ("bom", odd.Get("\xEF\xBB\xBF" "first").Text());
    EXPECT_EQ(0, odd.Exists("first"));
    EXPECT_STREQ("blank key", odd.Get("   ").Text());
    EXPECT_EQ(bigValue.size(), (size_t)odd.Get("big").Length());
    EXPECT_STREQ("end", odd.Get("tail").Text());
}

TEST(HashFormat, WrittenTextReadsBackToTheSamePairs)
{
    std::mt19937 random(11);
    for (int round = 0; round < 10; round++)
    {
        HASH original;
        original.Handle = round * 0x1C000001u;  // half of them 2^31 or more
        original.Key = "key text";
        for (int i = 0; i < 12; i++)
        {
            std::string key = "k" + std::to_string(random() % 1000), value(random() % 40, '\0');
            for (char& c : value)
                c = (char)(random() % 256);
            if (original.Exists(key.c_str()))
                continue;
            STRING& stored = original.Get(key.c_str());
            stored.Set((int)value.size(), value.data());
            if (random() % 2)
                stored.SetFlag(STRINGFLAG_BINARY);
        }
        STRING text = original.ToText();
        EXPECT_EQ(std::string::npos, std::string(text.Text(), text.Length()).find('\0'));
        HASH copy(text);
        EXPECT_EQ(Pairs(original), Pairs(copy)) << text.Text();
        EXPECT_EQ(original.Handle, copy.Handle);
        EXPECT_STREQ(original.Key.Text(), copy.Key.Text());
        for (int i = 0; i < copy.Count(); i++)
            EXPECT_EQ(original.ValueAt(i)->Flags() & STRINGFLAG_BINARY, copy.ValueAt(i)->Flags() & STRINGFLAG_BINARY);
        EXPECT_STREQ(text.Text(), copy.ToText().Text());
    }
    EXPECT_STREQ("t=a\\x3db\\x7b\\t\n", HASH(STRING("t=a\\x3db{\\t\n")).ToText().Text());
}

TEST(HashFiles, RealisticServiceConfigurationWithCrLfOrLf)
{
    TEMPDIR dir("cfg");
    std::string path = dir.File("service.cfg");
    WriteFile(path, "// Tarni demo service\r\n"
                    "AppName=Tarni Demo\r\n"
                    "AppExe=C:\\\\Program Files\\\\Tarni\\\\demoapp.exe\r\n"
                    "AppHelp=demohelp|1000\r\n"
                    "AppRegKey=DemoApp\r\n"
                    "AppWinClass=TarniDemoWindow\r\n");
    HASH store;
    ASSERT_EQ(1, store.Load(path.c_str()));
    EXPECT_EQ((PAIRS{{"AppExe", "C:\\Program Files\\Tarni\\demoapp.exe"}, {"AppHelp", "demohelp|1000"},
                     {"AppName", "Tarni Demo"}, {"AppRegKey", "DemoApp"}, {"AppWinClass", "TarniDemoWindow"}}),
              Pairs(store));
    WriteFile(dir.File("lf.cfg"), ReadTextFile(path));
    HASH lf;
    ASSERT_EQ(1, lf.Load(dir.File("lf.cfg").c_str()));
    EXPECT_EQ(Pairs(store), Pairs(lf));
}

TEST(HashFiles, SaveWritesCrLfAndLoadReplacesOnlyOnSuccess)
{
    TEMPDIR dir("cfg");
    HASH store(STRING("b=2\na=1\n"));
    ASSERT_EQ(1, store.Save(dir.File("out.cfg").c_str()));
    EXPECT_EQ("a=1\r\nb=2\r\n", ReadFile(dir.File("out.cfg")));
    {
        LOGCAPTURE log(1);
        EXPECT_EQ(0, store.Load(dir.File("missing.cfg").c_str()));
        std::vector<std::string> lines = log.Lines("HASH::Load returns");
        ASSERT_EQ(1u, lines.size());
        EXPECT_GT(lines[0].size(), std::string("HASH::Load returns ok= 0, ").size()) << "with the system's text";
    }
    EXPECT_EQ((PAIRS{{"a", "1"}, {"b", "2"}}), Pairs(store));

    WriteFile(dir.File("new.cfg"), "c=3\n");
    store.Key = "kept";
    ASSERT_EQ(1, store.Load(dir.File("new.cfg").c_str()));
    EXPECT_EQ((PAIRS{{"c", "3"}}), Pairs(store));
    EXPECT_STREQ("kept", store.Key.Text()) << "a file without #Key= keeps the old one";
}

TEST(HashLookup, LockedTablesComplainButAddAndLookupsIgnoreCase)
{
    HASH store(STRING("m=1\nz=26\n"));
    ASSERTSPY spy;
    EXPECT_EQ(0, store.AllowNewKeys(0));
    store.Get("new");
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("!this->LockTable", spy[0].Condition);
    EXPECT_EQ(1, store.Exists("new"));
    EXPECT_STREQ("26", store.GetExisting("Z").Text());
}

TEST(HashLookup, ThreadsAddingKeysLeaveEachOnceInOrder)
{
    HASH store;
    std::set<std::string> expected;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
    {
        for (int i = 0; i < 300; i++)
            expected.insert("key" + std::to_string((i * 7 + t * 13) % 500));
        threads.emplace_back([&store, t] {
            for (int i = 0; i < 300; i++)
                store.Get(("key" + std::to_string((i * 7 + t * 13) % 500)).c_str());
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ((int)expected.size(), store.Count());
    // Strictly ascending: each key once and in order.
    for (int i = 1; i < store.Count(); i++)
        EXPECT_LT(STRING::Compare(store.KeyAt(i - 1), store.KeyAt(i), 0), 0) << store.KeyAt(i);
}
