// Registry keys and dynamic libraries. Registry tests work in a key of this
// process below HKEY_CURRENT_USER\Software\Tarni\.

#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/os/osys.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

using namespace TESTSUPPORT;

namespace
{
    bool KeyExists(HKEY root, const std::string& path)
    {
        HKEY key = 0;
        return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS && RegCloseKey(key) == ERROR_SUCCESS;
    }

    // The bytes of a value as the system gives them, past the class under test.
    std::string Raw(HKEY root, const std::string& path, const char* value, DWORD* type = 0)
    {
        std::vector<char> data(100000);
        DWORD size = (DWORD)data.size();
        LONG rc = RegGetValueA(root, path.c_str(), value, RRF_RT_ANY | RRF_NOEXPAND, type, data.data(), &size);
        return rc == ERROR_SUCCESS ? std::string(data.data(), size) : "<none>";
    }

    std::string Bytes(const STRING& text) { return std::string(text.Text(), text.Length()); }

    class RegistryTest : public testing::Test
    {
    protected:
        void SetUp() override { SHDeleteKeyA(HKEY_CURRENT_USER, Scratch.c_str()); }
        void TearDown() override { SHDeleteKeyA(HKEY_CURRENT_USER, Scratch.c_str()); }

        const std::string App = "TarniTest-" + std::to_string(GetCurrentProcessId());
        const std::string Scratch = "Software\\Tarni\\" + App;
    };
}

TEST(RegistryKeyPath, JoinsBaseAndNameWithOneBackslash)
{
    const struct { const char* Base; const char* App; const char* Path; } cases[] = {{"Software\\Tarni", "\\\\app", "Software\\Tarni\\app"},
        {"Software\\Tarni\\", "a\\b\\\\", "Software\\Tarni\\a\\b"}, {"Software\\Tarni\\\\", "\\", "Software\\Tarni"}};
    for (const auto& c : cases)
        EXPECT_STREQ(c.Path, REGISTRY::KeyPath(c.Base, c.App).Text()) << c.Base << " + " << c.App;
}

TEST_F(RegistryTest, EveryWayOfNamingAKeyOpensItsPlace)
{
    REGISTRY plain(App.c_str(), "Software\\Tarni\\", 1);
    EXPECT_EQ(Scratch, plain.GetPath());
    ASSERT_TRUE(plain.WriteString("v", "abc"));
    DWORD type = 0;
    EXPECT_STREQ("abc", Raw(HKEY_CURRENT_USER, Scratch, "v", &type).c_str());   // the system may add a NUL
    EXPECT_EQ((DWORD)REG_SZ, type);

    STRING text("old");   // KIND_USER: every test below
    EXPECT_TRUE(REGISTRY(App.c_str(), "Software\\Tarni", HKEY_CURRENT_USER).ReadString("v", text));
    EXPECT_EQ("abc", Bytes(text));

    const std::string uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + App;
    EXPECT_TRUE(REGISTRY(REGISTRY::KIND_UNINSTALL, App.c_str()).WriteDword("d", 7));
    EXPECT_EQ(std::string("\7\0\0\0", 4), Raw(HKEY_LOCAL_MACHINE, uninstall, "d"));
    EXPECT_EQ(ERROR_SUCCESS, SHDeleteKeyA(HKEY_LOCAL_MACHINE, uninstall.c_str()));

    ASSERTSPY spy;
    REGISTRY placeholder(("<" + App + ">").c_str(), "Software\\Tarni\\", 1);
    EXPECT_EQ(1u, spy.Count());
    EXPECT_FALSE(placeholder.IsOpen());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Tarni\\<" + App + ">"));
}

TEST_F(RegistryTest, ValuesPastTheFirstBufferAreReadWhole)
{
    REGISTRY key(REGISTRY::KIND_USER, App.c_str());
    for (int length : {2048, 2049})   // the first buffer holds 2048 bytes
    {
        std::string bytes;
        for (int i = 0; i < length; i++)
            bytes.push_back((char)(i % 7 == 0 ? 0 : i));
        ASSERT_TRUE(key.WriteBinary("b", bytes.data(), length));
        STRING text;
        EXPECT_TRUE(key.ReadString("b", text));
        EXPECT_EQ(bytes, Bytes(text)) << length;

        std::vector<char> buffer(length + 2, 'X');
        for (int capacity : {length - 1, length, length + 1})
        {
            int size = capacity;
            const bool ok = key.ReadBuffer("b", buffer.data(), size);
            EXPECT_EQ(capacity >= length, ok) << capacity;
            EXPECT_EQ(ok ? length : 0, size) << capacity;
            EXPECT_EQ(capacity > length ? 0 : 'X', buffer[length]) << capacity;   // a NUL only where there is room
        }
        EXPECT_EQ(bytes, std::string(buffer.data(), length));
        EXPECT_EQ('X', buffer[length + 1]);
    }
}

