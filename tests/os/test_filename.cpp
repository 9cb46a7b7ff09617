#include <windows.h>
#include <errno.h>
#include <io.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

namespace
{
    std::string TempPath()
    {
        char dir[MAX_PATH];
        GetTempPathA(sizeof(dir), dir);
        return std::string(dir, strlen(dir) - 1);
    }

    bool Only(const std::string& text, const char* set)
    {
        return text.find_first_not_of(set) == std::string::npos;
    }

    const char Alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

    // Sets the time stamp past FILENAME, as another program would.
    void SetModified(const std::string& path, int64_t seconds)
    {
        HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, 0, OPEN_EXISTING, 0, 0);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        ULARGE_INTEGER ticks;
        ticks.QuadPart = (uint64_t)(seconds + 11644473600LL) * 10000000ULL;
        FILETIME time = {ticks.LowPart, ticks.HighPart};
        EXPECT_TRUE(SetFileTime(file, 0, 0, &time));
        CloseHandle(file);
    }
}

TEST(FileName, NormalisesEveryAssignmentAndSplitsAtTheLastSeparator)
{
    const std::pair<const char*, const char*> cases[] = {
        {"c:", "c:\\"}, {"c:\\dir\\\\", "c:\\dir"}, {"a/b/c", "a\\b\\c"}, {"c:/", "c:\\"}, {"dir\\", "dir"},
        {"", ""}, {"\\\\server\\share\\", "\\\\server\\share"}, {"x~\\y", "x~\\y"},
        {"x\\%USERDOCUMENTS%\\a", "x\\%USERDOCUMENTS%\\a"}, {"%NOSUCHNAME%/a", "%NOSUCHNAME%\\a"},
    };
    for (const auto& c : cases)
    {
        FILENAME once(c.first);
        EXPECT_STREQ(c.second, once.Text()) << c.first;
        EXPECT_STREQ(once.Text(), FILENAME(once.Text()).Text()) << c.first;
    }
    FILENAME kept("a/b");
    kept = (const char*)nullptr;
    EXPECT_STREQ("a\\b", kept.Text());

    const struct { const char* Path; const char* Directory; const char* Name; } splits[] = {
        {"C:\\dir\\file.txt", "C:\\dir", "file.txt"}, {"C:\\file.txt", "C:\\", "file.txt"},
        {"file.txt", ".", "file.txt"}, {"a/b/c", "a\\b", "c"},
        {"\\\\server\\share\\f", "\\\\server\\share", "f"}, {"C:\\dir\\", "C:\\", "dir"},
    };
    for (const auto& c : splits)
    {
        EXPECT_STREQ(c.Directory, FILENAME(c.Path).Directory().Text()) << c.Path;
        EXPECT_STREQ(c.Name, FILENAME(c.Path).Name().Text()) << c.Path;
    }

    const struct { const char* Path; bool Separators; int Replacement; const char* Result; bool Found; } fixes[] = {
        {"a:b/c", true, '_', "a_b\\c", true},        {"a:b/c", false, -1, "abc", false},
        {"a:b/c", false, '_', "a_b_c", true},        {"x*?\"<>|y", true, '-', "x------y", true},
        {"plain\\n.txt", true, '_', "plain\\n.txt", false},
    };
    for (const auto& c : fixes)
    {
        FILENAME path(c.Path);
        EXPECT_EQ(c.Found, path.FixInvalidChars(c.Separators, c.Replacement)) << c.Path;
        EXPECT_STREQ(c.Result, path.Text()) << c.Path;
    }
}

