#pragma once
// The owner of a kernel handle, shared by the Win32 files of the OS layer.

#include <windows.h>

class OWNEDHANDLE
{
public:
    explicit OWNEDHANDLE(HANDLE handle = 0) : Handle(handle) {}
    ~OWNEDHANDLE() { Close(); }
    OWNEDHANDLE(const OWNEDHANDLE&) = delete;
    OWNEDHANDLE& operator=(const OWNEDHANDLE&) = delete;
    HANDLE Get() const { return Handle; }
    bool Valid() const { return Handle != 0 && Handle != INVALID_HANDLE_VALUE; }
    HANDLE* Receive()
    {
        Close();
        return &Handle;
    }
    HANDLE Release()
    {
        HANDLE handle = Handle;
        Handle = 0;
        return handle;
    }
    void Close()
    {
        if (Valid())
            CloseHandle(Handle);
        Handle = 0;
    }

private:
    HANDLE Handle;
};
