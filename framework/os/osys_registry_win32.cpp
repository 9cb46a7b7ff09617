// Win32 registry keys and dynamic libraries.

#include <windows.h>
#include <limits.h>
#include <shlwapi.h>

#include "framework/app/logit.h"
#include "framework/os/osys.h"
#include "framework/os/osysinternal_win32.h"
#include "framework/os/winhandle_win32.h"
#include "framework/text/strings.h"

namespace
{
    const char UninstallBase[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    const char TarniBase[] = "Software\\Tarni\\";

    SYSTEMFUNCTION<decltype(SHDeleteKeyA)> gDeleteTree("shlwapi.dll", "SHDeleteKeyA");

    const char* TextOf(const char* text)
    {
        text = STRING::NullGuard(text);
        return text ? text : "";
    }

    // Predefined keys are sign-extended 32-bit numbers, as the system defines them.
    HKEY RootFromUser(int user)
    {
        if (user == 0)
            return HKEY_LOCAL_MACHINE;
        if (user == 1)
            return HKEY_CURRENT_USER;
        return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(user));
    }

    // The user value naming a root handle, for the log; -1 when it is not predefined.
    int UserFromRoot(HKEY root)
    {
        if (root == HKEY_LOCAL_MACHINE)
            return 0;
        if (root == HKEY_CURRENT_USER)
            return 1;
        for (int user = INT_MIN; user < INT_MIN + 8; user++)
            if (RootFromUser(user) == root)
                return user;
        return -1;
    }
}

REGISTRY::REGISTRY(const char* app, const char* basekey, int user) : hKey(0), hRoot(0), View64(false)
{
    Construct(app, basekey, RootFromUser(user), user);
}

REGISTRY::REGISTRY(const char* app, const char* basekey, void* rootKey) : hKey(0), hRoot(0), View64(false)
{
    Construct(app, basekey, rootKey, UserFromRoot(static_cast<HKEY>(rootKey)));
}

REGISTRY::REGISTRY(int kind, const char* app) : hKey(0), hRoot(0), View64(false)
{
    switch (kind)
    {
    case KIND_UNINSTALL:
        Construct(app, UninstallBase, HKEY_LOCAL_MACHINE, 0);
        break;
    case KIND_USER:
        Construct(app, TarniBase, HKEY_CURRENT_USER, 1);
        break;
    case KIND_MACHINE:
        Construct(app, TarniBase, HKEY_LOCAL_MACHINE, 0);
        break;
    default:
        AssertHandler(0, "FALSE", __FILE__, __LINE__, 0, 0);
        Construct(app, "", 0, -1);
        break;
    }
}

REGISTRY::~REGISTRY()
{
    Close();
}

void REGISTRY::Construct(const char* app, const char* basekey, void* root, int user)
{
    hRoot = root;
    Path = KeyPath(basekey, app);
    const char* name = TextOf(app);
    LONG rc = ERROR_INVALID_NAME;
    // A name in angle brackets is a placeholder nobody filled in: no key for it.
    if (name[0] == '<')
        AssertHandler(0, "app[0]!='<'", __FILE__, __LINE__, 0, 0);
    else
        rc = OpenPath(OPENORCREATE);
    if (rc != ERROR_SUCCESS)
        Logit("REGISTRY::Constructor failed for app=%s, basekey=%s, user=%d\n", name, TextOf(basekey), user);
}

STRING REGISTRY::KeyPath(const char* base, const char* app)
{
    STRING path(TextOf(base));
    if (path.IsEmpty() || path.Text()[path.Length() - 1] != '\\')
        path.Append("\\");
    const char* name = TextOf(app);
    while (*name == '\\')
        name++;
    path.Append(name);
    while (path.StripLast('\\'))
        ;
    return path;
}

void REGISTRY::Close()
{
    if (hKey)
        RegCloseKey(static_cast<HKEY>(hKey));
    hKey = 0;
}

long REGISTRY::OpenPath(int mode)
{
    Close();
    HKEY root = static_cast<HKEY>(hRoot);
    HKEY key = 0;
    LONG rc;
    if (mode == OPENORCREATE)
        rc = RegCreateKeyA(root, Path.Text(), &key);
    else
        rc = RegOpenKeyExA(root, Path.Text(), 0,
                           (mode == READWRITE ? KEY_READ | KEY_WRITE : KEY_READ) | (View64 ? KEY_WOW64_64KEY : 0), &key);
    if (rc == ERROR_SUCCESS)
        hKey = key;
    return rc;
}

