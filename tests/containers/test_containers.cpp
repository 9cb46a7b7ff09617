#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/containers/dynarray.h"
#include "framework/containers/stringarray.h"
#include "tests/support/assertspy.h"
#include "tests/support/testfiles.h"

namespace
{
    struct PAIR { int Key, Tag; };

    // Orders by Key, or by Tag when mode has bit value 1; bit value 2 answers
    // with the most extreme results an int allows.
    class PAIRARRAY : public DYNARRAY<PAIR>
    {
    public:
        using DYNARRAY<PAIR>::DYNARRAY;
        int Compare(const PAIR* a, const PAIR* b, int mode) const override
        {
            int rc = (mode & 1) ? a->Tag - b->Tag : a->Key - b->Key;
            if (mode & 2)
                return rc < 0 ? INT_MIN : rc > 0 ? INT_MAX : 0;
            return rc;
        }
    };

    // The texts of a STRINGARRAY's or a WSTRINGARRAY's items.
    template <class ARRAY> auto Items(const ARRAY& array)
    {
        std::vector<decltype(std::basic_string(array.Text(0)))> items;
        for (int i = 0; i < array.Count(); i++)
            items.push_back(array.Text(i));
        return items;
    }

    STRINGARRAY Make(const std::vector<std::string>& items)
    {
        STRINGARRAY array;
        for (const std::string& item : items)
            array.AddItem(STRING(item.c_str()));
        return array;
    }

    // Reads under one explicit lock, as callers that walk an array do.
    std::vector<int> Keys(PAIRARRAY& array)
    {
        std::vector<int> keys;
        array.Lock();
        for (int i = 0; i < array.Count(); i++)
            keys.push_back(array.GetItem(i, 1)->Key);
        array.Unlock();
        return keys;
    }
}

TEST(DynArrayEdit, GrowsByItsStepInsertsDeletesCopiesAndRefusesBadPositions)
{
    DYNARRAY<int> array(2, 2);
    array.AddItem(1);
    EXPECT_EQ(1, array.AddItem(2));
    EXPECT_EQ(2, array.Capacity());
    array.InsertItem(1, 3);
    EXPECT_EQ(4, array.Capacity());
    EXPECT_EQ((std::vector<int>{1, 3, 2}), (std::vector<int>{*array.GetItem(0), *array.GetItem(1), *array.GetItem(2)}));

    DYNARRAY<int> fixed(1, 0);  // no growth step: a second item is refused
    fixed.AddItem(7);
    ASSERTSPY spy;
    EXPECT_EQ(-1, fixed.AddItem(8));
    EXPECT_GE(spy.Count(), 1u);
    EXPECT_EQ(1, fixed.Count());

    STRINGARRAY strings = Make({"a", "z", "last"});
    strings.SetTypeName("HASH-VALUES");
    spy.Clear();  // bad positions: one assertion each, the type named, nothing changed
    EXPECT_EQ(-1, strings.InsertItem(4, STRING("x")));
    EXPECT_EQ(nullptr, strings.GetItem(-1));
    strings.DeleteItem(3);
    strings.SwapItems(-1, 1);
    ASSERT_EQ(4u, spy.Count());
    EXPECT_NE(std::string::npos, spy[1].Info.find("type= HASH-VALUES")) << spy[1].Info;
    EXPECT_EQ((std::vector<std::string>{"a", "z", "last"}), Items(strings));
    strings.InsertItem(0, STRING("first"));
    strings.DeleteItem(3);
    strings.SwapItems(0, 2);
    EXPECT_EQ((std::vector<std::string>{"z", "a", "first"}), Items(strings));
    STRINGARRAY copy(strings);
    copy.GetItem(0)->Append("!");
    copy.DeleteItem(1);
    EXPECT_EQ((std::vector<std::string>{"z", "a", "first"}), Items(strings));
    EXPECT_EQ((std::vector<std::string>{"z!", "first"}), Items(copy));
}

