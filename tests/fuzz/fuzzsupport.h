#pragma once
// Shared by the fuzz targets: the assertions an input may raise are counted
// (and printed at exit); any other assertion, or a broken round trip, ends
// the run as a crash that libFuzzer reports with its input.

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "framework/app/logit.h"

namespace FUZZ
{
    inline std::map<std::string, long>& Counts()
    {
        static std::map<std::string, long> counts;
        return counts;
    }

    inline void PrintCounts()
    {
        fprintf(stderr, "assertions:");
        for (const auto& entry : Counts())
            fprintf(stderr, " \"%s\"=%ld", entry.first.c_str(), entry.second);
        fprintf(stderr, Counts().empty() ? " none\n" : "\n");
    }

    inline int CountingHook(const char* condition, const char* file, int line, const char* info)
    {
        auto found = Counts().find(condition);
        if (found == Counts().end())
        {
            fprintf(stderr, "unexpected assertion \"%s\" at %s:%d info: %s\n", condition, file, line,
                    info ? info : "<none>");
            abort();
        }
        found->second++;
        return 1;
    }

    // The assertions documented for a target's input; the log is on at
    // every level (into /dev/null), so every trace line is formatted too.
    inline void Setup(const std::vector<const char*>& allowed)
    {
        for (const char* condition : allowed)
            Counts()[condition] = 0;
        AssertSetHook(CountingHook);
        LogitOption("/LOGIT:/dev/null");
        LogitOption("/LOG:15");
        atexit(PrintCounts);
    }

    inline void Fail(const char* what, const std::string& a, const std::string& b)
    {
        fprintf(stderr, "%s\n  got:      %zu bytes: %.200s\n  expected: %zu bytes: %.200s\n", what, a.size(),
                a.c_str(), b.size(), b.c_str());
        abort();
    }

    // Runs an input through check() with the assertions of one step forbidden.
    template <class F>
    void NoAssertions(F check)
    {
        std::map<std::string, long> saved;
        saved.swap(Counts());
        check();
        saved.swap(Counts());
    }

    // Splits data at the byte sep into at most max parts (the last keeps the rest).
    inline std::vector<std::string> Parts(const uint8_t* data, size_t size, char sep, size_t max)
    {
        std::vector<std::string> parts(1);
        for (size_t i = 0; i < size; i++)
        {
            if ((char)data[i] == sep && parts.size() < max)
                parts.emplace_back();
            else
                parts.back().push_back((char)data[i]);
        }
        return parts;
    }
}

#define FUZZ_CHECK(condition, got, expected) \
    do { if (!(condition)) FUZZ::Fail(#condition, (got), (expected)); } while (0)