bool REGISTRY::Reopen(int mode)
{
    if (mode != OPENORCREATE && mode != READONLY && mode != READWRITE)
    {
        AssertHandler(0, "mode==REGISTRY::OPENORCREATE || mode==REGISTRY::READONLY || mode==REGISTRY::READWRITE",
                      __FILE__, __LINE__, 0, 0);
        return false;
    }
    long rc = OpenPath(mode);
    LogitIf(2, "REGISTRY::Reopen %s mode=%d, error=%d\n", Path.Text(), mode, (int)rc);
    return rc == ERROR_SUCCESS;
}

long REGISTRY::Query(const char* value, void* buffer, int* size, uint32_t* type)
{
    DWORD length = (DWORD)*size;
    DWORD kind = 0;
    LONG rc = RegQueryValueExA(static_cast<HKEY>(hKey), TextOf(value), 0, &kind, static_cast<BYTE*>(buffer), &length);
    *size = (int)length;
    if (type)
        *type = kind;
    return rc;
}

bool REGISTRY::ReadString(const char* value, STRING& out, uint32_t* kind)
{
    char first[2048] = {};
    char* buffer = first;
    char* grown = 0;
    int size = sizeof(first);
    uint32_t type = 0;
    long rc = Query(value, buffer, &size, &type);
    if (rc == ERROR_MORE_DATA)
    {
        grown = static_cast<char*>(calloc(size > 0 ? size : 1, 1));
        if (grown)
        {
            buffer = grown;
            rc = Query(value, buffer, &size, &type);
        }
    }
    bool ok = rc == ERROR_SUCCESS;
    if (ok)
    {
        if (type == REG_SZ)
            while (size > 1 && buffer[size - 1] == 0)
                size--;
        out.Truncate(0);
        out.Append(buffer, size);
    }
    free(grown);
    if (ok && kind)
        *kind = type;
    LogitIf(2, "REGISTRY::Read key=%s, ok=%d, error=%d\n", TextOf(value), ok, (int)rc);
    return ok;
}

bool REGISTRY::ReadBuffer(const char* value, void* buffer, int& size, uint32_t* type)
{
    int capacity = size;
    size = 0;
    int got = capacity;
    long rc = buffer && capacity >= 0 ? Query(value, buffer, &got, type) : ERROR_INVALID_PARAMETER;
    bool ok = rc == ERROR_SUCCESS;
    if (ok)
    {
        size = got;
        if (got < capacity)
            static_cast<char*>(buffer)[got] = 0;
    }
    LogitIf(2, "REGISTRY::Read key=%s, ok=%d, error=%d\n", TextOf(value), ok, (int)rc);
    return ok;
}

bool REGISTRY::ReadDword(const char* value, uint32_t& out)
{
    uint32_t data = 0;
    int size = sizeof(data);
    long rc = Query(value, &data, &size, 0);
    bool ok = rc == ERROR_SUCCESS && size == sizeof(data);
    if (ok)
        out = data;
    LogitIf(2, "REGISTRY::Read key=%s, ok=%d, error=%d\n", TextOf(value), ok, (int)rc);
    return ok;
}

bool REGISTRY::WriteString(const char* value, const char* data)
{
    const char* text = TextOf(data);
    LONG rc = RegSetValueExA(static_cast<HKEY>(hKey), TextOf(value), 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             (DWORD)strlen(text));
    LogitIf(2, "REGISTRY::Write String value= %s; data=%s, error=%08x\n", TextOf(value), text, (unsigned)rc);
    return rc == ERROR_SUCCESS;
}

bool REGISTRY::WriteDword(const char* value, uint32_t data)
{
    DWORD dword = data;
    LONG rc = RegSetValueExA(static_cast<HKEY>(hKey), TextOf(value), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword),
                             sizeof(dword));
    LogitIf(2, "REGISTRY::Write DWORD value= %s; data=%ld, error=%08x\n", TextOf(value), (long)data, (unsigned)rc);
    return rc == ERROR_SUCCESS;
}

bool REGISTRY::WriteBinary(const char* value, const void* data, int size)
{
    LONG rc = size < 0 || (!data && size > 0)
                  ? ERROR_INVALID_PARAMETER
                  : RegSetValueExA(static_cast<HKEY>(hKey), TextOf(value), 0, REG_BINARY,
                                   static_cast<const BYTE*>(data), (DWORD)size);
    LogitIf(2, "REGISTRY::Write binary value= %s, error=%08x\n", TextOf(value), (unsigned)rc);
    return rc == ERROR_SUCCESS;
}

bool REGISTRY::DeleteKey(const char* name, bool tree)
{
    HKEY key = static_cast<HKEY>(hKey);
    LONG rc = ERROR_PROC_NOT_FOUND;
    if (!tree)
        rc = RegDeleteKeyA(key, TextOf(name));
    else if (auto deleteTree = gDeleteTree.Get())
        rc = deleteTree(key, TextOf(name));
    LogitIf(2, "REGISTRY::delete key= %s, error=%d\n", TextOf(name), (int)rc);
    return rc == ERROR_SUCCESS;
}

