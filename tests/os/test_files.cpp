#include <windows.h>
#include <share.h>
#include <stdio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/containers/stringarray.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

namespace
{
    std::string ChildProbe()
    {
        return TESTSUPPORT::SelfDirectory() + "\\childprobe.exe";
    }

    // Whether a second process can open path with mode while it shares everything.
    int OpensInOtherProcess(const std::string& path, const char* mode)
    {
        TESTSUPPORT::CHILD child;
        if (!child.Start("childprobe.exe open=" + std::string(mode), "", {"CHILDPROBE_FILE=" + path}, ChildProbe()))
            return -1;
        return child.Wait(20000) == 0 ? 1 : 0;
    }

    // A named event owned by the test.
    class NAMEDEVENT
    {
    public:
        explicit NAMEDEVENT(const std::string& name) : Name(name), Handle(CreateEventA(0, TRUE, FALSE, name.c_str())) {}
        ~NAMEDEVENT()
        {
            if (Handle)
                CloseHandle(Handle);
        }
        NAMEDEVENT(const NAMEDEVENT&) = delete;
        NAMEDEVENT& operator=(const NAMEDEVENT&) = delete;
        bool Wait(int ms) { return WaitForSingleObject(Handle, ms) == WAIT_OBJECT_0; }
        void Set() { SetEvent(Handle); }
        std::string Name;

    private:
        HANDLE Handle;
    };

    std::string Utf8(const std::wstring& text)
    {
        int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, 0, 0, 0, 0);
        std::string result(n, '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &result[0], n, 0, 0);
        result.resize(n - 1);
        return result;
    }

    std::wstring Wide(const std::string& ansi)
    {
        int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, 0, 0);
        std::wstring result(n, L'\0');
        MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &result[0], n);
        result.resize(n - 1);
        return result;
    }

    std::vector<std::string> Items(const STRINGARRAY& list)
    {
        std::vector<std::string> items;
        for (int i = 0; i < list.Count(); i++)
            items.push_back(list.Text(i));
        return items;
    }

    int IndexOf(const std::vector<std::string>& items, const std::string& item)
    {
        auto at = std::find(items.begin(), items.end(), item);
        return at == items.end() ? -1 : (int)(at - items.begin());
    }

    std::string FullPath(const std::string& path)
    {
        return FILENAME(path.c_str()).FullPath().Text();
    }
}

TEST(Fsopen, DefaultSharingIsSeenByAnotherProcess)
{
    TESTSUPPORT::TEMPDIR dir("fs");
    const std::string path = dir.File("shared.txt");
    ASSERT_TRUE(TESTSUPPORT::WriteFile(path, "content"));
    ASSERT_EQ(1, OpensInOtherProcess(path, "r+b")) << "the probe must reach a file nobody holds";

    struct { const char* Mode; int Read; int Write; } cases[] = {
        {"r", 1, 0}, {"rb", 1, 0}, {"r+", 0, 0}, {"w", 0, 0}, {"a", 0, 0},
    };
    for (const auto& c : cases)
    {
        FILE* stream = fsopen(path.c_str(), c.Mode, -1, 0);
        ASSERT_TRUE(stream) << c.Mode;
        EXPECT_EQ(c.Read, OpensInOtherProcess(path, "rb")) << "reader beside " << c.Mode;
        EXPECT_EQ(c.Write, OpensInOtherProcess(path, "r+b")) << "writer beside " << c.Mode;
        fclose(stream);
    }

    FILE* open = fsopen(path.c_str(), "w", _SH_DENYNO, 0);
    ASSERT_TRUE(open);
    EXPECT_EQ(1, OpensInOtherProcess(path, "r+b")) << "an explicit share flag wins over the mode";
    fclose(open);
}

TEST(Fsopen, AppendStartsAtTheEndAndMissingFileGivesNull)
{
    TESTSUPPORT::TEMPDIR dir("fs");
    const std::string path = dir.File("append.txt");
    ASSERT_TRUE(TESTSUPPORT::WriteFile(path, "12345"));
    FILE* stream = fsopen(path.c_str(), "a");
    ASSERT_TRUE(stream);
    EXPECT_EQ(5, ftell(stream));
    fclose(stream);
    EXPECT_EQ(nullptr, fsopen(dir.File("missing.txt").c_str(), "r", -1, 1));
}

