// Benchmarks: each measurement runs the library's way and a baseline side by
// side and prints the ratio. Built by the default build, run by hand:
//   tools/wine-harness.sh run <dir> build/x86_64/tests/bench/benchmark.exe

#include <windows.h>
#include <stdio.h>

#include <string>

#include "framework/app/logit.h"
#include "framework/os/osys.h"
#include "framework/text/strings.h"

namespace
{
    double Seconds()
    {
        int64_t counter = 0, frequency = 1;
        OSYS::PerformanceCounter(&counter, &frequency);
        return (double)counter / (double)frequency;
    }

    // Best of several runs, to keep scheduler noise out of the ratio.
    template <class F>
    double Best(int runs, F f)
    {
        double best = 1e30;
        for (int i = 0; i < runs; i++)
        {
            double start = Seconds();
            f();
            double elapsed = Seconds() - start;
            if (elapsed < best)
                best = elapsed;
        }
        return best;
    }

    volatile size_t gSink;

    void StringAppends()
    {
        const int bytes = 10 * 1000 * 1000;
        double library = Best(5, [&] {
            STRING s;
            for (int i = 0; i < bytes; i++)
                s.Append("x", 1);
            gSink = s.Length();
        });
        double baseline = Best(5, [&] {
            std::string s;
            for (int i = 0; i < bytes; i++)
                s.push_back('x');
            gSink = s.size();
        });
        printf("STRING one-byte appends to 10 MB:  %8.2f ms   std::string::push_back: %8.2f ms   ratio %.2fx (target <= 1.5x)\n",
               library * 1e3, baseline * 1e3, library / baseline);
    }

    void LogitOff()
    {
        const int calls = 20 * 1000 * 1000;
        double library = Best(5, [&] {
            for (int i = 0; i < calls; i++)
                Logit("never written %d\n", i);
        });
        double baseline = Best(5, [&] {
            for (int i = 0; i < calls; i++)
                gSink = gSink + i;
        });
        printf("Logit with the log off:             %8.2f ns/call   empty loop: %8.2f ns/iteration   ratio %.2fx (target <= 2 ns/call)\n",
               library * 1e9 / calls, baseline * 1e9 / calls, library / baseline);
    }

    void LogitToFile(const std::string& folder)
    {
        const int lines = 20000;
        std::string logPath = folder + "bench-logit.log";
        std::string rawPath = folder + "bench-raw.log";
        const char text[] = "[012.345:0abc] BENCH line of an ordinary length with a number 12345\r\n";

        double library = Best(3, [&] {
            LogitOption(("/LOGIT:" + logPath).c_str());
            for (int i = 0; i < lines; i++)
                Logit("BENCH line of an ordinary length with a number %d\n", i);
            LogitOption("/LOGITCLOSE");
        });
        double baseline = Best(3, [&] {
            HANDLE file = CreateFileA(rawPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, 0, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, 0);
            HANDLE mutex = CreateMutexA(0, FALSE, 0);
            for (int i = 0; i < lines; i++)
            {
                WaitForSingleObject(mutex, INFINITE);
                DWORD written = 0;
                WriteFile(file, text, sizeof(text) - 1, &written, 0);
                ReleaseMutex(mutex);
            }
            CloseHandle(mutex);
            CloseHandle(file);
        });
        DeleteFileA(logPath.c_str());
        DeleteFileA(rawPath.c_str());
        printf("Logit to a file:                    %8.0f lines/s   mutex + WriteFile: %8.0f lines/s   throughput ratio %.2fx (target >= 0.8x)\n",
               lines / library, lines / baseline, baseline / library);
    }
}

int main(int argc, char** argv)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    printf("Benchmarks (best of several runs)\n");
    StringAppends();
    LogitOff();
    LogitToFile(temp);
    return 0;
}
