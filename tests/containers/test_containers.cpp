#include <limits.h>
#include <stdio.h>

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
    struct PAIR
    {
        int Key;
        int Tag;
    };

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

    std::vector<std::string> Items(const STRINGARRAY& array)
    {
        std::vector<std::string> items;
        for (int i = 0; i < array.Count(); i++)
            items.push_back(array.GetItem(i)->Text());
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


TEST(DynArrayGrowth, FullArrayGrowsByItsStepAndKeepsOrder)
{
    DYNARRAY<int> array(2, 2);
    EXPECT_EQ(0, array.AddItem(1));
    EXPECT_EQ(1, array.AddItem(2));
    EXPECT_EQ(2, array.Capacity());
    array.InsertItem(1, 3);
    EXPECT_EQ(4, array.Capacity());
    ASSERT_EQ(3, array.Count());
    EXPECT_EQ(1, *array.GetItem(0));
    EXPECT_EQ(3, *array.GetItem(1));
    EXPECT_EQ(2, *array.GetItem(2));
}

TEST(DynArrayGrowth, StringArrayGrowsLinearlyBy64)
{
    STRINGARRAY array;
    std::vector<int> capacities;
    for (int i = 0; i < 130; i++)
    {
        array.AddItem(STRING("x"));
        if (capacities.empty() || capacities.back() != array.Capacity())
            capacities.push_back(array.Capacity());
    }
    EXPECT_EQ((std::vector<int>{64, 128, 192}), capacities);
}

TEST(DynArrayGrowth, ZeroGrowthRefusesTheItemWithAssertion)
{
    DYNARRAY<int> array(1, 0);
    array.AddItem(7);
    ASSERTSPY spy;
    EXPECT_EQ(-1, array.AddItem(8));
    ASSERT_GE(spy.Count(), 1u);
    for (size_t i = 0; i < spy.Count(); i++)
        EXPECT_EQ("this->ItemCount<this->MaxItems", spy[i].Condition);
    ASSERT_EQ(1, array.Count());
    EXPECT_EQ(7, *array.GetItem(0));
}

TEST(DynArrayInsert, InsertsAtEveryValidPositionLikeVector)
{
    STRINGARRAY array;
    std::vector<std::string> model;
    const std::pair<int, const char*> steps[] = {{0, "a"}, {1, "z"}, {0, "first"}, {3, "last"}, {2, "mid"}};
    for (const auto& step : steps)
    {
        EXPECT_EQ(step.first, array.InsertItem(step.first, STRING(step.second)));
        model.insert(model.begin() + step.first, step.second);
    }
    EXPECT_EQ(model, Items(array));
}

TEST(DynArrayInsert, OutOfRangeAssertsWithPositionAndCountAndChangesNothing)
{
    STRINGARRAY array = Make({"a", "b", "c", "d", "e"});
    ASSERTSPY spy;
    EXPECT_EQ(-1, array.InsertItem(6, STRING("x")));
    EXPECT_EQ(-1, array.InsertItem(-1, STRING("x")));
    ASSERT_EQ(2u, spy.Count());
    EXPECT_EQ("pos>=0 && pos<=this->ItemCount", spy[0].Condition);
    EXPECT_EQ("6/5", spy[0].Info);
    EXPECT_EQ("-1/5", spy[1].Info);
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c", "d", "e"}), Items(array));
}

TEST(DynArrayGetItem, BadIndexAssertsWithFullDetailAndGivesNull)
{
    STRINGARRAY array = Make({"a", "b", "c"});
    array.SetTypeName("HASH-VALUES");
    ASSERTSPY spy;
    EXPECT_EQ(nullptr, array.GetItem(-1));
    EXPECT_EQ(nullptr, array.GetItem(3));
    ASSERT_EQ(2u, spy.Count());
    char expected[256];
    snprintf(expected, sizeof(expected), "i= -1, max= 64, count= 3, type= HASH-VALUES, this= %p",
             static_cast<const void*>(static_cast<DYNARRAY<STRING>*>(&array)));
    EXPECT_EQ("FALSE", spy[0].Condition);
    EXPECT_EQ(expected, spy[0].Info);
    EXPECT_NE(std::string::npos, spy[1].Info.find("i= 3, "));
    EXPECT_STREQ("c", array.GetItem(2)->Text());
}

TEST(DynArrayDelete, DeletesLikeVectorAndRefusesBadPositions)
{
    STRINGARRAY array = Make({"a", "b", "c", "d"});
    array.DeleteItem(3);
    array.DeleteItem(0);
    EXPECT_EQ((std::vector<std::string>{"b", "c"}), Items(array));
    ASSERTSPY spy;
    array.DeleteItem(2);
    array.DeleteItem(-1);
    ASSERT_EQ(2u, spy.Count());
    EXPECT_EQ("pos>=0 && pos<this->ItemCount", spy[0].Condition);
    EXPECT_EQ("pos>=0 && pos<this->ItemCount", spy[1].Condition);
    EXPECT_EQ((std::vector<std::string>{"b", "c"}), Items(array));
}

TEST(DynArrayDelete, DeleteAllKeepsTheSlotsForReuse)
{
    STRINGARRAY array;
    for (int i = 0; i < 70; i++)
        array.AddItem(STRING("x"));
    array.DeleteAll();
    EXPECT_EQ(0, array.Count());
    EXPECT_EQ(128, array.Capacity());
    array.AddItem(STRING("again"));
    EXPECT_EQ((std::vector<std::string>{"again"}), Items(array));
}

TEST(DynArraySwap, SwapsValidPositionsAndNamesEachBadOne)
{
    STRINGARRAY array = Make({"a", "b", "c"});
    array.SwapItems(0, 2);
    EXPECT_EQ((std::vector<std::string>{"c", "b", "a"}), Items(array));
    ASSERTSPY spy;
    array.SwapItems(0, 3);
    array.SwapItems(-1, 1);
    array.SwapItems(3, -1);
    ASSERT_EQ(4u, spy.Count());
    EXPECT_EQ("pos2>=0 && pos2<this->ItemCount", spy[0].Condition);
    EXPECT_EQ("pos1>=0 && pos1<this->ItemCount", spy[1].Condition);
    EXPECT_EQ("pos1>=0 && pos1<this->ItemCount", spy[2].Condition);
    EXPECT_EQ("pos2>=0 && pos2<this->ItemCount", spy[3].Condition);
    EXPECT_EQ((std::vector<std::string>{"c", "b", "a"}), Items(array));
}

TEST(DynArrayCopy, CopyIsDeepAndKeepsSizeAndName)
{
    STRINGARRAY original = Make({"one", "two"});
    original.SetTypeName("HASH-KEYS");
    STRINGARRAY copy(original);
    copy.GetItem(0)->Append("!");
    copy.DeleteItem(1);
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), Items(original));
    EXPECT_EQ((std::vector<std::string>{"one!"}), Items(copy));
    EXPECT_STREQ("HASH-KEYS", copy.GetTypeName());
    EXPECT_EQ(original.Capacity(), copy.Capacity());

    STRINGARRAY assigned = Make({"old"});
    assigned = original;
    original.GetItem(1)->Append("?");
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), Items(assigned));
}

