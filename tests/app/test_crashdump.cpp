// The crash dump handler, on a probe that faults: the dump on the desktop, its
// gzip copy, the question box read from here, the upload address received by
// a stand-in browser, the kinds and names, and the ways it can fail.

#include <gtest/gtest.h>

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "framework/app/crashdump.h"
#include "framework/os/osys.h"
#include "framework/windows/winmisc_win32.h"
#include "service/serviceres.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    const std::string Form = std::string(CRASHDUMP::ReportHost) + "/common/crashreport.php?filename=";

    std::string RegText(HKEY root, const std::string& key, const char* value)
    {
        char text[1024] = "";
        DWORD size = sizeof(text);
        return RegGetValueA(root, key.c_str(), value, RRF_RT_REG_SZ, 0, text, &size) == ERROR_SUCCESS ? text : "";
    }

    void SetRegText(HKEY root, const std::string& key, const char* value, const std::string& text)
    {
        DWORD size = (DWORD)text.size() + 1;
        EXPECT_EQ(ERROR_SUCCESS, RegSetKeyValueA(root, key.c_str(), value, REG_SZ, text.c_str(), size));
    }

    // The content of a gzip file, empty when it is not one.
    std::string Gunzip(const std::string& path)
    {
        std::string content;
        gzFile file = gzopen(path.c_str(), "rb");
        char buffer[65536];
        int count = -1;
        if (file && !gzdirect(file))
            while ((count = gzread(file, buffer, sizeof(buffer))) > 0)
                content.append(buffer, count);
        return file && gzclose(file) == Z_OK && count == 0 ? content : "";
    }

    // A copy of the frame probe and the stand-in browser, registered for the
    // report host's scheme while the test runs; the probe's dumps are removed
    // from the desktop before and after.
    class CrashDump : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE(CopyFileA((SelfDirectory() + "\\frameprobe.exe").c_str(), Probe.c_str(), FALSE));
            const std::string browser = Dir.File("urlcapture.exe");
            ASSERT_TRUE(CopyFileA((SelfDirectory() + "\\urlcapture.exe").c_str(), browser.c_str(), FALSE));
            SavedBrowser = RegText(HKEY_CLASSES_ROOT, BrowserKey, 0);
            SetRegText(HKEY_CLASSES_ROOT, BrowserKey, 0, "\"" + browser + "\" \"%1\"");
            Clear();
        }
        void TearDown() override
        {
            Clear();
            SetRegText(HKEY_CLASSES_ROOT, BrowserKey, 0, SavedBrowser);
        }
        void Clear()
        {
            for (const std::string& name : Dumps())
                DeleteFileA((Desktop + "\\" + name).c_str());
            DeleteFileA(Dir.File("url.txt").c_str());
        }

        // The probe's dump files on the desktop, sorted.
        std::vector<std::string> Dumps()
        {
            std::vector<std::string> names;
            WIN32_FIND_DATAA found;
            HANDLE search = FindFirstFileA((Desktop + "\\Tarni.CrashInfo.FRAMEPROBE*").c_str(), &found);
            for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
                names.push_back(found.cFileName);
            if (search != INVALID_HANDLE_VALUE)
                FindClose(search);
            std::sort(names.begin(), names.end());
            return names;
        }

        // The probe's exit code; a box it shows is handed to answer first.
        int Run(const std::string& arguments, const std::function<void(HWND)>& answer = nullptr)
        {
            CHILD child;
            if (!child.Start("\"" + Probe + "\" " + arguments, Dir.Path(), {}, Probe))
                return -2;
            if (answer)
                answer(WaitForWindow(child.Id(), "#32770", 60000));
            return child.Wait(120000);
        }

        // The address the browser received; with wait, once it is there.
        std::string Url(bool wait = true)
        {
            WaitUntil([&] { return !wait || FileExists(Dir.File("url.txt")); }, 20000);
            return ReadFile(Dir.File("url.txt"));
        }

        TEMPDIR Dir{"crash"};
        std::string Probe = Dir.File("frameprobe.exe");
        std::string Desktop = SystemFolder(8);
        std::string User = OSYS::GetUserName().Text();   // no blanks here
        std::string Dump = "Tarni.CrashInfo.FRAMEPROBE000." + User + ".";
        std::string BrowserKey = Form.substr(0, Form.find(':')) + "\\shell\\open\\command";
        std::string SavedBrowser;
    };
}

