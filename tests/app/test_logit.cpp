// The diagnostic log: options, line format, markers, levels, threads; the
// assertion handler's records; the bounded formatting routines.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "framework/app/crashdump.h"
#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "framework/text/strings.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    struct LOGLINE
    {
        char Thread;        // ':' first thread, '#' any other
        std::string Body;   // text behind the header
    };

    const std::regex HeaderPattern(R"(^\[(\d{3}\.\d{3})([:#])([0-9a-f]{4,5})\] (.*)$)");

    std::vector<LOGLINE> ParseLog(const std::string& text)
    {
        std::vector<LOGLINE> lines;
        for (const std::string& line : SplitLines(text))
        {
            std::smatch match;
            if (std::regex_match(line, match, HeaderPattern))
                lines.push_back({match[2].str()[0], match[4].str()});
            else
                lines.push_back({'?', line});
        }
        return lines;
    }

    std::vector<std::string> Bodies(const std::vector<LOGLINE>& lines, size_t from = 0)
    {
        std::vector<std::string> bodies;
        for (size_t i = from; i < lines.size(); i++)
            bodies.push_back(lines[i].Body);
        return bodies;
    }

    std::string DocumentsFile(const std::string& name)
    {
        return std::string(OSYS::GetSystemPath(18).Text()) + name;
    }

    // A log file of the test's own; Close() returns what was written.
    class LogTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            LogitLevel = 0;
            Path = Dir.File("test.log");
            ASSERT_EQ(1, LogitOption(("/LOGIT:" + Path).c_str()));
        }
        void TearDown() override
        {
            LogitOption("/LOGITCLOSE");
            LogitLevel = 0;
        }
        std::string CloseAndRead()
        {
            LogitOption("/LOGITCLOSE");
            return ReadFile(Path);
        }
        // The lines the test wrote, behind the two lines that open every log.
        std::vector<std::string> TestLines()
        {
            std::vector<LOGLINE> lines = ParseLog(CloseAndRead());
            EXPECT_GE(lines.size(), 2u);
            return Bodies(lines, 2);
        }

        TEMPDIR Dir{"log"};
        std::string Path;
    };
}

TEST_F(LogTest, OpeningWritesTheStartLinesWithProgramSizeAndDate)
{
    std::vector<LOGLINE> lines = ParseLog(CloseAndRead());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0].Body, std::regex(R"(Logging starts at \d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})")))
        << lines[0].Body;
    std::string self = SelfPath();
    std::string size = std::to_string(GetFileSize(CreateFileA(self.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                                                              OPEN_EXISTING, 0, 0), 0));
    EXPECT_EQ(0u, lines[1].Body.find("Running as " + self + " (" + size + " bytes, ")) << lines[1].Body;
    EXPECT_TRUE(std::regex_search(lines[1].Body, std::regex(R"(, \d{4}-\d{2}-\d{2}  \d{2}:\d{2}:\d{2}\)$)")));
    EXPECT_EQ(':', lines[0].Thread);
}

TEST_F(LogTest, LineEndsAreCrLfAndPartialTextsJoinOneLine)
{
    Logit("partial");
    Logit("end\n");
    Logit("inner\nfinal\n");
    std::string text = CloseAndRead();
    std::vector<std::string> lines = Bodies(ParseLog(text), 2);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("partialend", lines[0]);
    EXPECT_EQ("inner", lines[1].substr(0, 5));
    // Only the final line feed becomes CR LF; the inner one stays bare.
    EXPECT_NE(std::string::npos, text.find("inner\nfinal\r\n"));
    EXPECT_EQ(std::string::npos, text.find("partial\r\n"));
}

TEST_F(LogTest, FormatsArgumentsAndCopiesTextsWithoutPercentAsTheyAre)
{
    Logit("value %d and %s\n", 42, "text");
    Logit("%s", "plain\n");
    Logit("%s", (const char*)0);
    Logit("\n");
    Logit("no conversions here\n");
    Logit("%s\n", "100% kept");
    EXPECT_EQ((std::vector<std::string>{"value 42 and text", "plain", "(null)", "no conversions here", "100% kept"}),
              TestLines());
}

