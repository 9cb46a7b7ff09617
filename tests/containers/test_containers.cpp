#include <limits.h>
#include <stdio.h>
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
#include "tests/support/testsupport.h"

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

    WSTRINGARRAY WMake(const std::vector<std::u16string>& items)
    {
        WSTRINGARRAY array;
        for (const auto& item : items)
            array.AddItem(WSTRING(item.c_str()));
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

TEST(DynArrayGrowth, GrowsByItsStepAndRefusesAnItemWithoutGrowth)
{
    DYNARRAY<int> array(2, 2);
    array.AddItem(1);
    EXPECT_EQ(1, array.AddItem(2));
    EXPECT_EQ(2, array.Capacity());
    array.InsertItem(1, 3);
    EXPECT_EQ(4, array.Capacity());
    EXPECT_EQ((std::vector<int>{1, 3, 2}), (std::vector<int>{*array.GetItem(0), *array.GetItem(1), *array.GetItem(2)}));

    STRINGARRAY strings;
    std::vector<int> capacities;
    for (int i = 0; i < 130; i++)
    {
        strings.AddItem(STRING("x"));
        if (capacities.empty() || capacities.back() != strings.Capacity())
            capacities.push_back(strings.Capacity());
    }
    EXPECT_EQ((std::vector<int>{64, 128, 192}), capacities);
    strings.DeleteAll();  // keeps the slots for reuse
    EXPECT_EQ(192, strings.Capacity());
    strings.AddItem(STRING("again"));
    EXPECT_EQ((std::vector<std::string>{"again"}), Items(strings));

    DYNARRAY<int> fixed(1, 0);
    fixed.AddItem(7);
    ASSERTSPY spy;
    EXPECT_EQ(-1, fixed.AddItem(8));
    ASSERT_GE(spy.Count(), 1u);
    EXPECT_EQ("this->ItemCount<this->MaxItems", spy.Last().Condition);
    ASSERT_EQ(1, fixed.Count());
    EXPECT_EQ(7, *fixed.GetItem(0));
}

TEST(DynArrayEdit, InsertDeleteSwapAndCopyLikeVector)
{
    STRINGARRAY array;
    const std::pair<int, const char*> steps[] = {{0, "a"}, {1, "z"}, {0, "first"}, {3, "last"}, {2, "mid"}};
    for (const auto& step : steps)
        EXPECT_EQ(step.first, array.InsertItem(step.first, STRING(step.second)));
    EXPECT_EQ((std::vector<std::string>{"first", "a", "mid", "z", "last"}), Items(array));
    array.DeleteItem(4);
    array.DeleteItem(0);
    array.SwapItems(0, 2);
    EXPECT_EQ((std::vector<std::string>{"z", "mid", "a"}), Items(array));

    array.SetTypeName("HASH-KEYS");
    STRINGARRAY copy(array);
    copy.GetItem(0)->Append("!");
    copy.DeleteItem(1);
    EXPECT_EQ((std::vector<std::string>{"z", "mid", "a"}), Items(array));
    EXPECT_EQ((std::vector<std::string>{"z!", "a"}), Items(copy));
    EXPECT_STREQ("HASH-KEYS", copy.GetTypeName());
    STRINGARRAY assigned = Make({"old"});
    assigned = array;
    array.GetItem(1)->Append("?");
    EXPECT_EQ((std::vector<std::string>{"z", "mid", "a"}), Items(assigned));
}

TEST(DynArrayEdit, BadPositionsAssertWithTheirDetailAndChangeNothing)
{
    STRINGARRAY array = Make({"a", "b", "c"});
    array.SetTypeName("HASH-VALUES");
    ASSERTSPY spy;
    EXPECT_EQ(-1, array.InsertItem(4, STRING("x")));
    EXPECT_EQ(-1, array.InsertItem(-1, STRING("x")));
    EXPECT_EQ(nullptr, array.GetItem(-1));
    EXPECT_EQ(nullptr, array.GetItem(3));
    array.DeleteItem(3);
    array.DeleteItem(-1);
    array.SwapItems(0, 3);
    array.SwapItems(-1, 1);
    std::vector<std::string> conditions;
    for (size_t i = 0; i < spy.Count(); i++)
        conditions.push_back(spy[i].Condition);
    EXPECT_EQ((std::vector<std::string>{"pos>=0 && pos<=this->ItemCount", "pos>=0 && pos<=this->ItemCount", "FALSE",
                                        "FALSE", "pos>=0 && pos<this->ItemCount", "pos>=0 && pos<this->ItemCount",
                                        "pos2>=0 && pos2<this->ItemCount", "pos1>=0 && pos1<this->ItemCount"}),
              conditions);
    ASSERT_EQ(8u, spy.Count());
    EXPECT_EQ("4/3", spy[0].Info);
    EXPECT_EQ("-1/3", spy[1].Info);
    char detail[256];
    snprintf(detail, sizeof(detail), "i= -1, max= 64, count= 3, type= HASH-VALUES, this= %p",
             static_cast<const void*>(static_cast<DYNARRAY<STRING>*>(&array)));
    EXPECT_EQ(detail, spy[2].Info);
    EXPECT_NE(std::string::npos, spy[3].Info.find("i= 3, "));
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), Items(array));
}