TEST(DynArrayEdit, EachIndexOperationTakesBothEndsAndRefusesOnePastThem)
{
    // On 10, 11, 12: g GetItem, i InsertItem, d DeleteItem, s and t SwapItems
    // with the index first or second; a refusal asserts once and changes nothing.
    const struct { char Op; int Index; bool Valid; } rows[] = {
        {'g', -1, false}, {'g', 0, true}, {'g', 2, true}, {'g', 3, false},
        {'i', -1, false}, {'i', 0, true}, {'i', 3, true}, {'i', 4, false},
        {'d', -1, false}, {'d', 0, true}, {'d', 2, true}, {'d', 3, false},
        {'s', -1, false}, {'s', 2, true}, {'s', 3, false},
        {'t', -1, false}, {'t', 2, true}, {'t', 3, false},
    };
    for (const auto& row : rows)
    {
        DYNARRAY<int> array(4, 4);
        for (int value : {10, 11, 12})
            array.AddItem(value);
        ASSERTSPY spy;
        bool done = false;
        if (row.Op == 'g')
        {
            int* item = array.GetItem(row.Index);
            done = item && *item == 10 + row.Index;
        }
        else if (row.Op == 'i')
            done = array.InsertItem(row.Index, 9) != -1;
        else if (row.Op == 'd')
        {
            array.DeleteItem(row.Index);
            done = array.Count() == 2;
        }
        else
        {
            row.Op == 's' ? array.SwapItems(row.Index, 0) : array.SwapItems(0, row.Index);
            done = *array.GetItem(0) == 10 + row.Index;
        }
        EXPECT_EQ(row.Valid, done) << row.Op << row.Index;
        EXPECT_EQ(row.Valid ? 0u : 1u, spy.Count()) << row.Op << row.Index;
        EXPECT_EQ(row.Valid && row.Op == 'i' ? 4 : row.Valid && row.Op == 'd' ? 2 : 3, array.Count()) << row.Op << row.Index;
    }
}

TEST(DynArraySort, SortsByOwnCompareAndModeAscendingAndDescending)
{
    std::mt19937 random(11);
    PAIRARRAY array;
    for (int i = 0; i < 300; i++)
        array.AddItem({(int)(random() % 1000), i});
    std::vector<int> expected = Keys(array);
    std::sort(expected.begin(), expected.end());
    array.Sort(0);
    EXPECT_EQ(expected, Keys(array));
    std::reverse(expected.begin(), expected.end());
    array.Sort(8);
    EXPECT_EQ(expected, Keys(array));
    array.Sort(2);   // compare results of INT_MIN and INT_MAX
    array.Sort(10);
    EXPECT_EQ(expected, Keys(array));
    array.Sort(9);   // by Tag, descending
    EXPECT_EQ(299, array.GetItem(0)->Tag);
    EXPECT_EQ(0, array.GetItem(299)->Tag);
}