TEST(Fsopen, Utf8NameReachesTheFileThroughItsWideForm)
{
    TESTSUPPORT::TEMPDIR dir("fs");
    const std::wstring wideName = L"gr\u00fc\u00dfe-\u0416.txt";
    const std::wstring widePath = Wide(dir.Path()) + L"\\" + wideName;
    {
        HANDLE file = CreateFileW(widePath.c_str(), GENERIC_WRITE, 0, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, 0);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD written = 0;
        WriteFile(file, "hello", 5, &written, 0);
        CloseHandle(file);
    }
    const std::string utf8Path = dir.Path() + "\\" + Utf8(wideName);

    EXPECT_EQ(nullptr, fsopen(utf8Path.c_str(), "rb", -1, 0)) << "the 8-bit name does not exist";
    FILE* stream = fsopen(utf8Path.c_str(), "rb", -1, 1);
    ASSERT_TRUE(stream);
    char buffer[16] = {};
    EXPECT_EQ(5u, fread(buffer, 1, sizeof(buffer), stream));
    EXPECT_STREQ("hello", buffer);
    fclose(stream);

    const std::wstring newWide = L"neu-\u0416.txt";
    FILE* created = fsopen((dir.Path() + "\\" + Utf8(newWide)).c_str(), "w", -1, 1);
    ASSERT_TRUE(created);
    fputs("x", created);
    fclose(created);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((Wide(dir.Path()) + L"\\" + newWide).c_str()));
    EXPECT_EQ(nullptr, fsopen((dir.Path() + "\\" + Utf8(L"fehlt-\u0416.txt")).c_str(), "r", -1, 1));
}

