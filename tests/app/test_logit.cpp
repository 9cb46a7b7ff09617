// The diagnostic log: options, line format, markers, levels, threads; the
// assertion handler's records; the diagnostic hot keys.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "framework/app/crashdump.h"
#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    // The texts behind the line headers, without the two lines that open every log.
    std::vector<std::string> Bodies(const std::string& text)
    {
        static const std::regex header(R"(^\[\d{3}\.\d{3}[:#][0-9a-f]{4,5}\] (.*)$)");
        std::vector<std::string> bodies;
        std::smatch match;
        for (const std::string& line : SplitLines(text))
            bodies.push_back(std::regex_match(line, match, header) ? match[1].str() : line);
        bodies.erase(bodies.begin(), bodies.begin() + std::min<size_t>(2, bodies.size()));
        return bodies;
    }

    // A log file of the test's own; CloseAndRead() returns what was written.
    class LOGTEST : public testing::Test
    {
    protected:
        void SetUp() override { LogitLevel = 0; ASSERT_EQ(1, LogitOption(("/LOGIT:" + Path).c_str())); }
        void TearDown() override { LogitOption("/LOGITCLOSE"); LogitLevel = 0; }
        std::string CloseAndRead() { LogitOption("/LOGITCLOSE"); return ReadFile(Path); }
        std::vector<std::string> TestLines() { return Bodies(CloseAndRead()); }

        TEMPDIR Dir{"log"};
        std::string Path = Dir.File("test.log");
    };
}

// The lines that open a log are checked in test_frame.
TEST_F(LOGTEST, TextsJoinIntoLinesEndingInCrLf)
{
    Logit("partial");
    Logit("end\n");
    Logit("inner\nfinal\n");
    Logit("value %d and %s\n", 42, "text");
    Logit("%s", (const char*)0);
    Logit("\n");
    std::string text = CloseAndRead();
    EXPECT_EQ((std::vector<std::string>{"partialend", "inner", "final", "value 42 and text", "(null)"}),
              Bodies(text));
    // Only the final line feed becomes CR LF; the inner one stays bare.
    EXPECT_NE(std::string::npos, text.find("] inner\nfinal\r\n"));
}

TEST_F(LOGTEST, MarkersIndentUpToDepthThirtyAndEmphasisGetsBlankLines)
{
    for (const char* text : {"[>>]A\n", "B\n", "[>>]C\n", "D\n", "[<<]E\n", "[<<]F\n", "[<<]G\n"})
        Logit(text);
    for (int i = 0; i < 15; i++)
        Logit("[>>]open\n");
    Logit("[>>]too deep\n");
    Logit("inside\n");
    for (int i = 0; i < 15; i++)
        Logit("[<<]close\n");
    for (const char* text : {"plain before\n", "[!1]one\n", "[!1]one again\n", "[!2]two\n", "after\n"})
        Logit(text);

    std::vector<std::string> lines = TestLines();
    ASSERT_EQ(7u + 32u + 8u, lines.size());
    // At depth 0 a closing marker is written as it is.
    EXPECT_EQ((std::vector<std::string>{"A", "| B", "| C", "| | D", "| E", "F", "[<<]G"}),
              std::vector<std::string>(lines.begin(), lines.begin() + 7));
    std::string bars30 = "| | | | | | | | | | | | | | | ";
    EXPECT_EQ(bars30 + "[>>]too deep", lines[7 + 15]);
    EXPECT_EQ(bars30 + "inside", lines[7 + 16]);
    EXPECT_EQ("close", lines[7 + 31]);
    EXPECT_EQ((std::vector<std::string>{"plain before", "one", "one again", "", "", "two", "", "after"}),
              std::vector<std::string>(lines.begin() + 39, lines.end()));
}

TEST_F(LOGTEST, LevelsAreOredAndFilterLogitIf)
{
    LogitOption("/LOG:2");
    LogitOption("-log:4");
    EXPECT_EQ(0, LogitIf(7, "seven\n"));
    EXPECT_EQ(1, LogitIf(6, "six\n"));
    EXPECT_EQ(0, LogitIf(0x20 | 1, "category not set\n"));
    EXPECT_EQ(0, LogitIf(0x20 | 2, "category not set, level bits shared\n"));
    LogitOption("/D:32");
    EXPECT_EQ(1, LogitIf(0x20 | 1, "category set\n"));
    EXPECT_EQ((std::vector<std::string>{"LogitLevel 00000002", "LogitLevel 00000006", "six", "LogitLevel 00000026",
                                        "category set"}),
              TestLines());
}

