// The application frame: command-line split, "commandline.ini" candidates,
// argument queries, language, start-up delay, directories, the exit banner and
// the assertion dialog, observed on real processes started with crafted
// command lines.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <regex>
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

    // What the probe program reported: its arguments and further values by key.
    struct REPORT
    {
        int Code = -2;
        std::vector<std::string> Arguments;
        std::map<std::string, std::string> Values;
    };

    // A copy of the probe in a folder of its own, so that its start-up files
    // and its assert.log stay apart from every other test.
    class PROBE
    {
    public:
        explicit PROBE(const std::string& name = "frameprobe.exe", const std::string& subdir = "")
        {
            Folder = subdir.empty() ? Dir.Path() : Dir.File(subdir);
            CreateDirectoryA(Folder.c_str(), 0);
            Exe = Folder + "\\" + name;
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
            if (!Start(child, arguments, workDir))
                return REPORT();
            int code = child.Wait(30000);
            REPORT report = ReadReport();
            report.Code = code;
            return report;
        }

        REPORT ReadReport()
        {
            REPORT report;
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

    // The log's lines behind their headers.
    std::vector<std::string> LogBodies(const std::string& path)
    {
        std::vector<std::string> bodies;
        for (const std::string& line : SplitLines(ReadFile(path)))
        {
            size_t close = line.find("] ");
            bodies.push_back(close == std::string::npos ? line : line.substr(close + 2));
        }
        return bodies;
    }

    // A pattern that matches text exactly.
    std::string Literal(const std::string& text)
    {
        return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
    }

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

// Each query's result and its log line, for the '/' and '-' forms.
TEST(ArgumentQueries, TestArgTestArgValueAndGetArgValue)
{
    TEMPDIR dir("args");
    std::string log = dir.File("args.log");
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

    // Each row is a call and the log line it must write, which names its result.
    const std::string rows[] = {
        "TestArg(\"INSTALL\") returned 1",
        "TestArg(\"stop\") returned 1",
        "TestArg(\"INSTALLX\") returned 0",
        "TestArg(\"GUI\") returned 0",
        "TestArgValue(\"STARTUPDELAY\", 0) returned 1",
        "TestArgValue(\"StartupDelay\", 1) returned 1",
        "TestArgValue(\"STARTUPDELAY\", 2) returned 0",
        "GetArgValue(\"CFG\", 0) returned a.cfg",
        "GetArgValue(\"CFG\", 1) returned b.cfg",
        "GetArgValue(\"CFG\", 2) returned =c.cfg",
        "GetArgValue(\"cfg\", 3) returned d.cfg",
        "GetArgValue(\"CFG\", 4) returned <NULL>",
        "GetArgValue(\"LANG\", 0) returned UAGE:x",
    };
    const std::regex call(R"re((\w+)\("(\w+)"(?:, (\d))?\) returned (.*))re");
    LogitOption(("/LOGIT:" + log).c_str());
    for (const std::string& row : rows)
    {
        std::smatch part;
        std::regex_match(row, part, call);
        std::string key = part[2], wanted = part[4] == "<NULL>" ? "" : part[4].str();
        int index = atoi(part[3].str().c_str());
        if (part[1] == "TestArg")
            EXPECT_EQ(wanted, std::to_string(TestArg(key.c_str()))) << row;
        else if (part[1] == "TestArgValue")
            EXPECT_EQ(wanted, std::to_string(TestArgValue(key.c_str(), index))) << row;
        else
            EXPECT_EQ(wanted, GetArgValue(key.c_str(), index).Text()) << row;
    }
    LogitOption("/LOGITCLOSE");
    std::vector<std::string> lines = LogBodies(log);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(std::begin(rows), std::end(rows)),
              std::vector<std::string>(lines.begin() + 2, lines.end()));

    // A dash option that ends the list has no value: the assertion names its index.
    arguments.DeleteAll();
    arguments.AddItem(STRING("p"));
    arguments.AddItem(STRING("-CFG"));
    ASSERTSPY spy;
    EXPECT_EQ("", std::string(GetArgValue("CFG", 0).Text()));
    ASSERT_EQ(1u, spy.Count());
    EXPECT_NE(std::string::npos, spy.Last().Info.find("i= 2, "));
}

TEST(FrameStart, HardLogArmsTheCrashHandlerWhetherOrNotItOpens)
{
    PROBE probe;
    const struct { std::string Arguments; const char* Level; } rows[] = {
        {"/LOGIT:" + probe.Dir.File("plain.log"), "0"},
        {"/LOGITHARD:" + probe.Dir.File("hard.log"), "2"},
        {"/LOGITHARD:" + probe.Dir.File("missing\\hard.log"), "2"},
        {"/LOGITHARD:" + probe.Dir.File(std::string(300, 'h') + ".log"), "2"},
    };
    for (const auto& row : rows)
    {
        REPORT report = probe.Run(row.Arguments);
        EXPECT_EQ(0, report.Code) << row.Arguments;
        EXPECT_EQ(row.Level, report.Values["crashlevel"]) << row.Arguments;
    }
}

TEST(FrameStart, ControllerLogShowsStartArgumentsAndExit)
{
    TEMPDIR dir("svc");
    std::string exe = dir.File("service.exe");
    ASSERT_TRUE(CopyFileA((SelfDirectory() + "\\..\\service\\service.exe").c_str(), exe.c_str(), FALSE));
    WriteFile(dir.File("service.cfg"), "AppName=FrameLogTest\nAppExe=none.exe\nAppHelp=x|1\nAppRegKey=FrameLogTest\n"
                                       "AppWinClass=TarniFrameLogTest\n");
    std::string log = dir.File("service.log");
    CHILD child;
    // The dialog verb acts on nothing yet, so the run touches no service.
    ASSERT_TRUE(child.Start("\"" + exe + "\" /LOGIT:" + log + " /LOG:3 /gui \"two words\"", dir.Path(), {}, exe));
    ASSERT_EQ(0, child.Wait(30000));

    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(exe.c_str(), GetFileExInfoStandard, &data));
    const std::string day = R"(\d{4}-\d{2}-\d{2})", time = R"(\d{2}:\d{2}:\d{2})";
    // Each line of the start, as a pattern.
    const std::string start[] = {
        "Logging starts at " + day + " " + time,
        "Running as " + Literal(exe) + " \\(" + std::to_string(data.nFileSizeLow) + " bytes, " + day + "  " + time + "\\)",
        "LogitLevel 00000003",
        "TARNIAPP arguments acquired",
        "TARNIAPP program argument 0= '" + Literal(exe) + "'",
        "TARNIAPP program argument 1= '/LOGIT:" + Literal(log) + "'",
        "TARNIAPP program argument 2= '/LOG:3'",
        "TARNIAPP program argument 3= '/gui'",
        "TARNIAPP program argument 4= 'two words'",
        "TestArgValue\\(\"STARTUPDELAY\", 0\\) returned 0",
        "GetArgValue\\(\"LANG\", 0\\) returned <NULL>",
        "TARNIAPP gLocale= \\d+, locale= [0-9a-f]+/[0-9a-f]+/[0-9a-f]+, primarylang= [0-9a-f]+",
    };
    std::vector<std::string> lines = LogBodies(log);
    ASSERT_GE(lines.size(), std::size(start) + 4) << ReadFile(log);
    for (size_t i = 0; i < std::size(start); i++)
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(start[i]))) << start[i] << "\n" << lines[i];
    EXPECT_TRUE(Contains(lines, "TestArg(\"GUI\") returned 1"));
    EXPECT_EQ((std::vector<std::string>{"", "Welcome back service, you have safely returned to TARNIAPP with exit code 0",
                                        "Taxi to your hangar and have a pleasant stay.", "Over and out."}),
              std::vector<std::string>(lines.end() - 4, lines.end()));
}