// With a log the dump is sent without asking: compressed, the ".dmp" gone,
// the address opened in the language's form, the steps logged.
TEST_F(CrashDump, WithALogTheDumpIsCompressedAndTheFormOpenedWithoutAsking)
{
    const std::string dump = Dump + "TARNI.dmp", log = Dir.File("crash.log");
    for (const char* language : {"", "/LANG:GER"})
    {
        Clear();
        ASSERT_EQ(42, Run("/CRASHDUMP /LOGIT:" + log + " " + language + " /PROBEFAULT"));
        ASSERT_EQ((std::vector<std::string>{dump + ".gz"}), Dumps()) << language;
        EXPECT_EQ(0u, Gunzip(Desktop + "\\" + dump + ".gz").find("MDMP")) << language;
        EXPECT_EQ(Form + dump + (*language ? "&html=htm" : ""), Url());
        const std::string step = "TARNIAPP::WriteDumpToFileHandler ";
        const std::string written = step + "dump file written (" + Desktop + "\\" + dump + ")";
        EXPECT_EQ((std::vector<std::string>{step + "entered", written, step + "finished"}),
                  LogLines(log, step)) << language;
    }
}

// Without a log the user is asked; No keeps the plain dump and opens nothing.
TEST_F(CrashDump, WithoutALogTheQuestionDecides)
{
    const std::string dump = Dump + "TARNI.dmp";
    auto english = [&](const std::string& tag, const std::string& dump) {
        return "The program " + tag + " has encountered an error and will be terminated.\n\nYou can now choose to "
               "create a file with crash-debugging information \nfor upload to Tarni (a developer at Tarni will then "
               "look at the file and such files often helps us fix the problem in future versions).\n\n Filename: " +
               dump + "\n (in folder '" + Desktop + "')\n\nPlease consider to send the file, especially if you "
               "encounter the problem multiple times.\n\nDo you now want to create and send the crash-information?  "
               "(If you coosse 'Yes', a web browser will open with an upload form to send the file, otherwise the "
               "program will simply terminate)?";
    };
    // A name of 130 characters: the tag keeps 127, the question 799.
    const std::string longName = "frameprobe" + std::string(120, 'x');
    const std::string longTag = "FRAMEPROBE" + std::string(117, 'X');
    const std::string longDump = "Tarni.CrashInfo." + longTag + "." + User + ".TARNI.dmp";
    const struct
    {
        std::string Program;
        const char* Language;
        int Answer;
        std::string Text;
        std::vector<std::string> Files;
        std::string Url;
    } rows[] = {
        {"frameprobe", "", IDNO, english("FRAMEPROBE000", dump), {dump}, ""},
        {longName, "", IDNO, english(longTag, longDump).substr(0, 799), {longDump}, ""},
        {"frameprobe", "/LANG:GER", IDYES,
         "Das Programm FRAMEPROBE000 hat einen Fehler verursacht und muss beendet werden.\n\nSie k\xf6nnen eine Datei "
         "mit Crash-Informationen per Web-Upload oder Email an Tarni senden. Dies kann helfen, das Problem in "
         "zuk\xfcnftigen Versionen zu beheben (speziell dann, wenn der Fehler h\xe4ufiger auftritt).\n\n Filename: " +
             dump + "\n (im Ordner '" + Desktop + "')\n\nWollen Sie die Crash-Informationen erzeugen und an Tarni "
             "senden? (Wenn Sie mit 'Ja' antworten, \xf6" "ffnet sich ein Web-Formular zum Upload der Crash-Datei, "
             "andernfalls wird das Programm direkt beendet)?",
         {dump + ".gz"}, Form + dump + "&html=htm"},
    };
    for (const auto& row : rows)
    {
        Clear();
        Probe = Dir.File(row.Program + ".exe");
        ASSERT_TRUE(CopyFileA((SelfDirectory() + "\\frameprobe.exe").c_str(), Probe.c_str(), FALSE));
        WSTRING shown = WINTARNI::FormatMsgText(row.Text.c_str(), 55, false);
        EXPECT_EQ(42, Run(std::string("/CRASHDUMP ") + row.Language + " /PROBEFAULT", [&](HWND box) {
            EXPECT_EQ(std::wstring(row.Program.begin(), row.Program.end()) + L" Crash", WindowText(box));
            EXPECT_EQ(std::wstring(shown.Text(), shown.Text() + shown.Length()), ControlText(box, 0xFFFF));
            PressButton(box, row.Answer);
        }));
        EXPECT_EQ(row.Files, Dumps()) << row.Language;
        EXPECT_EQ(row.Url, Url(!row.Url.empty())) << row.Language;
    }
}