TEST_F(LogTest, NestingMarkersIndentTheLinesBetweenThem)
{
    Logit("[>>]A\n");
    Logit("B\n");
    Logit("[>>]C\n");
    Logit("D\n");
    Logit("[<<]E\n");
    Logit("[<<]F\n");
    Logit("[<<]G\n");   // depth 0: the marker is written as it is
    EXPECT_EQ((std::vector<std::string>{"A", "| B", "| C", "| | D", "| E", "F", "[<<]G"}), TestLines());
}

TEST_F(LogTest, NestingStopsAtDepthThirtyAndShowsTheMarker)
{
    for (int i = 0; i < 15; i++)
        Logit("[>>]open\n");
    Logit("[>>]too deep\n");
    Logit("inside\n");
    for (int i = 0; i < 15; i++)
        Logit("[<<]close\n");
    std::vector<std::string> lines = TestLines();
    ASSERT_EQ(32u, lines.size());
    std::string bars30 = "| | | | | | | | | | | | | | | ";
    EXPECT_EQ(bars30 + "[>>]too deep", lines[15]);
    EXPECT_EQ(bars30 + "inside", lines[16]);
    EXPECT_EQ("close", lines[31]);
}

TEST_F(LogTest, EmphasisGroupsAreSeparatedByEmptyLines)
{
    Logit("plain before\n");
    Logit("[!1]one\n");
    Logit("[!1]one again\n");
    Logit("[!2]two\n");
    Logit("after\n");
    EXPECT_EQ((std::vector<std::string>{"plain before", "one", "one again", "", "", "two", "", "after"}), TestLines());
}

TEST_F(LogTest, LevelsAreOredAndFilterLogitIf)
{
    LogitOption("/LOG:2");
    LogitOption("-log:4");
    EXPECT_EQ(6u, LogitLevel);
    EXPECT_EQ(0, LogitIf(7, "seven\n"));
    EXPECT_EQ(1, LogitIf(6, "six\n"));
    EXPECT_EQ(1, LogitIf(6, 0));            // a null format only asks
    EXPECT_EQ(0, LogitIf(7, 0));
    EXPECT_EQ(0, LogitIf(0x20 | 1, "category not set\n"));
    LogitOption("/D:32");
    EXPECT_EQ(1, LogitIf(0x20 | 1, "category set\n"));
    EXPECT_EQ(0, LogitIf(0x40 | 1, "other category\n"));
    EXPECT_EQ((std::vector<std::string>{"LogitLevel 00000002", "LogitLevel 00000006", "six", "LogitLevel 00000026",
                                        "category set"}),
              TestLines());
}

TEST_F(LogTest, ALineOverTheBufferIsCutAndTheNextTextContinuesIt)
{
    std::string huge(10000, 'x');
    Logit("%s\n", huge.c_str());
    Logit("next\n");
    std::string text = CloseAndRead();
    std::vector<std::string> raw = SplitLines(text);
    ASSERT_EQ(3u, raw.size());
    // 8191 bytes of the cut line, then the next text without a header.
    EXPECT_EQ(8191u + 4u, raw[2].size());
    EXPECT_EQ("next", raw[2].substr(8191));
    EXPECT_EQ(std::string(20, 'x'), raw[2].substr(8191 - 20, 20));
}

TEST_F(LogTest, ALineThatJustFitsStillEndsWithCrLf)
{
    // Header "[000.000:xxxx] " is 15 bytes for a 4-digit thread id.
    char header[32];
    int headerLength = snprintf(header, sizeof(header), "[000.000:%04x] ", (unsigned)(GetCurrentThreadId() & 0xFFFFF));
    std::string text(8191 - headerLength - 1, 'y');
    Logit("%s\n", text.c_str());
    Logit("after\n");
    std::vector<std::string> raw = SplitLines(CloseAndRead());
    ASSERT_EQ(4u, raw.size());
    // The whole line with CR LF is 8191 bytes: one text byte made room for the CR.
    EXPECT_EQ(8191u - 2u, raw[2].size());
    EXPECT_NE(std::string::npos, raw[3].find("] after"));
}

