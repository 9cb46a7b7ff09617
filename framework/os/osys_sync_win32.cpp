// Win32 synchronisation objects: mutexes, critical sections, events, shared
// memory, and the security descriptor that opens them to every user.

#include <windows.h>
#include <stdlib.h>

#include "framework/app/logit.h"
#include "framework/os/osys.h"
#include "framework/os/osysinternal_win32.h"
#include "framework/os/winhandle_win32.h"
#include "framework/text/strings.h"

MUTEXSEM::MUTEXSEM(int state, const char* name, int openmode) : hmux(0), OwnerThreadId(0)
{
    if (openmode != CREATE && openmode != OPEN)
        AssertHandler(0, "openmode==MUTEXSEM::CREATE || openmode==MUTEXSEM::OPEN", __FILE__, __LINE__, 0, 0);
    if (state != 0 && openmode != CREATE)
        AssertHandler(0, "state==0 || openmode==MUTEXSEM::CREATE", __FILE__, __LINE__, 0, 0);

    if (openmode == OPEN)
        hmux = OpenMutexA(SYNCHRONIZE, FALSE, name);
    else
        hmux = CreateMutexA(0, state != 0, name);
    LogitIf(11, "MUTEXSEM::MUTEXSEM created %p, name= %s\n", hmux, STRING::NullGuard(name));
    if (!hmux)
        AssertHandler(0, "this->hmux", __FILE__, __LINE__, 0, 0);
}

MUTEXSEM::~MUTEXSEM()
{
    LogitIf(11, "MUTEXSEM::MUTEXSEM delete %p\n", hmux);
    if (hmux && !CloseHandle(hmux))
    {
        char info[64];
        FORMAT::Print(info, sizeof(info), "handle= %p", hmux);
        AssertHandler(0, "ok", __FILE__, __LINE__, info, 0);
    }
}

bool MUTEXSEM::Request(int timeout)
{
    DWORD rc = hmux ? WaitForSingleObject(hmux, timeout < 0 ? INFINITE : (DWORD)timeout) : WAIT_FAILED;
    if (rc == WAIT_FAILED)
    {
        char info[64];
        FORMAT::Print(info, sizeof(info), "handle= %p", hmux);
        AssertHandler(0, "rc!=WAIT_FAILED", __FILE__, __LINE__, info, 0);
    }
    if (rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED)
        OwnerThreadId = ::GetCurrentThreadId();
    return rc == WAIT_OBJECT_0;
}

bool MUTEXSEM::Release()
{
    BOOL ok = hmux ? ReleaseMutex(hmux) : FALSE;
    if (!ok)
    {
        char info[64];
        FORMAT::Print(info, sizeof(info), "handle= %p", hmux);
        AssertHandler(0, "ok", __FILE__, __LINE__, info, 0);
    }
    return ok != FALSE;
}


CRITSECT::CRITSECT() : pCritSect(malloc(sizeof(CRITICAL_SECTION)))
{
    if (!pCritSect)
    {
        AssertHandler(0, "this->pCritSect", __FILE__, __LINE__, 0, 0);
        return;
    }
    InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(pCritSect));
}

CRITSECT::~CRITSECT()
{
    if (!pCritSect)
        return;
    DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(pCritSect));
    free(pCritSect);
}

void CRITSECT::Enter()
{
    if (pCritSect)
        EnterCriticalSection(static_cast<CRITICAL_SECTION*>(pCritSect));
}

void CRITSECT::Leave()
{
    if (pCritSect)
        LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(pCritSect));
}


EVENTSEM::EVENTSEM(int initialState) : hev(CreateEventA(0, TRUE, initialState != 0, 0))
{
    LogitIf(7, "EVENTSEM::EVENTSEM created %p\n", hev);
    if (!hev)
        AssertHandler(0, "this->hev", __FILE__, __LINE__, 0, 0);
}

EVENTSEM::~EVENTSEM()
{
    BOOL ok = hev ? CloseHandle(hev) : FALSE;
    LogitIf(12, "EVENTSEM::~EVENTSEM deleted %p, ok= %d\n", hev, ok);
    if (hev && !ok)
        OSYSWIN32::AssertOnHandle("ok", hev, __FILE__, __LINE__);
}

bool EVENTSEM::Set()
{
    LogitIf(12, "EVENTSEM::Set %p\n", hev);
    BOOL ok = hev ? SetEvent(hev) : FALSE;
    if (!ok)
        OSYSWIN32::AssertOnHandle("ok", hev, __FILE__, __LINE__);
    return ok != FALSE;
}

bool EVENTSEM::Reset()
{
    LogitIf(12, "EVENTSEM::Reset %p\n", hev);
    BOOL ok = hev ? ResetEvent(hev) : FALSE;
    if (!ok)
        OSYSWIN32::AssertOnHandle("ok", hev, __FILE__, __LINE__);
    return ok != FALSE;
}

