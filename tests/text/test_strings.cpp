#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "framework/app/logit.h"
#include "framework/text/strings.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

namespace
{
    std::string Bytes(const STRING& s) { return std::string(s.Text(), s.Length()); }

    std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
    {
        for (size_t p = text.find(from); p != std::string::npos; p = text.find(from, p + to.size()))
            text.replace(p, from.size(), to);
        return text;
    }

    size_t CountOf(const std::string& text, const std::string& what)
    {
        size_t n = 0;
        for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
            ++n;
        return n;
    }

    // Sets TARNIFAILONNULL for one test; the guard's cached value is reset after.
    class FAILONNULL
    {
    public:
        explicit FAILONNULL(const char* value) { Put(value); }
        ~FAILONNULL()
        {
            Put("0");
            STRING::NullGuard(0);
            Put("");
        }
        void Put(const char* value) { _putenv((std::string("TARNIFAILONNULL=") + value).c_str()); }
    };
}

TEST(StringGrowth, NewBufferHasOneSpareBlock)
{
    STRING s;
    EXPECT_FALSE(s.IsAllocated());
    EXPECT_STREQ("", s.Text());
    s.Materialise();
    EXPECT_EQ(96, s.Capacity());
    const std::pair<int, int> cases[] = {{94, 96}, {95, 192}, {96, 192}, {190, 192}, {191, 288}};
    for (const auto& c : cases)
    {
        STRING t;
        t.Set(c.first, 0);
        EXPECT_EQ(c.second, t.Capacity()) << "length " << c.first;
        EXPECT_EQ(0, t.Text()[c.first]);
    }
}