TEST_F(LogTest, SuppressedPrefixDropsOneMessageUnlessPersistent)
{
    LogitSuppress("Skip", 0);
    EXPECT_EQ(0, Logit("Skip me\n"));
    EXPECT_EQ(1, Logit("Skip me not\n"));
    LogitSuppress("Noisy", 1);
    EXPECT_EQ(0, Logit("Noisy 1\n"));
    EXPECT_EQ(0, LogitIf(0, "Noisy 2\n"));
    LogitSuppress(0, 0);
    EXPECT_EQ((std::vector<std::string>{"Skip me not"}), TestLines());
}

TEST_F(LogTest, SecondThreadLinesAreTaggedAndNeverTorn)
{
    Logit("[>>]main holds the depth\n");
    std::atomic<bool> go{false};
    const int perThread = 1500;
    std::thread other([&] {
        while (!go)
            Sleep(0);
        for (int i = 0; i < perThread; i++)
            Logit("other %04d %s\n", i, std::string(60, 'o').c_str());
    });
    go = true;
    for (int i = 0; i < perThread; i++)
        Logit("main %04d %s\n", i, std::string(60, 'm').c_str());
    other.join();
    Logit("[<<]main done\n");

    std::vector<LOGLINE> lines = ParseLog(CloseAndRead());
    int mainCount = 0, otherCount = 0;
    std::regex mainLine(R"(\| main \d{4} m{60})"), otherLine(R"(@ other \d{4} o{60})");
    for (size_t i = 3; i + 1 < lines.size(); i++)
    {
        if (lines[i].Thread == ':')
        {
            EXPECT_TRUE(std::regex_match(lines[i].Body, mainLine)) << lines[i].Body;
            mainCount++;
        }
        else
        {
            EXPECT_EQ('#', lines[i].Thread);
            EXPECT_TRUE(std::regex_match(lines[i].Body, otherLine)) << lines[i].Body;
            otherCount++;
        }
    }
    EXPECT_EQ(perThread, mainCount);
    EXPECT_EQ(perThread, otherCount);
    EXPECT_EQ("main done", lines.back().Body);
}

TEST_F(LogTest, TempLogIsDeletedWhenClosed)
{
    std::string temp = Dir.File("temp.log");
    LogitOption(("-LOGITTEMP:" + temp).c_str());
    Logit("in the temporary log\n");
    EXPECT_TRUE(FileExists(temp));
    EXPECT_NE(std::string::npos, ReadFile(temp).find("in the temporary log"));
    LogitOption("/LOGITCLOSE");
    EXPECT_FALSE(FileExists(temp));
    EXPECT_TRUE(FileExists(Path)) << "only the temporary log goes";
}

TEST_F(LogTest, AppendKeepsTheOldTextAndSeparatesTheNew)
{
    Logit("first run\n");
    LogitOption(("/LOGITAPPEND:" + Path).c_str());
    Logit("second run\n");
    std::vector<std::string> lines = Bodies(ParseLog(CloseAndRead()));
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ("first run", lines[2]);
    // Opening again logs how it found the path; then come the separator and the start lines.
    size_t separator = 3;
    while (separator < lines.size() && !lines[separator].empty())
        separator++;
    ASSERT_LT(separator + 3, lines.size());
    EXPECT_EQ(0u, lines[separator + 1].find("Logging starts at "));
    EXPECT_EQ(0u, lines[separator + 2].find("Running as "));
    EXPECT_EQ("second run", lines.back());
}