TEST(DynArraySort, SortsByOwnCompareAndModeAscendingAndDescending)
{
    std::mt19937 random(11);
    PAIRARRAY array;
    std::vector<int> expected;
    for (int i = 0; i < 300; i++)
    {
        array.AddItem({(int)(random() % 1000), i});
        expected.push_back(array.GetItem(i)->Key);
    }
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
    for (int i = 0; i < array.Count(); i++)
        EXPECT_EQ(299 - i, array.GetItem(i)->Tag);

    DYNARRAY<PAIR> plain;
    ASSERTSPY spy;
    EXPECT_EQ(0, plain.Compare(array.GetItem(0), array.GetItem(1), 0));
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("FALSE", spy.Last().Condition) << "a compare without override";
}

TEST(DynArraySort, SortInsideACompareOfTheSameTypeAssertsAndOuterSortFinishes)
{
    static PAIRARRAY* inner = nullptr;
    class NESTING : public PAIRARRAY
    {
        int Compare(const PAIR* a, const PAIR* b, int mode) const override
        {
            if (inner)
                inner->Sort(0);
            return PAIRARRAY::Compare(a, b, mode);
        }
    };
    NESTING outer;
    PAIRARRAY other;
    for (int k : {3, 1, 2})
    {
        outer.AddItem({k, 0});
        other.AddItem({k, 0});
    }
    inner = &other;
    ASSERTSPY spy;
    outer.Sort(0);
    inner = nullptr;
    ASSERT_GE(spy.Count(), 1u);
    EXPECT_EQ("DYNARRAY<TYPE>::SortThis==NULL", spy.Last().Condition);
    EXPECT_EQ((std::vector<int>{1, 2, 3}), Keys(outer));
    EXPECT_EQ((std::vector<int>{3, 1, 2}), Keys(other));
}

TEST(DynArrayThreads, ConcurrentAddsLoseNothing)
{
    for (int round = 0; round < 5; round++)
    {
        DYNARRAY<int> array(8, 8);   // a small step makes the array grow often
        std::atomic<int> ready(0);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; t++)
            threads.emplace_back([&array, &ready, t] {
                for (ready++; ready < 4;)
                    std::this_thread::yield();
                for (int i = 0; i < 2000; i++)
                    array.AddItem(t * 2000 + i);
            });
        for (std::thread& thread : threads)
            thread.join();
        ASSERT_EQ(8000, array.Count()) << "round " << round;
        std::vector<int> seen;
        for (int i = 0; i < array.Count(); i++)
            seen.push_back(*array.GetItem(i));
        std::sort(seen.begin(), seen.end());
        for (int i = 0; i < 8000; i++)
            ASSERT_EQ(i, seen[i]) << "round " << round;
    }
}

TEST(DynArrayThreads, ConcurrentSortsOfOneTypeDoNotMixTheirArrays)
{
    std::atomic<int> ready(0);
    auto sortMany = [&ready](int seed, bool* ok) {
        std::mt19937 random(seed);
        PAIRARRAY array;
        for (int i = 0; i < 2000; i++)
            array.AddItem({(int)(random() % 5000), 0});
        for (ready++; ready < 2;)
            std::this_thread::yield();
        for (int round = 0; round < 100 && *ok; round++)
        {
            array.Sort((round & 1) ? 8 : 0);
            std::vector<int> keys = Keys(array);
            if (round & 1)
                std::reverse(keys.begin(), keys.end());
            *ok = keys.size() == 2000 && std::is_sorted(keys.begin(), keys.end());
        }
    };
    bool ok1 = true, ok2 = true;
    std::thread first(sortMany, 1, &ok1), second(sortMany, 2, &ok2);
    first.join();
    second.join();
    EXPECT_TRUE(ok1);
    EXPECT_TRUE(ok2);
}


