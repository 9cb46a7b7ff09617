#include <stdlib.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "framework/text/strings.h"
#include "tests/support/assertspy.h"
#include "tests/support/testfiles.h"

namespace
{
    std::string Bytes(const STRING& s) { return std::string(s.Text(), s.Length()); }
}

TEST(StringGrowth, BlockPolicyForSetAndAppendAndThePool)
{
    // A new buffer always keeps one spare block behind the terminator.
    const std::pair<int, int> cases[] = {{94, 96}, {95, 192}, {191, 288}};
    for (const auto& c : cases)
    {
        STRING t;
        t.Set(c.first, 0);
        EXPECT_EQ(c.second, t.Capacity()) << "length " << c.first;
    }
    STRING big;
    big.Set(40000, 0);
    big.Set(5000000, 0);
    EXPECT_EQ(2097152, big.BlockSize());  // capped at 2 MiB

    STRING a("small");
    const char* first = a.Text();
    a.Free();
    EXPECT_EQ(first, STRING("other").Text()) << "a freed small buffer is reused";

    std::vector<std::pair<int, int>> seen;  // appending byte by byte: capacity and block size at each reallocation
    STRING s;
    for (int i = 0; i < 150000; ++i)
    {
        s.Append("x", 1);
        if (seen.empty() || seen.back().first != s.Capacity())
            seen.push_back({s.Capacity(), s.BlockSize()});
    }
    std::vector<std::pair<int, int>> expected;
    for (int c = 96; c <= 960; c += 96)
        expected.push_back({c, 96});
    expected.insert(expected.end(), {{1056, 1024}, {2048, 1024}, {3072, 1024}, {4096, 2048}, {6144, 2048},
                                     {8192, 4096}, {12288, 4096}, {16384, 4096}, {20480, 4096}, {24576, 4096},
                                     {28672, 4096}, {32768, 4096}, {36864, 32768}, {65536, 32768},
                                     {98304, 49152}, {147456, 73728}, {221184, 110592}});
    EXPECT_EQ(expected, seen);
}

TEST(StringAppend, OwnTextAndConcatenation)
{
    for (int len : {47, 95, 1100})
    {
        std::string model(len, 'a');
        model[len - 1] = 'z';
        STRING s(model.c_str());
        s.Append(s);
        s.Append(s.Text());
        EXPECT_EQ(model + model + model + model, Bytes(s)) << len;
    }
    std::string model(94, '7');
    STRING part(model.c_str());
    part.Append(part.Text() + 10, 60);  // a part of itself while the buffer grows
    EXPECT_EQ(model + model.substr(10, 60), Bytes(part));

    const char* none = 0;
    STRING x("x");
    EXPECT_STREQ("abx", ("ab" || x).Text());
    EXPECT_STREQ("x<NULL>", (x || none).Text());
}

TEST(StringFormat, LengthsAroundTheStackBufferAndOwnTextAsArgument)
{
    for (int len : {1021, 1022, 1023})  // 1023 characters still fit the 1024-byte stack buffer
    {
        std::string body(len, 'f');
        STRING s("old");
        EXPECT_EQ(len + 2, s.Format("<%s>", body.c_str()));
        EXPECT_EQ(len + 1, s.AppendFormat("%s!", body.c_str()));
        EXPECT_EQ("<" + body + ">" + body + "!", Bytes(s));
    }
    std::string model(700, 'm');
    STRING s(model.c_str());
    s.Format("%s|%s", s.Text(), s.Text());
    s.AppendFormat("%s", s.Text());
    EXPECT_EQ(model + "|" + model + model + "|" + model, Bytes(s));
}

