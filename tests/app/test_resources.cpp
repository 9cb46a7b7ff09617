// The resource module and the language setup, with the real language
// libraries of the build copied into folders of the tests' own.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "framework/app/languages/languages.h"
#include "framework/app/resources.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    // Everything the setup changes, put back when the test ends.
    class SAVEDFRAME
    {
    public:
        SAVEDFRAME()
            : Locale(gLocale), Module(TARNIAPP::ResourceModule()), Name(TARNIAPP::AppName().Text()),
              Version(TARNIAPP::Version().Text())
        {
        }
        ~SAVEDFRAME()
        {
            TARNIAPP::ReleaseResourceModule();
            TARNIAPP::SetResourceModule(Module);
            gLocale = Locale;
            TARNIAPP::SetAppName(Name.c_str());
            TARNIAPP::SetVersion(Version.c_str());
        }

    private:
        int Locale;
        void* Module;
        std::string Name, Version;
    };

    bool CopyLanguage(const std::string& library, const std::string& folder)
    {
        CreateDirectoryA(folder.c_str(), 0);
        std::string built = SelfDirectory() + "\\..\\languages\\" + library;
        return CopyFileA(built.c_str(), (folder + "\\" + library).c_str(), FALSE) != 0;
    }

    std::string Title() { return OSYS::GetStringFromResource(IDS_APPTITLE).Text(); }
}

TEST(LanguageSetup, LoadsTheLibraryOfTheLocaleElseEnglish)
{
    const struct
    {
        int Locale;
        std::vector<std::string> Present;
        bool Loaded;
        int LocaleAfter;
        const char* Title;
    } rows[] = {
        {12, {"english.dll"}, true, 9, "Tarni Application"},
        {7, {"english.dll", "german.dll"}, true, 7, "Tarni Anwendung"},
        {7, {"english.dll"}, true, 9, "Tarni Application"},
        {14, {"german.dll"}, false, 9, nullptr},
        {9, {}, false, 9, nullptr},
    };
    for (const auto& row : rows)
    {
        std::string context = "locale " + std::to_string(row.Locale) + ", " + std::to_string(row.Present.size());
        SAVEDFRAME saved;
        TEMPDIR dir("lang");
        for (const auto& library : row.Present)
            ASSERT_TRUE(CopyLanguage(library, dir.File("texts"))) << library;
        gLocale = row.Locale;
        EXPECT_EQ(row.Loaded, TARNIAPP::SetupLanguage(dir.File("prog.exe").c_str(), "texts", "2.5", 0, true))
            << context;
        EXPECT_EQ(row.LocaleAfter, gLocale) << context;
        EXPECT_EQ(row.Loaded, TARNIAPP::LanguageLibraryLoaded()) << context;
        if (row.Title)
            EXPECT_EQ(row.Title, Title()) << context;
        else
            EXPECT_EQ(nullptr, TARNIAPP::ResourceModule()) << context;
    }
}

// A build folder is skipped only beside the sources; a second setup frees the
// first library.
TEST(LanguageSetup, FindsLibrariesBesideTheSourcesAndReleasesThem)
{
    SAVEDFRAME saved;
    TEMPDIR dir("dev");
    WriteFile(dir.File("main.cpp"), "");
    ASSERT_TRUE(CopyLanguage("english.dll", dir.File("lang")));
    gLocale = 9;
    ASSERT_TRUE(TARNIAPP::SetupLanguage(dir.File("Release\\prog.exe").c_str(), "lang", "3.1", 0, true));
    EXPECT_STREQ("Lang", TARNIAPP::AppName().Text());
    EXPECT_STREQ("3.1", TARNIAPP::Version().Text());
    EXPECT_STREQ("<STRING-ERROR>", OSYS::GetStringFromResource(4711).Text());
    // No sources beside x: "..\lang" is then taken from x\Release, not from x.
    EXPECT_FALSE(TARNIAPP::SetupLanguage(dir.File("x\\Release\\prog.exe").c_str(), "..\\lang", "1", 0, true));

    ASSERT_TRUE(TARNIAPP::SetupLanguage(dir.File("prog.exe").c_str(), "lang", "3.2", "myApp", true));
    EXPECT_STREQ("MyApp", TARNIAPP::AppName().Text());
    std::string library = dir.File("lang\\english.dll");
    EXPECT_NE(nullptr, GetModuleHandleA(library.c_str()));
    TARNIAPP::ReleaseResourceModule();
    EXPECT_FALSE(TARNIAPP::LanguageLibraryLoaded());
    EXPECT_EQ(nullptr, GetModuleHandleA(library.c_str()));
}

// Runs in a process of its own: the missing English library ends it.
TEST(LanguageSetup, DISABLED_MissingEnglishLibraryEndsTheProgram)
{
    char folder[MAX_PATH] = "";
    GetEnvironmentVariableA("LANGTEST_DIR", folder, sizeof(folder));
    gLocale = 7;
    TARNIAPP::SetupLanguage((std::string(folder) + "\\prog.exe").c_str(), "lang", "1", 0, false);
    ADD_FAILURE() << "the program goes on";
}

TEST(LanguageSetup, MissingEnglishLibraryShowsItsPathAndEndsWith99)
{
    TEMPDIR dir("nolang");
    CHILD child;
    ASSERT_TRUE(child.Start("\"" + SelfPath() + "\" --gtest_also_run_disabled_tests "
                            "--gtest_filter=LanguageSetup.DISABLED_MissingEnglishLibraryEndsTheProgram",
                            "", {"LANGTEST_DIR=" + dir.Path()}));
    HWND box = WaitForWindow(child.Id(), "#32770", 20000);
    ASSERT_NE(nullptr, box);
    std::string path = dir.File("lang\\english.dll");
    EXPECT_EQ(L"Tarni Application", WindowText(box));
    EXPECT_EQ("DLL not found:\r" + path, Narrow(ControlText(box, 0xFFFF)));
    PressButton(box, IDOK);
    EXPECT_EQ(99, child.Wait(20000));
}
