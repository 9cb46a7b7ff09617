#include <windows.h>
#include <errno.h>
#include <io.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
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
        {"c:", "c:\\"}, {"c:\\dir\\\\", "c:\\dir"}, {"a/b/c", "a\\b\\c"}, {"\\\\server\\share\\", "\\\\server\\share"},
        {"x~\\y", "x~\\y"}, {"x\\%USERDOCUMENTS%\\a", "x\\%USERDOCUMENTS%\\a"},
    };
    for (const auto& c : cases)
    {
        FILENAME once(c.first);
        EXPECT_STREQ(c.second, once.Text()) << c.first;
        EXPECT_STREQ(once.Text(), FILENAME(once.Text()).Text()) << c.first;
    }

    const struct { const char* Path; const char* Directory; const char* Name; } splits[] = {
        {"C:\\file.txt", "C:\\", "file.txt"}, {"file.txt", ".", "file.txt"}, {"C:\\dir\\", "C:\\", "dir"},
    };
    for (const auto& c : splits)
    {
        EXPECT_STREQ(c.Directory, FILENAME(c.Path).Directory().Text()) << c.Path;
        EXPECT_STREQ(c.Name, FILENAME(c.Path).Name().Text()) << c.Path;
    }

    FILENAME fixed("a:b/c");
    EXPECT_TRUE(fixed.FixInvalidChars(false, '_'));
    EXPECT_STREQ("a_b_c", fixed.Text());
    FILENAME kept("a:b/c");
    EXPECT_TRUE(kept.FixInvalidChars(true, '_'));
    EXPECT_STREQ("a_b\\c", kept.Text());
}

TEST(FileName, JoinAppendsRelativeNamesAndKeepsAbsoluteOnes)
{
    const std::string home = TESTSUPPORT::SystemFolder(6), docs = TESTSUPPORT::SystemFolder(14);
    const struct { const char* Dir; const char* Name; std::string Expected; } cases[] = {
        {"C:\\base", "D:\\abs.txt", "D:\\abs.txt"}, {nullptr, "x.txt", ".\\x.txt"},
        {"C:/base//", "sub/x", "C:\\base\\sub\\x"}, {"C:", "x", "C:\\x"},
        {"C:\\base", "/root.txt", "\\root.txt"},    {"C:\\base", "~\\n.txt", home + "\\n.txt"},
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
        {"$(USERDOCUMENTS)\\a", docs + "\\a"},
        {"x\\%username%\\%COMPUTERNAME%", "x\\" + user + "\\" + computer},
        {"%USERHOME%\\%USERNAME%", "%USERHOME%\\" + user},   // a replaced name stops the table
    };
    for (const auto& c : expansions)
        EXPECT_EQ(c.second, FILENAME(c.first).Text()) << c.first;
    EXPECT_STREQ(TESTSUPPORT::SelfPath().c_str(), FILENAME("<SELF>").Text());

    const struct { std::string Path, Plain, Unix; } trips[] = {
        {docs + "\\x\\y.txt", "%USERDOCUMENTS%\\x\\y.txt", "%USERDOCUMENTS%/x/y.txt"},
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
}

TEST(ShellStrings, AddedNamesExpandAndTheLongestFolderWins)
{
    FILENAME::ShellStringSet("%TARNIDEEP%", "C:\\tarni-test\\deep\\", false);
    FILENAME::ShellStringSet("%TARNIROOT%", "C:/tarni-test/", false);
    FILENAME::ShellStringSet("%TARNIHIDDEN%", "C:\\tarni-hidden\\", true);
    EXPECT_STREQ("C:\\tarni-hidden\\h", FILENAME("%TARNIHIDDEN%\\h").Text());
    EXPECT_STREQ("%TARNIDEEP%\\a", FILENAME("C:\\tarni-test\\deep\\a").AsShellStrings().Text());
    EXPECT_STREQ("%TARNIROOT%\\other", FILENAME("c:\\TARNI-TEST\\other").AsShellStrings().Text());
    EXPECT_STREQ("C:\\tarni-hidden\\h", FILENAME("C:\\tarni-hidden\\h").AsShellStrings().Text());
    FILENAME::ShellStringSet("%TARNIDEEP%", "D:\\moved\\", false);
    EXPECT_STREQ("D:\\moved\\a", FILENAME("%TARNIDEEP%\\a").Text());
}

TEST(TempNames, FolderNamesGiveTheTemporaryFolderAndFileNamesFreshOnes)
{
    EXPECT_EQ(TempPath(), FILENAME("<TempDir>").Text());
    EXPECT_STREQ("x<temp>", FILENAME("x<temp>").Text());
    std::set<std::string> seen;
    for (const char* name : {"<temp>", "<TMP>", "<temp>"})
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
    ASSERT_EQ(0, FILENAME::TempName(&name[0], 4, FILENAME::TEMPNAME_NAME));
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
    for (auto c : {std::make_pair("XXXXX", 0), std::make_pair("fXXXXXXa.txt", 4), std::make_pair("XXXXXX", 1)})
    {
        std::string name = c.first;
        errno = 0;
        EXPECT_EQ(-1, FILENAME::TempName(&name[0], c.second, FILENAME::TEMPNAME_NAME)) << c.first;
        EXPECT_EQ(EINVAL, errno) << c.first;
        EXPECT_EQ(c.first, name);
    }
    // "<name>\.." is the existing folder whatever the name: every attempt fails.
    TESTSUPPORT::TEMPDIR dir("fn");
    std::string name = dir.File("XXXXXX\\..");
    errno = 0;
    EXPECT_EQ(-1, FILENAME::TempName(&name[0], 3, FILENAME::TEMPNAME_DIRECTORY));
    EXPECT_EQ(EEXIST, errno);
}

TEST(FileQueries, ModificationTimeIsCachedSetAndShownAsLocalTime)
{
    TESTSUPPORT::TEMPDIR dir("fn");
    const std::string path = dir.File("stamp.txt");
    ASSERT_TRUE(TESTSUPPORT::WriteFile(path, "x"));
    SetModified(path, 1000000000);
    FILENAME file(path.c_str());
    EXPECT_EQ(1000000000, file.ModificationTime());
    SetModified(path, 1200000000);
    EXPECT_EQ(1000000000, file.ModificationTime());
    EXPECT_EQ(1200000000, file.ModificationTime(true));

    const CALENDARTIME fields = {2003, 7, 0, 14, 9, 30, 15, 0};
    EXPECT_TRUE(file.SetModificationTime(fields));
    STRING text;
    ASSERT_TRUE(file.DateText(text));
    EXPECT_STREQ("2003-07-14 09:30:15", text.Text());
    FILENAME missing(dir.File("none").c_str());
    EXPECT_FALSE(missing.SetModificationTime(1000000000));
    EXPECT_EQ(0, missing.ModificationTime());
    EXPECT_EQ(-1, missing.Size());
}

TEST(FileQueries, CopyToCopiesEveryBlockAndKeepsTargetsUnlessAsked)
{
    TESTSUPPORT::TEMPDIR dir("fn");
    const std::string source = dir.File("source.bin"), target = dir.File("target.bin");
    std::string bytes;
    for (size_t size : {0, 4097, 10000})
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