TEST(LogOptions, UnknownArgumentsAreNotLogOptions)
{
    EXPECT_EQ(0, LogitOption("/INSTALL"));
    EXPECT_EQ(0, LogitOption("/LOGITX"));
    EXPECT_EQ(0, LogitOption("LOGIT"));
    EXPECT_EQ(0, LogitOption(0));
}

TEST(LogOptions, UnwritablePathLeavesTheLogOff)
{
    TEMPDIR dir("nolog");
    LogitOption(("/LOGIT:" + dir.File("missing\\sub\\x.log")).c_str());
    EXPECT_EQ(0, Logit("nobody hears this\n"));
    EXPECT_FALSE(LogitIsEnabled());
    EXPECT_FALSE(FileExists(dir.File("missing")));
}

TEST(LogOptions, RelativeNamesGoToTheDocumentsFolderAndEmptyValueToTheDefault)
{
    std::string relative = "tarni-logit-relative-test.log";
    LogitOption(("/LOGIT:" + relative).c_str());
    Logit("relative\n");
    LogitOption("/LOGITCLOSE");
    EXPECT_NE(std::string::npos, ReadFile(DocumentsFile(relative)).find("relative"));
    DeleteFileA(DocumentsFile(relative).c_str());

    std::string defaultLog = DocumentsFile("Tarni_APPLICATION_logit.log");
    DeleteFileA(defaultLog.c_str());
    LogitOption("/LOGIT:");
    Logit("default place\n");
    LogitOption("/LOGITCLOSE");
    EXPECT_NE(std::string::npos, ReadFile(defaultLog).find("default place"));
    DeleteFileA(defaultLog.c_str());
}

TEST(LogOptions, LevelWithoutLogOpensTheDefaultLog)
{
    std::string defaultLog = DocumentsFile("Tarni_APPLICATION_logit.log");
    DeleteFileA(defaultLog.c_str());
    LogitLevel = 0;
    LogitOption("/LOG:3");
    LogitOption("/LOGITCLOSE");
    std::vector<std::string> lines = Bodies(ParseLog(ReadFile(defaultLog)));
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(0u, lines[0].find("Logging starts at "));
    EXPECT_EQ(0u, lines[1].find("Running as "));
    EXPECT_EQ("LogitLevel 00000003", lines[2]);
    DeleteFileA(defaultLog.c_str());
    LogitLevel = 0;

    // /D: sets the level without opening anything.
    LogitOption("/D:1");
    EXPECT_EQ(1u, LogitLevel);
    EXPECT_FALSE(LogitIsEnabled());
    LogitLevel = 0;
}

