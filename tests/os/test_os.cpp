#include <stdio.h>
#include <windows.h>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "framework/text/strings.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

namespace
{
    std::string Handle(const void* handle)
    {
        char text[64];
        snprintf(text, sizeof(text), "handle= %p", handle);
        return text;
    }

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

    // Request(0) from a thread of its own; a granted mutex is released again.
    bool OtherThreadGets(MUTEXSEM& mutex)
    {
        bool got = false;
        std::thread([&] {
            got = mutex.Request(0);
            if (got)
                mutex.Release();
        }).join();
        return got;
    }
}


TEST(OsId, VersionNumbersMapToTheirIds)
{
    const struct { unsigned Platform, Major, Minor, Build; int Id; } rows[] = {
        {1, 4, 10, 2222, 0}, {0, 3, 1, 0, 0}, {1, 10, 0, 22000, 0}, {2, 4, 0, 1381, 1}, {2, 3, 51, 0, 1},
        {2, 7, 0, 0, 1}, {2, 9, 9, 0, 1}, {2, 5, 0, 2195, 2}, {2, 5, 1, 2600, 3}, {2, 5, 2, 3790, 4},
        {2, 5, 3, 0, 4}, {2, 6, 0, 6002, 5}, {2, 6, 1, 7601, 6}, {2, 6, 2, 9200, 7}, {2, 6, 3, 9600, 8},
        {2, 6, 4, 0, 5}, {2, 6, 9, 0, 5}, {2, 10, 0, 19045, 9}, {2, 10, 0, 21999, 9}, {2, 10, 0, 22000, 10},
        {2, 10, 0, 26100, 10}, {2, 11, 0, 0, 9}, {2, 11, 0, 22000, 10},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.Id, OSYS::OsIdFromVersion(r.Platform, r.Major, r.Minor, r.Build))
            << r.Platform << " " << r.Major << "." << r.Minor << "." << r.Build;
}

TEST(OsId, EveryIdHasItsNameAndOthersAreUnknown)
{
    const char* const names[] = {"Windows 95/98", "Windows NT4", "Windows 2000", "Windows XP",
                                 "Windows 2003 family", "Windows Vista", "Windows 7", "Windows 8",
                                 "Windows 8.1", "Windows 10", "Windows 11"};
    for (int id = 0; id <= 10; id++)
        EXPECT_STREQ(names[id], OSYS::OsNameFromId(id).Text());
    EXPECT_STREQ("<unknown type 11>", OSYS::OsNameFromId(11).Text());
    EXPECT_STREQ("<unknown type -1>", OSYS::OsNameFromId(-1).Text());
    EXPECT_STREQ(OSYS::OsNameFromId(OSYS::GetOsId()).Text(), OSYS::GetOsName().Text());
}

TEST(SystemPath, SystemUserGetsTheCommonFolders)
{
    for (const char* user : {"SYSTEM", "system", "System"})
        for (int type = -1; type <= 30; type++)
        {
            int expected = type == 8 ? 24 : (type == 6 || type == 14 || type == 18 || type == 19) ? 12 : type;
            EXPECT_EQ(expected, OSYS::SystemPathTypeFor(type, user)) << user << " " << type;
        }
    for (const char* user : {"someone", "SYSTEMS", "", (const char*)nullptr})
        for (int type = -1; type <= 30; type++)
            EXPECT_EQ(type, OSYS::SystemPathTypeFor(type, user)) << type;
}

TEST(SystemPath, ValidTypesGiveFoldersEndingInBackslash)
{
    for (int type : {0, 1, 2, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 18, 19, 22, 24})
    {
        std::string path = OSYS::GetSystemPath(type).Text();
        if (!path.empty())
        {
            EXPECT_EQ('\\', path.back()) << type << ": " << path;
        }
    }
    for (int type : {5, 6, 8, 14})
        EXPECT_TRUE(FILENAME(OSYS::GetSystemPath(type).Text()).IsDirectory()) << type;

    // The home folder is the profile when that holds the documents, else the documents.
    const std::string docs = TESTSUPPORT::SystemFolder(14);
    const std::string parent = docs.substr(0, docs.find_last_of('\\'));
    const char* profile = getenv("USERPROFILE");
    const std::string home = profile && _stricmp(parent.c_str(), profile) == 0 ? parent : docs;
    EXPECT_EQ(0, _stricmp(home.c_str(), TESTSUPPORT::SystemFolder(6).c_str())) << TESTSUPPORT::SystemFolder(6);
}

