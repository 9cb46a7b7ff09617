#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/text/unicode.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

namespace
{
    UNICODE& Uni() { return *UNICODE::Get(); }

    std::u16string Units(const WSTRING& w) { return std::u16string(w.Text(), w.Length()); }
    std::string Bytes(const STRING& s) { return std::string(s.Text(), s.Length()); }

    // The Windows code page that holds the same mapping as a table's identifier.
    int WindowsCodePage(int id)
    {
        return id == 878 ? 20866 : id == 999 ? 10000 : id >= 8860 && id <= 8875 ? 28590 + (id - 8859) : id;
    }

    bool IsKoreanLeadByte(int id, int b) { return id == 949 && b >= 0x81 && b <= 0xFE; }

    // A byte the table marks as not defined.
    bool IsUndefined(int id, int b) { return b >= 128 && Uni().ToUnicode(static_cast<unsigned char>(b), id) == 127; }

    std::string SystemNarrow(int codepage, const std::u16string& text)
    {
        char out[1024];
        int n = WideCharToMultiByte(codepage, 0, reinterpret_cast<const wchar_t*>(text.data()),
                                    static_cast<int>(text.size()), out, sizeof out, 0, 0);
        return std::string(out, n);
    }

    std::u16string Decode(const std::string& bytes, std::vector<int> cuts = {})
    {
        WSTRING w;
        UTF8STATE state = {};
        int from = 0;
        cuts.push_back(static_cast<int>(bytes.size()));
        for (int cut : cuts)
        {
            UNICODE::FromUtf8(reinterpret_cast<const unsigned char*>(bytes.data()) + from, cut - from, w, &state);
            from = cut;
        }
        UNICODE::FinishUtf8(w, &state);
        return Units(w);
    }
}

// Bytes checked against the published standards instead of Wine (table, byte,
// code point): where Wine differs, and a few of ISO 8859-10, -11, -14 and -16,
// which Wine lacks.
const int gPublished[][3] = {
    {999, 0xBD, 0x03A9},                          // Mac Roman omega; Wine the ohm sign
    {8866, 0xA1, 0x2018}, {8866, 0xA2, 0x2019},   // ISO 8859-7:2003; Wine the 1987 modifier letters
    {8866, 0xA4, 0x20AC}, {8866, 0xA5, 0x20AF}, {8866, 0xAA, 0x037A},  // added in 2003; Wine private use
    {8867, 0xAF, 0x00AF},                         // macron; Wine the overline
    {8867, 0xFD, 0x200E}, {8867, 0xFE, 0x200F},   // direction marks; Wine private use
    {949, 0xFF, 0x00FF},                          // Korean non-lead byte; Wine private use
    {1255, 0xCA, 127},                            // undefined; Wine a holam point
    {8869, 0xA1, 0x0104}, {8869, 0xFF, 0x0138}, {8870, 0xA1, 0x0E01}, {8870, 0xDB, 127}, {8870, 0xFB, 0x0E5B},
    {8873, 0xA1, 0x1E02}, {8873, 0xFF, 0x00FF}, {8875, 0xA4, 0x20AC}, {8875, 0xAA, 0x0218},
};

