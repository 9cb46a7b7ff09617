// The application frame: command-line split, "commandline.ini" candidates,
// argument queries, options read at start, directories, the start and exit
// lines of the log and the assertion dialog, on real processes started with
// crafted command lines.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    std::vector<std::string> Split(std::string commandLine)
    {
        std::vector<char> text(commandLine.begin(), commandLine.end());
        text.push_back(0);
        char self[] = "C:\\self\\probe.exe";
        char* argv[TARNIAPP::MaxArgumentPointers];
        int n = TARNIAPP::SplitCommandLine(text.data(), self, argv);
        EXPECT_EQ(nullptr, argv[n]);
        return std::vector<std::string>(argv, argv + n);
    }

    // What the probe reported: its arguments, and further values by key.
    struct REPORT
    {
        int Code = -2;
        std::vector<std::string> Arguments;
        std::map<std::string, std::string> Values;
    };

    // A copy of the probe in a folder of its own, apart from every other test.
    class PROBE
    {
    public:
        explicit PROBE(const std::string& subdir = "")
        {
            Folder = subdir.empty() ? Dir.Path() : Dir.File(subdir);
            CreateDirectoryA(Folder.c_str(), 0);
            Exe = Folder + "\\frameprobe.exe";
            EXPECT_TRUE(CopyFileA((SelfDirectory() + "\\frameprobe.exe").c_str(), Exe.c_str(), FALSE)) << Exe;
        }

        bool Start(CHILD& child, const std::string& arguments, const std::string& workDir = "")
        {
            DeleteFileA(Dir.File("report.txt").c_str());
            return child.Start("\"" + Exe + "\" " + arguments, workDir.empty() ? Folder : workDir,
                               {"FRAMEPROBE_REPORT=" + Dir.File("report.txt")}, Exe);
        }

        REPORT Run(const std::string& arguments, const std::string& workDir = "")
        {
            CHILD child;
            REPORT report;
            if (Start(child, arguments, workDir))
                report.Code = child.Wait(30000);
            for (const std::string& line : SplitLines(ReadFile(Dir.File("report.txt"))))
            {
                size_t equals = line.find('=');
                if (line.compare(0, 4, "arg=") == 0)
                    report.Arguments.push_back(line.substr(4));
                else if (equals != std::string::npos)
                    report.Values[line.substr(0, equals)] = line.substr(equals + 1);
            }
            return report;
        }

        // The assertion dialog the probe shows, or null.
        HWND Dialog(CHILD& child, const std::string& arguments)
        {
            return Start(child, arguments) ? WaitForWindow(child.Id(), "#32770", 20000) : 0;
        }

        TEMPDIR Dir{"probe"};
        std::string Folder;
        std::string Exe;
    };

    bool Contains(const std::vector<std::string>& lines, const std::string& wanted)
    {
        return std::find(lines.begin(), lines.end(), wanted) != lines.end();
    }
}

TEST(CommandLineSplit, TokensQuotesTheExeFirstTokenAndThe255EntryLimit)
{
    const struct
    {
        const char* Line;
        std::vector<std::string> Arguments;   // behind the program path
    } rows[] = {
        {"\"C:\\Program Files\\service.exe\" /install", {"/install"}},
        {"service /install", {"service", "/install"}},
        // Compared with regard to case, and only names longer than ".exe" itself.
        {"X.EXE /a", {"X.EXE", "/a"}},
        {".exe", {".exe"}},
        {"p.exe \"/CFG:C:\\My Dir\\a.cfg\"   x ", {"/CFG:C:\\My Dir\\a.cfg", "x"}},
        {"\"\" \"open ended", {"", "open ended"}},
        {"/CFG:\"a b\"", {"/CFG:\"a", "b\""}},   // a quote inside a token starts nothing
        {"    ", {}},
    };
    for (const auto& row : rows)
    {
        std::vector<std::string> expected = row.Arguments;
        expected.insert(expected.begin(), "C:\\self\\probe.exe");
        EXPECT_EQ(expected, Split(row.Line)) << row.Line;
    }

    // The last of 255 entries takes the rest; exactly 254 need no remainder.
    std::string line;
    for (int i = 0; i < 300; i++)
        line += "t" + std::to_string(i) + " ";
    std::vector<std::string> argv = Split(line);
    ASSERT_EQ(255u, argv.size());
    EXPECT_EQ("t252", argv[253]);
    EXPECT_EQ(0u, argv[254].find("t253 t254 "));
    EXPECT_EQ("t299", argv[254].substr(argv[254].size() - 4));
    EXPECT_EQ(254u, Split(line.substr(0, line.find("t253"))).size());
}