TEST_F(LOGTEST, LinesAreCutAt8191BytesWithTheirCrLf)
{
    std::string huge(10000, 'x');
    Logit("%s\n", huge.c_str());
    Logit("next\n");
    // A line that just fits: the header "[000.000:xxxx] " is 15 bytes for a 4-digit thread id.
    char header[32];
    int headerLength = snprintf(header, sizeof(header), "[000.000:%04x] ", (unsigned)(GetCurrentThreadId() & 0xFFFFF));
    Logit("%s\n", std::string(8191 - headerLength - 1, 'y').c_str());
    Logit("after\n");
    std::vector<std::string> raw = SplitLines(CloseAndRead());
    ASSERT_EQ(5u, raw.size());
    // 8191 bytes of the cut line, then the next text without a header.
    EXPECT_EQ(8191u + 4u, raw[2].size());
    EXPECT_EQ(std::string(20, 'x') + "next", raw[2].substr(8191 - 20));
    // With CR LF that line is 8191 bytes: one text byte made room for the CR.
    EXPECT_EQ(8191u - 2u, raw[3].size());
    EXPECT_EQ('y', raw[3].back());
    EXPECT_NE(std::string::npos, raw[4].find("] after"));
}

TEST_F(LOGTEST, SuppressedPrefixDropsOneMessageUnlessPersistent)
{
    LogitSuppress("Skip", 0);
    Logit("Skip me\n");
    Logit("Skip me not\n");
    LogitSuppress("Noisy", 1);
    Logit("Noisy 1\n");
    Logit("Noisy 2\n");
    LogitSuppress(0, 0);
    EXPECT_EQ((std::vector<std::string>{"Skip me not"}), TestLines());
}

TEST_F(LOGTEST, SecondThreadLinesAreTaggedAndNeverTorn)
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

    // The first thread's lines carry ':' and its depth, the other's '#' and '@'.
    std::vector<std::string> lines = SplitLines(CloseAndRead());
    const std::regex mainLine(R"(\[[\d.]{7}:[0-9a-f]{4,5}\] \| main \d{4} m{60})"),
        otherLine(R"(\[[\d.]{7}#[0-9a-f]{4,5}\] @ other \d{4} o{60})");
    int counts[2] = {};   // other, main
    for (size_t i = 3; i + 1 < lines.size(); i++)
    {
        bool main = std::regex_match(lines[i], mainLine);
        EXPECT_TRUE(main || std::regex_match(lines[i], otherLine)) << lines[i];
        counts[main]++;
    }
    EXPECT_EQ(perThread, counts[1]);
    EXPECT_EQ(perThread, counts[0]);
    EXPECT_NE(std::string::npos, lines.back().find("] main done"));
}

TEST_F(LOGTEST, TempLogIsDeletedWhenClosed)
{
    std::string temp = Dir.File("temp.log");
    LogitOption(("-LOGITTEMP:" + temp).c_str());
    Logit("in the temporary log\n");
    EXPECT_NE(std::string::npos, ReadFile(temp).find("in the temporary log"));
    LogitOption("/LOGITCLOSE");
    EXPECT_FALSE(FileExists(temp));
}

// Debugger output stays on once set, so this runs in a process of its own.
TEST(LogLines, DISABLED_KeepTheCallersLastErrorWithDebugOutput)
{
    LogitOption("/LOGDEBUG");
    SetLastError(ERROR_BAD_EXE_FORMAT);
    Logit("after a failed call\n");
    EXPECT_EQ((DWORD)ERROR_BAD_EXE_FORMAT, GetLastError());
}

TEST(LogLines, KeepTheCallersLastError)
{
    EXPECT_EQ(0, TESTSUPPORT::RunDisabledTest("LogLines.DISABLED_KeepTheCallersLastErrorWithDebugOutput"));
}

