// Events, shared memory between two processes, privileges and scoped
// priorities.

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/os/osys.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    const char SharedNameVariable[] = "TARNI_SHAREDMEMORY_TEST";

    struct BLOCK
    {
        int Stage;
        char Text[120];
    };

    std::string Unique(const char* tag)
    {
        return std::string("tarni-test-") + tag + "-" + std::to_string(GetCurrentProcessId());
    }

    // -1 when the token lacks the privilege, else whether it is enabled.
    int PrivilegeState(const char* name)
    {
        LUID luid;
        HANDLE token = 0;
        alignas(TOKEN_PRIVILEGES) char data[4096];
        DWORD size = 0;
        int state = -1;
        if (LookupPrivilegeValueA(0, name, &luid) && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        {
            const TOKEN_PRIVILEGES* list = reinterpret_cast<const TOKEN_PRIVILEGES*>(data);
            if (GetTokenInformation(token, TokenPrivileges, data, sizeof(data), &size))
                for (DWORD i = 0; i < list->PrivilegeCount; i++)
                    if (memcmp(&list->Privileges[i].Luid, &luid, sizeof(luid)) == 0)
                        state = (list->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) ? 1 : 0;
            CloseHandle(token);
        }
        return state;
    }
}

TEST(EventSem, StaysSignalledFromSetUntilResetAndReleasesEveryWaiter)
{
    EVENTSEM event(0);
    std::atomic<int> ready(0), released(0);
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; i++)
        waiters.emplace_back([&] {
            ready++;
            released += event.Wait(20000) ? 1 : 0;
        });
    while (ready < 4)
        Sleep(1);
    EXPECT_EQ(0, released.load());
    EXPECT_TRUE(event.Set());
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(4, released.load());
    EXPECT_TRUE(event.Wait(0)) << "a set event stays set";
    EXPECT_TRUE(event.Reset());
    bool late = true;
    std::thread([&] { late = event.Wait(0); }).join();
    EXPECT_FALSE(late);
    EXPECT_TRUE(EVENTSEM(1).Wait(0));
}

// The second process of TwoProcessesExchangeDataUnderTheLock.
TEST(SharedMemory, SecondProcessAnswersThroughTheBlock)
{
    const char* name = getenv(SharedNameVariable);
    if (!name)
        GTEST_SKIP() << "runs only as the second process of TwoProcessesExchangeDataUnderTheLock";
    SHAREDMEMORY shared(name, sizeof(BLOCK), SHAREDMEMORY::OPEN);
    void* memory = &shared;
    EXPECT_FALSE(shared.Lock(&memory, 0));   // the first process holds it
    EXPECT_EQ(nullptr, memory);
    HANDLE tried = OpenEventA(EVENT_MODIFY_STATE, FALSE, (std::string(name) + "-tried").c_str());
    ASSERT_NE(nullptr, tried);
    SetEvent(tried);
    CloseHandle(tried);

    ASSERT_TRUE(shared.Lock(&memory, 60000));
    BLOCK* block = static_cast<BLOCK*>(memory);
    EXPECT_EQ(1, block->Stage);
    const std::string answer = "answer to " + std::string(block->Text);
    snprintf(block->Text, sizeof(block->Text), "%s", answer.c_str());
    block->Stage = 2;
    EXPECT_TRUE(shared.Unlock(memory));
}

TEST(SharedMemory, TwoProcessesExchangeDataUnderTheLock)
{
    const std::string name = Unique("shm"), question = "question " + std::to_string(GetTickCount());
    SHAREDMEMORY shared(name.c_str(), sizeof(BLOCK), SHAREDMEMORY::CREATE);
    void* memory = 0;
    ASSERT_TRUE(shared.Lock(&memory));
    BLOCK* block = static_cast<BLOCK*>(memory);
    block->Stage = 1;
    snprintf(block->Text, sizeof(block->Text), "%s", question.c_str());

    HANDLE tried = CreateEventA(0, TRUE, FALSE, (name + "-tried").c_str());
    ASSERT_NE(nullptr, tried);
    CHILD second;
    ASSERT_TRUE(second.Start("\"" + SelfPath() + "\" --gtest_filter=SharedMemory.SecondProcessAnswersThroughTheBlock",
                             "", {std::string(SharedNameVariable) + "=" + name}));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(tried, 60000));
    CloseHandle(tried);
    EXPECT_EQ(1, block->Stage);
    EXPECT_TRUE(shared.Unlock(memory));
    EXPECT_EQ(0, second.Wait(60000));

    ASSERT_TRUE(shared.Lock(&memory, 0));
    EXPECT_EQ(2, block->Stage);
    EXPECT_EQ("answer to " + question, block->Text);
    EXPECT_TRUE(shared.Unlock(memory));
}