TEST(ArgumentQueries, TestArgTestArgValueAndGetArgValue)
{
    struct RESTORE
    {
        STRINGARRAY Saved{TARNIAPP::Arguments()};
        ~RESTORE() { TARNIAPP::Arguments() = Saved; }
    } restore;
    STRINGARRAY& arguments = TARNIAPP::Arguments();
    arguments.DeleteAll();
    for (const char* argument : {"C:\\x\\p.exe", "/install", "-STOP", "INSTALLX", "/gui:x", "/STARTUPDELAY5",
                                 "/STARTUPDELAY:5", "-startupdelay", "7", "/CFG:a.cfg", "/CFGb.cfg", "/cfg=c.cfg",
                                 "-CFG", "d.cfg", "/LANGUAGE:x"})
        arguments.AddItem(STRING(argument));

    // 'T' TestArg, 'V' TestArgValue, 'G' GetArgValue: a call and its result.
    const struct { char Query; const char* Key; int Index; std::string Result; } rows[] = {
        {'T', "INSTALL", 0, "1"}, {'T', "stop", 0, "1"}, {'T', "INSTALLX", 0, "0"}, {'T', "GUI", 0, "0"},
        {'V', "STARTUPDELAY", 0, "1"}, {'V', "StartupDelay", 1, "1"}, {'V', "STARTUPDELAY", 2, "0"},
        {'G', "CFG", 0, "a.cfg"}, {'G', "CFG", 1, "b.cfg"}, {'G', "CFG", 2, "=c.cfg"}, {'G', "cfg", 3, "d.cfg"},
        {'G', "CFG", 4, ""}, {'G', "LANG", 0, "UAGE:x"},
    };
    for (const auto& row : rows)
    {
        std::string result = row.Query == 'T'   ? std::to_string(TestArg(row.Key))
                             : row.Query == 'V' ? std::to_string(TestArgValue(row.Key, row.Index))
                                                : std::string(GetArgValue(row.Key, row.Index).Text());
        EXPECT_EQ(row.Result, result) << row.Query << " " << row.Key << " " << row.Index;
    }

    // A dash option that ends the list has no value: the assertion names its index.
    arguments.DeleteAll();
    arguments.AddItem(STRING("p"));
    arguments.AddItem(STRING("-CFG"));
    ASSERTSPY spy;
    EXPECT_EQ("", std::string(GetArgValue("CFG", 0).Text()));
    ASSERT_EQ(1u, spy.Count());
    EXPECT_NE(std::string::npos, spy.Last().Info.find("i= 2, "));
}

TEST(FrameStart, LogShowsTheProgramItsArgumentsAndTheExitBanner)
{
    PROBE probe;
    std::string log = probe.Dir.File("start.log");
    REPORT report = probe.Run("/LOGIT:" + log + " \"two words\"");
    ASSERT_EQ(0, report.Code);
    EXPECT_EQ((std::vector<std::string>{probe.Exe, "/LOGIT:" + log, "two words"}), report.Arguments);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(probe.Exe.c_str(), GetFileExInfoStandard, &data));
    std::vector<std::string> lines = LogLines(log);
    ASSERT_GE(lines.size(), 6u) << ReadFile(log);
    EXPECT_EQ(0u, lines[0].find("Logging starts at ")) << lines[0];
    EXPECT_EQ(0u, lines[1].find("Running as " + probe.Exe + " (" + std::to_string(data.nFileSizeLow) + " bytes, "))
        << lines[1];
    EXPECT_EQ((std::vector<std::string>{"TARNIAPP program argument 0= '" + probe.Exe + "'",
                                        "TARNIAPP program argument 1= '/LOGIT:" + log + "'",
                                        "TARNIAPP program argument 2= 'two words'"}),
              LogLines(log, "TARNIAPP program argument "));
    EXPECT_EQ((std::vector<std::string>{"",
                                        "Welcome back frameprobe, you have safely returned to TARNIAPP with exit code 0",
                                        "Taxi to your hangar and have a pleasant stay.", "Over and out."}),
              std::vector<std::string>(lines.end() - 4, lines.end()));
}

