// The temporary folder of the native build's tests.

#include "tests/support/testfiles.h"

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

namespace TESTSUPPORT
{

TEMPDIR::TEMPDIR(const char* tag)
{
    const char* base = getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/tarni-" + tag + "-XXXXXX";
    if (mkdtemp(&templ[0]))
        Dir = templ;
}

TEMPDIR::~TEMPDIR()
{
    if (Dir.empty())
        return;
    nftw(Dir.c_str(), [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
         FTW_DEPTH | FTW_PHYS);
}

std::string TEMPDIR::File(const std::string& name) const
{
    return Dir + "/" + name;
}

bool FileExists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

void SetEnvironment(const std::string& name, const std::string& value)
{
    if (value.empty())
        unsetenv(name.c_str());
    else
        setenv(name.c_str(), value.c_str(), 1);
}

}
