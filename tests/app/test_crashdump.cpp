// The crash dump handler, on a probe that faults: the dump on the desktop, its
// gzip copy, the question box read from here, the upload address received by
// a stand-in browser, the kinds and names, and the ways it can fail.

#include <gtest/gtest.h>

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/app/crashdump.h"
#include "framework/os/osys.h"
#include "framework/text/strings.h"
#include "framework/windows/winmisc_win32.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    const char* const ShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

    std::string RegText(HKEY root, const char* key, const char* value)
    {
        char text[1024] = "";
        DWORD size = sizeof(text);
        if (RegGetValueA(root, key, value, RRF_RT_REG_SZ, 0, text, &size) != ERROR_SUCCESS)
            return "";
        return text;
    }

    void SetRegText(HKEY root, const char* key, const char* value, const std::string& text)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(root, key, value, REG_SZ, text.c_str(), (DWORD)text.size() + 1));
    }

    // The content of a gzip file, empty when it is not one.
    std::string Gunzip(const std::string& path)
    {
        std::string content;
        gzFile file = gzopen(path.c_str(), "rb");
        if (!file || gzdirect(file))
        {
            if (file)
                gzclose(file);
            return "";
        }
        char buffer[65536];
        int count;
        while ((count = gzread(file, buffer, sizeof(buffer))) > 0)
            content.append(buffer, count);
        return gzclose(file) == Z_OK && count == 0 ? content : "";
    }

    std::string UserTag()
    {
        std::string user = OSYS::GetUserName().Text();
        std::replace(user.begin(), user.end(), ' ', '_');
        return user;
    }

    // A copy of the frame probe and of the stand-in browser in a folder of
    // their own; the browser is registered for "http" while the test runs,
    // and the probe's dumps are removed from the desktop before and after.
    class CrashDump : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            Probe = Dir.File("frameprobe.exe");
            ASSERT_TRUE(CopyFileA((SelfDirectory() + "\\frameprobe.exe").c_str(), Probe.c_str(), FALSE));
            ASSERT_TRUE(CopyFileA((SelfDirectory() + "\\urlcapture.exe").c_str(), Dir.File("urlcapture.exe").c_str(),
                                  FALSE));
            Desktop = SystemFolder(8);
            std::string host = CRASHDUMP::ReportHost;
            BrowserKey = host.substr(0, host.find(':')) + "\\shell\\open\\command";
            SavedBrowser = RegText(HKEY_CLASSES_ROOT, BrowserKey.c_str(), 0);
            SetRegText(HKEY_CLASSES_ROOT, BrowserKey.c_str(), 0, "\"" + Dir.File("urlcapture.exe") + "\" \"%1\"");
            RemoveDumps();
        }

        void TearDown() override
        {
            RemoveDumps();
            SetRegText(HKEY_CLASSES_ROOT, BrowserKey.c_str(), 0, SavedBrowser);
        }

        void RemoveDumps()
        {
            for (const std::string& name : Dumps())
                DeleteFileA((Desktop + "\\" + name).c_str());
            DeleteFileA(Url().c_str());
        }

        // The probe's dump files on the desktop, sorted.
        std::vector<std::string> Dumps()
        {
            std::vector<std::string> names;
            WIN32_FIND_DATAA found;
            HANDLE search = FindFirstFileA((Desktop + "\\Tarni.CrashInfo.FRAMEPROBE000.*").c_str(), &found);
            if (search == INVALID_HANDLE_VALUE)
                return names;
            do
                names.push_back(found.cFileName);
            while (FindNextFileA(search, &found));
            FindClose(search);
            std::sort(names.begin(), names.end());
            return names;
        }

        std::string Url() { return Dir.File("url.txt"); }
        std::string DumpName(const std::string& kind) { return "Tarni.CrashInfo.FRAMEPROBE000." + UserTag() + "." + kind; }

        bool Start(CHILD& child, const std::string& arguments)
        {
            return child.Start("\"" + Probe + "\" " + arguments, Dir.Path(), {}, Probe);
        }

        int Run(const std::string& arguments)
        {
            CHILD child;
            return Start(child, arguments) ? child.Wait(120000) : -2;
        }

        // The address the browser received, once it has written it.
        std::string ReceivedUrl()
        {
            WaitUntil([&] { return FileExists(Url()); }, 20000);
            return ReadFile(Url());
        }

        TEMPDIR Dir{"crash"};
        std::string Probe;
        std::string Desktop;
        std::string BrowserKey;   // of the report host's scheme
        std::string SavedBrowser;
    };
}