// The 31 tables in their order; every defined byte comes back through the reverse index.
TEST(CodePageTables, RoundTripAndAgreeWithTheSystemConversionExceptTheListedBytes)
{
    const int ids[] = {1252, 437, 1250, 1251, 1253, 737, 866, 852, 999, 878, 1256, 1255, 850, 949, 1254, 8860,
                       8861, 8862, 8863, 8864, 8865, 8866, 8867, 8868, 8869, 8870, 8872, 8873, 8874, 8875, 857};
    ASSERT_EQ(31, Uni().GetNumTables());
    for (int t = 0; t < 31; ++t)
    {
        const int id = Uni().GetTable(t).CodePage, cp = WindowsCodePage(id);
        EXPECT_EQ(ids[t], id) << "table " << t;
        const bool oracle = id != 8869 && id != 8870 && id != 8873 && id != 8875;
        ASSERT_TRUE(!oracle || IsValidCodePage(cp)) << cp;
        for (int b = 0; b < 256; ++b)
        {
            const char16_t unit = Uni().ToUnicode(static_cast<unsigned char>(b), id);
            if (IsKoreanLeadByte(id, b))
            {
                EXPECT_EQ(0, unit) << b;
                continue;
            }
            unsigned char back = 0;
            const bool defined = b > 0 && !IsUndefined(id, b);
            EXPECT_TRUE(!defined || (Uni().FromUnicode(unit, id, &back) && b == back))
                << id << " byte " << b << " comes back as " << int(back);
            const int* published = 0;
            for (const auto& p : gPublished)
                published = p[0] == id && p[1] == b ? p : published;
            const char c = static_cast<char>(b);
            wchar_t wine = 0;
            if (published)
            {
                EXPECT_EQ(published[2], unit) << id << " byte " << b;
            }
            else if (oracle && IsUndefined(id, b))  // Wine passes unassigned bytes through or marks them invalid
            {
                EXPECT_TRUE(MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, &c, 1, &wine, 1) != 1 || wine == b)
                    << id << " byte " << b << " is U+" << std::hex << wine << " in Wine";
            }
            else if (oracle)
            {
                ASSERT_EQ(1, MultiByteToWideChar(cp, 0, &c, 1, &wine, 1)) << cp << " byte " << b;
                EXPECT_EQ(wine, unit) << id << " byte 0x" << std::hex << b;
            }
        }
    }
}

TEST(CodePageConversion, MissingCharactersTakeTheFallbackTableOrTheWindowsCodePage)
{
    // Box drawing has fallbacks; a table's own byte for the character wins.
    const std::pair<char16_t, char> fallback[] = {{0x2500, '-'}, {0x2551, '"'}, {0x2014, '-'}, {0x253C, '+'}};
    for (int t = 0; t < Uni().GetNumTables(); ++t)
    {
        const int id = Uni().GetTable(t).CodePage;
        for (const auto& f : fallback)
        {
            int own = -1;
            for (int b = 255; b >= 128; --b)
                if (Uni().ToUnicode(static_cast<unsigned char>(b), id) == f.first)
                    own = b;
            unsigned char out = 0;
            EXPECT_EQ(1, Uni().FromUnicode(f.first, id, &out));
            EXPECT_EQ(own >= 0 ? own : static_cast<unsigned char>(f.second), out) << id << " U+" << std::hex << f.first;
        }
    }
    // Other missing characters are left to the matching Windows code page.
    unsigned char out = 0;
    EXPECT_EQ(1, Uni().FromUnicode(0x05B0, 8867, &out));  // sheva: only in Windows 1255
    EXPECT_EQ(0xC0, out);
    EXPECT_EQ(0, Uni().FromUnicode(0x4E00, 1251, &out));
    EXPECT_EQ('?', out);
}

TEST(CodePageConversion, UnknownCodePagesRaiseOneAssertionAndGiveTheAtSign)
{
    ASSERTSPY spy;
    EXPECT_EQ(0x41, Uni().ToUnicode(0x41, 4242));  // ASCII needs no table
    EXPECT_EQ(0u, spy.Count());
    EXPECT_EQ(u'@', Uni().ToUnicode(0xE9, 4242));
    EXPECT_EQ(1u, spy.Count());
    unsigned char out = 0;
    EXPECT_EQ(0, Uni().FromUnicode(0x00E9, 4242, &out));
    EXPECT_EQ('@', out);
    // A whole text asserts once, however many of its characters are affected.
    EXPECT_EQ(u"caf@ @", Units(WSTRING("caf\xE9 \xE8", 4242)));
    EXPECT_EQ(3u, spy.Count());
    EXPECT_EQ(u'@', Uni().ToUnicode(0xC3, UNICODE_CPUTF8));  // UTF-8 is no single-byte table
    EXPECT_EQ(4u, spy.Count());
}