// Each row's options and the language, start-up delay (only a value makes the
// frame sleep) and crash handler level the probe ends up with.
TEST(FrameStart, LanguageStartupDelayAndHardLogOptions)
{
    PROBE probe;
    std::string log = probe.Dir.File("options.log");
    const int user = PRIMARYLANGID(GetUserDefaultUILanguage());
    const struct { std::string Arguments; int Locale; bool Sleeps; int CrashLevel; } rows[] = {
        {"/LOGIT:" + log + " /lang:ger /STARTUPDELAY5", 7, false, 0},
        {"/LOGIT:" + log + " -LANG HUNGARIAN -STARTUPDELAY 0", 14, true, 0},
        {"/LOGIT:" + log + " /LANG:French /STARTUPDELAY:0", 12, true, 0},
        {"/LOGIT:" + log + " /LANG:klingon", user, false, 0},
        // A hard log arms the crash handler whether or not it opens.
        {"/LOGITHARD:" + log, user, false, 2},
        {"/LOGITHARD:" + probe.Dir.File("missing\\hard.log"), user, false, 2},
        {"/LOGITHARD:" + probe.Dir.File(std::string(300, 'h') + ".log"), user, false, 2},
    };
    for (const auto& row : rows)
    {
        REPORT report = probe.Run(row.Arguments);
        ASSERT_EQ(0, report.Code) << row.Arguments;
        EXPECT_EQ(std::to_string(row.Locale), report.Values["locale"]) << row.Arguments;
        bool ownLog = row.Arguments.find(log) != std::string::npos;   // the other rows write no log here
        EXPECT_TRUE(!ownLog || row.Sleeps == Contains(LogLines(log), "TARNIAPP sleeping for startupdelay"))
            << row.Arguments;
        EXPECT_EQ(std::to_string(row.CrashLevel), report.Values["crashlevel"]) << row.Arguments;
    }
}

// Beside "main.cpp" a "release2" folder is cut from the application directory,
// where "commandline.ini" is then read; a folder of that name in the working
// directory cannot be read as a file and adds nothing.
TEST(FrameStart, DevelopmentLayoutMovesTheAppDirectoryAndAnUnreadableIniAddsNothing)
{
    PROBE probe("release2");
    WriteFile(probe.Dir.File("main.cpp"), "");
    WriteFile(probe.Dir.File("commandline.ini"), "/FROM:appdir\n");
    TEMPDIR work("work");
    CreateDirectoryA(work.File("commandline.ini").c_str(), 0);
    REPORT report = probe.Run("/only", work.Path());
    ASSERT_EQ(0, report.Code);
    EXPECT_EQ((std::vector<std::string>{probe.Exe, "/only", "/FROM:appdir"}), report.Arguments);
    EXPECT_EQ(probe.Dir.Path(), report.Values["appdir"]);
    EXPECT_EQ(probe.Dir.Path(), report.Values["cwd"]);
    EXPECT_EQ(work.Path(), report.Values["workdir"]);
}