// With a log the dump is sent without asking: compressed, the ".dmp" gone,
// the address opened in the language's form.
TEST_F(CrashDump, WithALogTheDumpIsCompressedAndTheFormOpenedWithoutAsking)
{
    const struct { const char* Language; const char* Query; } rows[] = {
        {"", ""},
        {"/LANG:GER", "&html=htm"},
    };
    for (const auto& row : rows)
    {
        RemoveDumps();
        std::string log = Dir.File("crash.log");
        ASSERT_EQ(42, Run(std::string("/CRASHDUMP /LOGIT:") + log + " " + row.Language + " /PROBEFAULT"));
        const std::string dump = DumpName("TARNI") + ".dmp";
        ASSERT_EQ((std::vector<std::string>{dump + ".gz"}), Dumps()) << row.Language;
        EXPECT_EQ(0u, Gunzip(Desktop + "\\" + dump + ".gz").find("MDMP")) << row.Language;
        EXPECT_EQ(std::string(CRASHDUMP::ReportHost) + "/common/crashreport.php?filename=" + dump + row.Query,
                  ReceivedUrl());
        std::vector<std::string> lines = LogLines(log, "TARNIAPP::WriteDumpToFileHandler");
        EXPECT_EQ((std::vector<std::string>{"TARNIAPP::WriteDumpToFileHandler entered",
                                            "TARNIAPP::WriteDumpToFileHandler dump file written (" + Desktop + "\\" +
                                                dump + ")",
                                            "TARNIAPP::WriteDumpToFileHandler finished"}),
                  lines);
    }
}

// Without a log the user is asked; No keeps the plain dump and opens nothing.
TEST_F(CrashDump, WithoutALogTheQuestionDecides)
{
    const std::string dump = DumpName("TARNI") + ".dmp";
    const struct { const char* Language; int Answer; std::string Text; std::vector<std::string> Files; std::string Url; } rows[] = {
        {"", IDNO,
         "The program FRAMEPROBE000 has encountered an error and will be terminated.\n\nYou can now choose to create a "
         "file with crash-debugging information \nfor upload to Tarni (a developer at Tarni will then look at the "
         "file and such files often helps us fix the problem in future versions).\n\n Filename: " + dump +
             "\n (in folder '" + Desktop + "')\n\nPlease consider to send the file, especially if you encounter the "
             "problem multiple times.\n\nDo you now want to create and send the crash-information?  (If you coosse "
             "'Yes', a web browser will open with an upload form to send the file, otherwise the program will simply "
             "terminate)?",
         {dump}, ""},
        {"/LANG:GER", IDYES,
         "Das Programm FRAMEPROBE000 hat einen Fehler verursacht und muss beendet werden.\n\nSie k\xf6nnen eine Datei "
         "mit Crash-Informationen per Web-Upload oder Email an Tarni senden. Dies kann helfen, das Problem in "
         "zuk\xfcnftigen Versionen zu beheben (speziell dann, wenn der Fehler h\xe4ufiger auftritt).\n\n Filename: " +
             dump + "\n (im Ordner '" + Desktop + "')\n\nWollen Sie die Crash-Informationen erzeugen und an Tarni "
             "senden? (Wenn Sie mit 'Ja' antworten, \xf6" "ffnet sich ein Web-Formular zum Upload der Crash-Datei, "
             "andernfalls wird das Programm direkt beendet)?",
         {dump + ".gz"}, std::string(CRASHDUMP::ReportHost) + "/common/crashreport.php?filename=" + dump + "&html=htm"},
    };
    for (const auto& row : rows)
    {
        RemoveDumps();
        CHILD child;
        ASSERT_TRUE(Start(child, std::string("/CRASHDUMP ") + row.Language + " /PROBEFAULT"));
        HWND box = WaitForWindow(child.Id(), "#32770", 60000);
        ASSERT_NE(nullptr, box) << row.Language;
        EXPECT_EQ(L"frameprobe Crash", WindowText(box));
        WSTRING shown = WINTARNI::FormatMsgText(row.Text.c_str(), 55, false);
        EXPECT_EQ(std::wstring(shown.Text(), shown.Text() + shown.Length()), ControlText(box, 0xFFFF)) << row.Language;
        ASSERT_TRUE(PressButton(box, row.Answer));
        EXPECT_EQ(42, child.Wait(60000));
        EXPECT_EQ(row.Files, Dumps()) << row.Language;
        EXPECT_EQ(row.Url, row.Url.empty() ? ReadFile(Url()) : ReceivedUrl()) << row.Language;
    }
}