TEST_F(RegistryTest, ReadsReportTheTypeStringsLoseTrailingNulsDwordsNeedFourBytesMissingOnesFail)
{
    REGISTRY key(REGISTRY::KIND_USER, App.c_str());
    const struct { const char* Name; DWORD Type; std::string Stored, Read; } cases[] = {
        {"three", REG_SZ, std::string("abc\0\0\0", 6), "abc"}, {"bin", REG_BINARY, std::string("ab\0", 3), std::string("ab\0", 3)}};
    for (const auto& c : cases)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, Scratch.c_str(), c.Name, c.Type, c.Stored.data(),
                                                 (DWORD)c.Stored.size()));
        STRING text;
        uint32_t type = 0, bufferType = 0;
        char buffer[8];
        int size = sizeof(buffer);
        EXPECT_TRUE(key.ReadString(c.Name, text, &type) && key.ReadBuffer(c.Name, buffer, size, &bufferType));
        EXPECT_EQ(c.Read, Bytes(text)) << c.Name;
        EXPECT_EQ(c.Type, type) << c.Name;
        EXPECT_EQ(c.Type, bufferType) << c.Name;
        EXPECT_EQ(c.Stored, std::string(buffer, size)) << c.Name;
    }

    ASSERT_TRUE(key.WriteDword("d", 0xDEADBEEF));
    DWORD type = 0;
    EXPECT_EQ(std::string("\xEF\xBE\xAD\xDE", 4), Raw(HKEY_CURRENT_USER, Scratch, "d", &type));
    EXPECT_EQ((DWORD)REG_DWORD, type);
    uint32_t value = 0;
    EXPECT_TRUE(key.ReadDword("d", value));
    EXPECT_EQ(0xDEADBEEFu, value);
    ASSERT_TRUE(key.WriteBinary("two", "\1\2", 2));
    for (const char* name : {"two", "absent"})
    {
        value = 42;
        EXPECT_FALSE(key.ReadDword(name, value)) << name;
        EXPECT_EQ(42u, value) << name;
    }

    // Missing values, keys and roots answer false; a failed read keeps the text.
    STRING text("kept");
    EXPECT_FALSE(key.ReadString("absent", text));
    EXPECT_STREQ("kept", text.Text());
    char buffer[8];
    int size = sizeof(buffer);
    EXPECT_FALSE(key.ReadBuffer("absent", buffer, size));
    EXPECT_EQ(0, size);
    EXPECT_FALSE(key.DeleteValue("absent") || key.DeleteKey("absent", true));
    REGISTRY noRoot("x", "Software\\Tarni\\", 0x12345);
    EXPECT_FALSE(noRoot.IsOpen() || noRoot.WriteString("v", "abc"));
}

TEST_F(RegistryTest, DeleteKeyNeedsTreeForKeysWithSubkeysAndReopenNeverCreatesInReadModes)
{
    REGISTRY key(REGISTRY::KIND_USER, App.c_str());
    ASSERT_TRUE(REGISTRY((App + "\\k\\sub\\leaf").c_str(), "Software\\Tarni\\", 1).IsOpen());
    EXPECT_FALSE(key.DeleteKey("k", false));
    EXPECT_TRUE(key.DeleteKey("k\\sub\\leaf", false));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Scratch + "\\k\\sub\\leaf"));
    EXPECT_FALSE(key.DeleteKey("k", false));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Scratch + "\\k\\sub"));
    EXPECT_TRUE(key.DeleteKey("k", true));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Scratch + "\\k"));

    ASSERT_TRUE(key.WriteString("v", "abc"));
    ASSERT_TRUE(key.Reopen(REGISTRY::READONLY));
    STRING text;
    EXPECT_TRUE(key.ReadString("v", text));
    EXPECT_EQ("abc", Bytes(text));
    EXPECT_FALSE(key.WriteString("w", "x"));
    key.Close();
    ASSERT_EQ(ERROR_SUCCESS, SHDeleteKeyA(HKEY_CURRENT_USER, Scratch.c_str()));
    EXPECT_FALSE(key.Reopen(REGISTRY::READONLY) || key.Reopen(REGISTRY::READWRITE));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Scratch));
    EXPECT_TRUE(key.Reopen(REGISTRY::OPENORCREATE));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Scratch));
}

TEST(DllInterface, ExportsAreFoundMissingOnesAnswerNullAndQuietLookupsAreNotLogged)
{
    typedef DWORD(WINAPI * IDFUNCTION)(void);
    DLLINTERFACE process("kernel32.dll", "GetCurrentProcessId");
    IDFUNCTION id = reinterpret_cast<IDFUNCTION>(process.GetFunction());
    ASSERT_NE(nullptr, id);
    EXPECT_EQ(GetCurrentProcessId(), id());

    LOGCAPTURE log(0);
    DLLINTERFACE missing("tarni-no-such-library.dll", "Fn");
    EXPECT_FALSE(missing.IsLoaded());
    DLLINTERFACE quiet("kernel32.dll");
    quiet.SetQuiet(true);
    EXPECT_EQ(nullptr, quiet.GetFunction("NoSuchTarniExport"));
    quiet.SetQuiet(false);
    EXPECT_EQ(nullptr, quiet.GetFunction("NoSuchTarniExport"));
    EXPECT_EQ(2u, log.Lines("DLLINTERFACE::GetFunction NoSuchTarniExport").size()) << "one call of two, two lines each";
}