bool EVENTSEM::Wait(int timeout)
{
    DWORD rc = hev ? WaitForSingleObject(hev, timeout < 0 ? INFINITE : (DWORD)timeout) : WAIT_FAILED;
    LogitIf(12, "EVENTSEM::Wait %p rc=%d\n", hev, (int)rc);
    if (rc == WAIT_FAILED)
        OSYSWIN32::AssertOnHandle("rc!=WAIT_FAILED", hev, __FILE__, __LINE__);
    return rc == WAIT_OBJECT_0;
}

SHAREDMEMORY::SHAREDMEMORY(const char* name, int size, int openmode)
    : pMutex(0), Name(STRING::NullGuard(name)), pMemory(0), Size(size), hMem(0)
{
    if (openmode != CREATE && openmode != OPEN)
        AssertHandler(0, "openmode==SHAREDMEMORY::CREATE || openmode==SHAREDMEMORY::OPEN", __FILE__, __LINE__, 0, 0);
    Logit("SHAREDMEMORY::SHAREDMEMORY %s %d\n", Name.Text(), size);

    // Created in both modes: the opener may come first and must meet the same mutex.
    char mutexName[128];
    FORMAT::Print(mutexName, sizeof(mutexName), "%sMX", Name.Text());
    pMutex = new MUTEXSEM(0, mutexName, MUTEXSEM::CREATE);

    if (openmode == OPEN)
        hMem = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, Name.Text());
    else
        hMem = CreateFileMappingA(INVALID_HANDLE_VALUE, 0, PAGE_READWRITE, 0, (DWORD)size, Name.Text());
    if (hMem)
        pMemory = MapViewOfFile(hMem, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (!pMemory || !pMutex)
        AssertHandler(0, "this->pMemory && this->pMutex", __FILE__, __LINE__, 0, 0);
    Logit("SHAREDMEMORY::SHAREDMEMORY %s done with hMem %p\n", Name.Text(), hMem);
}

SHAREDMEMORY::~SHAREDMEMORY()
{
    if (pMemory)
        UnmapViewOfFile(pMemory);
    if (hMem)
        CloseHandle(hMem);
    delete pMutex;
}

bool SHAREDMEMORY::Lock(void** memory, int timeout)
{
    if (memory)
        *memory = 0;
    // The mutex is taken even without a mapping: callers bracket every
    // Lock with an Unlock, which gives it back.
    bool ok = pMutex && pMutex->Request(timeout);
    if (ok && memory)
        *memory = pMemory;
    Logit("SHAREDMEMORY::Lock %p returns %d\n", hMem, ok);
    return ok;
}

bool SHAREDMEMORY::Unlock(void* memory)
{
    if (memory != pMemory && memory != 0)
        AssertHandler(0, "pmapped==this->pMemory || pmapped==NULL", __FILE__, __LINE__, 0, 0);
    if (pMutex)
        pMutex->Release();
    return true;
}

NULLDACL::NULLDACL() : pDescriptor(0), Sa{0, 0, 0}, Ok(false)
{
    static_assert(sizeof(SECURITYATTRIBUTES) == sizeof(SECURITY_ATTRIBUTES) &&
                      offsetof(SECURITYATTRIBUTES, Descriptor) == offsetof(SECURITY_ATTRIBUTES, lpSecurityDescriptor) &&
                      offsetof(SECURITYATTRIBUTES, InheritHandle) == offsetof(SECURITY_ATTRIBUTES, bInheritHandle),
                  "SECURITYATTRIBUTES must match SECURITY_ATTRIBUTES");
    LogitIf(2, "NULLDACL::NULLDACL\n");
    Sa.Length = sizeof(SECURITY_ATTRIBUTES);
    Sa.InheritHandle = TRUE;
    pDescriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (!pDescriptor)
        AssertHandler(0, "FALSE", __FILE__, __LINE__, "NULLDACL::LocalAlloc() failed", 1);
    else if (!InitializeSecurityDescriptor(pDescriptor, SECURITY_DESCRIPTOR_REVISION))
        AssertHandler(0, "FALSE", __FILE__, __LINE__, "NULLDACL::InitializeSecurityDescriptor() failed", 1);
    else if (!SetSecurityDescriptorDacl(pDescriptor, TRUE, 0, FALSE))
        AssertHandler(0, "FALSE", __FILE__, __LINE__, "NULLDACL::SetSecurityDescriptorDacl() failed", 1);
    else
    {
        Sa.Descriptor = pDescriptor;
        Ok = true;
    }
    LogitIf(2, "NULLDACL::NULLDACL created, success==%d\n", Ok);
}

NULLDACL::~NULLDACL()
{
    if (pDescriptor)
        LocalFree(pDescriptor);
}