// The level picks the kind (the larger level stays); taken names are skipped.
TEST_F(CrashDump, KindByLevelAndTheFirstFreeName)
{
    const struct { const char* Options; int Earlier; std::string Name; } rows[] = {
        {"/CRASHDUMP:3 /CRASHDUMP:1", 0, Dump + "MIDI.dmp.gz"},
        {"/CRASHDUMP:5", 0, Dump + "TINY.dmp.gz"},
        // Attempts 1 to 10 taken, as plain and as compressed dumps.
        {"/CRASHDUMP", 10, Dump + "TARNI_11.dmp.gz"},
        // All 99 taken: the 99th is overwritten.
        {"/CRASHDUMP", 99, Dump + "TARNI_99.dmp.gz"},
    };
    for (const auto& row : rows)
    {
        Clear();
        std::set<std::string> expected;
        for (int attempt = 1; attempt <= row.Earlier; attempt++)
        {
            std::string name = Dump + "TARNI" + (attempt > 1 ? "_" + std::to_string(attempt) : "") +
                               (attempt % 2 ? ".dmp" : ".dmp.gz");
            WriteFile(Desktop + "\\" + name, "earlier");
            expected.insert(name);
        }
        expected.erase(row.Name.substr(0, row.Name.size() - 3));   // an overwritten plain dump is compressed
        expected.insert(row.Name);
        EXPECT_EQ(42, Run(std::string(row.Options) + " /LOGIT:" + Dir.File("kind.log") + " /PROBEFAULT"));
        EXPECT_EQ(std::vector<std::string>(expected.begin(), expected.end()), Dumps()) << row.Options;
        EXPECT_EQ(0u, Gunzip(Desktop + "\\" + row.Name).find("MDMP")) << row.Options;
    }
}

// The assertion answered No and the fault hot key end in the handler, and a
// second thread's fault does not enter it again.
TEST_F(CrashDump, AssertionNoHotKeyAndASecondFaultEndInTheHandlerOnce)
{
    for (const std::string trigger : {"/PROBEASSERT", "/PROBEF9", "/PROBETWOFAULTS"})
    {
        Clear();
        std::function<void(HWND)> no = [](HWND box) { PressButton(box, IDNO); };
        EXPECT_EQ(42, Run("/CRASHDUMP /LOGIT:" + Dir.File("trigger.log") + " " + trigger,
                          trigger == "/PROBEASSERT" ? no : std::function<void(HWND)>())) << trigger;
        EXPECT_EQ((std::vector<std::string>{Dump + "TARNI.dmp.gz"}), Dumps()) << trigger;
    }
}

// Without dbghelp only the failure is logged; without a crash option Windows
// ends the process; a missing dump folder still asks, and Yes opens the form.
TEST_F(CrashDump, FailuresStillEndWith42OrAsWindowsWould)
{
    const std::string log = Dir.File("fail.log");
    const std::string overrides = "Software\\Wine\\AppDefaults\\frameprobe.exe\\DllOverrides";
    ATEND removeOverride{[&] { RegDeleteKeyA(HKEY_CURRENT_USER, overrides.c_str()); }};
    SetRegText(HKEY_CURRENT_USER, overrides, "dbghelp", "");   // Wine refuses the library to this program
    EXPECT_EQ(42, Run("/CRASHDUMP /LOGIT:" + log + " /PROBEFAULT"));
    std::vector<std::string> lines = LogLines(log, "TARNIAPP::WriteDumpToFileHandler ");
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(0u, lines[1].find("TARNIAPP::WriteDumpToFileHandler failed to load dll or proc address ("));
    RegDeleteKeyA(HKEY_CURRENT_USER, overrides.c_str());

    const int code = Run("/LOGIT:" + log + " /PROBEFAULT");
    EXPECT_TRUE(code != 42 && code != 0) << code;
    EXPECT_TRUE(Dumps().empty());

    const char* shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    const std::string savedDesktop = RegText(HKEY_CURRENT_USER, shellFolders, "Desktop");
    ATEND restore{[&] { SetRegText(HKEY_CURRENT_USER, shellFolders, "Desktop", savedDesktop); }};
    const std::string missing = Dir.File("missing");
    SetRegText(HKEY_CURRENT_USER, shellFolders, "Desktop", missing);
    EXPECT_EQ(42, Run("/CRASHDUMP /PROBEFAULT", [&](HWND box) {
        EXPECT_NE(std::string::npos, Narrow(ControlText(box, 0xFFFF)).find("(in folder '" + missing + "')"));
        PressButton(box, IDYES);
    }));
    EXPECT_EQ(Form + Dump + "TARNI.dmp", Url());
    EXPECT_FALSE(FileExists(missing));
}