TEST(ResolveFinalPath, Utf8NameBecomesTheSystemsFinalPath)
{
    TESTSUPPORT::TEMPDIR dir("fp");
    const std::wstring wideName = L"final-\u00e4\u0416.txt";
    HANDLE file = CreateFileW((Wide(dir.Path()) + L"\\" + wideName).c_str(), GENERIC_WRITE, 0, 0, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    char ansiName[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, wideName.c_str(), -1, ansiName, sizeof(ansiName), 0, 0);

    FILENAME name((dir.Path() + "\\" + Utf8(wideName)).c_str());
    ASSERTSPY spy;
    ASSERT_TRUE(name.ResolveFinalPath(true));
    EXPECT_EQ(0u, spy.Count());
    std::string resolved = name.Text();
    EXPECT_NE(0, _strnicmp(resolved.c_str(), "\\\\?\\", 4)) << resolved;
    ASSERT_GT(resolved.size(), strlen(ansiName));
    EXPECT_EQ("\\" + std::string(ansiName), resolved.substr(resolved.size() - strlen(ansiName) - 1));

    FILENAME lenient((dir.Path() + "\\" + Utf8(wideName)).c_str());
    EXPECT_TRUE(lenient.ResolveFinalPath(false));
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("must_exist", spy.Last().Condition);

    FILENAME plain(dir.File("plain.txt").c_str());
    ASSERT_TRUE(TESTSUPPORT::WriteFile(plain.Text(), "x"));
    EXPECT_FALSE(plain.ResolveFinalPath(true));
    EXPECT_EQ(dir.File("plain.txt"), plain.Text());
    FILENAME missing((dir.Path() + "\\" + Utf8(L"fehlt-\u0416.txt")).c_str());
    EXPECT_FALSE(missing.ResolveFinalPath(true));
}

TEST(FileLock, AnotherProcessHoldingTheFileMakesLockFailHardOrGoOnSoftly)
{
    TESTSUPPORT::TEMPDIR dir("lk");
    const std::string path = dir.File("data.txt");
    const std::string tag = std::to_string(GetCurrentProcessId());
    NAMEDEVENT ready("tarni-lock-ready-" + tag), release("tarni-lock-release-" + tag);
    TESTSUPPORT::CHILD child;
    ASSERT_TRUE(child.Start("childprobe.exe lock ready=" + ready.Name + " wait=" + release.Name + " timeout=60000", "",
                            {"CHILDPROBE_FILE=" + path}, ChildProbe()));
    ASSERT_TRUE(ready.Wait(20000)) << "the child did not take its lock";
    EXPECT_TRUE(TESTSUPPORT::FileExists(path + ".lock"));

    FILELOCK lock(path.c_str());
    EXPECT_EQ(path + ".lock", lock.GetLockName().Text());
    {
        TESTSUPPORT::LOGCAPTURE log(1);
        auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(lock.Lock(-1, true));
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_GE(seconds, 3.0);
        EXPECT_LE(seconds, 10.0);
        EXPECT_FALSE(lock.IsLockActive());
        const std::string error = lock.GetErrorText().Text();
        EXPECT_EQ(0u, error.rfind("fsopen failed for '" + path + ".lock', errno= ", 0)) << error;
        auto lines = log.Lines("FILELOCK::WaitForFile loop ");
        ASSERT_GE(lines.size(), 5u);
        EXPECT_EQ("FILELOCK::WaitForFile loop 0", lines[0]);
        EXPECT_EQ(1u, log.Lines("FILELOCK::WaitForFile failed to obtain lock").size());
        EXPECT_EQ(1u, log.Lines("WARNING! FILELOCK::Lock could not obtail file lock").size());
    }
    {
        ASSERTSPY spy;
        EXPECT_TRUE(lock.Lock(300, false));
        EXPECT_TRUE(lock.IsLockActive());
        EXPECT_FALSE(lock.HoldsFile());
        ASSERT_EQ(1u, spy.Count());
        EXPECT_EQ("this->FileLock!=0 || hard_fail", spy.Last().Condition);
        EXPECT_TRUE(lock.Unlock());
        EXPECT_TRUE(TESTSUPPORT::FileExists(path + ".lock")) << "a lock never held is not deleted";
    }

    release.Set();
    EXPECT_EQ(0, child.Wait(20000));
    EXPECT_TRUE(lock.Lock(-1, true));
    EXPECT_TRUE(lock.HoldsFile());
    EXPECT_TRUE(TESTSUPPORT::FileExists(path + ".lock"));
    EXPECT_TRUE(lock.Unlock());
    EXPECT_FALSE(TESTSUPPORT::FileExists(path + ".lock"));
}

TEST(FileLock, LeftoverLockFileIsTakenAndMisuseAsserts)
{
    TESTSUPPORT::TEMPDIR dir("lk");
    const std::string path = dir.File("data.txt");
    ASSERT_TRUE(TESTSUPPORT::WriteFile(path + ".lock", "left behind"));
    ASSERTSPY spy;
    {
        FILELOCK lock(path.c_str());
        EXPECT_TRUE(lock.Unlock());
        ASSERT_EQ(1u, spy.Count());
        EXPECT_EQ("this->IsLockActive", spy.Last().Condition);
        EXPECT_TRUE(lock.Lock(1000, true));
        EXPECT_TRUE(lock.Lock(1000, true));
        ASSERT_EQ(2u, spy.Count());
        EXPECT_EQ("!this->IsLockActive", spy.Last().Condition);
        EXPECT_TRUE(lock.IsLockActive());
    }
    EXPECT_FALSE(TESTSUPPORT::FileExists(path + ".lock")) << "the destructor unlocks";
}

TEST(FileLock, SecondLockOfTheProcessWaitsForTheFirst)
{
    TESTSUPPORT::TEMPDIR dir("lk");
    FILELOCK first(dir.File("one").c_str());
    ASSERT_TRUE(first.Lock(-1, true));
    std::atomic<bool> locked(false);
    std::thread other([&] {
        FILELOCK second(dir.File("two").c_str());
        if (second.Lock(-1, true))
            locked = true;
    });
    Sleep(500);
    EXPECT_FALSE(locked) << "another file, but the same process-wide lock";
    first.Unlock();
    other.join();
    EXPECT_TRUE(locked);
}

TEST(Wildcard, MatchesCharactersWithoutRegardToCase)
{
    EXPECT_TRUE(OSYS::MatchWildcard("A.TXT", "*.txt"));
    EXPECT_TRUE(OSYS::MatchWildcard(".txt", "*.txt"));
    EXPECT_FALSE(OSYS::MatchWildcard("a.txt.bak", "*.txt"));
    EXPECT_FALSE(OSYS::MatchWildcard("ac", "a?c"));
    EXPECT_TRUE(OSYS::MatchWildcard("aBc", "a?C"));
    EXPECT_TRUE(OSYS::MatchWildcard("a", "a*"));
    EXPECT_TRUE(OSYS::MatchWildcard("abcbd", "*b*d"));
    EXPECT_FALSE(OSYS::MatchWildcard("", "*x"));
    EXPECT_FALSE(OSYS::MatchWildcard("abc", "ab"));
    EXPECT_FALSE(OSYS::MatchWildcard("ab", "abc"));
    EXPECT_TRUE(OSYS::MatchWildcard("", ""));
    EXPECT_FALSE(OSYS::MatchWildcard("a", ""));
}

class ListFilesTree : public testing::Test
{
protected:
    void SetUp() override
    {
        Base = FullPath(Dir.Path());
        for (const char* sub : {"sub", "sub\\deeper", ".hidden"})
            ASSERT_TRUE(CreateDirectoryA(Dir.File(sub).c_str(), 0));
        for (const char* file : {"a.txt", "B.TXT", "c.log", "sub\\d.txt", "sub\\deeper\\e.txt", ".hidden\\f.txt",
                                 "odd%name.txt", "x$y.txt"})
            ASSERT_TRUE(TESTSUPPORT::WriteFile(Dir.File(file), file));
    }
    std::string In(const char* name) const { return Base + "\\" + name; }
    TESTSUPPORT::TEMPDIR Dir{"ls"};
    std::string Base;
};

TEST_F(ListFilesTree, StarDotStarListsOnlyTheFilesOfTheFolderAndWarnsAboutShellNames)
{
    STRINGARRAY list;
    TESTSUPPORT::LOGCAPTURE log(1);
    EXPECT_EQ(3, OSYS::ListFiles(Dir.Path().c_str(), "*.*", &list, false));
    auto items = Items(list);
    std::sort(items.begin(), items.end());
    EXPECT_EQ((std::vector<std::string>{In("B.TXT"), In("a.txt"), In("c.log")}), items);
    auto warnings = log.Lines("OSYS::ListFiles Warning! Ingoring '");
    std::sort(warnings.begin(), warnings.end());
    EXPECT_EQ((std::vector<std::string>{
                  "OSYS::ListFiles Warning! Ingoring 'odd%name.txt' (would convert to shell string)",
                  "OSYS::ListFiles Warning! Ingoring 'x$y.txt' (would convert to shell string)"}),
              warnings);
}

TEST_F(ListFilesTree, PatternAppliesToFilesOfEverySubfolderButDotFolders)
{
    STRINGARRAY list;
    EXPECT_EQ(4, OSYS::ListFiles(Dir.Path().c_str(), "*.TXT", &list, true));
    auto items = Items(list);
    std::sort(items.begin(), items.end());
    EXPECT_EQ((std::vector<std::string>{In("B.TXT"), In("a.txt"), In("sub\\d.txt"), In("sub\\deeper\\e.txt")}),
              items);
    EXPECT_EQ(4, OSYS::ListFiles(Dir.Path().c_str(), "*.TXT", nullptr, true)) << "counting only";
    EXPECT_EQ(1, OSYS::ListFiles(Dir.Path().c_str(), "?.log", nullptr, true));
    EXPECT_EQ(0, OSYS::ListFiles(Dir.File("missing").c_str(), "*", &list, true));
}

TEST_F(ListFilesTree, RecursionWithStarListsEachFolderAfterItsContents)
{
    STRINGARRAY list;
    int count = OSYS::ListFiles(Dir.Path().c_str(), "*", &list, true);
    auto items = Items(list);
    EXPECT_EQ((int)items.size(), count);
    EXPECT_EQ(7, count);
    int deeper = IndexOf(items, In("sub\\deeper")), sub = IndexOf(items, In("sub"));
    ASSERT_GE(deeper, 0);
    ASSERT_GE(sub, 0);
    EXPECT_LT(IndexOf(items, In("sub\\deeper\\e.txt")), deeper);
    EXPECT_LT(deeper, sub);
    EXPECT_LT(IndexOf(items, In("sub\\d.txt")), sub);
    EXPECT_EQ(-1, IndexOf(items, In(".hidden")));
}

TEST(DirectoryPath, CreatesOnlyTheMissingFoldersAndStopsAtAFile)
{
    TESTSUPPORT::TEMPDIR dir("dp");
    ASSERT_TRUE(CreateDirectoryA(dir.File("a").c_str(), 0));
    {
        TESTSUPPORT::LOGCAPTURE log(1);
        EXPECT_TRUE(OSYS::CreateDirectoryPath(dir.File("a\\b\\c").c_str()));
        EXPECT_EQ((std::vector<std::string>{
                      "OSYS::CreateDirectoryPath mkdir " + dir.File("a\\b\\") + " returns ok= 1",
                      "OSYS::CreateDirectoryPath mkdir " + dir.File("a\\b\\c\\") + " returns ok= 1"}),
                  log.Lines("OSYS::CreateDirectoryPath mkdir"));
    }
    EXPECT_TRUE(FILENAME(dir.File("a\\b\\c").c_str()).IsDirectory());
    EXPECT_TRUE(OSYS::CreateDirectoryPath(dir.File("a/b/c").c_str()));
    ASSERT_TRUE(TESTSUPPORT::WriteFile(dir.File("file"), "x"));
    EXPECT_FALSE(OSYS::CreateDirectoryPath(dir.File("file\\below").c_str()));
}

TEST(DirectoryTree, CopyTreeCopiesFilesAndFoldersAndDeleteTreeRemovesThem)
{
    TESTSUPPORT::TEMPDIR dir("tr");
    const std::string source = dir.File("src");
    ASSERT_TRUE(OSYS::CreateDirectoryPath((source + "\\one\\two").c_str()));
    ASSERT_TRUE(OSYS::CreateDirectoryPath((source + "\\empty").c_str()));
    ASSERT_TRUE(TESTSUPPORT::WriteFile(source + "\\top.bin", std::string("top\0bytes", 9)));
    ASSERT_TRUE(TESTSUPPORT::WriteFile(source + "\\one\\two\\deep.txt", "deep"));

    const std::string target = dir.File("copy\\nested");
    EXPECT_TRUE(OSYS::CopyTree(source.c_str(), target.c_str()));
    EXPECT_EQ(std::string("top\0bytes", 9), TESTSUPPORT::ReadFile(target + "\\top.bin"));
    EXPECT_EQ("deep", TESTSUPPORT::ReadFile(target + "\\one\\two\\deep.txt"));
    EXPECT_TRUE(FILENAME((target + "\\empty").c_str()).IsDirectory());

    ASSERT_TRUE(FILENAME((target + "\\top.bin").c_str()).SetReadOnly(true));
    EXPECT_TRUE(OSYS::DeleteTree(target.c_str()));
    EXPECT_FALSE(TESTSUPPORT::FileExists(target));
    EXPECT_TRUE(TESTSUPPORT::FileExists(source + "\\one\\two\\deep.txt")) << "the source stays";
    EXPECT_FALSE(OSYS::DeleteTree(target.c_str()));
}

TEST(FilenameOperations, MakeDirectoryDeleteAndCurrentDirectory)
{
    TESTSUPPORT::TEMPDIR dir("fo");
    FILENAME folder(dir.File("made").c_str());
    EXPECT_TRUE(folder.MakeDirectory());
    EXPECT_FALSE(folder.MakeDirectory()) << "it exists now";
    EXPECT_TRUE(folder.IsDirectory());

    STRING previous = OSYS::GetCurrentDirectory();
    EXPECT_TRUE(folder.SetAsCurrentDirectory());
    EXPECT_EQ(0, _stricmp(FullPath(".").c_str(), FullPath(folder.Text()).c_str()));
    EXPECT_TRUE(FILENAME(previous.Text()).SetAsCurrentDirectory());
    EXPECT_FALSE(FILENAME(dir.File("none").c_str()).SetAsCurrentDirectory());

    FILENAME file(dir.File("gone.txt").c_str());
    ASSERT_TRUE(TESTSUPPORT::WriteFile(file.Text(), "x"));
    EXPECT_TRUE(file.Delete());
    EXPECT_FALSE(TESTSUPPORT::FileExists(file.Text()));
    EXPECT_FALSE(file.Delete());
}
