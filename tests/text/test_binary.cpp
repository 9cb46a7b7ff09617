// BINARY: whole-file load and save, base64, hex, URL and quoted-printable forms.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "framework/text/strings.h"
#include "tests/support/testfiles.h"

using namespace TESTSUPPORT;

namespace
{
    std::string Str(const STRING& s) { return std::string(s.Text(), s.Length()); }
    BINARY Bytes(const std::string& bytes) { return BINARY(bytes.data(), (int)bytes.size()); }
}

TEST(Base64, VectorsLineBreaksCutOffAndGarbage)
{
    const char* encode[][2] = {{"Man", "TWFu"}, {"Ma", "TWE="}, {"M", "TQ=="}};
    for (const auto& row : encode)
        EXPECT_EQ(row[1], Str(Bytes(row[0]).ToBase64(0)));
    std::string line;  // 57 bytes fill one line of 76 characters
    for (int i = 0; i < 19; i++)
        line += "eXl5";
    EXPECT_EQ(line + "\r\n", Str(Bytes(std::string(57, 'y')).ToBase64(1)));
    EXPECT_EQ(line + "\r\neQ==\r\n", Str(Bytes(std::string(58, 'y')).ToBase64(1)));

    // Stray bytes are skipped, padding ends the data, a cut-off group gives what it holds.
    const char* decode[][2] = {{"TW\r\nFu", "Man"}, {"TQ==garbage", "M"}, {"TWF", "Ma"},
                               {"TW", "M"}, {"T", ""}, {"!! ??", ""}};
    for (const auto& row : decode)
        EXPECT_EQ(row[1], Str(Bytes(row[0]).FromBase64())) << row[0];
}

TEST(Base64, RoundTripOfRandomBytesOfEveryLengthUpToSeveralChunks)
{
    std::mt19937 random(7);
    for (int length = 0; length < 400; length += length < 8 ? 1 : 61)
    {
        std::string bytes(length, '\0');
        for (char& c : bytes)
            c = (char)random();
        for (int breaks = 0; breaks < 2; breaks++)
        {
            STRING encoded = Bytes(bytes).ToBase64(breaks);
            EXPECT_EQ(bytes, Str(BINARY(encoded.Text(), encoded.Length()).FromBase64())) << length;
        }
    }
}

TEST(ByteForms, HexUrlAndQuotedPrintable)
{
    EXPECT_EQ("00ab", Str(Bytes(std::string("\0\xAB", 2)).ToHex()));
    EXPECT_EQ(std::string("\0\xAB", 2), Str(Bytes("00ab").FromHex()));
    EXPECT_EQ("\x12\xAB", Str(Bytes("12AB3").FromHex())) << "an odd last character is ignored";
    EXPECT_EQ("\x0A", Str(Bytes("ag").FromHex())) << "a pair reads as far as its hex digits go";
    EXPECT_EQ("-_.~Az09%00%E9%20%2F", Str(Bytes(std::string("-_.~Az09\0\xE9 /", 12)).UrlEscape()));
    EXPECT_EQ("ab=c=ZZ=", Str(Bytes("a=\r\nb=3D=\nc=ZZ=").FromQuotedPrintable()));
}

TEST(BinaryFiles, LoadSizesOnceAndFailuresKeepTheContents)
{
    TEMPDIR dir("bin");
    std::string big(200000, 'q');
    big[199999] = 'z';
    WriteFile(dir.File("big.bin"), big);
    BINARY buffer;
    ASSERT_EQ(1, buffer.Load(dir.File("big.bin").c_str(), "rb"));
    EXPECT_EQ(big, std::string((const char*)buffer.Bytes(), buffer.Length()));
    EXPECT_EQ(262144, buffer.Capacity()) << "200000 bytes rounded up to 64 KiB, allocated once";
    EXPECT_EQ(0, buffer.Load(dir.File("missing.bin").c_str(), "rb"));
    EXPECT_EQ(200000, buffer.Length()) << "a failed load keeps the contents";
    EXPECT_EQ(0, Bytes("x").Save((dir.File("nosuchdir") + "/x.bin").c_str(), "w"));
}