TEST(SharedMemory, AnAbsentBlockAssertsOnceAndItsLockStillWorks)
{
    ASSERTSPY spy;
    SHAREDMEMORY absent(Unique("absent").c_str(), 64, SHAREDMEMORY::OPEN);
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("this->pMemory && this->pMutex", spy.Last().Condition);
    // Without a block the lock is still taken, so that Unlock has it to give back.
    void* memory = &spy;
    EXPECT_TRUE(absent.Lock(&memory, 0));
    EXPECT_EQ(nullptr, memory);
    EXPECT_TRUE(absent.Unlock(memory));
    EXPECT_EQ(1u, spy.Count());
}

TEST(GetPrivilege, EnablesAHeldPrivilegeForItsLifetimeOnly)
{
    const char* held = "SeShutdownPrivilege";
    const char* lacking = "SeCreateTokenPrivilege";
    ASSERT_EQ(0, PrivilegeState(held));
    ASSERT_EQ(-1, PrivilegeState(lacking));
    {
        GETPRIVILEGE privilege(held);
        EXPECT_TRUE(privilege.Success());
        EXPECT_EQ(1, PrivilegeState(held));
        GETPRIVILEGE missing(lacking);
        EXPECT_FALSE(missing.Success());
    }
    EXPECT_EQ(0, PrivilegeState(held));
    EXPECT_EQ(-1, PrivilegeState(lacking));
    const char* enabled = "SeChangeNotifyPrivilege";
    ASSERT_EQ(1, PrivilegeState(enabled));
    {
        GETPRIVILEGE again(enabled);
        EXPECT_TRUE(again.Success());
    }
    EXPECT_EQ(1, PrivilegeState(enabled)) << "a privilege enabled before stays enabled";
}

TEST(RaisePriority, ProcessAndThreadScopesRestoreWhatTheyChanged)
{
    HANDLE process = GetCurrentProcess();
    ASSERT_EQ((DWORD)NORMAL_PRIORITY_CLASS, GetPriorityClass(process));
    {
        RAISEPROCESSPRIORITY raise(ABOVE_NORMAL_PRIORITY_CLASS);
        EXPECT_TRUE(raise.Raised());
        EXPECT_EQ((DWORD)ABOVE_NORMAL_PRIORITY_CLASS, GetPriorityClass(process));
    }
    EXPECT_EQ((DWORD)NORMAL_PRIORITY_CLASS, GetPriorityClass(process));
    {
        RAISEPROCESSPRIORITY raise(HIGH_PRIORITY_CLASS, IDLE_PRIORITY_CLASS);   // ends in the given class
        EXPECT_EQ((DWORD)HIGH_PRIORITY_CLASS, GetPriorityClass(process));
    }
    EXPECT_EQ((DWORD)IDLE_PRIORITY_CLASS, GetPriorityClass(process));
    SetPriorityClass(process, NORMAL_PRIORITY_CLASS);

    HANDLE thread = GetCurrentThread();
    ASSERT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(thread));
    {
        RAISETHREADPRIORITY raise(THREAD_PRIORITY_HIGHEST);
        EXPECT_EQ(THREAD_PRIORITY_HIGHEST, GetThreadPriority(thread));
        EXPECT_TRUE(raise.SetPriority(THREAD_PRIORITY_LOWEST));
        EXPECT_EQ(THREAD_PRIORITY_LOWEST, GetThreadPriority(thread));
        RAISETHREADPRIORITY invalid(99);
        EXPECT_FALSE(invalid.Raised());
    }
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(thread));
}