TEST(LogOptions, UniqueNameCarriesDateTimeMillisecondsAndProcessId)
{
    LogitOption("/LOGIT:unique");
    LogitOption("/LOGITCLOSE");
    char pattern[256];
    snprintf(pattern, sizeof(pattern), R"(Tarni_APPLICATION_Logit_\d{4}-\d{2}-\d{2}_\d{2}-\d{2}-\d{2}-\d{1,3}_%X\.log)",
             (unsigned)GetCurrentProcessId());
    std::string documents = OSYS::GetSystemPath(18).Text();
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((documents + "Tarni_APPLICATION_Logit_*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    int matches = 0;
    do
    {
        if (std::regex_match(found.cFileName, std::regex(pattern)))
        {
            matches++;
            DeleteFileA((documents + found.cFileName).c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    EXPECT_EQ(1, matches);
}

TEST(LogOptions, CrashDumpOptionRaisesTheLevel)
{
    LogitOption("/CRASHDUMP:0");
    EXPECT_EQ(0, CRASHDUMP::Level());
    LogitOption("/CRASHDUMPX");
    EXPECT_EQ(2, CRASHDUMP::Level());
    LogitOption("-crashdump:7");
    EXPECT_EQ(7, CRASHDUMP::Level());
    LogitOption("/CRASHDUMP:3");
    EXPECT_EQ(7, CRASHDUMP::Level());
}

namespace
{
    // Runs the handler for real (no spy), with dialogs switched off.
    class AssertFileTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            Previous = AssertSetHook(0);
            LogitOption("/NOASSERT");
            OldDir = OSYS::GetCurrentDirectory().Text();
            SetCurrentDirectoryA(Dir.Path().c_str());
        }
        void TearDown() override
        {
            SetCurrentDirectoryA(OldDir.c_str());
            LogitOption("/NOASSERT");
            AssertSetHook(Previous);
            gLocale = 9;
        }
        ASSERTHOOK Previous = 0;
        std::string OldDir;
        TEMPDIR Dir{"assert"};
    };
}

TEST_F(AssertFileTest, RecordsConditionLocationInfoAndLastError)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(1, AssertHandler(0, "x>0", "C:\\src/dir\\module.cpp", 77, "detail text", 0));
    EXPECT_EQ(1, AssertHandler(0, "FALSE", "plain.cpp", 5, 0, 0));
    EXPECT_EQ(1, AssertHandler(1, "never", "plain.cpp", 6, 0, 0));

    // Written in text mode: CR LF on disk.
    EXPECT_NE(std::string::npos, ReadFile(Dir.File("assert.log")).find("detail text\r\n"));
    std::string text = ReadTextFile(Dir.File("assert.log"));
    std::string errorText = OSYS::GetErrorText(ERROR_FILE_NOT_FOUND).Text();
    std::regex first("--- Tarni Application \\(0\\.00\\) --- \\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} ---\n\n"
                     "    Condition: x>0\n    Location : module.cpp line 77\n    Add. Info: detail text\n"
                     "    GetLastError\\(\\): 2 \\(");
    EXPECT_TRUE(std::regex_search(text, first)) << text;
    EXPECT_NE(std::string::npos, text.find("GetLastError(): 2 (" + errorText + ")\n\n\n"));
    // An unconditional failure does not report the last error.
    EXPECT_NE(std::string::npos,
              text.find("    Condition: FALSE\n    Location : plain.cpp line 5\n    Add. Info: <null>\n    \n\n\n"));
    EXPECT_EQ(std::string::npos, text.find("never"));
}

TEST_F(AssertFileTest, GermanTextsWhenTheLanguageIsGerman)
{
    gLocale = 7;
    AssertHandler(0, "FALSE", "modul.cpp", 9, "Zusatz", 0);
    EXPECT_NE(std::string::npos,
              ReadTextFile(Dir.File("assert.log")).find("    Bedingung: FALSE\n    Datei: modul.cpp Zeile 9\n    Info: Zusatz\n"));
}

TEST_F(AssertFileTest, FailedAssertionIsLoggedToo)
{
    std::string log = Dir.File("a.log");
    LogitOption(("/LOGIT:" + log).c_str());
    AssertHandler(0, "FALSE", "where.cpp", 3, "why", 1);
    LogitOption("/LOGITCLOSE");
    EXPECT_NE(std::string::npos,
              ReadFile(log).find("*** ASSERTION FAILED: \n    Condition: FALSE\n    Location : where.cpp line 3\n"));
}

TEST(Format, PrintTerminatesAndReportsTheLengthNeeded)
{
    char buffer[8];
    memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(11, FORMAT::Print(buffer, sizeof(buffer), "%s-%d", "hello", 12345));
    EXPECT_STREQ("hello-1", buffer);
    EXPECT_EQ(3, FORMAT::Print(buffer, 4, "abc"));
    EXPECT_STREQ("abc", buffer);
    EXPECT_EQ(5, FORMAT::Print(buffer, 1, "%s", "12345"));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(6, FORMAT::Print(buffer, sizeof(buffer), "%s", (const char*)0));
    EXPECT_STREQ("(null)", buffer);
    EXPECT_EQ(2, FORMAT::Print(0, 0, "%d", 10));
}

TEST(Format, CopyAndAppendFollowStrlcpyAndTheirCheckedTwins)
{
    char buffer[6];
    EXPECT_EQ(5u, FORMAT::Copy(buffer, "abcde", sizeof(buffer)));
    EXPECT_STREQ("abcde", buffer);
    EXPECT_EQ(6u, FORMAT::Copy(buffer, "abcdef", sizeof(buffer)));
    EXPECT_STREQ("abcde", buffer);
    EXPECT_EQ(-1, FORMAT::CopyChecked(buffer, "abcdef", sizeof(buffer)));
    EXPECT_EQ(2, FORMAT::CopyChecked(buffer, "ab", sizeof(buffer)));
    EXPECT_EQ(5u, FORMAT::Append(buffer, "cde", sizeof(buffer)));
    EXPECT_STREQ("abcde", buffer);
    EXPECT_EQ(-1, FORMAT::AppendChecked(buffer, "f", sizeof(buffer)));
    EXPECT_STREQ("abcde", buffer);

    wchar_t wide[4];
    EXPECT_EQ(5u, FORMAT::CopyW(wide, L"vwxyz", 4));
    EXPECT_STREQ(L"vwx", wide);
    EXPECT_EQ(-1, FORMAT::AppendCheckedW(wide, L"!", 4));
    FORMAT::CopyW(wide, L"a", 4);
    EXPECT_EQ(3, FORMAT::AppendCheckedW(wide, L"bc", 4));
    EXPECT_STREQ(L"abc", wide);
}

TEST(Format, AllocateHandlesOutputBeyondTheStackBuffer)
{
    std::string big(5000, 'z');
    char* text = FORMAT::Allocate("<%s|%d>", big.c_str(), 7);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ("<" + big + "|7>", std::string(text));
    free(text);
    text = FORMAT::Allocate("short %d", 1);
    EXPECT_STREQ("short 1", text);
    free(text);
}

namespace
{
    // Holds Ctrl and Shift down in this thread's key state while in scope.
    class CTRLSHIFT
    {
    public:
        explicit CTRLSHIFT(bool alt = false)
        {
            GetKeyboardState(Saved);
            BYTE keys[256];
            memcpy(keys, Saved, sizeof(keys));
            keys[VK_CONTROL] = keys[VK_SHIFT] = 0x80;
            keys[VK_MENU] = alt ? 0x80 : 0;
            SetKeyboardState(keys);
        }
        ~CTRLSHIFT() { SetKeyboardState(Saved); }

    private:
        BYTE Saved[256];
    };
}

TEST(HotKeys, CtrlShiftF5OpensAndF8ClosesTheDefaultLog)
{
    std::string defaultLog = DocumentsFile("Tarni_APPLICATION_logit.log");
    DeleteFileA(defaultLog.c_str());
    EXPECT_EQ(0, DiagnosticHotKeys(WM_KEYDOWN, VK_F5, 0)) << "no modifiers, no action";
    EXPECT_FALSE(LogitIsEnabled());
    {
        CTRLSHIFT alt(true);
        EXPECT_EQ(0, DiagnosticHotKeys(WM_KEYDOWN, VK_F5, 0)) << "Alt keeps the keys free";
    }
    CTRLSHIFT keys;
    EXPECT_EQ(0, DiagnosticHotKeys(WM_KEYUP, VK_F5, 0));
    EXPECT_EQ(0, DiagnosticHotKeys(WM_KEYDOWN, VK_F4, 0));
    EXPECT_EQ(1, DiagnosticHotKeys(WM_KEYDOWN, VK_F5, 0));
    EXPECT_TRUE(LogitIsEnabled());
    Logit("opened by the hot key\n");

    // A list view's key notification counts as a key press too.
    NMLVKEYDOWN notify = {};
    notify.hdr.code = (UINT)-155;
    notify.wVKey = VK_F8;
    EXPECT_EQ(1, DiagnosticHotKeys(WM_NOTIFY, 0, (intptr_t)&notify));
    EXPECT_FALSE(LogitIsEnabled());
    EXPECT_NE(std::string::npos, ReadFile(defaultLog).find("opened by the hot key"));
    DeleteFileA(defaultLog.c_str());
}
