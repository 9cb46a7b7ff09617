// Events, shared memory between two processes, null DACLs, privileges and
// scoped priorities.

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

TEST(EventSem, StaysSignalledFromSetUntilResetAndLogsAtItsLevels)
{
    LOGCAPTURE log(12);
    {
        EVENTSEM event(0);
        EXPECT_FALSE(event.Wait(0));
        EXPECT_TRUE(event.Set());
        EXPECT_TRUE(event.Wait(0));
        EXPECT_TRUE(event.Wait(0));
        EXPECT_TRUE(event.Reset());
        EXPECT_FALSE(event.Wait(0));
    }
    std::vector<std::string> lines = log.Lines("EVENTSEM::");
    ASSERT_EQ(8u, lines.size());
    const std::string h = lines[0].substr(lines[0].rfind(' ') + 1);
    EXPECT_EQ((std::vector<std::string>{"EVENTSEM::EVENTSEM created " + h, "EVENTSEM::Wait " + h + " rc=258",
                  "EVENTSEM::Set " + h, "EVENTSEM::Wait " + h + " rc=0", "EVENTSEM::Wait " + h + " rc=0",
                  "EVENTSEM::Reset " + h, "EVENTSEM::Wait " + h + " rc=258", "EVENTSEM::~EVENTSEM deleted " + h + ", ok= 1"}),
              lines);

    LOGCAPTURE quieter(11);
    {
        EVENTSEM signalled(1);
        EXPECT_TRUE(signalled.Wait(0));
        EXPECT_TRUE(signalled.Reset());
        EXPECT_TRUE(signalled.Set());
    }
    lines = quieter.Lines("EVENTSEM::");
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(0u, lines[0].find("EVENTSEM::EVENTSEM created "));
}

TEST(EventSem, SetReleasesEveryWaiter)
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
    event.Set();
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(4, released.load());
    event.Reset();
    bool late = true;
    std::thread([&] { late = event.Wait(0); }).join();
    EXPECT_FALSE(late);
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

TEST(SharedMemory, BrokenArgumentsAssertOnce)
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

    spy.Clear();
    SHAREDMEMORY shared(Unique("mode").c_str(), 64, 3);   // still created
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("openmode==SHAREDMEMORY::CREATE || openmode==SHAREDMEMORY::OPEN", spy.Last().Condition);
    ASSERT_TRUE(shared.Lock(&memory));
    int foreign = 0;
    EXPECT_TRUE(shared.Unlock(&foreign));
    ASSERT_EQ(2u, spy.Count());
    EXPECT_EQ("pmapped==this->pMemory || pmapped==NULL", spy.Last().Condition);
    bool released = false;   // the foreign pointer still gave the lock back
    std::thread([&] {
        void* other = 0;
        released = shared.Lock(&other, 0) && other == memory;
        shared.Unlock(nullptr);
    }).join();
    EXPECT_TRUE(released);
    EXPECT_EQ(2u, spy.Count());
}

TEST(NullDacl, AttributesCarryAPresentNullDacl)
{
    NULLDACL dacl;
    ASSERT_TRUE(dacl.Success());
    const SECURITY_ATTRIBUTES* attributes = static_cast<SECURITY_ATTRIBUTES*>(dacl.Attributes());
    EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), attributes->nLength);
    EXPECT_TRUE(attributes->bInheritHandle);
    BOOL present = FALSE, defaulted = TRUE;
    PACL acl = reinterpret_cast<PACL>(&present);
    ASSERT_TRUE(GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &acl, &defaulted));
    EXPECT_TRUE(present && !acl && !defaulted);
}

TEST(GetPrivilege, EnablesAHeldPrivilegeForItsLifetimeOnly)
{
    const char* held = "SeShutdownPrivilege";
    const char* lacking = "SeCreateTokenPrivilege";
    ASSERT_EQ(0, PrivilegeState(held));
    ASSERT_EQ(-1, PrivilegeState(lacking));
    LOGCAPTURE log(0);
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
    EXPECT_EQ((std::vector<std::string>{"GETPRIVILEGE::GetLastError after AdjustTokenPrivileges is 1300"}),
              log.Lines("GETPRIVILEGE::"));

    ASSERTSPY spy;
    GETPRIVILEGE unknown("SeNoSuchTarniPrivilege");
    EXPECT_FALSE(unknown.Success());
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("ok", spy.Last().Condition);
    EXPECT_EQ(0u, spy.Last().Info.find("handle= "));
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
    {
        RAISEPROCESSPRIORITY invalid(12345, IDLE_PRIORITY_CLASS);   // nothing raised, nothing restored
        EXPECT_FALSE(invalid.Raised());
    }
    EXPECT_EQ((DWORD)NORMAL_PRIORITY_CLASS, GetPriorityClass(process));

    HANDLE thread = GetCurrentThread();
    ASSERT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(thread));
    LOGCAPTURE log(1);
    {
        RAISETHREADPRIORITY raise(THREAD_PRIORITY_HIGHEST);
        EXPECT_EQ(THREAD_PRIORITY_HIGHEST, GetThreadPriority(thread));
        EXPECT_TRUE(raise.SetPriority(THREAD_PRIORITY_LOWEST));
        EXPECT_EQ(THREAD_PRIORITY_LOWEST, GetThreadPriority(thread));
        RAISETHREADPRIORITY invalid(99);
        EXPECT_FALSE(invalid.Raised());
    }
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(thread));
    const std::string p = "RAISETHREADPRIORITY::";
    EXPECT_EQ((std::vector<std::string>{p + "RAISETHREADPRIORITY prio= 2", p + "RAISETHREADPRIORITY done, ok= 1, origclass= 0",
                  p + "SetPriority called, prio= -2", p + "RAISETHREADPRIORITY prio= 99",
                  p + "RAISETHREADPRIORITY done, ok= 0, origclass= -2", p + "~RAISETHREADPRIORITY (RaiseOk=0)",
                  p + "~RAISETHREADPRIORITY done (rc= 0)", p + "~RAISETHREADPRIORITY (RaiseOk=1)",
                  p + "~RAISETHREADPRIORITY done (rc= 1)"}),
              log.Lines(p));
}
