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

    EXPECT_STREQ("Windows 95/98", OSYS::OsNameFromId(0).Text());
    EXPECT_STREQ("Windows 11", OSYS::OsNameFromId(10).Text());
    EXPECT_STREQ("<unknown type 11>", OSYS::OsNameFromId(11).Text());
    EXPECT_STREQ("<unknown type -1>", OSYS::OsNameFromId(-1).Text());
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

TEST(SystemPath, ValidTypesEndInBackslashAndInvalidOnesAssert)
{
    for (int type : {0, 1, 2, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 18, 19, 22, 24})
    {
        const std::string path = OSYS::GetSystemPath(type).Text();
        EXPECT_TRUE(path.empty() || path.back() == '\\') << type << ": " << path;
    }
    for (int type : {5, 6, 8, 14})
        EXPECT_TRUE(FILENAME(OSYS::GetSystemPath(type).Text()).IsDirectory()) << type;

    // The home folder is the profile when that holds the documents, else the documents.
    const std::string docs = TESTSUPPORT::SystemFolder(14);
    const std::string parent = docs.substr(0, docs.find_last_of('\\'));
    const char* profile = getenv("USERPROFILE");
    const std::string home = profile && _stricmp(parent.c_str(), profile) == 0 ? parent : docs;
    EXPECT_EQ(0, _stricmp(home.c_str(), TESTSUPPORT::SystemFolder(6).c_str())) << TESTSUPPORT::SystemFolder(6);

    for (int type : {3, 4, 15, 16, 17, 20, 21, 23, 25, -1})
    {
        ASSERTSPY spy;
        EXPECT_STREQ("", OSYS::GetSystemPath(type).Text()) << type;
        ASSERT_EQ(1u, spy.Count()) << type;
        EXPECT_EQ("FALSE", spy.Last().Condition);
    }
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

TEST(MutexSem, MisuseAssertsAndAnOpenedNamedMutexStillWorks)
{
    const std::string name = "tarni-test-mutex-" + std::to_string(GetCurrentProcessId());
    MUTEXSEM creator(1, name.c_str(), MUTEXSEM::CREATE);
    ASSERTSPY spy;
    MUTEXSEM opened(1, name.c_str(), MUTEXSEM::OPEN);   // the state is ignored, not the name
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("state==0 || openmode==MUTEXSEM::CREATE", spy.Last().Condition);
    EXPECT_FALSE(OtherThreadGets(opened));
    EXPECT_TRUE(creator.Release());
    EXPECT_TRUE(OtherThreadGets(opened));

    spy.Clear();
    MUTEXSEM odd(0, 0, 3);
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("openmode==MUTEXSEM::CREATE || openmode==MUTEXSEM::OPEN", spy.Last().Condition);

    spy.Clear();
    MUTEXSEM missing(0, (name + "-absent").c_str(), MUTEXSEM::OPEN);
    EXPECT_FALSE(missing.Request(0));
    EXPECT_FALSE(missing.Release());
    char null[64];
    snprintf(null, sizeof(null), "handle= %p", (void*)nullptr);
    ASSERT_EQ(3u, spy.Count());
    EXPECT_EQ("this->hmux", spy[0].Condition);
    EXPECT_EQ("rc!=WAIT_FAILED", spy[1].Condition);
    EXPECT_EQ(null, spy[1].Info);
    EXPECT_EQ("ok", spy[2].Condition);
    EXPECT_EQ(null, spy[2].Info);
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
    TESTSUPPORT::LOGCAPTURE log(0);
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
    auto line = [](const char* name, double seconds) {
        char text[128];
        snprintf(text, sizeof(text), "PERFORMANCETIMER %s: %1.3lf sec (%1.2lf ms)", name, seconds, seconds * 1000.0);
        return std::string(text);
    };
    const std::vector<std::string> expected = {line("probe", first), line("named", first), line("probe", later),
                                               line("probe", later)};
    EXPECT_EQ(expected, log.Lines("PERFORMANCETIMER "));
}