const std::pair<std::string, std::u16string> gUtf8Cases[] = {
    {"\xC3\xA9", u"\u00E9"},
    {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
    {"\xC3\x41", u"\u00C3\u0041"},
    {"a\xE2\x82\xAC" "b", u"a\u20ACb"},
    {"\xE2\x82" "x", u"\u00E2\u0082x"},             // cut sequence: its bytes and the intruder as Latin-1
    {"\xC3\xC3\xA9", u"\u00C3\u00C3\u00A9"},         // the intruding lead byte does not start a sequence
    {"\xFE\xFF\xBF", u"\u00FE\u00FF\u00BF"},
    {"\xC0\x80", std::u16string(1, u'\0')},          // overlong forms are not refused
    {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},             // U+10FFFF, the last one
    {"\xF4\x90\x80\x80", u"\xDC00\xDC00"},            // beyond U+10FFFF: still a pair of units,
    {"\xF7\xBF\xBF\xBF", u"\xDFBF\xDFFF"},            // up to 2097151
    {"\xF8\x88\x80\x80\x80", u"\uFFFD"},               // beyond
    {"\xE2\x82", u"\u00E2\u0082"},                   // cut by the end of the stream
};

TEST(Utf8, DecodesTheListedCasesWholeAndSplitAtEveryPosition)
{
    for (const auto& c : gUtf8Cases)
    {
        EXPECT_EQ(c.second, Decode(c.first));
        for (int cut = 0; cut <= static_cast<int>(c.first.size()); ++cut)
            EXPECT_EQ(c.second, Decode(c.first, {cut})) << "cut at " << cut;
        std::vector<int> every;
        for (int i = 1; i < static_cast<int>(c.first.size()); ++i)
            every.push_back(i);
        EXPECT_EQ(c.second, Decode(c.first, every)) << "byte by byte";
    }
}

TEST(Utf8, RandomTextAgreesWithTheSystem)
{
    std::mt19937 random(1234);
    for (int round = 0; round < 100; ++round)
    {
        std::u16string text;
        while (text.size() < 40)
        {
            uint32_t cp = random() % 4 == 0 ? 0x10000 + random() % 0x100000 : 1 + random() % 0xFFFF;
            if (cp > 0xFFFF)
                text += {static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)),
                         static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
            else if (cp < 0xD800 || cp >= 0xE000)
                text += static_cast<char16_t>(cp);
        }
        std::string utf8 = SystemNarrow(CP_UTF8, text);
        EXPECT_EQ(text, Decode(utf8)) << "round " << round;
        EXPECT_EQ(text, Units(WSTRING(utf8.c_str(), UNICODE_CPUTF8)));
    }
}

TEST(Utf8, EncodingGoesUnitByUnitAndKeepsWhatFits)
{
    // Units are encoded one by one: text without surrogates matches the system, a pair gives two sequences.
    std::u16string bmp = u"A\u00E9\u07FF\u0800\u20AC\uFFFF";
    EXPECT_EQ(SystemNarrow(CP_UTF8, bmp), Bytes(STRING(bmp.c_str(), UNICODE_CPUTF8)));
    EXPECT_EQ("\xED\xA0\xBD\xED\xB8\x80", Bytes(STRING(WSTRING(u"\xD83D\xDE00"), UNICODE_CPUTF8)));

    // WSTRING::ToUtf8 keeps the bytes that fit, even within a character, and drops the rest.
    WSTRING w(u"a\u00E9\u20AC");    // 1 + 2 + 3 bytes
    char buffer[16];
    const std::pair<int, std::string> cases[] = {{1, ""}, {3, "a\xC3"}, {6, "a\xC3\xA9\xE2\x82"}};
    for (const auto& c : cases)
    {
        memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(static_cast<int>(c.second.size()), w.ToUtf8(buffer, c.first)) << c.first;
        EXPECT_EQ(c.second, std::string(buffer)) << c.first;
    }
}

