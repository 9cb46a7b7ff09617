#include <windows.h>
#include <share.h>
#include <stdio.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "framework/containers/stringarray.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"

namespace
{
    std::string ChildProbe()
    {
        return TESTSUPPORT::SelfDirectory() + "\\childprobe.exe";
    }

    // Whether a second process can open path with mode while it shares everything.
    int OpensInOtherProcess(const std::string& path, const char* mode)
    {
        TESTSUPPORT::CHILD child;
        if (!child.Start("childprobe.exe open=" + std::string(mode), "", {"CHILDPROBE_FILE=" + path}, ChildProbe()))
            return -1;
        return child.Wait(20000) == 0 ? 1 : 0;
    }

    std::vector<std::string> Items(const STRINGARRAY& list, bool sorted = false)
    {
        std::vector<std::string> items;
        for (int i = 0; i < list.Count(); i++)
            items.push_back(list.Text(i));
        if (sorted)
            std::sort(items.begin(), items.end());
        return items;
    }
}

TEST(Fsopen, DefaultSharingIsSeenByAnotherProcess)
{
    TESTSUPPORT::TEMPDIR dir("fs");
    const std::string path = dir.File("shared.txt");
    ASSERT_TRUE(TESTSUPPORT::WriteFile(path, "12345"));

    // Share -1 takes the sharing from the mode; an explicit flag wins over it (and proves the probe).
    const struct { const char* Mode; int Share, Read, Write; } cases[] = {
        {"r", -1, 1, 0}, {"r+", -1, 0, 0}, {"w", -1, 0, 0}, {"w", _SH_DENYNO, 1, 1}};
    for (const auto& c : cases)
    {
        FILE* stream = fsopen(path.c_str(), c.Mode, c.Share, 0);
        ASSERT_TRUE(stream) << c.Mode;
        EXPECT_EQ(c.Read, OpensInOtherProcess(path, "rb")) << "reader beside " << c.Mode << " " << c.Share;
        EXPECT_EQ(c.Write, OpensInOtherProcess(path, "r+b")) << "writer beside " << c.Mode << " " << c.Share;
        fclose(stream);
    }
}

TEST(Fsopen, Utf8NameReachesTheFileThroughItsWideFormAndResolvesToTheSystemsName)
{
    TESTSUPPORT::TEMPDIR dir("fs");
    const std::string base = dir.Path() + "\\";
    const std::wstring wideBase(base.begin(), base.end());   // temporary folders have ASCII names
    FILE* file = _wfopen((wideBase + L"gr\u00fc\u00dfe-\u0416.txt").c_str(), L"wb");
    ASSERT_TRUE(file && fwrite("hello", 1, 5, file) == 5 && fclose(file) == 0);
    const std::string utf8Path = base + "gr\xC3\xBC\xC3\x9F" "e-\xD0\x96.txt", missing = base + "fehlt-\xD0\x96.txt";

    EXPECT_EQ(nullptr, fsopen(utf8Path.c_str(), "rb", -1, 0)) << "the 8-bit name does not exist";
    FILE* stream = fsopen(utf8Path.c_str(), "rb", -1, 1);
    ASSERT_TRUE(stream);
    char buffer[16] = {};
    EXPECT_EQ(5u, fread(buffer, 1, sizeof(buffer), stream));
    EXPECT_STREQ("hello", buffer);
    fclose(stream);
    EXPECT_EQ(nullptr, fsopen(missing.c_str(), "r", -1, 1));

    char ansiName[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, L"\\gr\u00fc\u00dfe-\u0416.txt", -1, ansiName, sizeof(ansiName), 0, 0);
    FILENAME name(utf8Path.c_str());
    ASSERT_TRUE(name.ResolveFinalPath(true));
    const std::string resolved = name.Text();
    EXPECT_NE(0, _strnicmp(resolved.c_str(), "\\\\?\\", 4)) << resolved;
    ASSERT_GT(resolved.size(), strlen(ansiName));
    EXPECT_EQ(ansiName, resolved.substr(resolved.size() - strlen(ansiName)));
    EXPECT_FALSE(FILENAME(missing.c_str()).ResolveFinalPath(true));
}

