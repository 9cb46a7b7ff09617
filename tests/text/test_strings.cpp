#include <stdlib.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "framework/text/strings.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

namespace
{
    std::string Bytes(const STRING& s) { return std::string(s.Text(), s.Length()); }

    // Sets TARNIFAILONNULL for one test; the guard's cached value is reset after.
    struct FAILONNULL
    {
        ~FAILONNULL()
        {
            Put("0");
            STRING::NullGuard(0);
            Put("");
        }
        void Put(const char* value) { _putenv((std::string("TARNIFAILONNULL=") + value).c_str()); }
    };
}

TEST(StringGrowth, BlockPolicyForSmallAndHugeBuffersAndThePool)
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
}

TEST(StringGrowth, AppendingByteByByteFollowsTheBlockPolicyAndLogsOnlyChanges)
{
    TESTSUPPORT::LOGCAPTURE log(1);
    std::vector<std::pair<int, int>> seen;  // capacity and block size at each reallocation
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
    EXPECT_EQ((std::vector<std::string>{"STRING::Make Upgrade String to STRINGFLAG_DYNABLOCK",
                                        "STRING::Make STRINGFLAG_DYNABLOCK new blocksize 49152",
                                        "STRING::Make STRINGFLAG_DYNABLOCK new blocksize 73728",
                                        "STRING::Make STRINGFLAG_DYNABLOCK new blocksize 110592"}),
              log.Lines("STRING::Make"));
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
    for (int len : {1023, 1024, 5000})
    {
        std::string body(len, 'f');
        STRING s("old");
        EXPECT_EQ(len + 2, s.Format("<%s>", body.c_str()));
        EXPECT_EQ(len + 1, s.AppendFormat("%s!", body.c_str()));
        EXPECT_EQ("<" + body + ">" + body + "!", Bytes(s));
        EXPECT_EQ("7:" + body, Bytes(STRING::Sprintf("%d:%s", 7, body.c_str())));
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
    const std::pair<const char*, void (*)(STRING&)> cases[] = {
        {"i>=0 && i<this->StrLen", [](STRING& s) { s[-1] = 'x'; }},  // the write goes to a dummy byte
        {"i>=0 && i<this->StrLen", [](STRING& s) { EXPECT_EQ(0, static_cast<const STRING&>(s)[5]); }},
        {"i>=0 && i<=this->StrLen", [](STRING& s) { *s.At(6) = 'z'; }},
        {"newlength>=0", [](STRING& s) { s.Truncate(-1); }},
        {"howmany>=0", [](STRING& s) { s.DeleteLeft(-1); }},
        {"howmany>=0", [](STRING& s) { s.Delete(-1, 0); }},
    };
    for (const auto& c : cases)
    {
        ASSERTSPY spy;
        STRING s(" a,b ");
        c.second(s);
        ASSERT_EQ(1u, spy.Count()) << c.first;
        EXPECT_EQ(c.first, spy.Last().Condition);
        EXPECT_EQ(std::string(" a,b \0", 6), std::string(s.Text(), 6)) << c.first;
    }
    ASSERTSPY spy;
    STRING s("abc");
    s[3] = 'x';
    EXPECT_EQ("i= 3, len= 3, buf= abc", spy.Last().Info);
    EXPECT_EQ(0, *s.At(3));  // the terminator may be addressed
    EXPECT_EQ(1u, spy.Count());
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
    const char* cases[][4] = {{"aaa", "a", "aa", "aaaaaa"}, {"abab", "ab", "b", "bb"},
                              {"Hello HELLO hello", "hello", "bye", "Hello HELLO bye"}};
    for (const auto& c : cases)
    {
        STRING s(c[0]);
        s.Replace(c[1], c[2], 1);
        EXPECT_STREQ(c[3], s.Text()) << c[0] << " " << c[1] << " " << c[2];
    }
    STRING m(std::string(90, 'a').c_str());
    m.Replace("a", "aaa", 1);  // grows past the first buffer
    EXPECT_EQ(std::string(270, 'a'), Bytes(m));
    STRING ci("Hello HELLO hello");
    ci.Replace("hello", "bye", 0);
    EXPECT_STREQ("bye bye bye", ci.Text());
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
    const char* cases[][3] = {
        {"a\\qb", "aqb", "FALSE"}, {"\\x4gz", "\x04z", "isxdigit(xdigit[1])"}, {"ab\\x", "ab", "isxdigit(xdigit[0])"}};
    for (const auto& c : cases)
    {
        spy.Clear();
        EXPECT_EQ(c[1], Bytes(STRING(c[0]).Unescape(0))) << c[0];
        ASSERT_EQ(1u, spy.Count()) << c[0];
        EXPECT_EQ(c[2], spy.Last().Condition);
    }
}

TEST(StringNullGuard, FailOnNullGivesNullAndAssertsWithTheLabel)
{
    ASSERTSPY spy;
    {
        FAILONNULL env;
        env.Put("1");
        EXPECT_EQ(nullptr, STRING::NullGuard(0, "x"));
        EXPECT_EQ(0u, spy.Count());
        env.Put("3");
        STRING s("a");
        s.Append(0);
        EXPECT_STREQ("a", s.Text());
        ASSERT_EQ(1u, spy.Count());
        EXPECT_EQ("p!=NULL", spy.Last().Condition);
        EXPECT_EQ("STRING::Append op1", spy.Last().Info);
    }
    EXPECT_STREQ("<NULL>", STRING::NullGuard(0));
}
