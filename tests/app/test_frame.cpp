// The application frame: command-line split, "commandline.ini" candidates,
// argument queries, language, start-up delay, directories, the exit banner and
// the assertion dialog, observed on real processes started with crafted
// command lines.

#include <gtest/gtest.h>

#include <windows.h>

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
    std::vector<std::string> Split(std::string commandLine, int* count = 0)
    {
        std::vector<char> text(commandLine.begin(), commandLine.end());
        text.push_back(0);
        char self[] = "C:\\self\\probe.exe";
        char* argv[TARNIAPP::MaxArgumentPointers];
        int n = TARNIAPP::SplitCommandLine(text.data(), self, argv);
        if (count)
            *count = n;
        std::vector<std::string> result;
        for (int i = 0; i < n; i++)
            result.push_back(argv[i]);
        EXPECT_EQ(nullptr, argv[n]);
        return result;
    }

    // What the probe program reported, by key ("arg0", "count", "locale", ...).
    typedef std::map<std::string, std::string> REPORT;

    std::string ProbeSource()
    {
        return SelfDirectory() + "\\frameprobe.exe";
    }

    // A copy of the probe in a folder of its own, so that its start-up files
    // and its assert.log stay apart from every other test.
    class PROBE
    {
    public:
        explicit PROBE(const std::string& name = "frameprobe.exe", const std::string& subdir = "")
        {
            Folder = subdir.empty() ? Dir.Path() : Dir.File(subdir);
            if (!subdir.empty())
                MakeFolders(Folder);
            Exe = Folder + "\\" + name;
            EXPECT_TRUE(CopyFileA(ProbeSource().c_str(), Exe.c_str(), FALSE)) << Exe;
        }

        static void MakeFolders(const std::string& path)
        {
            size_t at = 0;
            while ((at = path.find('\\', at + 1)) != std::string::npos)
                CreateDirectoryA(path.substr(0, at).c_str(), 0);
            CreateDirectoryA(path.c_str(), 0);
        }

        // Starts the probe; arguments follow the quoted program path unless
        // commandLine is given whole.
        bool Start(CHILD& child, const std::string& arguments, const std::vector<std::string>& environment = {},
                   const std::string& workDir = "", const std::string& commandLine = "")
        {
            std::vector<std::string> env = environment;
            env.push_back("FRAMEPROBE_REPORT=" + Dir.File("report.txt"));
            DeleteFileA(Dir.File("report.txt").c_str());
            std::string line = commandLine.empty() ? "\"" + Exe + "\" " + arguments : commandLine;
            return child.Start(line, workDir.empty() ? Folder : workDir, env, Exe);
        }

        int Run(const std::string& arguments, REPORT* report, const std::vector<std::string>& environment = {},
                const std::string& workDir = "", const std::string& commandLine = "")
        {
            CHILD child;
            if (!Start(child, arguments, environment, workDir, commandLine))
                return -2;
            int code = child.Wait(30000);
            if (report)
                *report = ReadReport();
            return code;
        }

        REPORT ReadReport()
        {
            REPORT report;
            for (const std::string& line : SplitLines(ReadFile(Dir.File("report.txt"))))
            {
                size_t equals = line.find('=');
                if (equals != std::string::npos)
                    report[line.substr(0, equals)] = line.substr(equals + 1);
            }
            return report;
        }

        std::vector<std::string> Arguments(const REPORT& report)
        {
            std::vector<std::string> arguments;
            int count = report.count("count") ? atoi(report.at("count").c_str()) : 0;
            for (int i = 0; i < count; i++)
                arguments.push_back(report.at("arg" + std::to_string(i)));
            return arguments;
        }

        TEMPDIR Dir{"probe"};
        std::string Folder;
        std::string Exe;
    };

    std::string LogBody(const std::string& line)
    {
        size_t close = line.find("] ");
        return close == std::string::npos ? line : line.substr(close + 2);
    }

    std::vector<std::string> LogBodies(const std::string& path)
    {
        std::vector<std::string> bodies;
        for (const std::string& line : SplitLines(ReadFile(path)))
            bodies.push_back(LogBody(line));
        return bodies;
    }

    bool Contains(const std::vector<std::string>& lines, const std::string& wanted)
    {
        for (const std::string& line : lines)
        {
            if (line == wanted)
                return true;
        }
        return false;
    }

    int DefaultLanguage()
    {
        return PRIMARYLANGID(GetUserDefaultUILanguage());
    }

    int CountWindows(DWORD pid, const char* className)
    {
        struct SEARCH
        {
            DWORD Pid;
            const char* ClassName;
            int Count;
        } search = {pid, className, 0};
        EnumWindows(
            [](HWND window, LPARAM parameter) -> BOOL {
                SEARCH* s = reinterpret_cast<SEARCH*>(parameter);
                DWORD owner = 0;
                char name[64] = "";
                GetWindowThreadProcessId(window, &owner);
                GetClassNameA(window, name, sizeof(name));
                if (owner == s->Pid && strcmp(name, s->ClassName) == 0 && IsWindowVisible(window))
                    s->Count++;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.Count;
    }
}

TEST(CommandLineSplit, QuotedProgramPathIsDroppedAndRest)
{
    EXPECT_EQ((std::vector<std::string>{"C:\\self\\probe.exe", "/install"}),
              Split("\"C:\\Program Files\\service.exe\" /install"));
    EXPECT_EQ((std::vector<std::string>{"C:\\self\\probe.exe", "service", "/install"}), Split("service /install"));
    EXPECT_EQ((std::vector<std::string>{"C:\\self\\probe.exe"}), Split("a.exe"));
    // Compared with regard to case, and only names longer than ".exe" itself.
    EXPECT_EQ((std::vector<std::string>{"C:\\self\\probe.exe", "X.EXE", "/a"}), Split("X.EXE /a"));
    EXPECT_EQ((std::vector<std::string>{"C:\\self\\probe.exe", ".exe"}), Split(".exe"));
}

TEST(CommandLineSplit, QuotesBlanksAndUnclosedTokens)
{
    EXPECT_EQ((std::vector<std::string>{"C:\\self\\probe.exe", "/CFG:C:\\My Dir\\a.cfg", "x"}),
              Split("p.exe \"/CFG:C:\\My Dir\\a.cfg\" x"));
    EXPECT_EQ((std::vector<std::string>{"C:\\self\\probe.exe", "a", "b"}), Split("   a    b   "));
    EXPECT_EQ((std::vector<std::string>{"C:\\self\\probe.exe", "", "x"}), Split("\"\" x"));
    EXPECT_EQ((std::vector<std::string>{"C:\\self\\probe.exe", "open ended"}), Split("\"open ended"));
    // A quote inside a plain token does not start a quoted one.
    EXPECT_EQ((std::vector<std::string>{"C:\\self\\probe.exe", "/CFG:\"a", "b\""}), Split("/CFG:\"a b\""));
    EXPECT_EQ((std::vector<std::string>{"C:\\self\\probe.exe"}), Split(""));
    EXPECT_EQ((std::vector<std::string>{"C:\\self\\probe.exe"}), Split("    "));
}

TEST(CommandLineSplit, AtMost255EntriesTheLastTakesTheRest)
{
    std::string line;
    for (int i = 0; i < 300; i++)
        line += "t" + std::to_string(i) + " ";
    int count = 0;
    std::vector<std::string> argv = Split(line, &count);
    ASSERT_EQ(255, count);
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

namespace
{
    class ArgumentQueries : public testing::Test
    {
    protected:
        void SetUp() override
        {
            LogPath = Dir.File("args.log");
            LogitOption(("/LOGIT:" + LogPath).c_str());
            Saved = new STRINGARRAY(TARNIAPP::Arguments());
            TARNIAPP::Arguments().DeleteAll();
        }
        void TearDown() override
        {
            LogitOption("/LOGITCLOSE");
            TARNIAPP::Arguments() = *Saved;
            delete Saved;
        }
        void Use(std::initializer_list<const char*> arguments)
        {
            for (const char* argument : arguments)
                TARNIAPP::Arguments().AddItem(STRING(argument));
        }
        std::vector<std::string> Log()
        {
            LogitOption("/LOGITCLOSE");
            std::vector<std::string> lines = LogBodies(LogPath);
            return std::vector<std::string>(lines.begin() + 2, lines.end());
        }
        TEMPDIR Dir{"args"};
        std::string LogPath;
        STRINGARRAY* Saved = 0;
    };
}

TEST_F(ArgumentQueries, TestArgMatchesWholeKeysWithEitherPrefix)
{
    Use({"C:\\x\\p.exe", "/install", "-STOP", "INSTALLX", "/Installer", "/gui:x"});
    EXPECT_EQ(1, TestArg("INSTALL"));
    EXPECT_EQ(1, TestArg("stop"));
    EXPECT_EQ(0, TestArg("INSTALLX"));
    EXPECT_EQ(0, TestArg("GUI"));
    EXPECT_EQ((std::vector<std::string>{"TestArg(\"INSTALL\") returned 1", "TestArg(\"stop\") returned 1",
                                        "TestArg(\"INSTALLX\") returned 0", "TestArg(\"GUI\") returned 0"}),
              Log());
}

TEST_F(ArgumentQueries, TestArgValueCountsColonAndDashForms)
{
    Use({"p", "/STARTUPDELAY:5", "/STARTUPDELAY5", "/STARTUPDELAY=5", "/STARTUPDELAY", "-startupdelay", "7"});
    EXPECT_EQ(1, TestArgValue("STARTUPDELAY", 0));
    EXPECT_EQ(1, TestArgValue("StartupDelay", 1));
    EXPECT_EQ(0, TestArgValue("STARTUPDELAY", 2));
    EXPECT_EQ(0, TestArgValue("STARTUP", 0));
    EXPECT_EQ((std::vector<std::string>{"TestArgValue(\"STARTUPDELAY\", 0) returned 1",
                                        "TestArgValue(\"StartupDelay\", 1) returned 1",
                                        "TestArgValue(\"STARTUPDELAY\", 2) returned 0",
                                        "TestArgValue(\"STARTUP\", 0) returned 0"}),
              Log());
}

TEST_F(ArgumentQueries, GetArgValueTakesPrefixMatchesInOrder)
{
    Use({"p", "/CFG:a.cfg", "/CFGb.cfg", "/cfg=c.cfg", "-CFG", "d.cfg", "/LANGUAGE:x", "/LANG:GER"});
    EXPECT_EQ("a.cfg", std::string(GetArgValue("CFG", 0).Text()));
    EXPECT_EQ("b.cfg", std::string(GetArgValue("CFG", 1).Text()));
    EXPECT_EQ("=c.cfg", std::string(GetArgValue("CFG", 2).Text()));
    EXPECT_EQ("d.cfg", std::string(GetArgValue("cfg", 3).Text()));
    EXPECT_EQ("", std::string(GetArgValue("CFG", 4).Text()));
    EXPECT_EQ("UAGE:x", std::string(GetArgValue("LANG", 0).Text()));
    EXPECT_EQ((std::vector<std::string>{"GetArgValue(\"CFG\", 0) returned a.cfg", "GetArgValue(\"CFG\", 1) returned b.cfg",
                                        "GetArgValue(\"CFG\", 2) returned =c.cfg", "GetArgValue(\"cfg\", 3) returned d.cfg",
                                        "GetArgValue(\"CFG\", 4) returned <NULL>",
                                        "GetArgValue(\"LANG\", 0) returned UAGE:x"}),
              Log());
}

TEST_F(ArgumentQueries, DashOptionWithoutNextArgumentReportsTheIndexAndGivesNothing)
{
    Use({"p", "-CFG"});
    ASSERTSPY spy;
    EXPECT_EQ("", std::string(GetArgValue("CFG", 0).Text()));
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("FALSE", spy.Last().Condition);
    EXPECT_NE(std::string::npos, spy.Last().Info.find("i= 2, "));
}

TEST(FrameStart, ProgramPathInQuotesIsDroppedAndArgumentsFollow)
{
    PROBE probe;
    REPORT report;
    ASSERT_EQ(0, probe.Run("/install \"two words\"", &report));
    EXPECT_EQ((std::vector<std::string>{probe.Exe, "/install", "two words"}), probe.Arguments(report));
    EXPECT_EQ("null", report["terminator"]);
    EXPECT_EQ("1", report["mainthread"]);
    EXPECT_EQ("frameprobe", report["appname"]);

    // Started as "service /install": the first word is an argument.
    ASSERT_EQ(0, probe.Run("", &report, {}, "", "service /install"));
    EXPECT_EQ((std::vector<std::string>{probe.Exe, "service", "/install"}), probe.Arguments(report));
    EXPECT_EQ("service /install", report["commandline"]);
}

TEST(FrameStart, ExitCodeOfTheApplicationIsTheProcessExitCodeWithTheBanner)
{
    PROBE probe;
    std::string log = probe.Dir.File("banner.log");
    ASSERT_EQ(42, probe.Run("/LOGIT:" + log, 0, {"FRAMEPROBE_EXIT=42"}));
    std::vector<std::string> lines = LogBodies(log);
    ASSERT_GE(lines.size(), 4u);
    size_t n = lines.size();
    EXPECT_EQ("", lines[n - 4]);
    EXPECT_EQ("Welcome back frameprobe, you have safely returned to TARNIAPP with exit code 42", lines[n - 3]);
    EXPECT_EQ("Taxi to your hangar and have a pleasant stay.", lines[n - 2]);
    EXPECT_EQ("Over and out.", lines[n - 1]);
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
    std::vector<std::string> lines = LogBodies(log);
    std::vector<std::string> start = {
        "Logging starts at ",
        "Running as " + exe + " (" + std::to_string(data.nFileSizeLow) + " bytes, ",
        "LogitLevel 00000003",
        "TARNIAPP arguments acquired",
        "TARNIAPP program argument 0= '" + exe + "'",
        "TARNIAPP program argument 1= '/LOGIT:" + log + "'",
        "TARNIAPP program argument 2= '/LOG:3'",
        "TARNIAPP program argument 3= '/gui'",
        "TARNIAPP program argument 4= 'two words'",
        "TestArgValue(\"STARTUPDELAY\", 0) returned 0",
        "GetArgValue(\"LANG\", 0) returned <NULL>",
        "TARNIAPP gLocale= ",
    };
    std::vector<std::string> end = {
        "",
        "Welcome back service, you have safely returned to TARNIAPP with exit code 0",
        "Taxi to your hangar and have a pleasant stay.",
        "Over and out.",
    };
    ASSERT_GE(lines.size(), start.size() + end.size()) << ReadFile(log);
    for (size_t i = 0; i < start.size(); i++)
        EXPECT_EQ(0u, lines[i].find(start[i])) << "line " << i << ": " << lines[i];
    for (size_t i = 0; i < end.size(); i++)
        EXPECT_EQ(end[i], lines[lines.size() - end.size() + i]);
    EXPECT_TRUE(Contains(lines, "TestArg(\"GUI\") returned 1"));
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(Logging starts at \d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})")));
    EXPECT_TRUE(std::regex_search(lines[1], std::regex(R"( bytes, \d{4}-\d{2}-\d{2}  \d{2}:\d{2}:\d{2}\)$)")));
    EXPECT_TRUE(std::regex_match(lines[11], std::regex(R"(TARNIAPP gLocale= \d+, locale= [0-9a-f]+/[0-9a-f]+/[0-9a-f]+, primarylang= [0-9a-f]+)")));
}

TEST(FrameStart, LanguageOptionSetsTheLocale)
{
    PROBE probe;
    REPORT report;
    struct
    {
        std::string Arguments;
        int Locale;
    } cases[] = {
        {"/lang:ger", 7}, {"-LANG HUNGARIAN", 14}, {"/LANG:French", 12}, {"/LANG:GER /LANG:ENGL", 7},
        {"/LANG=GER", DefaultLanguage()}, {"/LANGUAGE:GER", DefaultLanguage()}, {"/LANG:klingon", DefaultLanguage()},
    };
    for (const auto& c : cases)
    {
        ASSERT_EQ(0, probe.Run(c.Arguments, &report)) << c.Arguments;
        EXPECT_EQ(std::to_string(c.Locale), report["locale"]) << c.Arguments;
    }
}

TEST(FrameStart, StartupDelayNeedsAValue)
{
    PROBE probe;
    std::string log = probe.Dir.File("delay.log");
    struct
    {
        std::string Arguments;
        bool Sleeps;
    } cases[] = {
        {"/STARTUPDELAY5", false}, {"/STARTUPDELAY", false}, {"/STARTUPDELAY:0", true},
        {"-STARTUPDELAY 0", true}, {"/STARTUPDELAY:none", true},
    };
    for (const auto& c : cases)
    {
        ASSERT_EQ(0, probe.Run("/LOGIT:" + log + " " + c.Arguments, 0)) << c.Arguments;
        EXPECT_EQ(c.Sleeps, Contains(LogBodies(log), "TARNIAPP sleeping for startupdelay")) << c.Arguments;
    }
}

TEST(FrameStart, ApplicationNameLosesOnlyTheLowerCaseExtension)
{
    PROBE upper("Probe.EXE");
    REPORT report;
    ASSERT_EQ(0, upper.Run("", &report));
    EXPECT_EQ("Probe.EXE", report["appname"]);
}

TEST(FrameStart, DevelopmentLayoutCutsReleaseFolderFromTheApplicationDirectory)
{
    for (const char* release : {"Release", "release2"})
    {
        PROBE probe("frameprobe.exe", std::string("dev\\") + release);
        WriteFile(probe.Dir.File("dev\\main.cpp"), "");
        REPORT report;
        ASSERT_EQ(0, probe.Run("", &report, {}, probe.Dir.Path()));
        EXPECT_EQ(probe.Dir.File("dev"), report["appdir"]) << release;
        EXPECT_EQ(probe.Dir.File("dev"), report["cwd"]) << release;
        EXPECT_EQ(probe.Dir.Path(), report["workdir"]) << release;
    }

    PROBE plain("frameprobe.exe", "plain\\Release");
    REPORT report;
    ASSERT_EQ(0, plain.Run("", &report, {}, plain.Dir.Path()));
    EXPECT_EQ(plain.Folder, report["appdir"]);
    EXPECT_EQ(plain.Folder, report["cwd"]);
}

TEST(CommandLineIni, LinesAreTrimmedUnquotedAndFollowTheCommandLine)
{
    PROBE probe;
    std::string log = probe.Dir.File("ini.log");
    WriteFile(probe.Dir.File("commandline.ini"),
              "  /LANG:GER \t\r\n'/X:quoted'\r\n\"\"\r\n\t \r\n\"/Y two\"\r\n'\r\n/LOGIT:" + log + "\r\n");
    WriteFile(probe.Dir.File("frameprobe_commandline.ini"), "/FROM:program ini");
    REPORT report;
    ASSERT_EQ(0, probe.Run("/first", &report));
    EXPECT_EQ((std::vector<std::string>{probe.Exe, "/first", "/LANG:GER", "/X:quoted", "\"\"", "/Y two", "'",
                                        "/LOGIT:" + log, "/FROM:program ini"}),
              probe.Arguments(report));
    EXPECT_EQ("7", report["locale"]);
    // Lines of these files are log options too: the log was opened by one.
    std::vector<std::string> lines = LogBodies(log);
    EXPECT_TRUE(Contains(lines, "TARNIAPP processing of " + probe.Dir.File("commandline.ini") + " done"));
    EXPECT_TRUE(Contains(lines, "TARNIAPP program argument 8= '/FROM:program ini'"));
}

TEST(CommandLineIni, QrxIsTheFallbackAndTheWorkingDirectoryComesLast)
{
    PROBE probe;
    TEMPDIR work("work");
    WriteFile(probe.Dir.File("commandline.qrx"), "/FROM:qrx\n");
    WriteFile(work.File("commandline.ini"), "/FROM:workdir\n");
    WriteFile(work.File("frameprobe_commandline.qrx"), "/FROM:workdir program qrx\n");
    REPORT report;
    ASSERT_EQ(0, probe.Run("", &report, {}, work.Path()));
    EXPECT_EQ((std::vector<std::string>{probe.Exe, "/FROM:qrx", "/FROM:workdir", "/FROM:workdir program qrx"}),
              probe.Arguments(report));
    EXPECT_EQ(work.Path(), report["workdir"]);
    EXPECT_EQ(probe.Folder, report["cwd"]);

    // The ".ini" file wins over its ".qrx" twin.
    WriteFile(probe.Dir.File("commandline.ini"), "/FROM:ini\n");
    ASSERT_EQ(0, probe.Run("", &report));
    EXPECT_EQ((std::vector<std::string>{probe.Exe, "/FROM:ini"}), probe.Arguments(report));
}

TEST(CommandLineIni, TheControllerDoesNotTakeLogOptionsFromTheFile)
{
    PROBE controller("service.exe");
    std::string log = controller.Dir.File("never.log");
    WriteFile(controller.Dir.File("commandline.ini"), "/LOGIT:" + log + "\n");
    WriteFile(controller.Dir.File("service_commandline.ini"), "/FROM:service ini\n");
    REPORT report;
    ASSERT_EQ(0, controller.Run("", &report));
    EXPECT_EQ((std::vector<std::string>{controller.Exe, "/LOGIT:" + log, "/FROM:service ini"}),
              controller.Arguments(report));
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
    REPORT report;
    int code = probe.Run("", &report);
    std::string log = ReadFile(desktopLog);
    DeleteFileA(desktopIni.c_str());
    DeleteFileA((desktop + "commandline.qrx").c_str());
    DeleteFileA(desktopLog.c_str());

    ASSERT_EQ(0, code);
    EXPECT_EQ((std::vector<std::string>{probe.Exe, "/FROM:desktop", "/LOGIT", "/FROM:appdir"}), probe.Arguments(report));
    EXPECT_NE(std::string::npos, log.find("TARNIAPP processing of " + desktopIni + " done"));
}

TEST(CommandLineIni, UnreadableFileAddsNothing)
{
    PROBE probe;
    // A folder of that name exists but cannot be read as a file.
    CreateDirectoryA(probe.Dir.File("commandline.ini").c_str(), 0);
    REPORT report;
    ASSERT_EQ(0, probe.Run("/only", &report));
    EXPECT_EQ((std::vector<std::string>{probe.Exe, "/only"}), probe.Arguments(report));
}

TEST(AssertionDialog, YesContinuesTheProgram)
{
    PROBE probe;
    CHILD child;
    ASSERT_TRUE(probe.Start(child, "/PROBEASSERT"));
    HWND box = WaitForWindow(child.Id(), "#32770", 20000);
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
    EXPECT_EQ("1", probe.ReadReport()["mainthread"]) << "the program went on after Yes";
    EXPECT_NE(std::string::npos, ReadFile(probe.Dir.File("assert.log")).find("Condition: probe==condition"));
}

TEST(AssertionDialog, NoEndsTheProgramAbnormally)
{
    PROBE probe;
    CHILD child;
    ASSERT_TRUE(probe.Start(child, "/PROBEASSERT /LANG:GER"));
    HWND box = WaitForWindow(child.Id(), "#32770", 20000);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(0u, Narrow(ControlText(box, 0xFFFF)).find("Es ist eine unerwartete Situation aufgetreten."));
    ASSERT_TRUE(PressButton(box, IDNO));
    EXPECT_EQ((int)EXCEPTION_ACCESS_VIOLATION, child.Wait(20000));
    EXPECT_FALSE(FileExists(probe.Dir.File("report.txt")));
}

TEST(AssertionDialog, NoAssertSwitchesTheDialogOffAndASecondOneOnAgain)
{
    PROBE probe;
    REPORT report;
    ASSERT_EQ(0, probe.Run("/NOASSERT /PROBEASSERT", &report));
    EXPECT_EQ("1", report["mainthread"]);
    EXPECT_NE(std::string::npos, ReadFile(probe.Dir.File("assert.log")).find("Condition: probe==condition"));

    CHILD child;
    ASSERT_TRUE(probe.Start(child, "/NOASSERT -noassert /PROBEASSERT"));
    HWND box = WaitForWindow(child.Id(), "#32770", 20000);
    ASSERT_NE(nullptr, box);
    PressButton(box, IDYES);
    EXPECT_EQ(0, child.Wait(20000));
}

TEST(AssertionDialog, ASecondAssertionWhileTheDialogShowsIsOnlyRecorded)
{
    PROBE probe;
    CHILD child;
    ASSERT_TRUE(probe.Start(child, "/PROBEASSERT2"));
    HWND box = WaitForWindow(child.Id(), "#32770", 20000);
    ASSERT_NE(nullptr, box);
    std::string marker = probe.Dir.File("second.txt");
    for (int waited = 0; waited < 20000 && !FileExists(marker); waited += 50)
        Sleep(50);
    EXPECT_TRUE(FileExists(marker)) << "the second assertion returned while the first dialog showed";
    EXPECT_EQ(1, CountWindows(child.Id(), "#32770"));
    PressButton(box, IDYES);
    EXPECT_EQ(0, child.Wait(20000));
    std::string text = ReadTextFile(probe.Dir.File("assert.log"));
    size_t another = text.find("--- (another assert message is currently showing)\n\n--- Tarni frameprobe (0.00) --- ");
    ASSERT_NE(std::string::npos, another) << text;
    EXPECT_NE(std::string::npos, text.find("Condition: second==condition", another));
}
