// The gzip file writer, on zlib.

#include <stdio.h>
#include <zlib.h>

#include "framework/app/logit.h"
#include "framework/os/osysfile.h"

namespace
{
    struct INFILE
    {
        explicit INFILE(const char* path) : File(fopen(path, "rb")) {}
        ~INFILE()
        {
            if (File)
                fclose(File);
        }
        INFILE(const INFILE&) = delete;
        INFILE& operator=(const INFILE&) = delete;
        FILE* File;
    };

    struct GZFILE
    {
        explicit GZFILE(const char* path) : File(gzopen(path, "wb6")) {}
        ~GZFILE() { Close(); }
        GZFILE(const GZFILE&) = delete;
        GZFILE& operator=(const GZFILE&) = delete;
        // The trailer is written here: a failed close is a failed file.
        bool Close()
        {
            gzFile file = File;
            File = 0;
            return file && gzclose(file) == Z_OK;
        }
        gzFile File;
    };
}

namespace OSYS
{

bool GzipFile(const char* source, const char* target)
{
    if (!source || !target)
    {
        AssertHandler(0, "source && target", __FILE__, __LINE__, 0, 0);
        return false;
    }
    bool ok = false;
    {
        INFILE in(source);
        if (!in.File)
        {
            Logit("OSYS::GzipFile cannot read %s\n", source);
            return false;
        }
        GZFILE out(target);
        ok = out.File != 0;
        char buffer[16 * 1024];
        while (ok)
        {
            size_t count = fread(buffer, 1, sizeof(buffer), in.File);
            if (count > 0 && gzwrite(out.File, buffer, (unsigned)count) != (int)count)
                ok = false;
            if (count < sizeof(buffer))
            {
                ok = ok && !ferror(in.File);
                break;
            }
        }
        if (out.File)
            ok = out.Close() && ok;
    }
    if (!ok)
        remove(target);
    Logit("OSYS::GzipFile %s -> %s %s\n", source, target, ok ? "done" : "failed");
    return ok;
}

}