TEST(DynArraySort, CompareWithoutOverrideAssertsAndGivesZero)
{
    DYNARRAY<PAIR> plain;
    PAIR a = {1, 0}, b = {2, 0};
    ASSERTSPY spy;
    EXPECT_EQ(0, plain.Compare(&a, &b, 0));
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("FALSE", spy.Last().Condition);
}

TEST(DynArraySort, SortsByOwnCompareAndModeAscendingAndDescending)
{
    std::mt19937 random(11);
    PAIRARRAY array;
    std::vector<PAIR> model;
    for (int i = 0; i < 300; i++)
    {
        PAIR p = {(int)(random() % 1000), i};
        array.AddItem(p);
        model.push_back(p);
    }
    std::vector<int> expected;
    for (const PAIR& p : model)
        expected.push_back(p.Key);

    std::sort(expected.begin(), expected.end());
    array.Sort(0);
    EXPECT_EQ(expected, Keys(array));
    std::reverse(expected.begin(), expected.end());
    array.Sort(8);
    EXPECT_EQ(expected, Keys(array));
    array.Sort(2);
    array.Sort(10);
    EXPECT_EQ(expected, Keys(array));
    array.Sort(9);   // by Tag, descending
    for (int i = 0; i < array.Count(); i++)
        EXPECT_EQ(299 - i, array.GetItem(i)->Tag);
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
    std::vector<int> expected(8000);
    for (int i = 0; i < 8000; i++)
        expected[i] = i;
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
        ASSERT_EQ(expected, seen) << "round " << round;
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


TEST(StringArraySplit, SplitsAtEveryDelimiterByte)
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
}