// Each row sets a language and a start-up delay; only a value makes the frame sleep.
TEST(FrameStart, LanguageAndStartupDelayOptions)
{
    const struct
    {
        std::string Arguments;
        int Locale;
        bool Sleeps;
    } rows[] = {
        {"/lang:ger /STARTUPDELAY5", 7, false},
        {"-LANG HUNGARIAN -STARTUPDELAY 0", 14, true},
        {"/LANG:French /STARTUPDELAY:0", 12, true},
        {"/LANG:klingon", PRIMARYLANGID(GetUserDefaultUILanguage()), false},
    };
    PROBE probe;
    std::string log = probe.Dir.File("options.log");
    for (const auto& row : rows)
    {
        REPORT report = probe.Run("/LOGIT:" + log + " " + row.Arguments);
        ASSERT_EQ(0, report.Code) << row.Arguments;
        EXPECT_EQ(std::to_string(row.Locale), report.Values["locale"]) << row.Arguments;
        EXPECT_EQ(row.Sleeps, Contains(LogBodies(log), "TARNIAPP sleeping for startupdelay")) << row.Arguments;
    }
}

// Beside "main.cpp" a "release2" folder is cut from the application directory,
// where "commandline.ini" is then read; a folder of that name in the working
// directory cannot be read as a file and adds nothing.
TEST(FrameStart, DevelopmentLayoutMovesTheAppDirectoryAndAnUnreadableIniAddsNothing)
{
    PROBE probe("frameprobe.exe", "release2");
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
    EXPECT_TRUE(Contains(LogBodies(log), "TARNIAPP processing of " + probe.Dir.File("commandline.ini") + " done"));
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
    std::string assertLog = probe.Dir.File("assert.log");
    CHILD child;
    HWND box = probe.Dialog(child, "/PROBEASSERT");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(0u, Narrow(WindowText(box)).find("Tarni frameprobe (0.00) / "));
    std::string text = Narrow(ControlText(box, 0xFFFF));
    EXPECT_EQ(0u, text.find("An unexpected condition has been encountered.")) << text;
    EXPECT_NE(std::string::npos, text.find("    Condition: probe==condition\n    Location : frameprobe.cpp line "))
        << text;
    ASSERT_TRUE(PressButton(box, IDYES));
    EXPECT_EQ(0, child.Wait(20000));
    EXPECT_EQ("1", probe.ReadReport().Values["mainthread"]) << "the program went on after Yes";
    EXPECT_NE(std::string::npos, ReadFile(assertLog).find("Condition: probe==condition"));

    // Switched off, the assertion is only recorded.
    DeleteFileA(assertLog.c_str());
    REPORT report = probe.Run("/NOASSERT /PROBEASSERT");
    EXPECT_EQ(0, report.Code);
    EXPECT_EQ("1", report.Values["mainthread"]);
    EXPECT_NE(std::string::npos, ReadFile(assertLog).find("Condition: probe==condition"));

    // A second switch turns the dialog on again; No ends the program.
    CHILD german;
    box = probe.Dialog(german, "/NOASSERT -noassert /PROBEASSERT /LANG:GER");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(0u, Narrow(ControlText(box, 0xFFFF)).find("Es ist eine unerwartete Situation aufgetreten."));
    ASSERT_TRUE(PressButton(box, IDNO));
    EXPECT_EQ((int)EXCEPTION_ACCESS_VIOLATION, german.Wait(20000));
    EXPECT_FALSE(FileExists(probe.Dir.File("report.txt")));
}
