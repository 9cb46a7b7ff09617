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

    std::u16string SystemWide(int codepage, const std::string& bytes)
    {
        wchar_t out[512];
        int n = MultiByteToWideChar(codepage, 0, bytes.data(), static_cast<int>(bytes.size()), out, 512);
        return std::u16string(reinterpret_cast<const char16_t*>(out), n);
    }

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

TEST(CodePageTables, HoldTheThirtyOneCodePagesInTheirOrder)
{
    const int ids[] = {1252, 437, 1250, 1251, 1253, 737, 866, 852, 999, 878, 1256, 1255, 850, 949, 1254, 8860,
                       8861, 8862, 8863, 8864, 8865, 8866, 8867, 8868, 8869, 8870, 8872, 8873, 8874, 8875, 857};
    ASSERT_EQ(31, Uni().GetNumTables());
    for (int t = 0; t < 31; ++t)
    {
        EXPECT_EQ(ids[t], Uni().GetTable(t).CodePage) << "table " << t;
        EXPECT_EQ(ids[t] == 949, Uni().GetTable(t).DoubleByte != 0) << "table " << t;
    }
    EXPECT_STREQ("ISO 8859-16", Uni().GetTable(29).Name);
    EXPECT_EQ(9728, Uni().GetReverseSize());  // Mac Roman reaches U+FB02
}

// Wine's tables, the independent oracle, differ from the published mappings
// that the tables follow in these bytes (table, byte, table's and Wine's code point).
struct DISAGREEMENT { int Id, Byte; char16_t Table, Wine; };
const DISAGREEMENT gDisagreements[] = {
    {999, 0xBD, 0x03A9, 0x2126},    // Mac Roman: Greek capital omega; Wine the ohm sign
    {8866, 0xA1, 0x2018, 0x02BD},   // ISO 8859-7:2003 quotation marks; Wine the 1987 modifier letters
    {8866, 0xA2, 0x2019, 0x02BC},
    {8866, 0xA4, 0x20AC, 0xF7C2},   // euro, drachma, ypogegrammeni added in 2003; Wine private use
    {8866, 0xA5, 0x20AF, 0xF7C3},
    {8866, 0xAA, 0x037A, 0xF7C4},
    {8867, 0xAF, 0x00AF, 0x203E},   // ISO 8859-8: macron; Wine the overline
    {8867, 0xFD, 0x200E, 0xF7BF},   // left-to-right and right-to-left marks; Wine private use
    {8867, 0xFE, 0x200F, 0xF7C0},
    {949, 0xFF, 0x00FF, 0xF8F7},    // Korean non-lead byte is the identity; Wine private use
    {1255, 0xCA, 127, 0x05BA},      // Hebrew: undefined in the published table; Wine a holam point
};
// ISO 8859-10, -11, -14 and -16: Wine has no such code page; a few bytes of
// each standard stand in (table, byte, code point).
const int gWithoutOracle[][3] = {
    {8869, 0xA1, 0x0104}, {8869, 0xFF, 0x0138}, {8870, 0xA1, 0x0E01}, {8870, 0xDB, 127}, {8870, 0xFB, 0x0E5B},
    {8873, 0xA1, 0x1E02}, {8873, 0xFF, 0x00FF}, {8875, 0xA4, 0x20AC}, {8875, 0xAA, 0x0218},
};