TEST(SystemPath, InvalidTypesAssertAndGiveEmptyText)
{
    for (int type : {3, 4, 15, 16, 17, 20, 21, 23, 25, -1})
    {
        ASSERTSPY spy;
        EXPECT_STREQ("", OSYS::GetSystemPath(type).Text()) << type;
        ASSERT_EQ(1u, spy.Count()) << type;
        EXPECT_EQ("FALSE", spy.Last().Condition);
    }
}


TEST(FileName, NormalisesSeparatorsAndDrives)
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
}

TEST(FileName, ExpandsShellStringsAtTheStartAndNamesAnywhere)
{
    const std::string home = TESTSUPPORT::SystemFolder(6), docs = TESTSUPPORT::SystemFolder(14);
    const std::string user = OSYS::GetUserName().Text(), computer = OSYS::GetComputerName().Text();
    ASSERT_FALSE(home.empty());
    ASSERT_FALSE(docs.empty());
    ASSERT_FALSE(user.empty());
    const std::pair<const char*, std::string> cases[] = {
        {"~\\notes.txt", home + "\\notes.txt"},
        {"~/notes.txt", home + "\\notes.txt"},
        {"%USERHOME%", home},
        {"%USERDOCUMENTS%\\a", docs + "\\a"},
        {"%userdocuments%/a", docs + "\\a"},
        {"$(USERDOCUMENTS)\\a", docs + "\\a"},
        {"\\\\server\\%USERNAME%\\a", "\\\\server\\" + user + "\\a"},
        {"x\\%username%\\%COMPUTERNAME%", "x\\" + user + "\\" + computer},
        {"%USERHOME%\\%USERNAME%", "%USERHOME%\\" + user},   // a replaced name stops the table
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.second, FILENAME(c.first).Text()) << c.first;
    EXPECT_STREQ(TESTSUPPORT::SelfPath().c_str(), FILENAME("<self>").Text());
    EXPECT_STREQ(TESTSUPPORT::SelfPath().c_str(), FILENAME("<SELF>").Text());
}