TEST(FileLock, AnotherProcessHoldingTheFileMakesLockFailHardOrGoOnSoftly)
{
    TESTSUPPORT::TEMPDIR dir("lk");
    const std::string path = dir.File("data.txt"), lockName = path + ".lock";
    const std::string tag = std::to_string(GetCurrentProcessId());
    const std::string ready = "tarni-lock-ready-" + tag, release = "tarni-lock-release-" + tag;
    HANDLE readyEvent = CreateEventA(0, TRUE, FALSE, ready.c_str()), releaseEvent = CreateEventA(0, TRUE, FALSE, release.c_str());
    TESTSUPPORT::ATEND close{[=] { CloseHandle(readyEvent), CloseHandle(releaseEvent); }};
    TESTSUPPORT::CHILD child;
    ASSERT_TRUE(child.Start("childprobe.exe lock ready=" + ready + " wait=" + release + " timeout=60000", "",
                            {"CHILDPROBE_FILE=" + path}, ChildProbe()));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(readyEvent, 20000)) << "the child did not take its lock";
    EXPECT_TRUE(TESTSUPPORT::FileExists(lockName));

    FILELOCK lock(path.c_str());
    {
        // Timeout -1 is a budget of 4 s: at least 10 tries of at most 300 ms each.
        TESTSUPPORT::LOGCAPTURE log(1);
        EXPECT_FALSE(lock.Lock(-1, true));
        EXPECT_FALSE(lock.IsLockActive());
        EXPECT_GE(log.Lines("FILELOCK::WaitForFile loop ").size(), 10u);
    }
    {
        ASSERTSPY spy;
        EXPECT_TRUE(lock.Lock(300, false));
        EXPECT_TRUE(lock.IsLockActive());
        EXPECT_FALSE(lock.HoldsFile());
        EXPECT_EQ(1u, spy.Count());
        EXPECT_TRUE(lock.Unlock());
        EXPECT_TRUE(TESTSUPPORT::FileExists(lockName)) << "a lock never held is not deleted";
    }

    SetEvent(releaseEvent);
    EXPECT_EQ(0, child.Wait(20000));
    EXPECT_TRUE(lock.Lock(-1, true));
    EXPECT_TRUE(lock.HoldsFile());
    EXPECT_TRUE(lock.Unlock());
    EXPECT_FALSE(TESTSUPPORT::FileExists(lockName));
}

TEST(FileLock, LeftoverLockFileIsTakenAndOneProcessLocksOneAtATime)
{
    TESTSUPPORT::TEMPDIR dir("lk");
    const std::string path = dir.File("data.txt");
    ASSERT_TRUE(TESTSUPPORT::WriteFile(path + ".lock", "left behind"));
    {
        FILELOCK lock(path.c_str());
        EXPECT_TRUE(lock.Lock(1000, true));

        // Another file, but the same process-wide lock.
        std::atomic<bool> locked(false);
        std::thread other([&] {
            FILELOCK second(dir.File("two").c_str());
            locked = second.Lock(-1, true);
        });
        Sleep(500);
        EXPECT_FALSE(locked);
        lock.Unlock();
        other.join();
        EXPECT_TRUE(locked);
        ASSERT_TRUE(lock.Lock(1000, true));
    }
    EXPECT_FALSE(TESTSUPPORT::FileExists(path + ".lock")) << "the destructor unlocks";
}