TEST(StringGrowth, AppendingByteByByteFollowsTheBlockPolicyAndLogsOnlyChanges)
{
    TESTSUPPORT::TEMPDIR dir("strings");
    const std::string log = dir.File("growth.log");
    ASSERT_EQ(1, LogitOption(("/LOGIT:" + log).c_str()));
    std::vector<std::pair<int, int>> seen;  // capacity and block size at each reallocation
    int upgradedAt = -1;
    STRING s;
    for (int i = 0; i < 150000; ++i)
    {
        s.Append("x", 1);
        if (seen.empty() || seen.back().first != s.Capacity())
            seen.push_back({s.Capacity(), s.BlockSize()});
        if (upgradedAt < 0 && (s.Flags() & STRINGFLAG_DYNABLOCK))
            upgradedAt = s.Capacity();
    }
    LogitOption("/LOGITCLOSE");
    EXPECT_EQ(36864, upgradedAt);

    std::vector<std::pair<int, int>> expected;
    for (int c = 96; c <= 960; c += 96)
        expected.push_back({c, 96});
    expected.insert(expected.end(), {{1056, 1024}, {2048, 1024}, {3072, 1024}, {4096, 2048}, {6144, 2048},
                                     {8192, 4096}, {12288, 4096}, {16384, 4096}, {20480, 4096}, {24576, 4096},
                                     {28672, 4096}, {32768, 4096}, {36864, 32768}, {65536, 32768},
                                     {98304, 49152}, {147456, 73728}, {221184, 110592}});
    EXPECT_EQ(expected, seen);

    std::ifstream in(log, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string lines = text.str();
    EXPECT_EQ(1u, CountOf(lines, "STRING::Make Upgrade String to STRINGFLAG_DYNABLOCK\r\n"));
    EXPECT_EQ(3u, CountOf(lines, "STRING::Make STRINGFLAG_DYNABLOCK new blocksize"));
    for (const char* size : {"49152", "73728", "110592"})
        EXPECT_EQ(1u, CountOf(lines, std::string("new blocksize ") + size + "\r\n")) << size;
}

TEST(StringGrowth, DynamicBlockSizeIsRoundedToKiBAndCappedAt2MiB)
{
    STRING odd(33000);  // already above 32 KiB: flagged without the upgrade to 32768
    odd.Set(1, 0);
    EXPECT_EQ(33000, odd.BlockSize());
    EXPECT_TRUE(odd.Flags() & STRINGFLAG_DYNABLOCK);
    odd.Set(33000, 0);
    EXPECT_EQ(66000, odd.Capacity());
    EXPECT_EQ(33792, odd.BlockSize());

    STRING big;
    big.Set(40000, 0);
    EXPECT_EQ(32768, big.BlockSize());
    big.Set(5000000, 0);
    EXPECT_EQ(5013504, big.Capacity());
    EXPECT_EQ(2097152, big.BlockSize());
}

TEST(StringGrowth, FreedSmallBufferIsReused)
{
    STRING a("small");
    const char* first = a.Text();
    a.Free();
    EXPECT_FALSE(a.IsAllocated());
    STRING b("other");
    EXPECT_EQ(first, b.Text());
}

TEST(StringAppend, AppendOfOwnTextCopiesTheOldText)
{
    for (int len : {1, 47, 48, 90, 95, 500, 1100})
    {
        std::string model;
        for (int i = 0; i < len; ++i)
            model += static_cast<char>('a' + i % 26);
        STRING s(model.c_str());
        s.Append(s);
        s.Append(s.Text());
        EXPECT_EQ(model + model + model + model, Bytes(s)) << len;
    }
    std::string model(94, '7');
    STRING part(model.c_str());
    ASSERT_EQ(96, part.Capacity());
    part.Append(part.Text() + 10, 60);  // a part of itself while the buffer grows
    EXPECT_EQ(model + model.substr(10, 60), Bytes(part));
}

TEST(StringAppend, ConcatenationGivesCodePage1252AndGuardsNull)
{
    STRING utf("x", UNICODE_CPUTF8);
    const char* none = 0;
    EXPECT_EQ(1252, (utf || "yz").GetCodePage());
    EXPECT_STREQ("xyz", (utf || "yz").Text());
    EXPECT_STREQ("abx", ("ab" || utf).Text());
    EXPECT_STREQ("xx", (utf || utf).Text());
    EXPECT_STREQ("x<NULL>", (utf || none).Text());
    EXPECT_STREQ("<NULL>x", (none || utf).Text());
}

TEST(StringFormat, LengthsAroundTheStackBufferMatchTheModel)
{
    for (int len : {0, 1022, 1023, 1024, 1025, 5000})
    {
        std::string body(len, 'f');
        STRING s("old");
        EXPECT_EQ(len + 2, s.Format("<%s>", body.c_str()));
        EXPECT_EQ("<" + body + ">", Bytes(s));
        STRING a("pre");
        EXPECT_EQ(len + 1, a.AppendFormat("%s!", body.c_str()));
        EXPECT_EQ("pre" + body + "!", Bytes(a));
        STRING p = STRING::Sprintf("%d:%s", 7, body.c_str());
        EXPECT_EQ("7:" + body, Bytes(p));
        EXPECT_EQ(1252, p.GetCodePage());
    }
}

TEST(StringFormat, OwnTextMayBeAnArgumentOfALongFormat)
{
    std::string model(700, 'm');
    STRING s(model.c_str());
    s.Format("%s|%s", s.Text(), s.Text());
    EXPECT_EQ(model + "|" + model, Bytes(s));
    s.AppendFormat("%s", s.Text());
    EXPECT_EQ(model + "|" + model + model + "|" + model, Bytes(s));
}

TEST(StringIndex, BadIndexAssertsAndHandsOutTheDummy)
{
    ASSERTSPY spy;
    STRING s("abc");
    s[-1] = 'x';
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("i>=0 && i<this->StrLen", spy.Last().Condition);
    EXPECT_EQ("i= -1, len= 3, buf= abc", spy.Last().Info);
    EXPECT_NE(std::string::npos, spy.Last().File.find("strings"));
    EXPECT_EQ(0, s[3]);  // the write above did not stick
    EXPECT_STREQ("abc", s.Text());
    const STRING& c = s;
    EXPECT_EQ('c', c[2]);
    EXPECT_EQ(0, c[7]);
    EXPECT_EQ(3u, spy.Count());

    spy.Clear();
    EXPECT_EQ(0, *s.At(3));  // the terminator may be addressed
    *s.At(4) = 'z';
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("i>=0 && i<=this->StrLen", spy.Last().Condition);
    EXPECT_STREQ("abc", s.Text());
    STRING none;
    EXPECT_STREQ("", static_cast<const STRING&>(none).At(0));
    *none.At(0) = 0;
    EXPECT_TRUE(none.IsAllocated());
    EXPECT_EQ(1u, spy.Count());
}

TEST(StringEdit, BrokenPreconditionAssertsOnceAndChangesNothing)
{
    struct CASE
    {
        const char* condition;
        void (*edit)(STRING&);
    };
    const CASE cases[] = {
        {"newlength>=0", [](STRING& s) { s.Truncate(-1); }},
        {"howmany>=0", [](STRING& s) { s.DeleteLeft(-1); }},
        {"howmany>=0", [](STRING& s) { s.DeleteRight(-2); }},
        {"howmany>=0", [](STRING& s) { s.Delete(-1, 0); }},
        {"howmany>=0", [](STRING& s) { s.InsertChars(-1, 0, 'x'); }},
        {"how=='L' || how=='R' || how=='B'", [](STRING& s) { s.Trim('x', " "); }},
        {"text!=this->Buffer", [](STRING& s) { s.Insert(s.Text() + 1, 0); }},
        {"strlen(delim)==1", [](STRING& s) { s.DeleteToken(0, ",;"); }},
        {"buffer", [](STRING& s) { s.Set(0x7FFFFFFE, 0); }},
    };
    for (const CASE& c : cases)
    {
        ASSERTSPY spy;
        STRING s(" a,b ");
        c.edit(s);
        ASSERT_EQ(1u, spy.Count()) << c.condition;
        EXPECT_EQ(c.condition, spy.Last().Condition);
        EXPECT_STREQ(" a,b ", s.Text()) << c.condition;
    }
}

TEST(StringEdit, DeletionsMatchTheModelAtTheEdges)
{
    const std::string model = "abcdef";
    for (int n = 0; n <= 7; ++n)
    {
        STRING left(model.c_str()), right(model.c_str()), cut(model.c_str());
        left.DeleteLeft(n);
        right.DeleteRight(n);
        EXPECT_EQ(n < 6 ? model.substr(n) : "", Bytes(left));
        EXPECT_EQ(n < 6 ? model.substr(0, 6 - n) : "", Bytes(right));
        EXPECT_EQ(n < 6 ? 1 : 0, cut.Truncate(n));
        EXPECT_EQ(model.substr(0, n), Bytes(cut));
        for (int pos = 0; pos <= 6; ++pos)
        {
            STRING d(model.c_str());
            d.Delete(n, pos);
            EXPECT_EQ(pos < 6 ? std::string(model).erase(pos, n) : model, Bytes(d)) << n << " at " << pos;
        }
    }
}

TEST(StringEdit, InsertOpensAGapOnlyInsideOrAtTheEnd)
{
    STRING s("abc");
    s.InsertChars(2, 0, '-');
    s.InsertChars(2, 5, '-');
    EXPECT_STREQ("--abc", s.Text());
    s.Insert("XY", 4);
    s.Insert("!", 7);
    s.Insert("?", 9);
    EXPECT_STREQ("--abXYc!", s.Text());
    std::string big(200, 'g');
    s.Insert(big.c_str(), 1);
    EXPECT_EQ("-" + big + "-abXYc!", Bytes(s));
}

TEST(StringEdit, StripRemoveAndTrim)
{
    STRING s;
    EXPECT_EQ(0, s.StripLast('x') + s.StripFirst('x'));
    s = "/a1b2\tc3/";
    EXPECT_EQ(2, s.StripLast('/') + s.StripFirst('/'));
    EXPECT_EQ(0, s.StripLast('/'));
    s.RemoveChars("0123456789", 1);
    EXPECT_STREQ("ab\tc", s.Text());
    s.RemoveChars("abc", 0);
    EXPECT_STREQ("abc", s.Text());

    STRING t(" \t x y \r");
    t.Trim('l', " \t\r");
    EXPECT_STREQ("x y \r", t.Text());
    t.Trim('b', " \t\ry");
    EXPECT_STREQ("x", t.Text());
}

TEST(StringEdit, ReplaceNeverSearchesTheInsertedText)
{
    const std::string many(90, 'a');  // grows past the first buffer
    const char* cases[][3] = {{"aaa", "a", "aa"}, {"aaa", "a", ""}, {"abab", "ab", "b"}, {"", "a", "b"},
                              {many.c_str(), "a", "aaa"}};
    for (const auto& c : cases)
    {
        STRING s(c[0]);
        s.Replace(c[1], c[2], 1);
        EXPECT_EQ(ReplaceAll(c[0], c[1], c[2]), Bytes(s)) << c[0] << " " << c[1] << " " << c[2];
    }
    STRING ci("Hello HELLO hello");
    ci.Replace("hello", "bye", 0);
    EXPECT_STREQ("bye bye bye", ci.Text());
    ci.Replace("BYE", 0, 1);
    EXPECT_STREQ("bye bye bye", ci.Text());
    ci.Replace("bye", 0, 1);
    EXPECT_STREQ("<NULL> <NULL> <NULL>", ci.Text());
    STRING own("abcabc");
    own.Replace(own.Text() + 3, "x", 1);
    EXPECT_STREQ("xx", own.Text());
}

TEST(StringEdit, CaseMappingIsAsciiOnlyAndWipeClearsTheWholeBuffer)
{
    STRING s("Ab\xE9z");
    s.ToUpper();
    EXPECT_STREQ("AB\xE9Z", s.Text());
    s.ToLower();
    EXPECT_STREQ("ab\xE9z", s.Text());
    s.Truncate(1);
    s.Wipe();
    EXPECT_EQ(0, s.Length());
    EXPECT_EQ(96, s.Capacity());
    EXPECT_EQ(std::string(96, '\0'), std::string(s.Text(), 96));
}

TEST(StringEdit, CopyTakesCodePageAndBlockSizeSwapKeepsCodePages)
{
    STRING a(1024);
    a.Append("text");
    a.SetCodePage(UNICODE_CPUTF8);
    STRING b(a);
    EXPECT_STREQ("text", b.Text());
    EXPECT_EQ(UNICODE_CPUTF8, b.GetCodePage());
    EXPECT_EQ(1024, b.BlockSize());
    b = STRING();
    EXPECT_FALSE(b.IsAllocated());
    EXPECT_EQ(1252, b.GetCodePage());

    STRING x("x", 850), y("yy", 437);
    x.Swap(y);
    EXPECT_STREQ("yy", x.Text());
    EXPECT_EQ(850, x.GetCodePage());
}

TEST(StringSearch, PosAndCaseInsensitivePos)
{
    STRING s("abcABCabc");
    EXPECT_EQ(-1, s.Pos("ABC", 4));
    EXPECT_EQ(-1, s.Pos("", 9));
    EXPECT_EQ(2, s.Pos("", 2));
    EXPECT_EQ(6, s.iPos("ABC", 4));
    EXPECT_EQ(-1, s.iPos("abcd", 6));
    int where = 42;
    EXPECT_EQ(0, s.Find('z', &where));
    EXPECT_EQ(-1, where);
    EXPECT_EQ(1, s.iFind("cab", &where, 0));
    EXPECT_EQ(2, where);
}

TEST(StringSearch, MidLeftRightAtTheEdges)
{
    STRING s("hello", UNICODE_CPFLAT);
    EXPECT_STREQ("llo", s.Mid(2, 100).Text());
    EXPECT_STREQ("ll", s.Mid(2, 2).Text());
    EXPECT_FALSE(s.Mid(7).IsAllocated());
    EXPECT_EQ(1252, s.Mid(1).GetCodePage());
    EXPECT_STREQ("hello", s.Left(9).Text());
    EXPECT_STREQ("lo", s.Right(2).Text());
    EXPECT_STREQ("hello", s.Right(6).Text());
    EXPECT_STREQ("", s.Right(0).Text());
}

TEST(StringSearch, TokensWithCommaDelimiter)
{
    STRING s("a,,c");
    EXPECT_EQ(3, s.TokenCount(","));
    EXPECT_STREQ("c", s.Token(2, ",").Text());
    EXPECT_TRUE(s.Token(1, ",").IsAllocated());
    EXPECT_EQ(0, s.Token(1, ",").Length());

    STRING line("a,b;c,d", 850);
    EXPECT_STREQ("b;c,d", line.Token(1, ",", 1).Text());
    EXPECT_STREQ("c", line.Token(2, ",;").Text());
    EXPECT_EQ(1252, line.Token(0, ",").GetCodePage());
    EXPECT_FALSE(line.Token(5, ",").IsAllocated());
    EXPECT_TRUE(line.Token(5, ",", 0x10000).IsAllocated());
}

TEST(StringSearch, TokenEditingRebuildsTheList)
{
    STRING s("a,b,c");
    EXPECT_EQ(1, s.DeleteToken(1, ","));
    EXPECT_EQ(1, s.InsertToken(0, ",", "z"));
    EXPECT_EQ(1, s.InsertToken(3, ",", "end"));
    EXPECT_STREQ("z,a,c,end", s.Text());
    EXPECT_EQ(1, s.ReplaceToken(2, ",", s.Text()));
    EXPECT_STREQ("z,a,z,a,c,end,end", s.Text());
    EXPECT_EQ(0, s.ReplaceToken(7, ",", "x"));
    EXPECT_EQ(0, s.DeleteToken(-1, ","));
    EXPECT_STREQ("z,a,z,a,c,end,end", s.Text());
}

TEST(StringSearch, FindUnquotedSkipsQuotedDelimiters)
{
    STRING s("a \"b c\\\" d\" 'e f' g");
    int where = 0;
    EXPECT_EQ(1, s.FindUnquoted(" ", &where, 2));
    EXPECT_EQ(11, where);
    EXPECT_EQ(1, s.FindUnquoted("g", &where, 12));
    EXPECT_EQ(18, where);
    EXPECT_EQ(0, s.FindUnquoted("f", &where, 0));
    EXPECT_EQ(-1, where);
}

TEST(StringSearch, CopyToAndGetAroundTheNeededSize)
{
    STRING s("abcd");
    char buf[8];
    EXPECT_EQ(3, s.CopyTo(buf, 4));
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ(4, s.CopyTo(buf, 5));
    EXPECT_EQ(4, s.CopyTo(buf, 6));
    EXPECT_STREQ("abcd", buf);
    EXPECT_EQ(1, s.Get(buf, 3));
    EXPECT_STREQ("ab", buf);
    EXPECT_EQ(0, STRING().Get(buf, 8));
}

TEST(StringSearch, CompareIgnoresCaseAndHandlesNull)
{
    EXPECT_EQ(0, STRING::Compare("ABC", "abc", 1));
    EXPECT_LT(STRING::Compare("abc", "ABD", 1), 0);
    EXPECT_GT(STRING::Compare("abc", "AB", 1), 0);
    EXPECT_LT(STRING::Compare("_", "a", 1), 0);  // as the runtime's stricmp: lower case
    EXPECT_EQ(0, STRING::Compare(0, 0, 1));
    EXPECT_EQ(1, STRING::Compare("a", 0, 1));
    EXPECT_EQ(1, STRING::Compare(0, "a", 1));
    EXPECT_EQ(0, STRING::Compare(0, "<null>", 0));
}

TEST(StringNumber, AutomaticDecimalsDropTrailingZeros)
{
    EXPECT_STREQ("2.5", STRING(2.5, -1).Text());
    EXPECT_STREQ("3", STRING(3.0, -1).Text());
    EXPECT_STREQ("0", STRING(0.0, -1).Text());
    EXPECT_STREQ("100", STRING(100.0, -1).Text());
    EXPECT_STREQ("1.00", STRING(1.0, 2).Text());
}

TEST(StringEscape, FixedSequencesAndHexForm)
{
    STRING s("\t\"\xE9=\\'a\x7F");
    EXPECT_STREQ("\\t\"\\xe9=\\\\'a\x7F", s.Escape("").Text());
    STRING e = s.Escape("\"'=");
    EXPECT_STREQ("\\t\\\"\\xe9\\x3d\\\\\\'a\x7F", e.Text());
    EXPECT_EQ(1252, e.GetCodePage());
    EXPECT_EQ(Bytes(s), Bytes(e.Unescape(0)));
}

TEST(StringEscape, RoundTripOfAllByteValues)
{
    std::string all;
    for (int b = 0; b < 512; ++b)
        all += static_cast<char>(b);
    all += std::string(3000, 'p');  // runs longer than one chunk
    STRING s;
    s.Append(all.c_str(), static_cast<int>(all.size()));
    for (const char* extra : {"", "={}", "\"'"})
    {
        ASSERTSPY spy;
        STRING e = s.Escape(extra);
        for (int i = 0; i < e.Length(); ++i)
        {
            const char c = e.Text()[i];
            ASSERT_TRUE(c >= 0x20 && c <= 0x7F) << i;
            if (c == '\\')
                i += e.Text()[i + 1] == 'x' ? 3 : 1;
            else
                ASSERT_EQ(nullptr, strchr(extra, c)) << extra << " at " << i;
        }
        EXPECT_EQ(all, Bytes(e.Unescape(0)));
        EXPECT_EQ(0u, spy.Count());
    }
}

TEST(StringEscape, UnknownAndBrokenSequences)
{
    ASSERTSPY spy;
    STRING u("a\\qb");
    EXPECT_STREQ("a\\qb", u.Unescape(1).Text());
    EXPECT_EQ(0u, spy.Count());
    EXPECT_STREQ("aqb", u.Unescape(0).Text());
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("FALSE", spy.Last().Condition);
    EXPECT_EQ("a\\qb", spy.Last().Info);

    spy.Clear();
    EXPECT_EQ(std::string("\x04z", 2), Bytes(STRING("\\x4gz").Unescape(0)));
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("isxdigit(xdigit[1])", spy.Last().Condition);
    spy.Clear();
    EXPECT_EQ("ab", Bytes(STRING("ab\\x").Unescape(0)));
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("isxdigit(xdigit[0])", spy.Last().Condition);
}

TEST(StringNullGuard, FailOnNullGivesNullAndAssertsWithTheLabel)
{
    ASSERTSPY spy;
    {
        FAILONNULL env("0");
        STRING s("a");
        s.Append(0);
        EXPECT_STREQ("a<NULL>", s.Text());
        env.Put("1");
        EXPECT_EQ(nullptr, STRING::NullGuard(0, "x"));
        EXPECT_EQ(0u, spy.Count());
        env.Put("3");
        s.Append(0);
        EXPECT_STREQ("a<NULL>", s.Text());
        ASSERT_EQ(1u, spy.Count());
        EXPECT_EQ("p!=NULL", spy.Last().Condition);
        EXPECT_EQ("STRING::Append op1", spy.Last().Info);
        STRING::NullGuard(0);
        EXPECT_EQ("<none>", spy.Last().Info);
        env.Put("");  // unset: the value read last stays in force
        EXPECT_EQ(nullptr, STRING::NullGuard(0));
    }
    EXPECT_STREQ("<NULL>", STRING::NullGuard(0));
}