TEST(FileName, JoinAppendsRelativeNamesAndKeepsAbsoluteOnes)
{
    const std::string home = TESTSUPPORT::SystemFolder(6), docs = TESTSUPPORT::SystemFolder(14);
    const struct { const char* Dir; const char* Name; std::string Expected; } cases[] = {
        {"C:\\base", "D:\\abs.txt", "D:\\abs.txt"},
        {"", "x.txt", ".\\x.txt"},
        {nullptr, "x.txt", ".\\x.txt"},
        {"C:\\base\\", "sub/x", "C:\\base\\sub\\x"},
        {"C:/base//", "x", "C:\\base\\x"},
        {"C:\\base", "\\root.txt", "\\root.txt"},
        {"C:\\base", "/root.txt", "\\root.txt"},
        {"C:\\base", "~\\n.txt", home + "\\n.txt"},
        {"C:\\base", "..", "C:\\base\\.."},
        {"%USERDOCUMENTS%", "x.txt", docs + "\\x.txt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Expected, FILENAME(c.Dir, c.Name).Text()) << (c.Dir ? c.Dir : "<null>") << " + " << c.Name;
}

TEST(FileName, DirectoryAndNameSplitAtTheLastSeparator)
{
    const struct { const char* Path; const char* Directory; const char* Name; } cases[] = {
        {"C:\\dir\\file.txt", "C:\\dir", "file.txt"}, {"C:\\file.txt", "C:\\", "file.txt"},
        {"file.txt", ".", "file.txt"}, {"a/b/c", "a\\b", "c"},
        {"\\\\server\\share\\f", "\\\\server\\share", "f"}, {"C:\\dir\\", "C:\\", "dir"},
    };
    for (const auto& c : cases)
    {
        FILENAME path(c.Path);
        EXPECT_STREQ(c.Directory, path.Directory().Text()) << c.Path;
        EXPECT_STREQ(c.Name, path.Name().Text()) << c.Path;
    }
}

TEST(FileName, QueriesAnswerForRealFilesFoldersAndMissingNames)
{
    TESTSUPPORT::TEMPDIR dir("os");
    const std::string file = dir.File("data.bin");
    ASSERT_TRUE(TESTSUPPORT::WriteFile(file, "12345"));
    ASSERT_TRUE(TESTSUPPORT::WriteFile(dir.File("empty.bin"), ""));

    FILENAME data(file.c_str());
    EXPECT_TRUE(data.Exists());
    EXPECT_TRUE(data.IsFile());
    EXPECT_FALSE(data.IsDirectory());
    EXPECT_EQ(5, data.Size());
    EXPECT_EQ(0, FILENAME(dir.File("empty.bin").c_str()).Size());
    EXPECT_EQ(dir.Path(), data.Directory().Text());
    EXPECT_STREQ("data.bin", data.Name().Text());

    FILENAME folder(dir.Path().c_str());
    EXPECT_TRUE(folder.Exists());
    EXPECT_TRUE(folder.IsDirectory());
    EXPECT_FALSE(folder.IsFile());

    const std::string previous = OSYS::GetCurrentDirectory().Text();
    ASSERT_TRUE(OSYS::SetCurrentDirectory(dir.Path().c_str()));
    const std::string full = FILENAME("data.bin").FullPath().Text();
    const std::string unresolved = FILENAME("absent.txt").FullPath().Text();
    OSYS::SetCurrentDirectory(previous.c_str());
    EXPECT_EQ(0, _stricmp(file.c_str(), full.c_str())) << full;
    EXPECT_EQ("absent.txt", unresolved);

    for (FILENAME missing : {FILENAME(dir.File("none").c_str()), FILENAME()})
    {
        EXPECT_FALSE(missing.Exists());
        EXPECT_FALSE(missing.IsFile());
        EXPECT_EQ(-1, missing.Size());
        EXPECT_EQ(0, missing.ModificationTime());
    }
}

TEST(FileName, ModificationTimeIsCachedUntilRefreshOrAssignment)
{
    TESTSUPPORT::TEMPDIR dir("os");
    const std::string file = dir.File("stamp.txt");
    ASSERT_TRUE(TESTSUPPORT::WriteFile(file, "x"));
    SetModified(file, 1000000000);
    FILENAME name(file.c_str());
    EXPECT_EQ(1000000000, name.ModificationTime());
    SetModified(file, 1200000000);
    EXPECT_EQ(1000000000, name.ModificationTime());
    EXPECT_EQ(1200000000, name.ModificationTime(true));
    SetModified(file, 1300000000);
    name = file.c_str();
    EXPECT_EQ(1300000000, name.ModificationTime());
}

TEST(MutexSem, HeldByAnotherThreadRefusesAtOnceAndIsRecursiveForItsOwner)
{
    MUTEXSEM mutex;
    EXPECT_TRUE(OtherThreadGets(mutex));

    std::promise<void> taken, finish;
    std::thread owner([&] {
        mutex.Request(-1);
        taken.set_value();
        finish.get_future().wait();
        mutex.Release();
    });
    taken.get_future().wait();
    EXPECT_FALSE(mutex.Request(0));
    finish.set_value();
    owner.join();

    EXPECT_TRUE(mutex.Request(-1));
    EXPECT_TRUE(mutex.Request(0));
    EXPECT_FALSE(OtherThreadGets(mutex));
    EXPECT_TRUE(mutex.Release());
    EXPECT_FALSE(OtherThreadGets(mutex));
    EXPECT_TRUE(mutex.Release());
    EXPECT_TRUE(OtherThreadGets(mutex));
}

TEST(MutexSem, AbandonedMutexAnswersFalseButBelongsToTheCaller)
{
    MUTEXSEM mutex;
    std::thread([&] { mutex.Request(-1); }).join();
    EXPECT_FALSE(mutex.Request(0));
    EXPECT_FALSE(OtherThreadGets(mutex));
    EXPECT_TRUE(mutex.Request(0));
    EXPECT_TRUE(mutex.Release());
    EXPECT_TRUE(mutex.Release());
    EXPECT_TRUE(OtherThreadGets(mutex));

    ASSERTSPY spy;
    EXPECT_FALSE(mutex.Release());
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("ok", spy.Last().Condition);
    EXPECT_EQ(0u, spy.Last().Info.find("handle= "));
}

TEST(MutexSem, OpenWithStateAssertsAndStillOpensTheNamedMutex)
{
    const std::string name = "tarni-test-mutex-" + std::to_string(GetCurrentProcessId());
    MUTEXSEM creator(1, name.c_str(), MUTEXSEM::CREATE);
    ASSERTSPY spy;
    MUTEXSEM opened(1, name.c_str(), MUTEXSEM::OPEN);
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("state==0 || openmode==MUTEXSEM::CREATE", spy.Last().Condition);
    EXPECT_FALSE(OtherThreadGets(opened));
    EXPECT_TRUE(creator.Release());
    EXPECT_TRUE(OtherThreadGets(opened));
    EXPECT_EQ(1u, spy.Count());
}

TEST(MutexSem, BadOpenModeAndMissingNameAssert)
{
    ASSERTSPY spy;
    MUTEXSEM odd(0, 0, 3);
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("openmode==MUTEXSEM::CREATE || openmode==MUTEXSEM::OPEN", spy.Last().Condition);

    spy.Clear();
    const std::string name = "tarni-test-absent-" + std::to_string(GetCurrentProcessId());
    MUTEXSEM missing(0, name.c_str(), MUTEXSEM::OPEN);
    EXPECT_FALSE(missing.Request(0));
    EXPECT_FALSE(missing.Release());
    ASSERT_EQ(3u, spy.Count());
    EXPECT_EQ("this->hmux", spy[0].Condition);
    EXPECT_EQ("rc!=WAIT_FAILED", spy[1].Condition);
    EXPECT_EQ(Handle(nullptr), spy[1].Info);
    EXPECT_EQ("ok", spy[2].Condition);
    EXPECT_EQ(Handle(nullptr), spy[2].Info);
}

TEST(CritSect, KeepsCountersExactAndNestsOnOneThread)
{
    CRITSECT lock;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; i++)
            {
                lock.Enter();
                lock.Enter();
                long seen = counter;
                counter = seen + 1;
                lock.Leave();
                lock.Leave();
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(80000, counter);
}

TEST(PerformanceTimer, FirstElapsedFreezesTheTimeUntilStopNow)
{
    TESTSUPPORT::TEMPDIR dir("os");
    const std::string log = dir.File("timer.log");
    ASSERT_EQ(1, LogitOption(("/LOGIT:" + log).c_str()));
    double first = 0, later = 0;
    {
        PERFORMANCETIMER timer("probe", true);
        PERFORMANCETIMER quiet("quiet", false);
        first = timer.Elapsed();
        Sleep(20);
        EXPECT_EQ(first, timer.Elapsed());
        timer.Report();
        timer.Report("named");
        Sleep(20);
        later = timer.Elapsed(true);
        EXPECT_GT(later, first);
        EXPECT_EQ(later, timer.Elapsed(false));
        timer.Report();
    }
    LogitOption("/LOGITCLOSE");

    auto line = [](const char* name, double seconds) {
        char text[128];
        snprintf(text, sizeof(text), "PERFORMANCETIMER %s: %1.3lf sec (%1.2lf ms)", name, seconds, seconds * 1000.0);
        return std::string(text);
    };
    std::vector<std::string> reports;
    for (const std::string& text : TESTSUPPORT::SplitLines(TESTSUPPORT::ReadFile(log)))
        if (text.find("PERFORMANCETIMER ") != std::string::npos)
            reports.push_back(text.substr(text.find("PERFORMANCETIMER ")));
    const std::vector<std::string> expected = {line("probe", first), line("named", first), line("probe", later),
                                               line("probe", later)};
    EXPECT_EQ(expected, reports);
}