TEST(CodePageTables, AgreeWithTheSystemConversionExceptTheListedBytes)
{
    std::vector<bool> seen(sizeof gDisagreements / sizeof gDisagreements[0]);
    for (int t = 0; t < Uni().GetNumTables(); ++t)
    {
        const int id = Uni().GetTable(t).CodePage;
        const int cp = WindowsCodePage(id);
        bool oracle = true;
        for (const auto& landmark : gWithoutOracle)
            if (landmark[0] == id)
            {
                oracle = false;
                EXPECT_EQ(landmark[2], Uni().ToUnicode(static_cast<unsigned char>(landmark[1]), id)) << id;
            }
        if (!oracle)
        {
            EXPECT_FALSE(IsValidCodePage(cp)) << "Wine now has code page " << cp << ": compare it";
            continue;
        }
        ASSERT_TRUE(IsValidCodePage(cp)) << cp;
        for (int b = 0; b < 256; ++b)
        {
            const char16_t unit = Uni().ToUnicode(static_cast<unsigned char>(b), id);
            if (IsKoreanLeadByte(id, b))
            {
                EXPECT_EQ(0, unit) << b;
                EXPECT_TRUE(IsDBCSLeadByteEx(949, static_cast<BYTE>(b))) << b;
                continue;
            }
            const char c = static_cast<char>(b);
            wchar_t wine = 0;
            ASSERT_EQ(1, MultiByteToWideChar(cp, 0, &c, 1, &wine, 1)) << cp << " byte " << b;
            const DISAGREEMENT* listed = 0;
            for (size_t i = 0; i < seen.size(); ++i)
                if (gDisagreements[i].Id == id && gDisagreements[i].Byte == b)
                {
                    listed = &gDisagreements[i];
                    seen[i] = true;
                }
            if (listed)
            {
                EXPECT_EQ(listed->Table, unit) << id << " byte " << b;
                EXPECT_EQ(listed->Wine, wine) << id << " byte " << b;
            }
            else if (IsUndefined(id, b))
            {
                // Wine passes unassigned bytes through or marks them invalid.
                wchar_t strict = 0;
                bool defined = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, &c, 1, &strict, 1) == 1;
                EXPECT_TRUE(!defined || strict == b) << id << " byte " << b << " is U+" << std::hex << strict << " in Wine";
            }
            else
                EXPECT_EQ(wine, unit) << id << " byte 0x" << std::hex << b;
        }
    }
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_TRUE(seen[i]) << "listed disagreement not met: " << gDisagreements[i].Id << " byte " << gDisagreements[i].Byte;
}

TEST(CodePageTables, EveryDefinedByteSurvivesTheRoundTrip)
{
    for (int t = 0; t < Uni().GetNumTables(); ++t)
    {
        const int id = Uni().GetTable(t).CodePage;
        std::string defined;
        for (int b = 1; b < 256; ++b)
        {
            if (IsUndefined(id, b) || IsKoreanLeadByte(id, b))
                continue;
            defined += static_cast<char>(b);
            unsigned char back = 0;
            EXPECT_EQ(1, Uni().FromUnicode(Uni().ToUnicode(static_cast<unsigned char>(b), id), id, &back)) << id << " byte " << b;
            EXPECT_EQ(b, back) << id;
        }
        if (id == 949)
            continue;  // whole Korean texts go through the system's double-byte conversion
        WSTRING wide(STRING(defined.c_str(), id));
        EXPECT_EQ(defined, Bytes(STRING(wide, id))) << id;
    }
}

// The tables themselves are checked above; these are the code pages without one.
TEST(CodePageConversion, IdentifiersWithoutATable)
{
    EXPECT_EQ(0x00E9, Uni().ToUnicode(0xE9, 1000));
    EXPECT_EQ(0x00E9, Uni().ToUnicode(0xE9, UNICODE_CPFLAT));
    EXPECT_EQ(SystemWide(CP_ACP, "\xE9")[0], Uni().ToUnicode(0xE9, UNICODE_CPSYSTEM));
    unsigned char out = 0;
    EXPECT_EQ(0, Uni().FromUnicode(0x0141, UNICODE_CPFLAT, &out));
    EXPECT_EQ(0x41, out);  // the low byte
}