TEST(StringArraySort, ModesOrderByCaseByNumberAndReverse)
{
    STRINGARRAY letters = Make({"b", "A", "a"});
    letters.Sort(16);
    EXPECT_EQ("b", Items(letters)[2]);
    letters.Sort(24);
    EXPECT_EQ("b", Items(letters)[0]);
    letters.Sort(0);
    EXPECT_EQ((std::vector<std::string>{"A", "a", "b"}), Items(letters));

    STRINGARRAY numbers = Make({"10", "9", "100", "-5"});
    numbers.Sort(1);
    EXPECT_EQ((std::vector<std::string>{"-5", "9", "10", "100"}), Items(numbers));
    numbers.Sort(9);
    EXPECT_EQ((std::vector<std::string>{"100", "10", "9", "-5"}), Items(numbers));

    STRINGARRAY extremes = Make({"2000000000", "-2000000000", "0"});
    extremes.Sort(1);
    EXPECT_EQ((std::vector<std::string>{"-2000000000", "0", "2000000000"}), Items(extremes));
    extremes.Sort(9);
    EXPECT_EQ((std::vector<std::string>{"2000000000", "0", "-2000000000"}), Items(extremes));
}

class StringArrayFile : public testing::Test
{
protected:
    TESTSUPPORT::TEMPDIR Dir{"containers"};
    std::string Path = Dir.File("lines.txt");

    std::vector<std::string> LoadBytes(const std::string& bytes, int* lines = nullptr)
    {
        EXPECT_TRUE(TESTSUPPORT::WriteFile(Path, bytes));
        STRINGARRAY array;
        int n = array.Load(Path.c_str());
        if (lines)
            *lines = n;
        EXPECT_EQ(array.Count(), n);
        return Items(array);
    }
};

