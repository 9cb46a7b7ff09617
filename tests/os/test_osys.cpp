#include <windows.h>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

namespace
{
    std::string ChildPath()
    {
        return TESTSUPPORT::SelfDirectory() + "\\childprobe.exe";
    }

    // The child reports how it was started into a scratch folder, which also takes copies of it.
    struct CHILDSETUP
    {
        CHILDSETUP() { SetEnvironmentVariableA("CHILDPROBE_REPORT", Report.c_str()); }
        ~CHILDSETUP() { SetEnvironmentVariableA("CHILDPROBE_REPORT", 0); }
        std::map<std::string, std::string> Take()
        {
            std::map<std::string, std::string> report;
            for (const std::string& line : TESTSUPPORT::SplitLines(TESTSUPPORT::ReadFile(Report)))
                report[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
            DeleteFileA(Report.c_str());
            return report;
        }
        std::string Copy(const std::string& relative)
        {
            const std::string target = Dir.File(relative);
            CreateDirectoryA(target.substr(0, target.find_last_of('\\')).c_str(), 0);
            return CopyFileA(ChildPath().c_str(), target.c_str(), FALSE) ? target : "";
        }
        TESTSUPPORT::TEMPDIR Dir{"osys"};
        const std::string Report = Dir.File("report.txt");
    };

    HANDLE gPumpEvent = 0;
    bool gDark = false;
}

TEST(OsId, WineVersionsGiveTheirIds)
{
    // The mapping itself is test_os's; these rows prove the version query and the manifest's system entries.
    CHILDSETUP child;
    for (const auto& v : {std::make_pair("winxp", 3), std::make_pair("win81", 8), std::make_pair("win10", 9)})
    {
        const std::string name = "osid-" + std::to_string(GetCurrentProcessId()) + "-" + v.first + ".exe";
        const std::string program = child.Copy(name);
        ASSERT_FALSE(program.empty());
        TESTSUPPORT::APPVERSION version(name, v.first);
        EXPECT_EQ(v.second, OSYS::StartProgramExitCode(program.c_str(), "osid")) << v.first;
    }
}

TEST(StartProgram, QuotesProgramsOnlyWhenParametersFollowAndSetsShowModes)
{
    CHILDSETUP child;
    const std::string spaced = child.Copy("with blank\\childprobe.exe"), plain = child.Copy("childprobe.exe");
    ASSERT_FALSE(spaced.empty() || plain.empty());
    // Wine quotes a path with blanks by itself: only the plain path shows our quotes.
    const std::string quoted = "\"" + spaced + "\"";
    const std::pair<std::string, std::string> programs[] = {{spaced, quoted}, {quoted, quoted}, {plain, "\"" + plain + "\""}};
    for (const auto& program : programs)
    {
        EXPECT_EQ(1, OSYS::StartProgram(program.first.c_str(), "/a", 0, 0, OSYS::STARTPROGRAM_SYNC));
        EXPECT_EQ(program.second + " /a", child.Take()["commandline"]);
    }

    // Show "" means the child gets no show flag at all.
    const struct { const char* Prefix; const char* Parameters; int Flags; const char* Show; } cases[] = {
        {"", "", 0, ""}, {"", nullptr, 2, "0"}, {"", "", 8, "3"}, {"#", "", 8, "0"}, {"*", "", 2, "2"},
    };
    for (const auto& c : cases)
    {
        const std::string text = c.Prefix + plain;
        ASSERT_EQ(1, OSYS::StartProgram(text.c_str(), c.Parameters, 0, 0, c.Flags | OSYS::STARTPROGRAM_SYNC)) << text;
        auto report = child.Take();
        EXPECT_EQ(plain, report["commandline"]) << text;
        EXPECT_EQ(c.Show[0] ? "1" : "0", report["showflag"]) << text << " " << c.Flags;
        EXPECT_TRUE(!c.Show[0] || report["show"] == c.Show) << text << " " << c.Flags << ": " << report["show"];
    }
}

TEST(StartProgram, WorkingDirectoryTitleExitCodesFailuresAndThePumpingWait)
{
    CHILDSETUP child;
    const std::string program = ChildPath(), missing = child.Dir.File("missing.exe");
    int code = 0;
    EXPECT_EQ(1, OSYS::StartProgram(program.c_str(), "exit=42", child.Dir.Path().c_str(), "Probe title",
                                    OSYS::STARTPROGRAM_SYNC, 0, &code));
    EXPECT_EQ(42, code);
    auto report = child.Take();
    EXPECT_EQ(0, _stricmp(child.Dir.Path().c_str(), report["cwd"].c_str())) << report["cwd"];
    EXPECT_EQ("Probe title", report["title"]);

    // Without SYNC the caller gets the handles and the code stays -8.
    PROCESS_INFORMATION info = {};
    EXPECT_NE(0, OSYS::StartProgram(program.c_str(), "exit=7", 0, 0, 0, &info, &code));
    EXPECT_EQ(-8, code);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info.hProcess, 30000));
    CloseHandle(info.hProcess), CloseHandle(info.hThread);
    code = 0;
    EXPECT_EQ(0, OSYS::StartProgram(missing.c_str(), "/a", 0, 0, OSYS::STARTPROGRAM_SYNC, 0, &code));
    EXPECT_EQ(-8, code);

    // The child ends with 5 when the pump hook released it, else with 3.
    const std::string event = "tarni-pump-" + std::to_string(GetCurrentProcessId());
    gPumpEvent = CreateEventA(0, TRUE, FALSE, event.c_str());
    OSYS::SetMessagePumpHook([] { SetEvent(gPumpEvent); });
    EXPECT_EQ(1, OSYS::StartProgram(program.c_str(), ("wait=" + event + " exit=5").c_str(), 0, 0,
                                    OSYS::STARTPROGRAM_SYNC | OSYS::STARTPROGRAM_PUMPMESSAGES, 0, &code));
    EXPECT_EQ(5, code);
    OSYS::SetMessagePumpHook(nullptr);
    CloseHandle(gPumpEvent);
}