TEST(CodePageConversion, MissingCharactersTakeTheFallbackTableOrTheWindowsCodePage)
{
    const std::pair<char16_t, char> fallback[] = {
        {0x2500, '-'}, {0x2502, '|'}, {0x2550, '='}, {0x2551, '"'}, {0x2013, '-'}, {0x2014, '-'},
        {0x250C, '+'}, {0x2514, '+'}, {0x2510, '+'}, {0x2518, '+'}, {0x253C, '+'}, {0x252C, '+'},
        {0x251C, '+'}, {0x2524, '+'}, {0x2534, '+'}, {0x2554, '+'}, {0x255A, '+'}, {0x2557, '+'},
        {0x255D, '+'}, {0x2566, '+'}, {0x2560, '+'}, {0x2563, '+'}, {0x2569, '+'},
    };
    for (int t = 0; t < Uni().GetNumTables(); ++t)
    {
        const int id = Uni().GetTable(t).CodePage;
        for (const auto& f : fallback)
        {
            int own = -1;  // the table's own lowest byte for the character wins
            for (int b = 255; b >= 128; --b)
                if (Uni().ToUnicode(static_cast<unsigned char>(b), id) == f.first)
                    own = b;
            unsigned char out = 0;
            EXPECT_EQ(1, Uni().FromUnicode(f.first, id, &out));
            EXPECT_EQ(own >= 0 ? own : static_cast<unsigned char>(f.second), out) << id << " U+" << std::hex << f.first;
        }
    }

    // Other missing characters are left to the matching Windows code page.
    const std::pair<int, int> pages[] = {{1252, 1252}, {1251, 1251}, {866, static_cast<int>(GetOEMCP())},
                                         {878, static_cast<int>(GetOEMCP())}, {8860, 1252}, {8863, 1257},
                                         {8867, 1255}, {999, static_cast<int>(GetACP())}, {857, static_cast<int>(GetACP())},
                                         {1000, static_cast<int>(GetACP())}, {UNICODE_CPSYSTEM, static_cast<int>(GetACP())}};
    const char16_t probes[] = {0x0100, 0x0131, 0x0394, 0x0410, 0x05D0, 0x00E9, 0x2122, 0x4E00, 0xD83D, 0xFF21};
    for (const auto& page : pages)
        for (char16_t ch : probes)
        {
            bool inTable = false;
            for (int b = 128; b < 256 && page.first > 0 && page.first != 1000; ++b)
                inTable = inTable || Uni().ToUnicode(static_cast<unsigned char>(b), page.first) == ch;
            if (inTable)
                continue;
            char expected = 0;
            BOOL usedDefault = FALSE;
            const wchar_t wc = ch;
            int n = WideCharToMultiByte(page.second, 0, &wc, 1, &expected, 1, "?", &usedDefault);
            unsigned char out = 0;
            int ok = Uni().FromUnicode(ch, page.first, &out);
            EXPECT_EQ(n == 1 ? expected : '?', static_cast<char>(out)) << page.first << " U+" << std::hex << ch;
            EXPECT_EQ(n == 1 && !usedDefault, ok != 0) << page.first << " U+" << std::hex << ch;
        }
}

TEST(CodePageConversion, UnknownCodePagesRaiseOneAssertionAndGiveTheAtSign)
{
    ASSERTSPY spy;
    EXPECT_EQ(0x41, Uni().ToUnicode(0x41, 4242));  // ASCII needs no table
    EXPECT_EQ(0u, spy.Count());
    EXPECT_EQ(u'@', Uni().ToUnicode(0xE9, 4242));
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("idx!=-1", spy.Last().Condition);
    EXPECT_EQ("codepage :4242", spy.Last().Info);
    unsigned char out = 0;
    EXPECT_EQ(0, Uni().FromUnicode(0x00E9, 4242, &out));
    EXPECT_EQ('@', out);
    EXPECT_EQ(2u, spy.Count());
    // A whole text asserts once, however many of its characters are affected.
    EXPECT_EQ(u"caf@ @", Units(WSTRING("caf\xE9 \xE8", 4242)));
    EXPECT_EQ(3u, spy.Count());
    EXPECT_EQ("caf@ @", Bytes(STRING(u"café è", 4242)));
    EXPECT_EQ(4u, spy.Count());

    spy.Clear();
    EXPECT_EQ(u'@', Uni().ToUnicode(0xC3, UNICODE_CPUTF8));
    EXPECT_EQ(0, Uni().FromUnicode(0x00E9, UNICODE_CPUTF8, &out));
    ASSERT_EQ(2u, spy.Count());
    EXPECT_EQ("cp!=UNICODE_CPUTF8", spy[0].Condition);
    EXPECT_EQ("cp!=UNICODE_CPUTF8", spy[1].Condition);
}