TEST_F(StringArrayFile, LoadReturnsLinesWithAndWithoutFinalLineEnd)
{
    const struct { const char* Bytes; std::vector<std::string> Expected; } cases[] = {
        {"a\nb", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\n\nb\n\n", {"a", "", "b", ""}},
        {"\n", {""}},
        {"a\rb\n", {"a\rb"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Expected, LoadBytes(c.Bytes)) << c.Bytes;
    int lines = -1;
    EXPECT_TRUE(LoadBytes("", &lines).empty());
    EXPECT_EQ(0, lines);
}

TEST_F(StringArrayFile, LoadJoinsLinesAcrossTheChunkBoundary)
{
    for (int length = 65532; length <= 65537; length++)
        for (const char* end : {"\n", "\r\n"})
        {
            std::vector<std::string> items = LoadBytes(std::string(length, 'x') + end + "tail" + end);
            ASSERT_EQ(2u, items.size()) << length;
            EXPECT_EQ(std::string(length, 'x'), items[0]) << length << (end[0] == '\r' ? " CR LF" : " LF");
            EXPECT_EQ("tail", items[1]);
        }
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
}

TEST_F(StringArrayFile, SaveSeparatesItemsWithCrLfOnly)
{
    EXPECT_EQ(2, Make({"a", "b"}).Save(Path.c_str()));
    EXPECT_EQ("a\r\nb", TESTSUPPORT::ReadFile(Path));
    EXPECT_EQ(1, STRINGARRAY().Save(Path.c_str()));
    EXPECT_TRUE(TESTSUPPORT::FileExists(Path));
    EXPECT_EQ("", TESTSUPPORT::ReadFile(Path));
    EXPECT_EQ(0, Make({"a"}).Save(Dir.File("no\\such\\dir.txt").c_str()));
}

TEST_F(StringArrayFile, SaveLoadSaveGivesTheSameBytes)
{
    const std::vector<std::string> items = {"first", "", "  spaced  ", "tab\there", std::string(70000, 'w'), "last"};
    ASSERT_EQ(6, Make(items).Save(Path.c_str()));
    const std::string bytes = TESTSUPPORT::ReadFile(Path);
    STRINGARRAY loaded;
    EXPECT_EQ(6, loaded.Load(Path.c_str()));
    EXPECT_EQ(items, Items(loaded));
    const std::string second = Dir.File("second.txt");
    loaded.Save(second.c_str());
    EXPECT_EQ(bytes, TESTSUPPORT::ReadFile(second));
}

TEST_F(StringArrayFile, EscapedSaveAndUnescapedLoadKeepControlCharacters)
{
    const std::vector<std::string> items = {"line\nbreak", "back\\slash", "cr\r", "\x01\xFF"};
    Make(items).Save(Path.c_str(), 1);
    EXPECT_EQ(4u, TESTSUPPORT::SplitLines(TESTSUPPORT::ReadFile(Path)).size());
    STRINGARRAY loaded;
    EXPECT_EQ(4, loaded.Load(Path.c_str(), 1));
    EXPECT_EQ(items, Items(loaded));
}

TEST(StringArrayFind, ModesMatchAsDocumented)
{
    STRINGARRAY array = Make({"Abc", "aBC", "", "ab", "abcd", "Hello WIDE world", "042", "x"});
    EXPECT_EQ(1, array.Find("abc", 0));
    EXPECT_EQ(0, array.Find("ABC", 0));
    EXPECT_EQ(-1, array.Find("abc", 0, 2));
    EXPECT_EQ(0, array.Find("abc", 1));
    EXPECT_EQ(3, array.Find("abc", 1, 2));
    EXPECT_EQ(4, array.Find("abcde", 1, 4));
    EXPECT_EQ(-1, array.Find("abcde", 1, 5));
    EXPECT_EQ(2, array.Find("", 1, 2));
    EXPECT_EQ(5, array.Find("wide", 2));
    EXPECT_EQ(-1, array.Find("wider", 2));
    EXPECT_EQ(6, array.Find("42", 3));
    EXPECT_EQ(0, array.Find("0", 3));
    EXPECT_EQ(-1, array.Find("x", 0, 8));
}

TEST(StringArrayFind, NullValueAssertsAndFindsNothing)
{
    STRINGARRAY array = Make({"a"});
    ASSERTSPY spy;
    EXPECT_EQ(-1, array.Find(nullptr, 2));
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("pvalue!=NULL", spy.Last().Condition);
}


namespace
{
    std::vector<std::u16string> WItems(const WSTRINGARRAY& array)
    {
        std::vector<std::u16string> items;
        for (int i = 0; i < array.Count(); i++)
            items.push_back(array.Text(i));
        return items;
    }

    WSTRINGARRAY WMake(const std::vector<std::u16string>& items)
    {
        WSTRINGARRAY array;
        for (const auto& item : items)
            array.AddItem(WSTRING(item.c_str()));
        return array;
    }
}

TEST(WStringArraySplit, SplitsAtEveryDelimiterUnitAndLogsItsArguments)
{
    EXPECT_EQ((std::vector<std::u16string>{u"a", u"b", u"", u"\u0416", u""}),
              WItems(WSTRINGARRAY(u"a,b,,\u0416,", u",")));
    EXPECT_EQ((std::vector<std::u16string>{u"x", u"y"}), WItems(WSTRINGARRAY(u"x\u20ACy", u"\u20AC")));
    EXPECT_EQ((std::vector<std::u16string>{u""}), WItems(WSTRINGARRAY(u"", u",")));
    EXPECT_EQ(0, WSTRINGARRAY(nullptr, u",").Count());
    EXPECT_STREQ("WSTRINGARRAY", WSTRINGARRAY().GetTypeName());

    TESTSUPPORT::LOGCAPTURE log(1);
    WSTRINGARRAY logged(u"p;q", u";");
    EXPECT_EQ((std::vector<std::string>{"WSTRINGARRAY::WSTRINGARRAY source= p;q, token= ;"}),
              log.Lines("WSTRINGARRAY::"));
}

TEST(WStringArraySort, ModesOrderByUnitsByCaseAndByNumber)
{
    WSTRINGARRAY letters = WMake({u"\u00e9", u"b", u"A", u"\u00c9", u"a"});
    letters.Sort(0);
    EXPECT_EQ((std::vector<std::u16string>{u"A", u"a", u"b", u"\u00c9", u"\u00e9"}), WItems(letters));
    letters.Sort(16);
    std::vector<std::u16string> folded = WItems(letters);
    EXPECT_EQ(u"b", folded[2]);
    EXPECT_EQ(0, WSTRING::Compare(folded[0].c_str(), u"a"));
    EXPECT_EQ(0, WSTRING::Compare(folded[4].c_str(), u"\u00e9"));

    WSTRINGARRAY numbers = WMake({u"10", u" 9", u"100", u"-5", u"+7x"});
    numbers.Sort(1);
    EXPECT_EQ((std::vector<std::u16string>{u"-5", u"+7x", u" 9", u"10", u"100"}), WItems(numbers));
    numbers.Sort(9);
    EXPECT_EQ((std::vector<std::u16string>{u"100", u"10", u" 9", u"+7x", u"-5"}), WItems(numbers));

    WSTRINGARRAY extremes = WMake({u"2000000000", u"-2000000000", u"0"});
    extremes.Sort(1);
    EXPECT_EQ((std::vector<std::u16string>{u"-2000000000", u"0", u"2000000000"}), WItems(extremes));
}

TEST(WStringArrayFind, ModesMatchAsTheirEightBitTwins)
{
    WSTRINGARRAY array = WMake({u"\u00c4bc", u"\u00e4BC", u"", u"\u00e4b", u"\u00e4bcd", u"Hello WIDE \u00d6rld", u"042", u"x"});
    EXPECT_EQ(1, array.Find(u"\u00e4bc", 0));
    EXPECT_EQ(0, array.Find(u"\u00c4BC", 0));
    EXPECT_EQ(-1, array.Find(u"\u00e4bc", 0, 2));
    EXPECT_EQ(0, array.Find(u"\u00e4bc", 1));
    EXPECT_EQ(3, array.Find(u"\u00e4bc", 1, 2));
    EXPECT_EQ(4, array.Find(u"\u00e4bcde", 1, 4));
    EXPECT_EQ(-1, array.Find(u"\u00e4bcde", 1, 5));
    EXPECT_EQ(2, array.Find(u"", 1, 2));
    EXPECT_EQ(5, array.Find(u"wide \u00f6", 2));
    EXPECT_EQ(-1, array.Find(u"wider", 2));
    EXPECT_EQ(6, array.Find(u"42", 3));
    EXPECT_EQ(0, array.Find(u"0", 3));
    EXPECT_EQ(-1, array.Find(u"x", 0, 8));

    ASSERTSPY spy;
    EXPECT_EQ(-1, array.Find(nullptr, 2));
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("wval!=NULL", spy.Last().Condition);
}