TEST(FileLock, AThreadEndingWithItsLockHeldBlocksNoOtherThread)
{
    TESTSUPPORT::TEMPDIR dir("la");
    ASSERTSPY spy;   // the orphaned lock is unlocked by a thread that does not own the mutex
    std::unique_ptr<FILELOCK> orphan(new FILELOCK(dir.File("one").c_str()));
    std::thread([&] { orphan->Lock(1000, true); }).join();
    FILELOCK mine(dir.File("two").c_str());
    EXPECT_FALSE(mine.Lock(1000, true)) << "an abandoned wait is no lock";

    auto done = std::make_shared<std::atomic<int>>(-1);
    const std::string third = dir.File("three");
    std::thread([done, third] {
        FILELOCK lock(third.c_str());
        *done = lock.Lock(1000, true) ? 1 : 0;
    }).detach();   // left blocked if the mutex stayed owned
    for (int waited = 0; waited < 10000 && *done < 0; waited += 50)
        Sleep(50);
    EXPECT_EQ(1, done->load());
    orphan.reset();
}

TEST(ListFiles, PatternsSkippedNamesAndRecursionOrder)
{
    TESTSUPPORT::TEMPDIR dir("ls");
    const std::string base = std::string(FILENAME(dir.Path().c_str()).FullPath().Text()) + "\\";
    for (const char* sub : {"sub", "sub\\deeper", ".hidden"})
        ASSERT_TRUE(CreateDirectoryA(dir.File(sub).c_str(), 0));
    for (const char* file : {"a.txt", "B.TXT", "c.log", "sub\\d.txt", "sub\\deeper\\e.txt", ".hidden\\f.txt",
                             "odd%name.txt", "x$y.txt"})
        ASSERT_TRUE(TESTSUPPORT::WriteFile(dir.File(file), file));

    // "*.*" lists the files of the folder only, without names that would turn into shell strings.
    STRINGARRAY list;
    EXPECT_EQ(3, OSYS::ListFiles(dir.Path().c_str(), "*.*", &list, false));
    EXPECT_EQ((std::vector<std::string>{base + "B.TXT", base + "a.txt", base + "c.log"}), Items(list, true));

    // A pattern applies to the files of every subfolder but dot folders.
    list.Clear();
    EXPECT_EQ(4, OSYS::ListFiles(dir.Path().c_str(), "*.TXT", &list, true));
    EXPECT_EQ((std::vector<std::string>{base + "B.TXT", base + "a.txt", base + "sub\\d.txt", base + "sub\\deeper\\e.txt"}),
              Items(list, true));
    EXPECT_EQ(1, OSYS::ListFiles(dir.Path().c_str(), "?.log", nullptr, true)) << "counting only";
    EXPECT_EQ(0, OSYS::ListFiles(dir.File("missing").c_str(), "*", &list, true));

    // "*" with recursion lists each folder after its contents.
    list.Clear();
    EXPECT_EQ(7, OSYS::ListFiles(dir.Path().c_str(), "*", &list, true));
    const auto items = Items(list);
    ASSERT_EQ(7u, items.size());
    auto at = [&](const char* name) { return std::find(items.begin(), items.end(), base + name) - items.begin(); };
    EXPECT_LT(at("sub\\deeper\\e.txt"), at("sub\\deeper"));
    EXPECT_LT(at("sub\\deeper"), at("sub"));
    EXPECT_LT(at("sub"), 7);
    EXPECT_EQ(7, at(".hidden"));

    const struct { const char* Name; const char* Pattern; bool Match; } wildcards[] = {{"a.txt.bak", "*.txt", false},
        {"ac", "a?c", false}, {"aBc", "a?C", true}, {"abcbd", "*b*d", true}, {"abc", "ab", false}, {"", "", true}};
    for (const auto& w : wildcards)
        EXPECT_EQ(w.Match, OSYS::MatchWildcard(w.Name, w.Pattern)) << w.Name << " ~ " << w.Pattern;
}