TEST(StringArraySplit, SplitsAtEveryDelimiterUnit)
{
    const struct { const char* Source; const char* Token; std::vector<std::string> Expected; } cases[] = {
        {"a,b,,c,", ",", {"a", "b", "", "c", ""}},
        {"one\r\ntwo", "\r\n", {"one", "", "two"}},
        {"", ",", {""}},
        {"abc", "", {"abc"}},
        {"a b;c", " ;", {"a", "b", "c"}},
        {"x\xE9y", "\xE9", {"x", "y"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Expected, Items(STRINGARRAY(c.Source, c.Token))) << c.Source;
    EXPECT_EQ(0, STRINGARRAY(nullptr, ",").Count());

    EXPECT_EQ((std::vector<std::u16string>{u"a", u"", u"\u0416", u""}), Items(WSTRINGARRAY(u"a,,\u0416,", u",")));
    EXPECT_EQ((std::vector<std::u16string>{u"x", u"y"}), Items(WSTRINGARRAY(u"x\u20ACy", u"\u20AC")));
    EXPECT_EQ(0, WSTRINGARRAY(nullptr, u",").Count());
    TESTSUPPORT::LOGCAPTURE log(1);
    WSTRINGARRAY logged(u"p;q", u";");
    EXPECT_EQ((std::vector<std::string>{"WSTRINGARRAY::WSTRINGARRAY source= p;q, token= ;"}),
              log.Lines("WSTRINGARRAY::"));
}

TEST(StringArraySort, ModesOrderByUnitsByCaseByNumberAndReverse)
{
    const std::vector<std::string> letters = {"b", "C", "a"}, numbers = {"10", "9", "-2000000000", "100", "-5", "2000000000"};
    const struct { const std::vector<std::string>& Items; int Mode; std::vector<std::string> Expected; } rows[] = {
        {letters, 0, {"C", "a", "b"}}, {letters, 16, {"a", "b", "C"}}, {letters, 24, {"C", "b", "a"}},
        {numbers, 1, {"-2000000000", "-5", "9", "10", "100", "2000000000"}},
        {numbers, 9, {"2000000000", "100", "10", "9", "-5", "-2000000000"}}};
    for (const auto& row : rows)
    {
        STRINGARRAY array = Make(row.Items);
        array.Sort(row.Mode);
        EXPECT_EQ(row.Expected, Items(array)) << "mode " << row.Mode;
    }
    // Latin-1 letters fold too; numbers may carry blanks and a sign.
    const std::vector<std::u16string> wide = {u"\u00e8", u"b", u"A", u"\u00c9"}, wideNumbers = {u"10", u" 9", u"+7x", u"-5"};
    const struct { const std::vector<std::u16string>& Items; int Mode; std::vector<std::u16string> Expected; } wideRows[] = {
        {wide, 0, {u"A", u"b", u"\u00c9", u"\u00e8"}}, {wide, 16, {u"A", u"b", u"\u00e8", u"\u00c9"}},
        {wideNumbers, 1, {u"-5", u"+7x", u" 9", u"10"}}};
    for (const auto& row : wideRows)
    {
        WSTRINGARRAY array = WMake(row.Items);
        array.Sort(row.Mode);
        EXPECT_EQ(row.Expected, Items(array)) << "mode " << row.Mode;
    }
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
        EXPECT_EQ(array.Count(), array.Load(Path.c_str()));
        return Items(array);
    }
};

TEST_F(StringArrayFile, LoadSplitsLinesWithAndWithoutFinalLineEndAndAcrossChunks)
{
    const struct { std::string Bytes; std::vector<std::string> Expected; } cases[] = {
        {"a\nb", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\n\nb\n\n", {"a", "", "b", ""}},
        {"\n", {""}},
        {"a\rb\n", {"a\rb"}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Expected, LoadBytes(c.Bytes)) << c.Bytes;
    for (int length = 65532; length <= 65537; length++)  // the line end falls around the 64 KiB chunk end
        for (const char* end : {"\n", "\r\n"})
            EXPECT_EQ((std::vector<std::string>{std::string(length, 'x'), "tail"}),
                      LoadBytes(std::string(length, 'x') + end + "tail" + end))
                << length << (end[0] == '\r' ? " CR LF" : " LF");
}

TEST_F(StringArrayFile, LoadPutsLinesInFrontAndMissingFileChangesNothing)
{
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
    EXPECT_EQ(STRING(shortLine).Capacity(), after.GetItem(2)->Capacity());
}

TEST_F(StringArrayFile, SaveSeparatesItemsWithCrLfAndReadsBackTheSame)
{
    EXPECT_EQ(1, STRINGARRAY().Save(Path.c_str()));
    EXPECT_TRUE(TESTSUPPORT::FileExists(Path));
    EXPECT_EQ("", TESTSUPPORT::ReadFile(Path));
    EXPECT_EQ(0, Make({"a"}).Save(Dir.File("no\\such\\dir.txt").c_str()));

    const std::vector<std::string> items = {"first", "", "  spaced  ", "tab\there", std::string(70000, 'w'), "last"};
    ASSERT_EQ(6, Make(items).Save(Path.c_str()));
    std::string expected;
    for (const std::string& item : items)
        expected += (expected.empty() ? "" : "\r\n") + item;
    EXPECT_EQ(expected, TESTSUPPORT::ReadFile(Path));
    EXPECT_EQ(items, LoadBytes(expected));

    // Escaped, control characters and line ends inside items survive.
    const std::vector<std::string> controls = {"line\nbreak", "back\\slash", "cr\r", "\x01\xFF"};
    Make(controls).Save(Path.c_str(), 1);
    EXPECT_EQ(4u, TESTSUPPORT::SplitLines(TESTSUPPORT::ReadFile(Path)).size());
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
        {u"\u00e4bc", 0, 0, 1}, {u"\u00c4BC", 0, 0, 0}, {u"\u00e4bc", 0, 2, -1}, {u"\u00e4bc", 1, 0, 0},
        {u"\u00e4bc", 1, 2, 3}, {u"\u00e4bcde", 1, 4, 4}, {u"\u00e4bcde", 1, 5, -1}, {u"", 1, 2, 2},
        {u"wide \u00f6", 2, 0, 5}, {u"wider", 2, 0, -1}, {u"", 2, 2, 3}, {u"42", 3, 0, 6}, {u"0", 3, 0, 0}, {u"x", 0, 8, -1}};
    auto narrow = [](const std::u16string& text) {
        std::string out;
        for (char16_t c : text)
            out += c == u'\u00c4' ? 'A' : c == u'\u00e4' ? 'a' : c == u'\u00d6' ? 'O' : c == u'\u00f6' ? 'o' : (char)c;
        return out;
    };
    WSTRINGARRAY wide = WMake(items);
    STRINGARRAY array;
    for (const auto& item : items)
        array.AddItem(STRING(narrow(item).c_str()));
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.Expected, wide.Find(c.Value, c.Mode, c.Start)) << narrow(c.Value) << " mode " << c.Mode;
        EXPECT_EQ(c.Expected, array.Find(narrow(c.Value).c_str(), c.Mode, c.Start)) << narrow(c.Value) << " mode " << c.Mode;
    }
    ASSERTSPY spy;
    EXPECT_EQ(-1, array.Find(nullptr, 2));
    EXPECT_EQ(-1, wide.Find(nullptr, 2));
    ASSERT_EQ(2u, spy.Count());
    EXPECT_EQ("pvalue!=NULL", spy[0].Condition);
    EXPECT_EQ("wval!=NULL", spy[1].Condition);
}

// Asked to hand out null for a null text, the arrays and the store go on
// without it instead of reading through it.
TEST(NullTexts, FailOnNullLeavesArraysAndStoreUnchanged)
{
    _putenv("TARNIFAILONNULL=1");
    STRINGARRAY split("a,b", nullptr);
    HASH store;
    store.Get("key") = "value";
    const int splitCount = split.Count();
    STRING& none = store.Get(nullptr);
    const bool noneEmpty = none.IsEmpty();
    _putenv("TARNIFAILONNULL=0");
    STRING::NullGuard(nullptr);
    _putenv("TARNIFAILONNULL=");
    EXPECT_EQ(0, splitCount);
    EXPECT_TRUE(noneEmpty);
    EXPECT_EQ(1, store.Count());
}