namespace
{
    // The texts of a registry key's values, to put back later.
    std::vector<std::pair<std::string, std::string>> RegTexts(HKEY root, const char* key)
    {
        std::vector<std::pair<std::string, std::string>> values;
        HKEY opened = 0;
        if (RegOpenKeyExA(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
            return values;
        char name[256], text[1024];
        DWORD nameSize = sizeof(name), size = sizeof(text), type = 0;
        for (DWORD i = 0; RegEnumValueA(opened, i, name, &nameSize, 0, &type, (BYTE*)text, &size) == ERROR_SUCCESS;
             i++, nameSize = sizeof(name), size = sizeof(text))
            if (type == REG_SZ)
                values.emplace_back(name, text);
        RegCloseKey(opened);
        return values;
    }
}

// The user's name in the dump's name: blanks become "_", at most 95
// characters (ctest runs this again with odd names in USER).
TEST_F(CrashDump, UserNameInTheDumpNameWithoutBlanksAndCut)
{
    // Wine's shell rewrites its folders from USER: the desktop is a folder of
    // this test's own, and every folder is put back afterwards.
    const char* shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    const auto saved = RegTexts(HKEY_CURRENT_USER, shellFolders);
    ASSERT_FALSE(saved.empty());
    ATEND restore{[&] {
        for (const auto& value : saved)
            SetRegText(HKEY_CURRENT_USER, shellFolders, value.first.c_str(), value.second);
    }};
    Desktop = Dir.File("desktop");
    ASSERT_TRUE(CreateDirectoryA(Desktop.c_str(), 0));
    SetRegText(HKEY_CURRENT_USER, shellFolders, "Desktop", Desktop);

    std::string user = User.substr(0, 95);
    std::replace(user.begin(), user.end(), ' ', '_');
    EXPECT_EQ(42, Run("/CRASHDUMP /PROBEFAULT", [](HWND box) { PressButton(box, IDNO); }));
    EXPECT_EQ((std::vector<std::string>{"Tarni.CrashInfo.FRAMEPROBE000." + user + ".TARNI.dmp"}), Dumps()) << User;
}

namespace
{
    // Ctrl+Shift+F9 typed into the foreground window.
    bool TypeFaultHotKey()
    {
        INPUT keys[6] = {};
        const WORD order[6] = {VK_CONTROL, VK_SHIFT, VK_F9, VK_F9, VK_SHIFT, VK_CONTROL};
        for (int i = 0; i < 6; i++)
        {
            keys[i].type = INPUT_KEYBOARD;
            keys[i].ki.wVk = order[i];
            keys[i].ki.dwFlags = i < 3 ? 0 : KEYEVENTF_KEYUP;
        }
        return SendInput(6, keys, sizeof(INPUT)) == 6;
    }
}

// service.exe arms the handler with the option: its assertion (a line without
// "=" in "service.cfg") answered No, and the fault hot key typed into its
// dialog, end in the question and exit 42.
TEST_F(CrashDump, ServiceAssertionNoAndDialogHotKeyEndInTheHandler)
{
    const struct
    {
        const char* Arguments;
        std::string Config;
        std::function<void(DWORD)> Trigger;
    } rows[] = {
        {"/CRASHDUMP /uninstall", "no equals sign\r\n",
         [](DWORD pid) {
             HWND assertion = WaitForWindow(pid, "#32770", 60000);
             ASSERT_NE(nullptr, assertion);
             PressButton(assertion, IDNO);
         }},
        {"/CRASHDUMP /GUI /NOHELP", "AppExe=demoapp.exe\r\nAppHelp=x|1\r\nAppRegKey=CrashKey\r\nAppWinClass=TarniDemo\r\n",
         [](DWORD pid) {
             // The notice comes first; the dialog is the box with the status line.
             HWND dialog = WaitForWindow(pid, "#32770", 60000);
             if (dialog && !GetDlgItem(dialog, IDC_STATUS))
                 dialog = WaitForWindow(pid, "#32770", 60000, dialog);
             ASSERT_TRUE(dialog && GetDlgItem(dialog, IDC_STATUS));
             ASSERT_TRUE(WaitUntil([&] { return SetForegroundWindow(dialog) && GetForegroundWindow() == dialog; }));
             ASSERT_TRUE(TypeFaultHotKey());
         }},
    };
    const std::string dump = Desktop + "\\Tarni.CrashInfo.SERVICE000." + User + ".TARNI.dmp";
    ATEND remove{[&] {
        DeleteFileA(dump.c_str());
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tarni\\CrashKey");
    }};
    for (const auto& row : rows)
    {
        DeleteFileA(dump.c_str());
        SERVICEDIR service("CRASH");
        ASSERT_EQ("", service.Copy({"service.exe"}));
        WriteFile(service.Dir.File("service.cfg"), "AppName=" + service.Name + "\r\n" + row.Config);
        CHILD child;
        ASSERT_TRUE(service.Start(child, row.Arguments));
        row.Trigger(child.Id());
        HWND question = 0;   // by its title: the notice may still be open beside the dialog
        EXPECT_TRUE(WaitUntil([&] {
            question = FindWindowW(L"#32770", L"service Crash");
            DWORD owner = 0;
            return question && GetWindowThreadProcessId(question, &owner) && owner == child.Id();
        }, 60000)) << row.Arguments;
        PressButton(question, IDNO);
        EXPECT_EQ(42, child.Wait(60000)) << row.Arguments;
        EXPECT_TRUE(FileExists(dump)) << row.Arguments;
    }
}