bool REGISTRY::DeleteValue(const char* name)
{
    LONG rc = RegDeleteValueA(static_cast<HKEY>(hKey), TextOf(name));
    LogitIf(2, "REGISTRY::delete value= %s, error=%d\n", TextOf(name), (int)rc);
    return rc == ERROR_SUCCESS;
}

DLLINTERFACE::DLLINTERFACE(const char* dllname, const char* function)
    : hDll(0), Quiet(false), pFunction(0), FunctionName{}, DllName{}
{
    Logit("[>>]DLLINTERFACE::DLLINTERFACE dllname= %s\n", TextOf(dllname));
    Load(dllname, function);
    Logit("[<<]DLLINTERFACE::DLLINTERFACE done, hdll= %p\n", hDll);
}

DLLINTERFACE::~DLLINTERFACE()
{
    Logit("[>>]DLLINTERFACE::~DLLINTERFACE this->DllName= %s\n", DllName);
    Unload();
    Logit("[<<]DLLINTERFACE::~DLLINTERFACE\n");
}

int DLLINTERFACE::Load(const char* filename, const char* function)
{
    Logit("DLLINTERFACE::Load %s %s\n", TextOf(filename), TextOf(function));
    Unload();
    if (filename)
    {
        HMODULE module = LoadLibraryA(filename);
        if (module)
        {
            hDll = module;
            FORMAT::Copy(DllName, filename, sizeof(DllName));
        }
    }
    if (function && hDll)
    {
        FORMAT::Copy(FunctionName, function, sizeof(FunctionName));
        pFunction = reinterpret_cast<DLLFUNCTION>(GetProcAddress(static_cast<HMODULE>(hDll), function));
    }
    int result = hDll && (!function || pFunction) ? 1 : 0;
    Logit("DLLINTERFACE::Load returns %d\n", result);
    return result;
}

DLLFUNCTION DLLINTERFACE::GetFunction(const char* name)
{
    if (!Quiet)
        Logit("DLLINTERFACE::GetFunction %s from %s\n", TextOf(name), DllName);
    DLLFUNCTION function = pFunction;
    if (name)
        function = hDll ? reinterpret_cast<DLLFUNCTION>(GetProcAddress(static_cast<HMODULE>(hDll), name)) : 0;
    if (!Quiet)
        Logit("DLLINTERFACE::GetFunction %s for %p returns %p\n", TextOf(name), hDll, reinterpret_cast<void*>(function));
    return function;
}

DLLFUNCTION DLLINTERFACE::GetFunctionByOrdinal(int ordinal)
{
    DLLFUNCTION function = 0;
    if (hDll && ordinal > 0 && ordinal <= 0xFFFF)
        function = reinterpret_cast<DLLFUNCTION>(GetProcAddress(static_cast<HMODULE>(hDll), MAKEINTRESOURCEA(ordinal)));
    if (!Quiet)
        Logit("DLLINTERFACE::GetFunction #%d for %p returns %p\n", ordinal, hDll, reinterpret_cast<void*>(function));
    return function;
}

void DLLINTERFACE::Unload()
{
    Logit("DLLINTERFACE::Unload this->DllName= %s\n", DllName);
    FunctionName[0] = 0;
    pFunction = 0;
    if (hDll)
    {
        Logit("DLLINTERFACE::Unload free library %p (%s)\n", hDll, DllName);
        FreeLibrary(static_cast<HMODULE>(hDll));
        hDll = 0;
    }
    Logit("DLLINTERFACE::Unload done\n");
}

bool DLLINTERFACE::DllExists(const char* filename)
{
    HMODULE module = filename ? LoadLibraryA(filename) : 0;
    if (module)
        FreeLibrary(module);
    return module != 0;
}

namespace OSYS
{
bool SetAutostart(const char* name, const char* program)
{
    name = STRING::NullGuard(name);
    if (!name)
        return false;
    OWNEDKEY key;
    LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, 0, 0,
                              KEY_QUERY_VALUE | KEY_SET_VALUE, 0, key.Receive(), 0);
    if (rc == ERROR_SUCCESS)
    {
        if (program && program[0])
        {
            bool self = _stricmp(program, "<ownfile>") == 0 || _stricmp(program, "<self>") == 0;
            STRING value = STRING::Sprintf("\"%s\"", self ? GetProgramPath().Text() : program);
            rc = RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.Text()),
                                (DWORD)value.Length() + 1);
        }
        else
        {
            rc = RegDeleteValueA(key.Get(), name);
        }
    }
    Logit("OSYS::SetAutostart %s to %s rc= %d\n", name, OSYSWIN32::TextOrEmpty(program), (int)rc);
    return rc == ERROR_SUCCESS;
}
}