TEST(LogOptions, UnknownOptionsAndUnwritablePathsLeaveTheLogOff)
{
    for (const char* option : {"/INSTALL", "/LOGITX", "LOGIT", (const char*)0})
        EXPECT_EQ(0, LogitOption(option)) << (option ? option : "null");
    TEMPDIR dir("nolog");
    LogitOption(("/LOGIT:" + dir.File("missing\\sub\\x.log")).c_str());
    EXPECT_EQ(0, Logit("nobody hears this\n"));
    EXPECT_FALSE(LogitIsEnabled());
    EXPECT_FALSE(FileExists(dir.File("missing")));
}

TEST(LogOptions, UniqueNameCarriesDateTimeMillisecondsAndProcessId)
{
    LogitOption("/LOGIT:unique");
    LogitOption("/LOGITCLOSE");
    char pattern[256];
    snprintf(pattern, sizeof(pattern), R"(Tarni_APPLICATION_Logit_\d{4}-\d{2}-\d{2}_\d{2}-\d{2}-\d{2}-\d{1,3}_%X\.log)",
             (unsigned)GetCurrentProcessId());
    std::string documents = SystemFolder(18) + "\\";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((documents + "Tarni_APPLICATION_Logit_*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    int matches = 0;
    do
        matches += std::regex_match(found.cFileName, std::regex(pattern)) &&
                   DeleteFileA((documents + found.cFileName).c_str());
    while (FindNextFileA(search, &found));
    FindClose(search);
    EXPECT_EQ(1, matches);
}

TEST(LogOptions, CrashDumpOptionOnlyRaisesTheLevel)
{
    const struct { const char* Option; int Level; } rows[] = {{"/CRASHDUMPX", 2}, {"-crashdump:7", 7},
                                                              {"/CRASHDUMP:3", 7}};
    for (const auto& row : rows)
    {
        LogitOption(row.Option);
        EXPECT_EQ(row.Level, CRASHDUMP::Level()) << row.Option;
    }
}

TEST(AssertFile, RecordsGoToAssertLogInEitherLanguage)
{
    // The handler runs for real (no spy), its dialog off, in a folder of its own.
    TEMPDIR dir("assert");
    struct SCOPE
    {
        ASSERTHOOK Previous = AssertSetHook(0);
        std::string OldDir = OSYS::GetCurrentDirectory().Text();
        explicit SCOPE(const std::string& path) { LogitOption("/NOASSERT"); SetCurrentDirectoryA(path.c_str()); }
        ~SCOPE()
        {
            SetCurrentDirectoryA(OldDir.c_str());
            LogitOption("/NOASSERT");
            AssertSetHook(Previous);
            gLocale = 9;
        }
    } scope(dir.Path());
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(1, AssertHandler(0, "x>0", "C:\\src/dir\\module.cpp", 77, "detail text", 0));
    EXPECT_EQ(1, AssertHandler(0, "FALSE", "plain.cpp", 5, 0, 0));
    EXPECT_EQ(1, AssertHandler(1, "never", "plain.cpp", 6, 0, 0));
    gLocale = 7;
    AssertHandler(0, "FALSE", "modul.cpp", 9, "Zusatz", 0);

    // Written in text mode: CR LF on disk.
    EXPECT_NE(std::string::npos, ReadFile(dir.File("assert.log")).find("detail text\r\n"));
    std::string text = ReadTextFile(dir.File("assert.log"));
    std::regex first("--- Tarni Application \\(0\\.00\\) --- \\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} ---\n\n"
                     "    Condition: x>0\n    Location : module.cpp line 77\n    Add. Info: detail text\n"
                     "    GetLastError\\(\\): 2 \\(");
    EXPECT_TRUE(std::regex_search(text, first)) << text;
    EXPECT_NE(std::string::npos,
              text.find("GetLastError(): 2 (" + std::string(OSYS::GetErrorText(ERROR_FILE_NOT_FOUND).Text()) + ")\n\n\n"));
    // An unconditional failure does not report the last error.
    EXPECT_NE(std::string::npos,
              text.find("    Condition: FALSE\n    Location : plain.cpp line 5\n    Add. Info: <null>\n    \n\n\n"));
    EXPECT_EQ(std::string::npos, text.find("never"));
    EXPECT_NE(std::string::npos, text.find("    Bedingung: FALSE\n    Datei: modul.cpp Zeile 9\n    Info: Zusatz\n"));
}

TEST(AssertFile, AnUnattendedProcessRecordsAssertionsAndBoxesInsteadOfShowingThem)
{
    const struct
    {
        unsigned Style;
        int Answer;
    } defaults[] = {
        {MB_OK | MB_ICONHAND, IDOK},       {MB_YESNO | MB_ICONQUESTION, IDNO}, {MB_YESNOCANCEL, IDCANCEL},
        {MB_OKCANCEL, IDCANCEL},           {MB_RETRYCANCEL, IDCANCEL},         {MB_ABORTRETRYIGNORE, IDABORT},
    };
    for (const auto& row : defaults)
        EXPECT_EQ(row.Answer, AssertDefaultAnswer(row.Style)) << row.Style;

    TEMPDIR dir("unseen");
    struct SCOPE
    {
        ASSERTHOOK Previous = AssertSetHook(0);
        std::string OldDir = OSYS::GetCurrentDirectory().Text();
        explicit SCOPE(const std::string& path) { SetCurrentDirectoryA(path.c_str()); }
        ~SCOPE()
        {
            AssertSetUnattended(0);
            SetCurrentDirectoryA(OldDir.c_str());
            AssertSetHook(Previous);
        }
    } scope(dir.Path());
    EXPECT_EQ(0, AssertBoxNotShown("shown", "a box for the user", MB_OK)) << "attended: the caller shows it";
    EXPECT_FALSE(FileExists(dir.File("assert.log")));

    // Any box or assertion dialog shown here would wait for ever.
    AssertSetUnattended(1);
    EXPECT_EQ(1, AssertHandler(0, "unseen>0", "unseen.cpp", 3, "goes on", 0));
    EXPECT_EQ(IDNO, AppMessageBox(0, "Overwrite it?", "Question", MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(IDOK, AppMessageBox(0, "Service.cfg not found or wrong.", "Tarni Service Controller", MB_ICONHAND));
    std::string text = ReadTextFile(dir.File("assert.log"));
    EXPECT_NE(std::string::npos, text.find("    Condition: unseen>0\n")) << text;
    EXPECT_NE(std::string::npos, text.find("--- Question --- ")) << text;
    EXPECT_NE(std::string::npos, text.find("Message box not shown, answered No:\nOverwrite it?\n")) << text;
    EXPECT_NE(std::string::npos, text.find("--- Tarni Service Controller --- ")) << text;
    EXPECT_NE(std::string::npos, text.find("answered OK:\nService.cfg not found or wrong.\n")) << text;
}

TEST(HotKeys, CtrlShiftF5OpensAndF8ClosesTheDefaultLog)
{
    // Sets this thread's key state as if the keys were held down (0x80) or not.
    auto hold = [](BYTE ctrlShift, BYTE alt) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = keys[VK_SHIFT] = ctrlShift;
        keys[VK_MENU] = alt;
        SetKeyboardState(keys);
    };
    std::string defaultLog = SystemFolder(18) + "\\Tarni_APPLICATION_logit.log";
    DeleteFileA(defaultLog.c_str());
    hold(0x80, 0x80);
    EXPECT_EQ(0, DiagnosticHotKeys(WM_KEYDOWN, VK_F5, 0)) << "Alt keeps the keys free";
    hold(0x80, 0);
    EXPECT_EQ(0, DiagnosticHotKeys(WM_KEYUP, VK_F5, 0));
    EXPECT_EQ(1, DiagnosticHotKeys(WM_KEYDOWN, VK_F5, 0));
    EXPECT_TRUE(LogitIsEnabled());
    Logit("opened by the hot key\n");

    // A list view's key notification counts as a key press too.
    NMLVKEYDOWN notify = {};
    notify.hdr.code = (UINT)-155;
    notify.wVKey = VK_F8;
    EXPECT_EQ(1, DiagnosticHotKeys(WM_NOTIFY, 0, (intptr_t)&notify));
    hold(0, 0);
    EXPECT_FALSE(LogitIsEnabled());
    EXPECT_NE(std::string::npos, ReadFile(defaultLog).find("opened by the hot key"));
    DeleteFileA(defaultLog.c_str());
}