// Out-of-range indexes and negative counts: one assertion each, no change.
TEST(StringEdit, BrokenPreconditionAssertsOnceAndChangesNothing)
{
    void (*const cases[])(STRING&) = {
        [](STRING& s) { s[-1] = 'x'; },  // the write goes to a dummy byte
        [](STRING& s) { EXPECT_EQ(0, static_cast<const STRING&>(s)[5]); },
        [](STRING& s) { *s.At(6) = 'z'; },
        [](STRING& s) { s.Truncate(-1); },
        [](STRING& s) { s.DeleteLeft(-1); },
        [](STRING& s) { s.Delete(-1, 0); },
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
    {
        ASSERTSPY spy;
        STRING s(" a,b ");
        cases[i](s);
        EXPECT_EQ(1u, spy.Count()) << "case " << i;
        EXPECT_EQ(std::string(" a,b \0", 6), std::string(s.Text(), 6)) << "case " << i;
    }
    ASSERTSPY spy;
    EXPECT_EQ(0, *STRING("abc").At(3));  // the terminator may be addressed
    EXPECT_EQ(0u, spy.Count());
}

TEST(StringEdit, DeleteAndInsertMatchTheModelAtTheEdges)
{
    const std::string model = "abcdef";
    for (int n = 0; n <= 7; ++n)
        for (int pos = 0; pos <= 6; ++pos)
        {
            STRING d(model.c_str());
            d.Delete(n, pos);
            EXPECT_EQ(pos < 6 ? std::string(model).erase(pos, n) : model, Bytes(d)) << n << " at " << pos;
        }
    STRING s("abc");
    s.InsertChars(2, 0, '-');
    s.InsertChars(2, 5, '-');  // beyond the end: no gap
    s.Insert("XY", 4);
    s.Insert("?", 9);
    s.Insert(std::string(200, 'g').c_str(), 1);
    EXPECT_EQ("-" + std::string(200, 'g') + "-abXYc", Bytes(s));
}

TEST(StringEdit, ReplaceNeverSearchesTheInsertedText)
{
    const struct { std::string From; const char *Old, *New; int Case; std::string Expected; } cases[] = {
        {"aaa", "a", "aa", 1, "aaaaaa"}, {"abab", "ab", "b", 1, "bb"},
        {"Hello HELLO hello", "hello", "bye", 1, "Hello HELLO bye"}, {"Hello HELLO hello", "hello", "bye", 0, "bye bye bye"},
        {std::string(90, 'a'), "a", "aaa", 1, std::string(270, 'a')}};  // the last grows past the first buffer
    for (const auto& c : cases)
    {
        STRING s(c.From.c_str());
        s.Replace(c.Old, c.New, c.Case);
        EXPECT_EQ(c.Expected, Bytes(s)) << c.From << " " << c.Old << " " << c.New << " " << c.Case;
    }
    STRING own("abcabc");
    own.Replace(own.Text() + 3, "x", 1);
    EXPECT_STREQ("xx", own.Text());
}

TEST(StringTokens, ReadAndEditWithEmptyAndMissingItems)
{
    STRING t("a,,c");
    EXPECT_EQ(3, t.TokenCount(","));
    EXPECT_STREQ("c", t.Token(2, ",").Text());
    EXPECT_TRUE(t.Token(1, ",").IsAllocated());
    EXPECT_EQ(0, t.Token(1, ",").Length());
    STRING line("a,b;c,d");
    EXPECT_STREQ("b;c,d", line.Token(1, ",", 1).Text());
    EXPECT_STREQ("c", line.Token(2, ",;").Text());
    EXPECT_STREQ("b", line.Token(1, ",;").Text());
    EXPECT_STREQ("c", line.Token(2, ";,").Text());
    EXPECT_FALSE(line.Token(5, ",").IsAllocated());

    STRING e("a,b,c");
    EXPECT_EQ(1, e.DeleteToken(1, ","));
    EXPECT_EQ(1, e.InsertToken(2, ",", "end"));
    EXPECT_EQ(1, e.ReplaceToken(0, ",", e.Text()));
    EXPECT_STREQ("a,c,end,c,end", e.Text());
    EXPECT_EQ(0, e.DeleteToken(5, ","));
}

TEST(StringEscape, FixedSequencesAndRoundTripOfAllByteValues)
{
    STRING f("\t\"\xE9=\\'a\x7F");
    EXPECT_STREQ("\\t\"\\xe9=\\\\'a\x7F", f.Escape("").Text());
    EXPECT_STREQ("\\t\\\"\\xe9\\x3d\\\\\\'a\x7F", f.Escape("\"'=").Text());

    std::string all;
    for (int b = 0; b < 512; ++b)
        all += static_cast<char>(b);
    all += std::string(3000, 'p');  // runs longer than one chunk
    STRING s;
    s.Append(all.c_str(), static_cast<int>(all.size()));
    ASSERTSPY spy;
    STRING e = s.Escape("={}");
    for (int i = 0; i < e.Length(); ++i)
    {
        const char c = e.Text()[i];
        ASSERT_TRUE(c >= 0x20 && c <= 0x7F && !strchr("={}", c)) << i;
        if (c == '\\')
            i += e.Text()[i + 1] == 'x' ? 3 : 1;
    }
    EXPECT_EQ(all, Bytes(e.Unescape(0)));
    EXPECT_EQ(0u, spy.Count());
}

TEST(StringEscape, UnknownAndBrokenSequencesAssertOnceAndTheRestIsKept)
{
    ASSERTSPY spy;
    EXPECT_STREQ("a\\qb", STRING("a\\qb").Unescape(1).Text());  // asked to keep unknown sequences
    EXPECT_EQ(0u, spy.Count());
    const char* cases[][2] = {{"a\\qb", "aqb"}, {"\\x4gz", "\x04z"}, {"ab\\x", "ab"}};
    for (const auto& c : cases)
    {
        spy.Clear();
        EXPECT_EQ(c[1], Bytes(STRING(c[0]).Unescape(0))) << c[0];
        EXPECT_EQ(1u, spy.Count()) << c[0];
    }
}

TEST(StringNullGuard, FailOnNullGivesNullAndAssertsWithTheLabel)
{
    ASSERTSPY spy;
    TESTSUPPORT::SetEnvironment("TARNIFAILONNULL", "1");
    const char* quiet = STRING::NullGuard(0, "x");
    const size_t quietAsserts = spy.Count();
    TESTSUPPORT::SetEnvironment("TARNIFAILONNULL", "3");
    STRING s("a");
    s.Append(0);
    TESTSUPPORT::SetEnvironment("TARNIFAILONNULL", "0");
    STRING::NullGuard(0);  // the guard caches the variable: read it again
    TESTSUPPORT::SetEnvironment("TARNIFAILONNULL", "");
    EXPECT_EQ(nullptr, quiet);
    EXPECT_EQ(0u, quietAsserts);
    EXPECT_STREQ("a", s.Text());
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("STRING::Append op1", spy.Last().Info);
}
