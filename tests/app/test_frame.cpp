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
            for (size_t at = subdir.find('\\'); at != std::string::npos; at = subdir.find('\\', at + 1))
                CreateDirectoryA(Dir.File(subdir.substr(0, at)).c_str(), 0);
            CreateDirectoryA(Folder.c_str(), 0);
            Exe = Folder + "\\" + name;
            EXPECT_TRUE(CopyFileA((SelfDirectory() + "\\frameprobe.exe").c_str(), Exe.c_str(), FALSE)) << Exe;
        }

        // Starts the probe; arguments follow the quoted program path unless
        // commandLine is given whole.
        bool Start(CHILD& child, const std::string& arguments, const std::string& workDir = "",
                   const std::vector<std::string>& environment = {}, const std::string& commandLine = "")
        {
            std::vector<std::string> env = environment;
            env.push_back("FRAMEPROBE_REPORT=" + Dir.File("report.txt"));
            DeleteFileA(Dir.File("report.txt").c_str());
            std::string line = commandLine.empty() ? "\"" + Exe + "\" " + arguments : commandLine;
            return child.Start(line, workDir.empty() ? Folder : workDir, env, Exe);
        }

        REPORT Run(const std::string& arguments, const std::string& workDir = "",
                   const std::vector<std::string>& environment = {}, const std::string& commandLine = "")
        {
            CHILD child;
            if (!Start(child, arguments, workDir, environment, commandLine))
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

        // The dialog the probe shows, or null.
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

TEST(CommandLineSplit, TokensQuotesAndTheExeFirstToken)
{
    const struct
    {
        const char* Line;
        std::vector<std::string> Arguments;   // behind the program path
    } rows[] = {
        {"\"C:\\Program Files\\service.exe\" /install", {"/install"}},
        {"service /install", {"service", "/install"}},
        {"a.exe", {}},
        // Compared with regard to case, and only names longer than ".exe" itself.
        {"X.EXE /a", {"X.EXE", "/a"}},
        {".exe", {".exe"}},
        {"p.exe \"/CFG:C:\\My Dir\\a.cfg\" x", {"/CFG:C:\\My Dir\\a.cfg", "x"}},
        {"   a    b   ", {"a", "b"}},
        {"\"\" x", {"", "x"}},
        {"\"open ended", {"open ended"}},
        {"/CFG:\"a b\"", {"/CFG:\"a", "b\""}},   // a quote inside a token starts nothing
        {"", {}},
        {"    ", {}},
    };
    for (const auto& row : rows)
    {
        std::vector<std::string> expected = row.Arguments;
        expected.insert(expected.begin(), "C:\\self\\probe.exe");
        EXPECT_EQ(expected, Split(row.Line)) << row.Line;
    }
}

TEST(CommandLineSplit, AtMost255EntriesTheLastTakesTheRest)
{
    std::string line;
    for (int i = 0; i < 300; i++)
        line += "t" + std::to_string(i) + " ";
    std::vector<std::string> argv = Split(line);
    ASSERT_EQ(255u, argv.size());
    EXPECT_EQ("t0", argv[1]);
    EXPECT_EQ("t252", argv[253]);
    EXPECT_EQ(0u, argv[254].find("t253 t254 "));
    EXPECT_EQ("t299", argv[254].substr(argv[254].size() - 4));

    // Exactly 254 entries need no remainder.
    std::string exact;
    for (int i = 0; i < 253; i++)
        exact += "u" + std::to_string(i) + " ";
    EXPECT_EQ(254u, Split(exact).size());
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
    for (const char* argument : {"C:\\x\\p.exe", "/install", "-STOP", "INSTALLX", "/Installer", "/gui:x",
                                 "/STARTUPDELAY:5", "/STARTUPDELAY5", "/STARTUPDELAY=5", "/STARTUPDELAY",
                                 "-startupdelay", "7", "/CFG:a.cfg", "/CFGb.cfg", "/cfg=c.cfg", "-CFG", "d.cfg",
                                 "/LANGUAGE:x", "/LANG:GER"})
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
        "TestArgValue(\"STARTUP\", 0) returned 0",
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
    {
        ASSERTSPY spy;
        EXPECT_EQ("", std::string(GetArgValue("CFG", 0).Text()));
        ASSERT_EQ(1u, spy.Count());
        EXPECT_EQ("FALSE", spy.Last().Condition);
        EXPECT_NE(std::string::npos, spy.Last().Info.find("i= 2, "));
    }
}

TEST(FrameStart, ArgumentsAppNameExitCodeAndBanner)
{
    PROBE probe;
    std::string log = probe.Dir.File("banner.log");
    REPORT report = probe.Run("/install \"two words\" /LOGIT:" + log, "", {"FRAMEPROBE_EXIT=42"});
    ASSERT_EQ(42, report.Code);
    EXPECT_EQ((std::vector<std::string>{probe.Exe, "/install", "two words", "/LOGIT:" + log}), report.Arguments);
    EXPECT_EQ("null", report.Values["terminator"]);
    EXPECT_EQ("1", report.Values["mainthread"]);
    EXPECT_EQ("frameprobe", report.Values["appname"]);
    std::vector<std::string> lines = LogBodies(log);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ((std::vector<std::string>{"", "Welcome back frameprobe, you have safely returned to TARNIAPP with exit code 42",
                                        "Taxi to your hangar and have a pleasant stay.", "Over and out."}),
              std::vector<std::string>(lines.end() - 4, lines.end()));

    // Started as "service /install": the first word is an argument. Only a
    // lower-case ".exe" leaves the application name.
    PROBE upper("Probe.EXE");
    report = upper.Run("", "", {}, "service /install");
    ASSERT_EQ(0, report.Code);
    EXPECT_EQ((std::vector<std::string>{upper.Exe, "service", "/install"}), report.Arguments);
    EXPECT_EQ("service /install", report.Values["commandline"]);
    EXPECT_EQ("Probe.EXE", report.Values["appname"]);
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
    const int fallback = PRIMARYLANGID(GetUserDefaultUILanguage());
    const struct
    {
        std::string Arguments;
        int Locale;
        bool Sleeps;
    } rows[] = {
        {"/lang:ger /STARTUPDELAY5", 7, false},
        {"-LANG HUNGARIAN /STARTUPDELAY", 14, false},
        {"/LANG:French /STARTUPDELAY:0", 12, true},
        {"/LANG:GER /LANG:ENGL -STARTUPDELAY 0", 7, true},
        {"/LANG=GER /STARTUPDELAY:none", fallback, true},
        {"/LANGUAGE:GER", fallback, false},
        {"/LANG:klingon", fallback, false},
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

TEST(FrameStart, DevelopmentLayoutCutsReleaseFolderFromTheApplicationDirectory)
{
    for (std::string subdir : {"dev\\Release", "dev\\release2", "plain\\Release"})
    {
        PROBE probe("frameprobe.exe", subdir);
        bool development = subdir.find("dev") == 0;
        if (development)
            WriteFile(probe.Dir.File("dev\\main.cpp"), "");
        std::string appDirectory = development ? probe.Dir.File("dev") : probe.Folder;
        REPORT report = probe.Run("", probe.Dir.Path());
        ASSERT_EQ(0, report.Code) << subdir;
        EXPECT_EQ(appDirectory, report.Values["appdir"]) << subdir;
        EXPECT_EQ(appDirectory, report.Values["cwd"]) << subdir;
        EXPECT_EQ(probe.Dir.Path(), report.Values["workdir"]) << subdir;
    }
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
    EXPECT_EQ(work.Path(), report.Values["workdir"]);
    EXPECT_EQ(probe.Folder, report.Values["cwd"]);
    // Lines of these files are log options too: the log was opened by one.
    std::vector<std::string> lines = LogBodies(log);
    EXPECT_TRUE(Contains(lines, "TARNIAPP processing of " + probe.Dir.File("commandline.ini") + " done"));
    EXPECT_TRUE(Contains(lines, "TARNIAPP program argument 10= '/FROM:workdir program ini'"));
}

TEST(CommandLineIni, TheControllerTakesNoLogOptionsAndUnreadableFilesAddNothing)
{
    PROBE controller("service.exe");
    std::string log = controller.Dir.File("never.log");
    WriteFile(controller.Dir.File("commandline.ini"), "/LOGIT:" + log + "\n");
    WriteFile(controller.Dir.File("service_commandline.ini"), "/FROM:service ini\n");
    // A folder of that name in the working directory cannot be read as a file.
    TEMPDIR work("work");
    CreateDirectoryA(work.File("commandline.ini").c_str(), 0);
    REPORT report = controller.Run("/only", work.Path());
    ASSERT_EQ(0, report.Code);
    EXPECT_EQ((std::vector<std::string>{controller.Exe, "/only", "/LOGIT:" + log, "/FROM:service ini"}),
              report.Arguments);
    EXPECT_FALSE(FileExists(log));
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
    std::string title = Narrow(WindowText(box));
    EXPECT_TRUE(std::regex_match(title, std::regex(R"(Tarni frameprobe \(0\.00\) / \d{1,2}:\d{2}:\d{2}.*)"))) << title;
    std::string text = Narrow(ControlText(box, 0xFFFF));
    EXPECT_EQ(0u, text.find("An unexpected condition has been encountered.\n\nPlease contact us via our web site and "
                            "provide the following information (logged in the assert.log file):\n\n"
                            "    Condition: probe==condition\n    Location : frameprobe.cpp line "))
        << text;
    EXPECT_NE(std::string::npos, text.find("    Add. Info: raised on request\n"));
    EXPECT_NE(std::string::npos, text.find("Do you want to try to continue with the program?"));
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

TEST(AssertionDialog, ASecondAssertionWhileTheDialogShowsIsOnlyRecorded)
{
    PROBE probe;
    CHILD child;
    HWND box = probe.Dialog(child, "/PROBEASSERT2");
    ASSERT_NE(nullptr, box);
    std::string marker = probe.Dir.File("second.txt");
    for (int waited = 0; waited < 20000 && !FileExists(marker); waited += 50)
        Sleep(50);
    // Had it shown a dialog of its own, nobody would have answered it.
    EXPECT_TRUE(FileExists(marker)) << "the second assertion returned while the first dialog showed";
    PressButton(box, IDYES);
    EXPECT_EQ(0, child.Wait(20000));
    std::string text = ReadTextFile(probe.Dir.File("assert.log"));
    size_t another = text.find("--- (another assert message is currently showing)\n\n--- Tarni frameprobe (0.00) --- ");
    ASSERT_NE(std::string::npos, another) << text;
    EXPECT_NE(std::string::npos, text.find("Condition: second==condition", another));
}
