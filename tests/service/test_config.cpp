// The controller's configuration load, observed on a probe program that loads
// it beside its own executable: the store it keeps, its result, and the boxes
// it shows, read and answered from here.

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

#include "framework/app/tarni_win32.h"
#include "service/serviceconfig.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    const char* const Complete = "AppName=Demo\nAppExe=demo.exe\nAppHelp=demo|12\nAppRegKey=Demo\nAppWinClass=TarniDemoWnd\n";

    // A copy of the probe in a folder of its own, with its configuration files.
    class CONFIGPROBE
    {
    public:
        explicit CONFIGPROBE(const std::string& name = "configprobe.exe") : Exe(Dir.File(name))
        {
            EXPECT_TRUE(CopyFileA((SelfDirectory() + "\\configprobe.exe").c_str(), Exe.c_str(), FALSE));
        }
        void Write(const std::string& name, const std::string& text) { EXPECT_TRUE(WriteFile(Dir.File(name), text)); }
        bool Start(const std::string& arguments = "")
        {
            return Child.Start("\"" + Exe + "\" " + arguments, Dir.Path(), {"CONFIGPROBE_REPORT=" + Dir.File("report.txt")},
                               Exe);
        }
        // Exit code of a run that shows no box.
        int Run(const std::string& arguments = "")
        {
            if (!Start(arguments))
                return -2;
            return Child.Wait(20000);
        }
        std::map<std::string, std::string> Store()
        {
            std::map<std::string, std::string> store;
            for (const std::string& line : SplitLines(ReadFile(Dir.File("report.txt"))))
                store[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
            return store;
        }

        TEMPDIR Dir{"cfg"};
        std::string Exe;
        CHILD Child;
    };

    // Starts the probe, expects one box with title and text, presses OK; the exit code.
    int RunWithBox(CONFIGPROBE& probe, const std::string& arguments, const std::wstring& title,
                   const std::wstring& text)
    {
        if (!probe.Start(arguments))
            return -2;
        HWND box = WaitForWindow(probe.Child.Id(), "#32770", 20000);
        EXPECT_NE(nullptr, box);
        if (!box)
            return probe.Child.Wait(0);
        EXPECT_EQ(title, WindowText(box));
        EXPECT_EQ(text, ControlText(box, 0xFFFF));
        EXPECT_TRUE(PressButton(box, IDOK));
        return probe.Child.Wait(20000);
    }

    std::string Without(const std::string& key)
    {
        std::string text = Complete;
        size_t at = text.find(key + "=");
        return text.erase(at, text.find('\n', at) + 1 - at);
    }

}

TEST(ServiceConfig, CompleteFileIsLoadedAndAdvGuiDefaulted)
{
    CONFIGPROBE probe;
    probe.Write("service.cfg", Complete);
    ASSERT_EQ(0, probe.Run());
    auto store = probe.Store();
    EXPECT_EQ("0", store["result"]);
    EXPECT_EQ("Demo", store["AppName"]);
    EXPECT_EQ("demo|12", store["AppHelp"]);
    EXPECT_EQ("TarniDemoWnd", store["AppWinClass"]);
    EXPECT_EQ("0", store["ADVGUI"]);

    probe.Write("service.cfg", std::string(Complete) + "ADVGUI=1\nWINDOWTITLE=Acme\nAppRegKey=\n");
    ASSERT_EQ(0, probe.Run()) << "an empty value counts as present";
    store = probe.Store();
    EXPECT_EQ("1", store["ADVGUI"]);
    EXPECT_EQ("Acme", store["WINDOWTITLE"]);
}

TEST(ServiceConfig, MissingOrIncompleteFileShowsErrorAndGives100)
{
    const std::wstring title = L"Tarni Service Controller";
    const std::wstring english = L"Service.cfg not found or wrong.";
    for (const char* key : {"AppName", "AppExe", "AppHelp", "AppRegKey", "AppWinClass"})
    {
        CONFIGPROBE probe;
        probe.Write("service.cfg", Without(key));
        EXPECT_EQ(100, RunWithBox(probe, "", title, english)) << key;
    }
    CONFIGPROBE probe;
    probe.Write("service.cfg", Without("AppWinClass") + "AppWinClass=tarniDemoWnd\n");
    EXPECT_EQ(100, RunWithBox(probe, "", title, english)) << "the maker's word is case sensitive";

    CONFIGPROBE missing;
    EXPECT_EQ(100, RunWithBox(missing, "/LANG:ENGL", title, english));
    EXPECT_EQ(100, RunWithBox(missing, "/LANG:GER", title, L"Service.cfg nicht gefunden oder fehlerhaft."));
}

TEST(ServiceConfig, CfgOptionNamesAnotherFileWhenItExists)
{
    CONFIGPROBE probe;
    probe.Write("service.cfg", Complete);
    probe.Write("other.cfg", Without("AppName") + "AppName=Other\n");
    ASSERT_EQ(0, probe.Run("/CFG:other.cfg"));
    EXPECT_EQ("Other", probe.Store()["AppName"]);
    ASSERT_EQ(0, probe.Run("\"/CFG:" + probe.Dir.File("other.cfg") + "\""));
    EXPECT_EQ("Other", probe.Store()["AppName"]);
    ASSERT_EQ(0, probe.Run("/CFG:absent.cfg")) << "no box for a missing /CFG file";
    EXPECT_EQ("Demo", probe.Store()["AppName"]);

    probe.Write("broken.cfg", Without("AppExe"));
    EXPECT_EQ(100, RunWithBox(probe, "-CFG broken.cfg", L"Tarni Service Controller", L"Service.cfg not found or wrong."));
}

TEST(ServiceConfig, Windows98IsRefusedAfterACompleteFile)
{
    std::string name = "cfg98_" + std::to_string(GetCurrentProcessId()) + ".exe";
    APPVERSION version(name, "win98");
    CONFIGPROBE probe(name);
    probe.Write("service.cfg", Complete);
    EXPECT_EQ(99, RunWithBox(probe, "/LANG:ENGL", L"Demo Service",
                             L"The Demo service can not be installed under Windows 95/98/ME."));
    EXPECT_EQ(99, RunWithBox(probe, "/LANG:GER", L"Demo Service",
                             L"Der Demo-Service kann unter Windows 95/98/ME nicht installiert\rwerden."))
        << "boxes wrap at column 55 on such systems";
    probe.Write("service.cfg", Without("AppHelp"));
    EXPECT_EQ(100, RunWithBox(probe, "/LANG:ENGL", L"Tarni Service Controller", L"Service.cfg not found or wrong."));
}

TEST(ServiceConfig, MessageTextsFollowTheLanguage)
{
    int previous = gLocale;
    SERVICECONFIG::Store().Get("AppName") = "Fax";
    gLocale = 9;
    EXPECT_STREQ("The Fax service can not be installed under Windows 95/98/ME.",
                 SERVICECONFIG::MessageText("notwin95").Text());
    EXPECT_STREQ("Service.cfg not found or wrong.", SERVICECONFIG::MessageText("NoServiceCfg").Text());
    gLocale = 7;
    EXPECT_STREQ("Der Fax-Service kann unter Windows 95/98/ME nicht installiert werden.",
                 SERVICECONFIG::MessageText("NOTWIN95").Text());
    EXPECT_STREQ("Service.cfg nicht gefunden oder fehlerhaft.", SERVICECONFIG::MessageText("NOSERVICECFG").Text());
    gLocale = previous;
}
