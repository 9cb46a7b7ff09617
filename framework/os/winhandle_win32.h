#pragma once
// Owners of system handles, shared by the Win32 files of the framework.

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

class OWNEDKEY
{
public:
    OWNEDKEY() : Key(0) {}
    ~OWNEDKEY()
    {
        if (Key)
            RegCloseKey(Key);
    }
    OWNEDKEY(const OWNEDKEY&) = delete;
    OWNEDKEY& operator=(const OWNEDKEY&) = delete;
    HKEY Get() const { return Key; }
    HKEY* Receive() { return &Key; }

private:
    HKEY Key;
};

// One function of a system library, looked up on first use and kept, with its
// library, to process end. Its constructor is constant, so one at namespace
// scope needs neither start-up code nor a guarded function-local static; the
// first use must come from one thread.
class LIBRARYFUNCTION
{
public:
    constexpr LIBRARYFUNCTION(const char* library, const char* function)
        : Library(library), Name(function), Module(0), Address(0), Tried(false) {}
    ~LIBRARYFUNCTION()
    {
        if (Module)
            FreeLibrary(Module);
    }
    LIBRARYFUNCTION(const LIBRARYFUNCTION&) = delete;
    LIBRARYFUNCTION& operator=(const LIBRARYFUNCTION&) = delete;
    // Cast the result to the function's type.
    void* Get()
    {
        if (!Tried)
        {
            Tried = true;
            Module = LoadLibraryA(Library);
            Address = Module ? reinterpret_cast<void*>(GetProcAddress(Module, Name)) : 0;
        }
        return Address;
    }
    HMODULE LibraryModule()
    {
        Get();
        return Module;
    }

private:
    const char* Library;
    const char* Name;
    HMODULE Module;
    void* Address;
    bool Tried;
};

// The same, typed by the function's declaration, for example
// SYSTEMFUNCTION<decltype(ShellExecuteA)>: the calling convention comes with
// the type. Libraries that the command-line verbs never need are reached this
// way rather than imported, so a plain start of the program does not load them.
template <class FUNCTION>
class SYSTEMFUNCTION : public LIBRARYFUNCTION
{
public:
    constexpr SYSTEMFUNCTION(const char* library, const char* function) : LIBRARYFUNCTION(library, function) {}
    // Null when the library or the function is missing.
    FUNCTION* Get() { return reinterpret_cast<FUNCTION*>(LIBRARYFUNCTION::Get()); }
};

// The screen's device context, for reading its capabilities.
class SCREENDC
{
public:
    SCREENDC() : Dc(::GetDC(0)) {}
    ~SCREENDC()
    {
        if (Dc)
            ::ReleaseDC(0, Dc);
    }
    SCREENDC(const SCREENDC&) = delete;
    SCREENDC& operator=(const SCREENDC&) = delete;
    // GetDeviceCaps, or fallback without a device context.
    int Caps(int index, int fallback) const { return Dc ? GetDeviceCaps(Dc, index) : fallback; }

private:
    HDC Dc;
};

// A window's device context, released with its owner.
class WINDOWDC
{
public:
    explicit WINDOWDC(HWND window) : Window(window), Dc(window ? ::GetDC(window) : 0) {}
    ~WINDOWDC()
    {
        if (Dc)
            ::ReleaseDC(Window, Dc);
    }
    WINDOWDC(const WINDOWDC&) = delete;
    WINDOWDC& operator=(const WINDOWDC&) = delete;
    HDC Get() const { return Dc; }

private:
    HWND Window;
    HDC Dc;
};

// An object selected into a device context until the owner goes; the one it
// replaced is put back.
class SELECTEDOBJECT
{
public:
    SELECTEDOBJECT(HDC dc, HGDIOBJ object) : Dc(dc), Previous(dc && object ? SelectObject(dc, object) : 0) {}
    ~SELECTEDOBJECT()
    {
        if (Previous)
            SelectObject(Dc, Previous);
    }
    SELECTEDOBJECT(const SELECTEDOBJECT&) = delete;
    SELECTEDOBJECT& operator=(const SELECTEDOBJECT&) = delete;

private:
    HDC Dc;
    HGDIOBJ Previous;
};

// A handle freed by one call when its owner goes.
template <class T, BOOL(WINAPI* Free)(T)>
class OWNEDOBJECT
{
public:
    explicit OWNEDOBJECT(T object = 0) : Object(object) {}
    ~OWNEDOBJECT() { Reset(0); }
    OWNEDOBJECT(const OWNEDOBJECT&) = delete;
    OWNEDOBJECT& operator=(const OWNEDOBJECT&) = delete;
    T Get() const { return Object; }
    T Release()
    {
        T object = Object;
        Object = 0;
        return object;
    }
    void Reset(T object)
    {
        if (Object)
            Free(Object);
        Object = object;
    }

private:
    T Object;
};

typedef OWNEDOBJECT<HGDIOBJ, DeleteObject> OWNEDGDIOBJECT;   // a font, brush or other GDI object
typedef OWNEDOBJECT<HMENU, DestroyMenu> OWNEDMENU;
typedef OWNEDOBJECT<HICON, DestroyIcon> OWNEDICON;
typedef OWNEDOBJECT<HACCEL, DestroyAcceleratorTable> OWNEDACCEL;