TEST(FileName, JoinAppendsRelativeNamesAndKeepsAbsoluteOnes)
{
    const std::string home = TESTSUPPORT::SystemFolder(6), docs = TESTSUPPORT::SystemFolder(14);
    const struct { const char* Dir; const char* Name; std::string Expected; } cases[] = {
        {"C:\\base", "D:\\abs.txt", "D:\\abs.txt"}, {"C:\\b", "E:rel", "E:rel"},
        {"", "x.txt", ".\\x.txt"},                  {nullptr, "x.txt", ".\\x.txt"},
        {"C:\\base\\", "sub/x", "C:\\base\\sub\\x"}, {"C:/base//", "x", "C:\\base\\x"},
        {"C:\\", "x", "C:\\x"},                     {"C:", "x", "C:\\x"},
        {"C:\\base", "\\root.txt", "\\root.txt"},   {"C:\\base", "/root.txt", "\\root.txt"},
        {"C:\\base", "~\\n.txt", home + "\\n.txt"}, {"C:\\b", "~/n", home + "\\n"},
        {"C:\\base", "..", "C:\\base\\.."},         {"C:\\b", "", "C:\\b"},
        {"%USERDOCUMENTS%", "x.txt", docs + "\\x.txt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Expected, FILENAME(c.Dir, c.Name).Text()) << (c.Dir ? c.Dir : "<null>") << " + " << c.Name;
}

TEST(ShellStrings, ExpandAtTheStartNamesAnywhereAndRoundTrip)
{
    const std::string home = TESTSUPPORT::SystemFolder(6), docs = TESTSUPPORT::SystemFolder(14);
    const std::string user = OSYS::GetUserName().Text(), computer = OSYS::GetComputerName().Text();
    ASSERT_FALSE(home.empty() || docs.empty() || user.empty());
    const std::pair<const char*, std::string> expansions[] = {
        {"~\\notes.txt", home + "\\notes.txt"},
        {"%userdocuments%/a", docs + "\\a"},
        {"$(USERDOCUMENTS)\\a", docs + "\\a"},
        {"x\\%username%\\%COMPUTERNAME%", "x\\" + user + "\\" + computer},
        {"%USERHOME%\\%USERNAME%", "%USERHOME%\\" + user},   // a replaced name stops the table
    };
    for (const auto& c : expansions)
        EXPECT_EQ(c.second, FILENAME(c.first).Text()) << c.first;
    EXPECT_STREQ(TESTSUPPORT::SelfPath().c_str(), FILENAME("<self>").Text());
    EXPECT_STREQ(TESTSUPPORT::SelfPath().c_str(), FILENAME("<SELF>").Text());

    const struct { std::string Path, Plain, Unix; } trips[] = {
        {docs + "\\x\\y.txt", "%USERDOCUMENTS%\\x\\y.txt", "%USERDOCUMENTS%/x/y.txt"},
        {home + "\\z.ini", "%USERHOME%\\z.ini", "~/z.ini"},
        {home, "%USERHOME%", "~/"},
        {"\\\\server\\" + user + "\\share", "\\\\server\\%USERNAME%\\share", "//server/%USERNAME%/share"},
        {"Q:\\elsewhere\\f.txt", "Q:\\elsewhere\\f.txt", "Q:/elsewhere/f.txt"},
    };
    for (const auto& c : trips)
    {
        FILENAME path(c.Path.c_str());
        EXPECT_EQ(c.Plain, path.AsShellStrings().Text()) << c.Path;
        EXPECT_EQ(c.Unix, path.AsShellStrings(true).Text()) << c.Path;
        EXPECT_EQ(c.Path, FILENAME(c.Plain.c_str()).Text());
        EXPECT_EQ(c.Path, FILENAME(c.Unix.c_str()).Text());
    }
    for (int type : {5, 7, 8, 12, 13})
    {
        const std::string path = TESTSUPPORT::SystemFolder(type) + "\\f.dat";
        const std::string symbolic = FILENAME(path.c_str()).AsShellStrings().Text();
        EXPECT_EQ('%', symbolic[0]) << path;
        EXPECT_EQ(path, FILENAME(symbolic.c_str()).Text()) << symbolic;
    }
}

TEST(ShellStrings, AddedNamesExpandAndTheLongestFolderWins)
{
    FILENAME::ShellStringSet("%TARNIDEEP%", "C:\\tarni-test\\deep\\", false);
    FILENAME::ShellStringSet("%TARNIROOT%", "C:/tarni-test/", false);
    FILENAME::ShellStringSet("%TARNIHIDDEN%", "C:\\tarni-hidden\\", true);
    EXPECT_STREQ("C:\\tarni-test\\deep\\a", FILENAME("$(TARNIDEEP)/a").Text());
    EXPECT_STREQ("C:\\tarni-test\\x", FILENAME("%tarniroot%\\x").Text());
    EXPECT_STREQ("C:\\tarni-hidden\\h", FILENAME("%TARNIHIDDEN%\\h").Text());
    EXPECT_STREQ("%TARNIDEEP%\\a", FILENAME("C:\\tarni-test\\deep\\a").AsShellStrings().Text());
    EXPECT_STREQ("%TARNIROOT%\\other", FILENAME("c:\\TARNI-TEST\\other").AsShellStrings().Text());
    EXPECT_STREQ("C:\\tarni-hidden\\h", FILENAME("C:\\tarni-hidden\\h").AsShellStrings().Text());
    FILENAME::ShellStringSet("%TARNIDEEP%", "D:\\moved\\", false);
    EXPECT_STREQ("D:\\moved\\a", FILENAME("%TARNIDEEP%\\a").Text());
    EXPECT_STREQ("%TARNIROOT%\\deep\\a", FILENAME("C:\\tarni-test\\deep\\a").AsShellStrings().Text());
}

// The table is process-wide: FullTableIgnoresFurtherNames runs this in a process of its own.
TEST(ShellStrings, DISABLED_FullTableIgnoresFurtherNames)
{
    FILENAME("%USERHOME%");   // the 11 standard entries
    for (int i = 0; i < 22; i++)
    {
        const std::string name = "%FILL" + std::to_string(i) + "%", value = "C:\\fill\\" + std::to_string(i);
        FILENAME::ShellStringSet(name.c_str(), (value + "\\").c_str(), false);
        EXPECT_EQ((i < 21 ? value : name) + "\\f", FILENAME((name + "\\f").c_str()).Text());
    }
    FILENAME::ShellStringSet("%FILL3%", "C:\\again\\", false);
    EXPECT_STREQ("C:\\again\\f", FILENAME("%FILL3%\\f").Text());
}

TEST(ShellStrings, FullTableIgnoresFurtherNames)
{
    EXPECT_EQ(0, TESTSUPPORT::RunDisabledTest("ShellStrings.DISABLED_FullTableIgnoresFurtherNames"));
}

TEST(TempNames, FolderNamesGiveTheTemporaryFolderAndFileNamesFreshOnes)
{
    for (const char* name : {"<tempdir>", "<tmpdir>", "<TempDir>"})
        EXPECT_EQ(TempPath(), FILENAME(name).Text()) << name;
    for (const char* name : {"<tempx>", "<t>", "x<temp>"})
        EXPECT_STREQ(name, FILENAME(name).Text());
    std::set<std::string> seen;
    for (const char* name : {"<temp>", "<tmp>", "<TEMP>", "<temp>"})
    {
        const std::string path = FILENAME(name).Text();
        ASSERT_EQ(TempPath() + "\\Z-", path.substr(0, path.size() - 6)) << path;
        EXPECT_TRUE(Only(path.substr(path.size() - 6), Alphabet)) << path;
        EXPECT_TRUE(seen.insert(path).second) << path;
    }
}

TEST(TempNames, XRunGetsAlphabetThenDigitsAndEveryModeMakesNewEntries)
{
    TESTSUPPORT::TEMPDIR dir("fn");
    std::string name = dir.File("abXXXXXXXX.tmp");
    const size_t run = name.size() - 12;
    errno = EDOM;
    ASSERT_EQ(0, FILENAME::TempName(&name[0], 4, FILENAME::TEMPNAME_NAME));
    EXPECT_EQ(EDOM, errno);
    EXPECT_EQ(dir.File("ab"), name.substr(0, run));
    EXPECT_EQ(".tmp", name.substr(run + 8));
    EXPECT_TRUE(Only(name.substr(run, 6), Alphabet)) << name;
    EXPECT_TRUE(Only(name.substr(run + 6, 2), "0123456789")) << name;
    EXPECT_FALSE(TESTSUPPORT::FileExists(name));

    std::set<std::string> names;
    for (int i = 0; i < 100; i++)
    {
        std::string file = dir.File("f-XXXXXX");
        int descriptor = FILENAME::TempName(&file[0], 0, FILENAME::TEMPNAME_FILE);
        ASSERT_GE(descriptor, 0) << file;
        EXPECT_EQ(3, _write(descriptor, "abc", 3));
        _close(descriptor);
        names.insert(file);
    }
    EXPECT_EQ(100u, names.size());
    std::string folder = dir.File("d-XXXXXX.dir");
    ASSERT_EQ(0, FILENAME::TempName(&folder[0], 4, FILENAME::TEMPNAME_DIRECTORY));
    EXPECT_TRUE(FILENAME(folder.c_str()).IsDirectory()) << folder;
}

TEST(TempNames, BadTemplatesGiveEinvalAndTakenNamesEexist)
{
    for (auto c : {std::make_pair("abc", 0), std::make_pair("XXXXX", 0), std::make_pair("fXXXXXXa.txt", 4),
                   std::make_pair("XXXXXX", 1), std::make_pair("XXXXXX", -1)})
    {
        std::string name = c.first;
        errno = 0;
        EXPECT_EQ(-1, FILENAME::TempName(&name[0], c.second, FILENAME::TEMPNAME_NAME)) << c.first;
        EXPECT_EQ(EINVAL, errno) << c.first;
        EXPECT_EQ(c.first, name);
    }
    // "<name>\.." is the existing folder whatever the name: every attempt fails.
    TESTSUPPORT::TEMPDIR dir("fn");
    for (int mode : {FILENAME::TEMPNAME_NAME, FILENAME::TEMPNAME_FILE, FILENAME::TEMPNAME_DIRECTORY})
    {
        std::string name = dir.File("XXXXXX\\..");
        errno = 0;
        EXPECT_EQ(-1, FILENAME::TempName(&name[0], 3, mode)) << mode;
        EXPECT_EQ(EEXIST, errno) << mode;
    }
    ASSERTSPY spy;
    std::string name = "XXXXXX";
    EXPECT_EQ(-1, FILENAME::TempName(&name[0], 0, 3));
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("not supported", spy.Last().Condition);
}

TEST(FileQueries, FilesFoldersAndMissingNames)
{
    TESTSUPPORT::TEMPDIR dir("fn");
    const std::string path = dir.File("data.bin");
    ASSERT_TRUE(TESTSUPPORT::WriteFile(path, "12345"));
    ASSERT_TRUE(TESTSUPPORT::WriteFile(dir.File("empty.bin"), ""));
    FILENAME file(path.c_str()), folder(dir.Path().c_str());
    EXPECT_TRUE(file.Exists() && file.IsFile() && !file.IsDirectory());
    EXPECT_TRUE(folder.Exists() && folder.IsDirectory() && !folder.IsFile());
    EXPECT_EQ(5, file.Size());
    EXPECT_EQ(0, FILENAME(dir.File("empty.bin").c_str()).Size());
    for (FILENAME missing : {FILENAME(dir.File("none").c_str()), FILENAME()})
    {
        EXPECT_FALSE(missing.Exists() || missing.IsFile());
        EXPECT_EQ(-1, missing.Size());
        EXPECT_EQ(0, missing.ModificationTime());
    }

    const std::string previous = OSYS::GetCurrentDirectory().Text();
    ASSERT_TRUE(OSYS::SetCurrentDirectory(dir.Path().c_str()));
    const std::string full = FILENAME("data.bin").FullPath().Text();
    const std::string unresolved = FILENAME("absent.txt").FullPath().Text();
    OSYS::SetCurrentDirectory(previous.c_str());
    EXPECT_EQ(0, _stricmp(path.c_str(), full.c_str())) << full;
    EXPECT_EQ("absent.txt", unresolved);

    FILENAME missing(dir.File("none\\new.txt").c_str());
    EXPECT_TRUE(file.IsWritable() && folder.IsWritable() && FILENAME(dir.File("new.txt").c_str()).IsWritable());
    EXPECT_FALSE(missing.IsWritable());
    EXPECT_TRUE(file.SetReadOnly(true) && file.SetHidden(true) && file.SetArchive(true));
    EXPECT_FALSE(file.IsWritable());
    EXPECT_EQ(0x23u, GetFileAttributesA(path.c_str()) & 0x23);
    EXPECT_TRUE(file.SetReadOnly(false) && file.SetHidden(false));
    EXPECT_TRUE(file.SetArchive(false));   // Wine reports the archive bit for every file
    EXPECT_EQ(0u, GetFileAttributesA(path.c_str()) & 0x3);
    EXPECT_TRUE(file.IsWritable());
    EXPECT_FALSE(missing.SetReadOnly(true) || missing.SetHidden(true) || missing.SetArchive(true));

    EXPECT_FALSE(file.IsOnNetwork());
    EXPECT_FALSE(FILENAME("\\\\server\\share\\f").IsOnNetwork());
    char unmapped[] = "Y:\\f";
    while (unmapped[0] > 'D' && GetDriveTypeA(std::string(unmapped, 3).c_str()) != DRIVE_NO_ROOT_DIR)
        unmapped[0]--;
    ASSERTSPY spy;
    EXPECT_FALSE(FILENAME(unmapped).IsOnNetwork());
    EXPECT_FALSE(FILENAME().IsOnNetwork());
    ASSERT_EQ(2u, spy.Count());
    EXPECT_EQ("rc!=0 && rc!=1", spy[0].Condition);
    EXPECT_EQ("fullname.NotEmpty()", spy[1].Condition);
}

TEST(FileQueries, ModificationTimeIsCachedSetAndShownAsLocalTime)
{
    TESTSUPPORT::TEMPDIR dir("fn");
    const std::string path = dir.File("stamp.txt");
    ASSERT_TRUE(TESTSUPPORT::WriteFile(path, "x"));
    SetModified(path, 1000000000);
    FILENAME file(path.c_str()), missing(dir.File("none").c_str());
    EXPECT_EQ(1000000000, file.ModificationTime());
    SetModified(path, 1200000000);
    EXPECT_EQ(1000000000, file.ModificationTime());
    EXPECT_EQ(1200000000, file.ModificationTime(true));
    SetModified(path, 1300000000);
    file = path.c_str();
    EXPECT_EQ(1300000000, file.ModificationTime());

    STRING text;
    for (int64_t time : {1000000000LL, 1700000000LL})
    {
        EXPECT_TRUE(file.SetModificationTime(time));
        EXPECT_EQ(time, file.ModificationTime());
        ASSERT_TRUE(file.DateText(text));
        EXPECT_EQ(std::string(OSYS::DateTimeText(time).Text()).erase(10, 1), text.Text());
    }
    const CALENDARTIME fields = {2003, 7, 0, 14, 9, 30, 15, 0};
    EXPECT_TRUE(file.SetModificationTime(fields));
    ASSERT_TRUE(file.DateText(text));
    EXPECT_STREQ("2003-07-14 09:30:15", text.Text());
    EXPECT_FALSE(missing.SetModificationTime(1000000000));
    EXPECT_FALSE(missing.DateText(text));
}

TEST(FileQueries, CopyToCopiesEveryBlockAndKeepsTargetsUnlessAsked)
{
    TESTSUPPORT::TEMPDIR dir("fn");
    const std::string source = dir.File("source.bin"), target = dir.File("target.bin");
    std::string bytes;
    for (size_t size : {0, 1, 4095, 4096, 4097, 10000})
    {
        bytes.clear();
        for (size_t i = 0; i < size; i++)
            bytes.push_back((char)(i * 7 + size));
        ASSERT_TRUE(TESTSUPPORT::WriteFile(source, bytes));
        EXPECT_TRUE(FILENAME(source.c_str()).CopyTo(target.c_str(), true)) << size;
        EXPECT_EQ(bytes, TESTSUPPORT::ReadFile(target)) << size;
    }
    ASSERT_TRUE(TESTSUPPORT::WriteFile(target, "old"));
    EXPECT_FALSE(FILENAME(source.c_str()).CopyTo(target.c_str(), false));
    EXPECT_FALSE(FILENAME(dir.File("none").c_str()).CopyTo(target.c_str(), true));
    EXPECT_FALSE(FILENAME(dir.Path().c_str()).CopyTo(target.c_str(), true));
    EXPECT_EQ("old", TESTSUPPORT::ReadFile(target));
    EXPECT_FALSE(FILENAME(source.c_str()).CopyTo(source.c_str(), true));
    EXPECT_EQ(bytes, TESTSUPPORT::ReadFile(source));

    // A file that another program holds open for writing can still be copied.
    HANDLE writer = CreateFileA(source.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_TRUE(FILENAME(source.c_str()).CopyTo(target.c_str(), true));
    CloseHandle(writer);
    EXPECT_EQ(bytes, TESTSUPPORT::ReadFile(target));
}