TEST(ShellFunctions, ShellStartsPipesAndAutostart)
{
    CHILDSETUP setup;
    const std::string program = ChildPath(), missing = setup.Dir.File("missing.exe");
    int code = 0;
    EXPECT_TRUE(OSYS::ShellExecuteRunSync(0, program.c_str(), "exit=6", setup.Dir.Path().c_str(), -1, &code));
    EXPECT_EQ(6, code);
    EXPECT_FALSE(OSYS::ShellExecuteRunSync(0, missing.c_str(), "", 0, -1, &code));
    EXPECT_EQ(-1, code);

    // Wine once failed a child's start-up on a fresh prefix (STATUS_DLL_INIT_FAILED): that start is tried again.
    const int dllInitFailed = static_cast<int>(0xC0000142);
    PIPECHILD child;
    std::string output;
    int written = 0, exitCode = dllInitFailed;
    for (int attempt = 0; attempt < 3 && exitCode == dllInitFailed; attempt++)
    {
        ASSERT_TRUE(OSYS::CreatePipeChild(("\"" + program + "\" echo exit=4").c_str(), 0, child));
        written = child.Write("hello pipe", 10);
        child.CloseInput();
        output.clear();
        char buffer[64];
        for (int n; (n = child.Read(buffer, sizeof(buffer))) > 0;)
            output.append(buffer, n);
        exitCode = child.Wait(30000);
    }
    EXPECT_EQ(10, written);
    EXPECT_EQ("echo:hello pipe:end", output);
    EXPECT_EQ(4, exitCode);
    EXPECT_FALSE(OSYS::CreatePipeChild(("\"" + missing + "\"").c_str(), 0, child));
    EXPECT_EQ(-1, child.Wait(0));

    // A leftover entry would start this program at every boot of the prefix.
    const std::string name = "tarni-test-" + std::to_string(GetCurrentProcessId());
    TESTSUPPORT::ATEND remove{[&] { OSYS::SetAutostart(name.c_str(), nullptr); }};
    auto value = [&] {
        char text[1024] = "";
        DWORD size = sizeof(text);
        return RegGetValueA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", name.c_str(),
                            RRF_RT_REG_SZ, 0, text, &size) ? "<none>" : std::string(text);
    };
    EXPECT_TRUE(OSYS::SetAutostart(name.c_str(), "<self>"));
    EXPECT_EQ("\"" + TESTSUPPORT::SelfPath() + "\"", value());
    EXPECT_TRUE(OSYS::SetAutostart(name.c_str(), nullptr));
    EXPECT_EQ("<none>", value());

    // Resource strings come from the program itself and are cut (missing ones: test_resources).
    EXPECT_STREQ("Resource text", OSYS::GetStringFromResource(101).Text());
    EXPECT_EQ(1023u, strlen(OSYS::GetStringFromResource(102).Text()));
}

