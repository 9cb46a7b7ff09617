#include <windows.h>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/os/osys.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

namespace
{
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

TEST(OsId, VersionNumbersMapToTheirIdsAndNames)
{
    // One row per id, the edges of the Windows 10/11 build split, and unknown versions.
    const struct { unsigned Platform, Major, Minor, Build; int Id; } rows[] = {
        {1, 4, 10, 2222, 0}, {2, 4, 0, 1381, 1}, {2, 7, 0, 0, 1},  {2, 5, 0, 2195, 2},    {2, 5, 1, 2600, 3},
        {2, 5, 2, 3790, 4},  {2, 6, 0, 6002, 5}, {2, 6, 4, 0, 5},  {2, 6, 1, 7601, 6},    {2, 6, 2, 9200, 7},
        {2, 6, 3, 9600, 8},  {2, 10, 0, 21999, 9}, {2, 10, 0, 22000, 10}, {2, 11, 0, 0, 9},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.Id, OSYS::OsIdFromVersion(r.Platform, r.Major, r.Minor, r.Build))
            << r.Platform << " " << r.Major << "." << r.Minor << "." << r.Build;
    EXPECT_STREQ("Windows 11", OSYS::OsNameFromId(10).Text());
    EXPECT_STREQ("<unknown type 11>", OSYS::OsNameFromId(11).Text());
}

TEST(SystemPath, SystemUserGetsTheCommonFolders)
{
    for (const char* user : {"SYSTEM", "system", "someone", (const char*)nullptr})
        for (int type = -1; type <= 30; type++)
        {
            const bool system = user && _stricmp(user, "SYSTEM") == 0;
            const int common = type == 8 ? 24 : (type == 6 || type == 14 || type == 18 || type == 19) ? 12 : type;
            EXPECT_EQ(system ? common : type, OSYS::SystemPathTypeFor(type, user)) << (user ? user : "<null>") << " " << type;
        }
}

TEST(SystemPath, ValidTypesEndInBackslashAndInvalidOnesAssert)
{
    for (int type : {0, 1, 2, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 18, 19, 22, 24})
    {
        const std::string path = OSYS::GetSystemPath(type).Text();
        EXPECT_TRUE(path.empty() || path.back() == '\\') << type << ": " << path;
    }
    // The home folder is the profile when that holds the documents, else the documents.
    const std::string docs = TESTSUPPORT::SystemFolder(14);
    const std::string parent = docs.substr(0, docs.find_last_of('\\'));
    const char* profile = getenv("USERPROFILE");
    const std::string home = profile && _stricmp(parent.c_str(), profile) == 0 ? parent : docs;
    EXPECT_EQ(0, _stricmp(home.c_str(), TESTSUPPORT::SystemFolder(6).c_str())) << TESTSUPPORT::SystemFolder(6);

    for (int type : {3, 25, -1})
    {
        ASSERTSPY spy;
        EXPECT_STREQ("", OSYS::GetSystemPath(type).Text()) << type;
        EXPECT_EQ(1u, spy.Count()) << type;
    }
}

TEST(MutexSem, HeldByAnotherThreadRefusesAtOnceAndIsRecursiveForItsOwner)
{
    MUTEXSEM mutex;
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
    EXPECT_TRUE(mutex.Release());
    EXPECT_TRUE(OtherThreadGets(mutex));

    ASSERTSPY spy;
    EXPECT_FALSE(mutex.Release());
    EXPECT_EQ(1u, spy.Count());
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
    PERFORMANCETIMER timer("probe", false);
    const double first = timer.Elapsed();
    Sleep(20);
    EXPECT_EQ(first, timer.Elapsed());
    const double later = timer.Elapsed(true);
    EXPECT_GT(later, first);
    EXPECT_EQ(later, timer.Elapsed(false));
}