TEST(WideString, ConversionsAndAssignmentByCodePage)
{
    EXPECT_EQ(u"\u00C3\u00A9", Units(WSTRING("\xC3\xA9", UNICODE_CPFLAT)));
    EXPECT_EQ(u"\uAC00A", Units(WSTRING("\xB0\xA1" "A", 949)));   // double-byte text through the system

    const std::u16string text = u"A\u00E9\u20AC\u0436\u4E00";
    EXPECT_EQ(std::string("A\xE9\xAC\x36\x00", 5), Bytes(STRING(text.c_str(), UNICODE_CPFLAT)));
    EXPECT_EQ("A\x88\xE6?", Bytes(STRING(u"A\u20AC\u0436\u4E00", 1251)));
    EXPECT_EQ("\xB0\xA1", Bytes(STRING(u"\uAC00", 949)));
    // Long texts leave the 2048-byte buffer for one of the exact size.
    EXPECT_EQ(std::string(5000, '\xE9'), Bytes(STRING(std::u16string(5000, u'\u00E9').c_str(), 1252)));

    WSTRING w(u"old");
    w = STRING("\xE0", 866);
    EXPECT_EQ(u"\u0440", Units(w));
}

TEST(WideString, EditingAppendsOwnTextReplacesAndChecksIndexes)
{
    WSTRING w;
    w.Append(u'a');
    w.Append("\xE9", 1252);
    w.Append(u"\u20ACxyz", 2);
    w.Insert(u"--", 1);
    w.Insert(u"never", w.Length() + 1);
    w.DeleteLeft(2);
    w.DeleteRight(1);
    EXPECT_EQ(u"-\u00E9\u20AC", Units(w));

    WSTRING self(u"0123456789");  // appending its own text while the buffer grows
    for (int i = 0; i < 6; ++i)
        self.Append(self.Text(), self.Length());
    EXPECT_EQ(640, self.Length());
    EXPECT_EQ(u'9', self[639]);
    WSTRING r(u"Aaa");  // case counts
    r.Replace(u"a", u"aa");
    EXPECT_EQ(u"Aaaaa", Units(r));

    ASSERTSPY spy;
    WSTRING b(u"abc");
    b[3] = u'x';  // out of range: asserts and writes to a dummy unit
    EXPECT_EQ(1u, spy.Count());
    EXPECT_EQ(u"abc", Units(b));
}

TEST(WideString, TokensCaseFormatAndNullTexts)
{
    WSTRING w(u"a,b,,\u00E9d,b");
    EXPECT_EQ(5, w.TokenCount(u","));
    EXPECT_EQ(u"\u00E9d", Units(w.Token(3, u",")));
    EXPECT_EQ(u",\u00E9d,b", Units(w.Token(2, u",", 1)));
    WSTRING c(u"abc\u00E9\u00FF\u0101\u00F7");
    c.ToUpper();
    EXPECT_EQ(u"ABC\u00C9\u00FF\u0101\u00F7", Units(c));

    for (int size : {1022, 1024})  // each side of the 1024-unit stack buffer
    {
        std::u16string big(size, u'\u00E9');
        EXPECT_EQ(size + 1, w.Format(u"%s!", big.c_str())) << size;
        EXPECT_EQ(size, w.AppendFormat(u"%s", big.c_str())) << size;
        EXPECT_EQ(big + u"!" + big, Units(w)) << size;
    }
    EXPECT_EQ(8, w.Format(u"%d-%s-%hs", 42, u"\u20AC", "abc"));
    EXPECT_EQ(u"42-\u20AC-abc", Units(w));

    EXPECT_EQ(0, WSTRING::Compare(0, u"<null>", 0));
    _putenv("TARNIFAILONNULL=3");  // asked to, the null guard gives null and asserts
    ASSERTSPY spy;
    const int compared = WSTRING::Compare(u"x", 0, 0);
    _putenv("TARNIFAILONNULL=0");
    STRING::NullGuard(0);
    _putenv("TARNIFAILONNULL=");
    EXPECT_EQ(1, compared);
    EXPECT_EQ(1u, spy.Count());
}