TEST(Dates, CalendarFieldsDateArithmeticAndRelativeTexts)
{
    CALENDARTIME fields;
    ASSERT_TRUE(OSYS::CalendarFromTime(951782400, fields, true));
    EXPECT_EQ(2000 * 10000 + 229, fields.Year * 10000 + fields.Month * 100 + fields.Day);
    EXPECT_EQ(2, fields.Weekday);
    for (int64_t time : {0LL, 1711846800LL, 4102444800LL})
        for (bool utc : {true, false})
        {
            ASSERT_TRUE(OSYS::CalendarFromTime(time, fields, utc));
            EXPECT_EQ(time, OSYS::TimeFromCalendar(fields, utc)) << time << " " << utc;
        }
    EXPECT_STREQ("2024-02-29 00:00:00", OSYS::AddToDateText("2024-02-28  23:30:00", 1, 48).Text());
    EXPECT_STREQ("2024-02-29 23:59:00", OSYS::AddToDateText("2024-03-01  00:00:00", -1, 1440).Text());
    EXPECT_STREQ("not a date", OSYS::AddToDateText("not a date", 1, 1).Text());

    if (PRIMARYLANGID(GetUserDefaultLCID()) != LANG_ENGLISH)
        GTEST_SKIP() << "English user locale expected";
    const char* const weekdays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    const int64_t now = OSYS::Now(), noon = now - now % 86400 + 43200;
    for (int back : {0, 1, 6, 7})   // today, yesterday, a weekday, a date
    {
        const int64_t time = noon - back * 86400LL;
        ASSERT_TRUE(OSYS::CalendarFromTime(time, fields));
        const std::string weekday = weekdays[fields.Weekday];
        SYSTEMTIME date = {(WORD)fields.Year, (WORD)fields.Month, 0, (WORD)fields.Day};
        char text[64];
        GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &date, 0, text, sizeof(text));
        const std::string day =
            back == 0 ? "Today" : back == 1 ? "Yesterday" : back < 7 ? weekday : weekday.substr(0, 2) + " " + text;
        EXPECT_EQ(day + "  " + (OSYS::DateTimeText(time).Text() + 12), OSYS::RelativeDateTimeText(time).Text());
        EXPECT_EQ(day, OSYS::RelativeDateTimeText(time, OSYS::RELATIVEDATE_NOTIME).Text());
    }
}

TEST(Colours, HsbBlendAndThemedColours)
{
    EXPECT_EQ(0xFF0000FFu, OSYS::HsbToRgb(0, 1, 1, 255));
    EXPECT_EQ(0x008080FFu, OSYS::HsbToRgb(0, 1, 1.5f, 0));
    for (uint32_t i = 0; i < 4096; i++)
    {
        const uint32_t color = (i * 37 % 256) | (i * 101 % 256) << 8 | (i * 211 % 256) << 16 | (i % 256) << 24;
        float h, s, b;
        int a;
        OSYS::RgbToHsb(color, h, s, b, a);
        ASSERT_EQ(color, OSYS::HsbToRgb(h, s, b, a)) << std::hex << color;
    }
    EXPECT_EQ(0x40BF00BFu, OSYS::BlendColor(0x00FF00FF, 0xFF000000, 25));

    auto light = [](uint32_t c) { return (c & 0xFF) + (c >> 8 & 0xFF) + (c >> 16 & 0xFF); };
    OSYS::SetDarkModeHook([] { return gDark; });
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), OSYS::GetThemedSysColor(COLOR_WINDOW));
    gDark = true;
    EXPECT_LT(light(OSYS::GetThemedSysColor(COLOR_WINDOW)), light(OSYS::GetThemedSysColor(COLOR_WINDOWTEXT)));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), OSYS::GetThemedSysColor(COLOR_WINDOW, true));
    gDark = false;
    OSYS::SetDarkModeHook(nullptr);
    ASSERTSPY spy;
    EXPECT_EQ(0x00FFFFFFu, OSYS::HsbToRgb(0, 1, 2.5f, 0));
    EXPECT_EQ(1u, spy.Count());
}

TEST(Crc32, KnownVectorsInPiecesAndFromFiles)
{
    EXPECT_EQ(0xCBF43926u, OSYS::Crc32Text(0xFFFFFFFF, "123456789") ^ 0xFFFFFFFF);
    EXPECT_EQ(0xCBF43926u, OSYS::Crc32(OSYS::Crc32(0xFFFFFFFF, "1234", 4), "56789", 5) ^ 0xFFFFFFFF);
    TESTSUPPORT::TEMPDIR dir("osys");
    const std::string file = dir.File("data.bin");
    std::string bytes;
    for (int i = 0; i < 3000; i++)
        bytes.push_back((char)(i * 31));
    ASSERT_TRUE(TESTSUPPORT::WriteFile(file, bytes));
    for (int64_t length : {-1, 0, 1025, 3001})
    {
        uint32_t value = 0xFFFFFFFF;
        EXPECT_EQ(length < 3001, OSYS::Crc32File(file.c_str(), length, &value)) << length;
        EXPECT_EQ(OSYS::Crc32(0xFFFFFFFF, bytes.data(), length < 0 || length > 3000 ? 3000 : length), value);
    }
}