// Application folder first, then the working directory; each "commandline.ini"
// before the program's own; a ".qrx" twin only where the ".ini" is missing.
TEST(CommandLineIni, CandidatesInOrderWithTrimmedLinesAndQrxFallback)
{
    PROBE probe;
    TEMPDIR work("work");
    std::string log = probe.Dir.File("ini.log");
    WriteFile(probe.Dir.File("commandline.ini"),
              "  /LANG:GER \t\r\n'/X:quoted'\r\n\"\"\r\n\t \r\n\"/Y two\"\r\n'\r\n/LOGIT:" + log + "\r\n");
    WriteFile(probe.Dir.File("frameprobe_commandline.qrx"), "/FROM:program qrx");
    WriteFile(work.File("commandline.ini"), "/FROM:workdir\n");
    WriteFile(work.File("commandline.qrx"), "/FROM:workdir qrx\n");
    WriteFile(work.File("frameprobe_commandline.ini"), "/FROM:workdir program ini\n");
    REPORT report = probe.Run("/first", work.Path());
    ASSERT_EQ(0, report.Code);
    EXPECT_EQ((std::vector<std::string>{probe.Exe, "/first", "/LANG:GER", "/X:quoted", "\"\"", "/Y two", "'",
                                        "/LOGIT:" + log, "/FROM:program qrx", "/FROM:workdir",
                                        "/FROM:workdir program ini"}),
              report.Arguments);
    EXPECT_EQ("7", report.Values["locale"]);
    // Lines of these files are log options too: the log was opened by one.
    EXPECT_TRUE(Contains(LogLines(log), "TARNIAPP processing of " + probe.Dir.File("commandline.ini") + " done"));
}

TEST(CommandLineIni, DesktopFileIsReadFirstAndSendsTheDefaultLogThere)
{
    std::string desktop = OSYS::GetSystemPath(8).Text();
    ASSERT_FALSE(desktop.empty());
    std::string desktopIni = desktop + "commandline.ini";
    std::string desktopLog = desktop + "Tarni_FRAMEPROBE_logit.log";
    ASSERT_FALSE(FileExists(desktopIni)) << "a desktop commandline.ini is in the way";
    WriteFile(desktopIni, "/FROM:desktop\r\n/LOGIT\r\n");
    WriteFile(desktop + "commandline.qrx", "/FROM:desktop qrx\r\n");

    PROBE probe;
    WriteFile(probe.Dir.File("commandline.ini"), "/FROM:appdir\r\n");
    REPORT report = probe.Run("");
    std::string log = ReadFile(desktopLog);
    DeleteFileA(desktopIni.c_str());
    DeleteFileA((desktop + "commandline.qrx").c_str());
    DeleteFileA(desktopLog.c_str());

    ASSERT_EQ(0, report.Code);
    EXPECT_EQ((std::vector<std::string>{probe.Exe, "/FROM:desktop", "/LOGIT", "/FROM:appdir"}), report.Arguments);
    EXPECT_NE(std::string::npos, log.find("TARNIAPP processing of " + desktopIni + " done"));
}

TEST(AssertionDialog, YesGoesOnNoEndsTheProgramAndNoAssertToggles)
{
    PROBE probe;
    std::string assertLog = probe.Dir.File("assert.log"), report = probe.Dir.File("report.txt");
    CHILD child;
    HWND box = probe.Dialog(child, "/PROBEASSERT");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(0u, Narrow(WindowText(box)).find("Tarni frameprobe (0.00) / "));
    std::string text = Narrow(ControlText(box, 0xFFFF));
    EXPECT_NE(std::string::npos, text.find("    Condition: probe==condition\n    Location : frameprobe.cpp line "))
        << text;
    ASSERT_TRUE(PressButton(box, IDYES));
    EXPECT_EQ(0, child.Wait(20000));
    EXPECT_NE(std::string::npos, ReadFile(report).find("mainthread=1")) << "the program went on after Yes";
    EXPECT_NE(std::string::npos, ReadFile(assertLog).find("Condition: probe==condition"));

    // Switched off, the assertion is only recorded.
    DeleteFileA(assertLog.c_str());
    EXPECT_EQ("1", probe.Run("/NOASSERT /PROBEASSERT").Values["mainthread"]);
    EXPECT_NE(std::string::npos, ReadFile(assertLog).find("Condition: probe==condition"));

    // A second switch turns the dialog on again; No ends the program.
    CHILD german;
    box = probe.Dialog(german, "/NOASSERT -noassert /PROBEASSERT /LANG:GER");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(0u, Narrow(ControlText(box, 0xFFFF)).find("Es ist eine unerwartete Situation aufgetreten."));
    ASSERT_TRUE(PressButton(box, IDNO));
    EXPECT_EQ((int)EXCEPTION_ACCESS_VIOLATION, german.Wait(20000));
    EXPECT_FALSE(FileExists(report));
}
