#pragma once
// Records failed assertions while in scope instead of showing their dialog.

#include <string>
#include <vector>

#include "framework/app/logit.h"

struct ASSERTRECORD
{
    std::string Condition;
    std::string File;
    std::string Info;
};

class ASSERTSPY
{
public:
    ASSERTSPY() : Previous(AssertSetHook(&ASSERTSPY::Hook)) { Records().clear(); }
    ~ASSERTSPY() { AssertSetHook(Previous); }
    ASSERTSPY(const ASSERTSPY&) = delete;
    ASSERTSPY& operator=(const ASSERTSPY&) = delete;

    size_t Count() const { return Records().size(); }
    const ASSERTRECORD& operator[](size_t i) const { return Records()[i]; }
    const ASSERTRECORD& Last() const { return Records().back(); }
    void Clear() { Records().clear(); }

private:
    static std::vector<ASSERTRECORD>& Records()
    {
        static std::vector<ASSERTRECORD> records;
        return records;
    }
    static int Hook(const char* condition, const char* file, int, const char* info)
    {
        Records().push_back({condition ? condition : "", file ? file : "", info ? info : ""});
        return 1;
    }
    ASSERTHOOK Previous;
};