// The level picks the kind (the larger level stays); taken names are skipped.
TEST_F(CrashDump, KindByLevelAndTheFirstFreeName)
{
    const struct { const char* Options; int Earlier; std::string Name; } rows[] = {
        {"/CRASHDUMP:3 /CRASHDUMP:1", 0, DumpName("MIDI") + ".dmp.gz"},
        {"/CRASHDUMP:5", 0, DumpName("TINY") + ".dmp.gz"},
        // Attempts 1 to 10 taken, as plain and as compressed dumps.
        {"/CRASHDUMP", 10, DumpName("TARNI") + "_11.dmp.gz"},
    };
    for (const auto& row : rows)
    {
        RemoveDumps();
        std::vector<std::string> expected;
        for (int attempt = 1; attempt <= row.Earlier; attempt++)
        {
            std::string name = DumpName("TARNI") + (attempt > 1 ? "_" + std::to_string(attempt) : "") +
                               (attempt % 2 ? ".dmp" : ".dmp.gz");
            WriteFile(Desktop + "\\" + name, "earlier");
            expected.push_back(name);
        }
        expected.push_back(row.Name);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(42, Run(std::string(row.Options) + " /LOGIT:" + Dir.File("kind.log") + " /PROBEFAULT"));
        EXPECT_EQ(expected, Dumps()) << row.Options;
        EXPECT_EQ(0u, Gunzip(Desktop + "\\" + row.Name).find("MDMP")) << row.Options;
    }
}

// The assertion answered No and the fault hot key both end in the handler.
TEST_F(CrashDump, AssertionNoAndTheFaultHotKeyEndInTheHandler)
{
    for (const char* trigger : {"/PROBEASSERT", "/PROBEF9"})
    {
        RemoveDumps();
        CHILD child;
        ASSERT_TRUE(Start(child, std::string("/CRASHDUMP /LOGIT:") + Dir.File("trigger.log") + " " + trigger));
        if (std::string(trigger) == "/PROBEASSERT")
        {
            HWND box = WaitForWindow(child.Id(), "#32770", 20000);
            ASSERT_NE(nullptr, box);
            ASSERT_TRUE(PressButton(box, IDNO));
        }
        EXPECT_EQ(42, child.Wait(120000)) << trigger;
        EXPECT_EQ((std::vector<std::string>{DumpName("TARNI") + ".dmp.gz"}), Dumps()) << trigger;
    }
}

// Without dbghelp only the failure is logged; without a crash option Windows
// ends the process; a missing dump folder still asks, and Yes opens the form.
TEST_F(CrashDump, FailuresStillEndWith42OrAsWindowsWould)
{
    std::string log = Dir.File("fail.log");
    {
        // Wine's loader refuses the library to this program name only.
        const char* overrides = "Software\\Wine\\AppDefaults\\frameprobe.exe\\DllOverrides";
        RegDeleteKeyA(HKEY_CURRENT_USER, overrides);
        ATEND restore{[&] { RegDeleteKeyA(HKEY_CURRENT_USER, overrides); }};
        SetRegText(HKEY_CURRENT_USER, overrides, "dbghelp", "");
        EXPECT_EQ(42, Run("/CRASHDUMP /LOGIT:" + log + " /PROBEFAULT"));
    }
    std::vector<std::string> lines = LogLines(log, "TARNIAPP::WriteDumpToFileHandler");
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(0u, lines[1].find("TARNIAPP::WriteDumpToFileHandler failed to load dll or proc address ("));
    EXPECT_EQ("TARNIAPP::WriteDumpToFileHandler finished", lines[2]);
    EXPECT_TRUE(Dumps().empty());

    int code = Run("/LOGIT:" + log + " /PROBEFAULT");
    EXPECT_NE(42, code);
    EXPECT_NE(0, code);
    EXPECT_TRUE(Dumps().empty());

    const std::string savedDesktop = RegText(HKEY_CURRENT_USER, ShellFolders, "Desktop");
    ATEND restore{[&] { SetRegText(HKEY_CURRENT_USER, ShellFolders, "Desktop", savedDesktop); }};
    const std::string missing = Dir.File("missing");
    SetRegText(HKEY_CURRENT_USER, ShellFolders, "Desktop", missing);
    CHILD child;
    ASSERT_TRUE(Start(child, "/CRASHDUMP /PROBEFAULT"));
    HWND box = WaitForWindow(child.Id(), "#32770", 60000);
    ASSERT_NE(nullptr, box);
    EXPECT_NE(std::wstring::npos, ControlText(box, 0xFFFF).find(L"(in folder '" + std::wstring(missing.begin(), missing.end()) + L"')"));
    ASSERT_TRUE(PressButton(box, IDYES));
    EXPECT_EQ(42, child.Wait(60000));
    EXPECT_EQ(std::string(CRASHDUMP::ReportHost) + "/common/crashreport.php?filename=" + DumpName("TARNI") + ".dmp",
              ReceivedUrl());
    EXPECT_FALSE(FileExists(missing));
}