TEST(DirectoryTree, CreateCopyAndDeleteFolderTrees)
{
    TESTSUPPORT::TEMPDIR dir("tr");
    ASSERT_TRUE(CreateDirectoryA(dir.File("a").c_str(), 0));
    EXPECT_TRUE(OSYS::CreateDirectoryPath(dir.File("a\\b\\c").c_str()));
    EXPECT_TRUE(OSYS::CreateDirectoryPath(dir.File("x/y").c_str())) << "slashes separate too";
    ASSERT_TRUE(TESTSUPPORT::WriteFile(dir.File("file"), "x"));
    EXPECT_FALSE(OSYS::CreateDirectoryPath(dir.File("file\\below").c_str()));

    const std::string source = dir.File("src"), target = dir.File("copy\\nested");
    ASSERT_TRUE(OSYS::CreateDirectoryPath((source + "\\one\\two").c_str()));
    ASSERT_TRUE(OSYS::CreateDirectoryPath((source + "\\empty").c_str()));
    ASSERT_TRUE(TESTSUPPORT::WriteFile(source + "\\top.bin", std::string("top\0bytes", 9)));
    ASSERT_TRUE(TESTSUPPORT::WriteFile(source + "\\one\\two\\deep.txt", "deep"));
    EXPECT_TRUE(OSYS::CopyTree(source.c_str(), target.c_str()));
    EXPECT_EQ(std::string("top\0bytes", 9), TESTSUPPORT::ReadFile(target + "\\top.bin"));
    EXPECT_EQ("deep", TESTSUPPORT::ReadFile(target + "\\one\\two\\deep.txt"));
    EXPECT_TRUE(FILENAME((target + "\\empty").c_str()).IsDirectory());

    ASSERT_TRUE(FILENAME((target + "\\top.bin").c_str()).SetReadOnly(true));
    EXPECT_TRUE(OSYS::DeleteTree(target.c_str()));
    EXPECT_FALSE(TESTSUPPORT::FileExists(target));
    EXPECT_TRUE(TESTSUPPORT::FileExists(source + "\\one\\two\\deep.txt")) << "the source stays";
    EXPECT_FALSE(OSYS::DeleteTree(target.c_str()));
}

// The gzip writer: sizes around its 16 KB read buffer, read back by zlib's own
// reader, which checks the trailer's CRC and length.
TEST(GzipFile, CompressesAnyLengthIntoAGzipFileThatZlibReadsBack)
{
    TESTSUPPORT::TEMPDIR dir("gz");
    for (size_t size : {0u, 1u, 16383u, 16384u, 16385u, 100000u})
    {
        std::string bytes;
        for (size_t i = 0; i < size; i++)
            bytes += (char)(i % 7 == 0 ? (i * 2654435761u) >> 24 : 'a' + i % 5);
        const std::string source = dir.Path() + "\\in.bin", target = dir.Path() + "\\in.bin.gz";
        ASSERT_TRUE(TESTSUPPORT::WriteFile(source, bytes));
        ASSERT_TRUE(OSYS::GzipFile(source.c_str(), target.c_str())) << size;
        const std::string packed = TESTSUPPORT::ReadFile(target);
        ASSERT_GE(packed.size(), 18u) << size;
        EXPECT_EQ(std::string("\x1f\x8b\x08", 3), packed.substr(0, 3)) << size;

        std::string unpacked;
        gzFile file = gzopen(target.c_str(), "rb");
        ASSERT_TRUE(file != 0) << size;
        char buffer[4096];
        int count = 0;
        while ((count = gzread(file, buffer, sizeof(buffer))) > 0)
            unpacked.append(buffer, (size_t)count);
        EXPECT_EQ(0, count) << size;
        EXPECT_EQ(Z_OK, gzclose(file)) << size;
        EXPECT_TRUE(unpacked == bytes) << size;
    }
}

TEST(GzipFile, FailsWithoutLeavingATargetWhenTheSourceOrTheTargetCannotBeOpened)
{
    TESTSUPPORT::TEMPDIR dir("gz");
    const std::string source = dir.Path() + "\\in.bin", target = dir.Path() + "\\out.gz";
    EXPECT_FALSE(OSYS::GzipFile(source.c_str(), target.c_str()));
    EXPECT_FALSE(TESTSUPPORT::FileExists(target));
    ASSERT_TRUE(TESTSUPPORT::WriteFile(source, "text"));
    EXPECT_FALSE(OSYS::GzipFile(source.c_str(), (dir.Path() + "\\missing\\out.gz").c_str()));
}