TEST(DynArrayThreads, ConcurrentAddsLoseNothing)
{
    const int each = 6000;
    DYNARRAY<int> array(8, 8);  // a small step makes the array grow often
    std::atomic<int> ready(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back([&array, &ready, t] {
            for (ready++; ready < 4;)
                std::this_thread::yield();
            for (int i = 0; i < each; i++)
                array.AddItem(t * each + i);
        });
    for (std::thread& thread : threads)
        thread.join();
    ASSERT_EQ(4 * each, array.Count());
    std::vector<bool> seen(4 * each);
    for (int i = 0; i < array.Count(); i++)
        seen[*array.GetItem(i)] = true;
    EXPECT_EQ(4 * each, std::count(seen.begin(), seen.end(), true));
}

TEST(StringArraySplit, SplitsAtEveryDelimiterUnit)
{
    const struct { const char* Source; const char* Token; std::vector<std::string> Expected; } cases[] = {
        {"a,b,,c,", ",", {"a", "b", "", "c", ""}},
        {"one\r\ntwo", "\r\n", {"one", "", "two"}},
        {"", ",", {""}},
        {"x\xE9y;z", "\xE9;", {"x", "y", "z"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Expected, Items(STRINGARRAY(c.Source, c.Token))) << c.Source;
    EXPECT_EQ((std::vector<std::u16string>{u"a", u"", u"\u0416", u""}), Items(WSTRINGARRAY(u"a,,\u0416\u20AC", u",\u20AC")));
}

TEST(StringArraySort, ModesOrderByUnitsByCaseByNumberAndReverse)
{
    const std::vector<std::string> letters = {"b", "C", "a"}, numbers = {"10", "9", "-2000000000", "100", "2000000000"};
    const struct { const std::vector<std::string>& Items; int Mode; std::vector<std::string> Expected; } rows[] = {
        {letters, 0, {"C", "a", "b"}}, {letters, 16, {"a", "b", "C"}}, {letters, 24, {"C", "b", "a"}},
        {numbers, 1, {"-2000000000", "9", "10", "100", "2000000000"}}};
    for (const auto& row : rows)
    {
        STRINGARRAY array = Make(row.Items);
        array.Sort(row.Mode);
        EXPECT_EQ(row.Expected, Items(array)) << "mode " << row.Mode;
    }
    WSTRINGARRAY wide(u"\u00e8,b,A,\u00c9", u",");  // Latin-1 letters fold too
    wide.Sort(16);
    EXPECT_EQ((std::vector<std::u16string>{u"A", u"b", u"\u00e8", u"\u00c9"}), Items(wide));
}

class StringArrayFile : public testing::Test
{
protected:
    TESTSUPPORT::TEMPDIR Dir{"containers"};
    std::string Path = Dir.File("lines.txt");

    std::vector<std::string> LoadBytes(const std::string& bytes)
    {
        EXPECT_TRUE(TESTSUPPORT::WriteFile(Path, bytes));
        STRINGARRAY array;
        const int loaded = array.Load(Path.c_str());
        EXPECT_EQ(array.Count(), loaded);
        return Items(array);
    }
};

TEST_F(StringArrayFile, LoadSplitsLinesAcrossChunksInFrontOfOldItemsWithBuffersOfTheirSize)
{
    const struct { std::string Bytes; std::vector<std::string> Expected; } cases[] = {
        {"a\nb", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\r\n\r\nb\r\n", {"a", "", "b"}},
        {"a\rb\n\n", {"a\rb", ""}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Expected, LoadBytes(c.Bytes)) << c.Bytes;
    for (int length = 65534; length <= 65536; length++)  // the line end falls around the 64 KiB chunk end
        for (const char* end : {"\n", "\r\n"})
            EXPECT_EQ((std::vector<std::string>{std::string(length, 'x'), "tail"}),
                      LoadBytes(std::string(length, 'x') + end + "tail" + end))
                << length << (end[0] == '\r' ? " CR LF" : " LF");

    STRINGARRAY array = Make({"x"});
    ASSERT_TRUE(TESTSUPPORT::WriteFile(Path, "a\nb\n"));
    EXPECT_EQ(2, array.Load(Path.c_str()));
    EXPECT_EQ(2, array.Load(Path.c_str()));
    EXPECT_EQ((std::vector<std::string>{"a", "b", "a", "b", "x"}), Items(array));
    EXPECT_EQ(0, array.Load(Dir.File("missing.txt").c_str()));
    EXPECT_EQ(5, array.Count());

    // Short lines after a long one get buffers of their own size.
    ASSERT_TRUE(TESTSUPPORT::WriteFile(Path, std::string(100000, 'l') + "\nx\ny\n"));
    STRINGARRAY after;
    ASSERT_EQ(3, after.Load(Path.c_str()));
    const STRING shortLine("x");
    EXPECT_EQ(STRING(shortLine).Capacity(), after.GetItem(1)->Capacity());
}

TEST_F(StringArrayFile, SaveSeparatesItemsWithCrLfAndReadsBackTheSame)
{
    EXPECT_EQ(0, Make({"a"}).Save((Dir.File("nosuchdir") + "/x.txt").c_str()));
    const std::vector<std::string> items = {"first", "", "  spaced  ", std::string(70000, 'w'), "last"};
    ASSERT_EQ(5, Make(items).Save(Path.c_str()));
    std::string expected;
    for (const std::string& item : items)
        expected += (expected.empty() ? "" : "\r\n") + item;
    EXPECT_EQ(expected, TESTSUPPORT::ReadFile(Path));
    EXPECT_EQ(items, LoadBytes(expected));

    // Escaped, control characters and line ends inside items survive.
    const std::vector<std::string> controls = {"line\nbreak", "back\\slash", "cr\r", "\x01\xFF"};
    Make(controls).Save(Path.c_str(), 1);
    STRINGARRAY loaded;
    EXPECT_EQ(4, loaded.Load(Path.c_str(), 1));
    EXPECT_EQ(controls, Items(loaded));
}

// The wide and the 8-bit Find take the same table: a narrow item has each
// Latin-1 letter in its ASCII form.
TEST(StringArrayFind, ModesMatchAsDocumented)
{
    const std::vector<std::u16string> items = {u"\u00c4bc", u"\u00e4BC", u"", u"\u00e4b", u"\u00e4bcd",
                                               u"Hello WIDE \u00d6rld", u"042", u"x"};
    const struct { const char16_t* Value; int Mode, Start, Expected; } cases[] = {
        {u"\u00e4bc", 0, 0, 1}, {u"\u00e4bc", 0, 2, -1}, {u"\u00e4bc", 1, 2, 3}, {u"\u00e4bcde", 1, 4, 4},
        {u"", 1, 2, 2}, {u"wide \u00f6", 2, 0, 5}, {u"wider", 2, 0, -1}, {u"", 2, 2, 3}, {u"42", 3, 0, 6}};
    auto narrow = [](const std::u16string& text) {
        std::string out;
        for (char16_t c : text)
            out += c == u'\u00c4' ? 'A' : c == u'\u00e4' ? 'a' : c == u'\u00d6' ? 'O' : c == u'\u00f6' ? 'o' : (char)c;
        return out;
    };
    WSTRINGARRAY wide;
    STRINGARRAY array;
    for (const auto& item : items)
    {
        wide.AddItem(WSTRING(item.c_str()));
        array.AddItem(STRING(narrow(item).c_str()));
    }
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.Expected, wide.Find(c.Value, c.Mode, c.Start)) << narrow(c.Value) << " mode " << c.Mode;
        EXPECT_EQ(c.Expected, array.Find(narrow(c.Value).c_str(), c.Mode, c.Start)) << narrow(c.Value) << " mode " << c.Mode;
    }
}

// Asked to hand out null for a null text, the arrays and the store go on
// without it instead of reading through it.
TEST(NullTexts, FailOnNullLeavesArraysAndStoreUnchanged)
{
    TESTSUPPORT::SetEnvironment("TARNIFAILONNULL", "1");
    STRINGARRAY split("a,b", nullptr);
    HASH store;
    store.Get("key") = "value";
    const int splitCount = split.Count();
    STRING& none = store.Get(nullptr);
    const bool noneEmpty = none.IsEmpty();
    TESTSUPPORT::SetEnvironment("TARNIFAILONNULL", "0");
    STRING::NullGuard(nullptr);
    TESTSUPPORT::SetEnvironment("TARNIFAILONNULL", "");
    EXPECT_EQ(0, splitCount);
    EXPECT_TRUE(noneEmpty);
    EXPECT_EQ(1, store.Count());
}