TEST(CodePageConversion, CreationAndReleaseAreLogged)
{
    UNICODE::Release();
    TESTSUPPORT::LOGCAPTURE log(1);
    UNICODE::Get();
    UNICODE::Release();
    EXPECT_EQ((std::vector<std::string>{"UNICODE::UNICODE", "UNICODE::UNICODE init tables", "UNICODE::UNICODE init done",
                                        "UNICODE::UNICODE done", "UNICODE::~UNICODE", "UNICODE::~UNICODE done"}),
              log.Lines("UNICODE::"));
    EXPECT_EQ(0x20AC, Uni().ToUnicode(0x80, 1252));   // created again on demand
}

const std::pair<std::string, std::u16string> gUtf8Cases[] = {
    {"\xC3\xA9", u"\u00E9"},
    {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
    {"\xC3\x41", u"\u00C3\u0041"},
    {"\x80", u"\u0080"},
    {"a\xE2\x82\xAC" "b", u"a\u20ACb"},
    {"\xE2\x82" "x", u"\u00E2\u0082x"},             // cut sequence: its bytes and the intruder as Latin-1
    {"\xC3\xC3\xA9", u"\u00C3\u00C3\u00A9"},         // the intruding lead byte does not start a sequence
    {"\xFE\xFF\xBF", u"\u00FE\u00FF\u00BF"},
    {"\xC0\x80", std::u16string(1, u'\0')},          // overlong forms are not refused
    {"\xF4\x90\x80\x80", u"\uFFFD"},                 // beyond U+10FFFF
    {"\xF8\x88\x80\x80\x80", u"\uFFFD"},
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

TEST(Utf8, ResultsCountTheUnitsAndTheStateMarksMalformedInput)
{
    WSTRING w;
    UTF8STATE state = {};
    auto feed = [&](const char* bytes, int count) {
        return UNICODE::FromUtf8(reinterpret_cast<const unsigned char*>(bytes), count, w, &state);
    };
    EXPECT_EQ(0, feed("\xF0\x9F", 2));
    EXPECT_EQ(2, feed("\x98\x80", 2));
    EXPECT_EQ(1, feed("z", -1));
    EXPECT_EQ(0, state.Error);
    EXPECT_EQ(2, feed("\xC3(", 2));
    EXPECT_EQ(1, state.Error);
    EXPECT_EQ(u"\xD83D\xDE00z\u00C3(", Units(w));
    state.Expected = 77;  // corrupt: cleared before use
    EXPECT_EQ(1, feed("q", 1));
    EXPECT_EQ(u'q', w[w.Length() - 1]);
}

TEST(Utf8, RandomTextAgreesWithTheSystemAndRandomBytesDecodeTheSameInPieces)
{
    std::mt19937 random(1234);
    for (int round = 0; round < 200; ++round)
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

        std::string bytes(1 + random() % 24, '\0');
        for (char& b : bytes)
            b = static_cast<char>(0x80 + random() % 128);
        std::u16string whole = Decode(bytes);
        EXPECT_LE(whole.size(), bytes.size());
        EXPECT_EQ(whole, Decode(bytes, {static_cast<int>(random() % (bytes.size() + 1))})) << "round " << round;
    }
}

TEST(Utf8, EncodingGoesUnitByUnitAndChecksItsBuffer)
{
    // Units are encoded one by one, so text without surrogates matches the system...
    std::u16string bmp = u"A\u00E9\u07FF\u0800\u20AC\uFFFD\uFFFF";
    EXPECT_EQ(SystemNarrow(CP_UTF8, bmp), Bytes(STRING(bmp.c_str(), UNICODE_CPUTF8)));
    // ...and a surrogate pair becomes two three-byte sequences.
    STRING utf8(WSTRING(u"\xD83D\xDE00"), UNICODE_CPUTF8);
    EXPECT_EQ("\xED\xA0\xBD\xED\xB8\x80", Bytes(utf8));
    EXPECT_EQ(UNICODE_CPUTF8, utf8.GetCodePage());

    unsigned char out[5];
    EXPECT_EQ(4, UNICODE::ToUtf8(0x1F600, out, 5));
    EXPECT_EQ(std::string("\xF0\x9F\x98\x80"), std::string(reinterpret_cast<char*>(out)));
    ASSERTSPY spy;
    out[0] = 'x';
    EXPECT_EQ(0, UNICODE::ToUtf8(0x41, out, 3));
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("outmax>=4", spy.Last().Condition);
    EXPECT_EQ(0, out[0]);

    // WSTRING::ToUtf8 keeps the bytes that fit and drops the rest.
    WSTRING w(u"a\u00E9\u20AC");    // 1 + 2 + 3 bytes
    char buffer[16];
    const std::pair<int, std::string> cases[] = {
        {1, ""}, {2, "a"}, {3, "a\xC3"}, {4, "a\xC3\xA9"}, {6, "a\xC3\xA9\xE2\x82"}, {8, "a\xC3\xA9\xE2\x82\xAC"}};
    for (const auto& c : cases)
    {
        memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(static_cast<int>(c.second.size()), w.ToUtf8(buffer, c.first)) << c.first;
        EXPECT_EQ(c.second, std::string(buffer)) << c.first;
    }
}

TEST(WideString, ConversionsAndAssignmentByCodePage)
{
    EXPECT_EQ(u"\u0439", Units(WSTRING(STRING("\xE9", 1251))));
    EXPECT_EQ(u"\u00E9", Units(WSTRING("\xC3\xA9", UNICODE_CPUTF8)));
    EXPECT_EQ(u"\u00C3\u00A9", Units(WSTRING("\xC3\xA9", UNICODE_CPFLAT)));
    EXPECT_EQ(SystemWide(CP_ACP, "x\x80\xE9"), Units(WSTRING("x\x80\xE9", UNICODE_CPSYSTEM)));
    EXPECT_EQ(u"\uAC00A", Units(WSTRING("\xB0\xA1" "A", 949)));   // double-byte text through the system
    EXPECT_EQ(u"ab", Units(WSTRING(u"abc", 2)));
    EXPECT_TRUE(WSTRING(u"").IsAllocated());

    const std::u16string text = u"A\u00E9\u20AC\u0436\u4E00";
    EXPECT_EQ(SystemNarrow(1252, text), Bytes(STRING(text.c_str(), 1252)));
    EXPECT_EQ(SystemNarrow(CP_ACP, text), Bytes(STRING(text.c_str(), UNICODE_CPSYSTEM)));
    EXPECT_EQ(SystemNarrow(CP_ACP, text), Bytes(STRING(text.c_str(), 1000)));
    EXPECT_EQ(std::string("A\xE9\xAC\x36\x00", 5), Bytes(STRING(text.c_str(), UNICODE_CPFLAT)));
    EXPECT_EQ("A\x88\xE6?", Bytes(STRING(u"A\u20AC\u0436\u4E00", 1251)));
    EXPECT_EQ("\xB0\xA1", Bytes(STRING(u"\uAC00", 949)));
    // Long texts leave the 2048-byte buffer for one of the exact size.
    EXPECT_EQ(std::string(5000, '\xE9'), Bytes(STRING(std::u16string(5000, u'\u00E9').c_str(), 1252)));
    EXPECT_EQ(std::string("a\0b", 3), Bytes(STRING(WSTRING(u"a\0b", 3), 1252)));
    EXPECT_FALSE(STRING(WSTRING(), 1252).IsAllocated());
    EXPECT_EQ(1251, STRING(u"x", 1251).GetCodePage());

    WSTRING w(u"old");
    w = "\x80x";
    EXPECT_EQ(u"\u20ACx", Units(w));
    w = STRING("\xE0", 866);
    EXPECT_EQ(u"\u0440", Units(w));
    w = STRING();
    EXPECT_FALSE(w.IsAllocated());
}

TEST(WideString, EditingFollowsAStandardStringModel)
{
    WSTRING w;
    w.Append(u'a');
    w.Append("\xE9", 1252);
    w.Append(u"\u20ACxyz", 2);
    w.Append(WSTRING(u"ok"));
    std::u16string model = u"a\u00E9\u20ACxok";
    EXPECT_EQ(model, Units(w));
    w.Insert(u"--", 1);
    model.insert(1, u"--");
    w.Insert(u"!", w.Length());
    model += u"!";
    w.Insert(u"never", w.Length() + 1);
    EXPECT_EQ(model, Units(w));
    w.DeleteLeft(2);
    w.DeleteRight(1);
    model = model.substr(2, model.size() - 3);
    EXPECT_EQ(1, w.Truncate(3));
    EXPECT_EQ(0, w.Truncate(9));
    EXPECT_EQ(model.substr(0, 3), Units(w));
    w.DeleteLeft(99);
    EXPECT_EQ(u"", Units(w));

    WSTRING self(u"0123456789");  // appending its own text while the buffer grows
    for (int i = 0; i < 6; ++i)
        self.Append(self.Text(), self.Length());
    EXPECT_EQ(640, self.Length());
    EXPECT_EQ(u'9', self[639]);
    EXPECT_EQ(0, self.Text()[640]);

    WSTRING t(u" \t x y \t");
    t.Trim('l', u" \t");
    EXPECT_EQ(u"x y \t", Units(t));
    t.Trim('R', u" \t");
    EXPECT_EQ(u"x y", Units(t));
    // Replacement text is never searched again; case counts.
    WSTRING r(u"Aaa");
    r.Replace(u"a", u"aa");
    EXPECT_EQ(u"Aaaaa", Units(r));
    r.Replace(u"aa", u"\u20AC");
    r.Replace(u"\u20AC", u"");
    EXPECT_EQ(u"A", Units(r));
}

TEST(WideString, BrokenPreconditionsAssertOnceAndChangeNothing)
{
    const std::pair<const char*, void (*)(WSTRING&)> cases[] = {
        {"i>=0 && i<this->StrLen", [](WSTRING& w) { w[3] = u'x'; }},
        {"i>=0 && i<this->StrLen", [](WSTRING& w) { EXPECT_EQ(0, static_cast<const WSTRING&>(w)[-1]); }},
        {"newlength>=0", [](WSTRING& w) { w.Truncate(-1); }},
        {"howmany>=0", [](WSTRING& w) { w.DeleteLeft(-1); }},
        {"howmany>=0", [](WSTRING& w) { w.DeleteRight(-1); }},
        {"wtext!=wbuf", [](WSTRING& w) { w.Insert(w.Text() + 1, 0); }},
        {"how=='L' || how=='R' || how=='B'", [](WSTRING& w) { w.Trim('x', u" "); }},
    };
    for (const auto& c : cases)
    {
        ASSERTSPY spy;
        WSTRING w(u"abc");
        c.second(w);
        ASSERT_EQ(1u, spy.Count()) << c.first;
        EXPECT_EQ(c.first, spy.Last().Condition);
        EXPECT_EQ(u"abc", Units(w)) << c.first;
    }
    ASSERTSPY spy;
    WSTRING w(u"abc");
    w[3] = u'x';
    EXPECT_EQ("i= 3, len= 3, buf= abc", spy.Last().Info);
    // A code page passed in the length's place.
    EXPECT_FALSE(STRING(u"text", UNICODE_CPSYSTEM, 1252).IsAllocated());
    EXPECT_EQ("length!=UNICODE_CPSYSTEM && length!=UNICODE_CPFLAT", spy.Last().Condition);
    EXPECT_FALSE(WSTRING(u"text", UNICODE_CPFLAT).IsAllocated());
    EXPECT_EQ("len!=UNICODE_CPSYSTEM && len!=UNICODE_CPFLAT", spy.Last().Condition);
}

// Case-insensitive comparison is also exercised by the WSTRINGARRAY sorts and finds.
TEST(WideString, SearchTokensCaseAndNullTexts)
{
    WSTRING w(u"a,b,,\u00E9d,b");
    EXPECT_EQ(2, w.Pos(u'b'));
    EXPECT_EQ(8, w.Pos(u"b", 3));
    EXPECT_EQ(-1, w.Pos(u"b", 9));
    EXPECT_EQ(4, w.Pos(u"", 4));
    EXPECT_EQ(5, w.TokenCount(u","));
    EXPECT_EQ(u"\u00E9d", Units(w.Token(3, u",")));
    EXPECT_TRUE(w.Token(2, u",").IsAllocated());
    EXPECT_FALSE(w.Token(7, u",").IsAllocated());
    EXPECT_TRUE(w.Token(7, u",", 0x10000).IsAllocated());
    EXPECT_EQ(u",\u00E9d,b", Units(w.Token(2, u",", 1)));
    EXPECT_EQ(u"b", Units(w.Mid(8, 100)));
    EXPECT_FALSE(w.Mid(9).IsAllocated());

    WSTRING c(u"abc\u00E9\u00FF\u0101\u00F7");
    c.ToUpper();
    EXPECT_EQ(u"ABC\u00C9\u00FF\u0101\u00F7", Units(c));
    c.ToLower();
    EXPECT_EQ(u"abc\u00E9\u00FF\u0101\u00F7", Units(c));
    EXPECT_EQ(1, WSTRING(u"pl\u00E4in").HasAny(0xFF80));
    EXPECT_EQ(0, WSTRING(u"pl\u00E4in").HasAny(0xFF00));

    EXPECT_EQ(1, WSTRING::Compare(u"x", 0, 1));
    EXPECT_EQ(0, WSTRING::Compare(0, u"<null>", 0));
    _putenv("TARNIFAILONNULL=3");  // asked to, the null guard reports the argument's label
    ASSERTSPY spy;
    EXPECT_EQ(1, WSTRING::Compare(u"x", 0, 0));
    _putenv("TARNIFAILONNULL=0");
    STRING::NullGuard(0);
    _putenv("TARNIFAILONNULL=");
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("wstricmp p2", spy[0].Info);
}

TEST(WideString, FormatUsesTheStackBufferOrTheHeap)
{
    WSTRING w;
    EXPECT_EQ(8, w.Format(u"%d-%s-%hs", 42, u"\u20AC", "abc"));
    EXPECT_EQ(2, w.AppendFormat(u"%02x", 10));
    EXPECT_EQ(u"42-\u20AC-abc0a", Units(w));
    for (int size : {1022, 1023, 1024, 1025, 5000})
    {
        std::u16string big(size, u'\u00E9');
        EXPECT_EQ(size + 1, w.Format(u"%s!", big.c_str())) << size;
        EXPECT_EQ(size, w.AppendFormat(u"%s", big.c_str())) << size;
        EXPECT_EQ(big + u"!" + big, Units(w)) << size;
    }
    WSTRING self(std::u16string(2000, u'x').c_str());  // its own text as the argument
    self.Format(u"<%s>", self.Text());
    EXPECT_EQ(u"<" + std::u16string(2000, u'x') + u">", Units(self));
}
