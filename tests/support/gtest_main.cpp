// Test entry: an assertion nobody expected fails the running test instead of
// opening the assertion dialog.

#include <gtest/gtest.h>

#include "framework/app/logit.h"

static int UnexpectedAssertion(const char* condition, const char* file, int line, const char* info)
{
    ADD_FAILURE() << "unexpected assertion \"" << condition << "\" at " << file << ":" << line
                  << " info: " << (info ? info : "<none>");
    return 1;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    AssertSetHook(UnexpectedAssertion);
    return RUN_ALL_TESTS();
}
