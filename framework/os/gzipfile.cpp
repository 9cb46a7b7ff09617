// The gzip file writer: zlib's deflate in a gzip header and trailer (RFC 1952)
// of its own, which keeps zlib's gz file interface out of the program.

#include <stdio.h>
#include <zlib.h>

#include "framework/app/logit.h"
#include "framework/os/osysfile.h"

namespace
{
    struct STDFILE
    {
        STDFILE(const char* path, const char* mode) : File(fopen(path, mode)) {}
        ~STDFILE() { Close(); }
        STDFILE(const STDFILE&) = delete;
        STDFILE& operator=(const STDFILE&) = delete;
        // A failed close of a written file is a failed file.
        bool Close()
        {
            FILE* file = File;
            File = 0;
            return file && fclose(file) == 0;
        }
        FILE* File;
    };

    struct DEFLATER
    {
        DEFLATER() : Stream(), Ready(deflateInit2(&Stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK) {}
        ~DEFLATER()
        {
            if (Ready)
                deflateEnd(&Stream);
        }
        DEFLATER(const DEFLATER&) = delete;
        DEFLATER& operator=(const DEFLATER&) = delete;
        z_stream Stream;
        bool Ready;
    };

    void PutLittleEndian(unsigned char* p, uLong value)
    {
        for (int i = 0; i < 4; i++)
            p[i] = (unsigned char)(value >> (8 * i));
    }

    // Compresses the whole of in into out, framed as gzip.
    bool Compress(FILE* in, FILE* out)
    {
        // Deflate, no name, no time; system 10, as zlib's own writer marks Windows.
        const unsigned char header[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 10};
        DEFLATER deflater;
        if (!deflater.Ready || fwrite(header, 1, sizeof(header), out) != sizeof(header))
            return false;
        z_stream& stream = deflater.Stream;
        uLong crc = crc32(0, Z_NULL, 0);
        uLong size = 0;
        unsigned char input[16 * 1024];
        unsigned char output[16 * 1024];
        bool last = false;
        while (!last)
        {
            size_t count = fread(input, 1, sizeof(input), in);
            if (ferror(in))
                return false;
            last = count < sizeof(input);
            crc = crc32(crc, input, (uInt)count);
            size += (uLong)count;
            stream.next_in = input;
            stream.avail_in = (uInt)count;
            do
            {
                stream.next_out = output;
                stream.avail_out = sizeof(output);
                if (deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH) == Z_STREAM_ERROR)
                    return false;
                size_t produced = sizeof(output) - stream.avail_out;
                if (fwrite(output, 1, produced, out) != produced)
                    return false;
            } while (stream.avail_out == 0);
        }
        unsigned char trailer[8];
        PutLittleEndian(trailer, crc);
        PutLittleEndian(trailer + 4, size);
        return fwrite(trailer, 1, sizeof(trailer), out) == sizeof(trailer);
    }
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
        STDFILE in(source, "rb");
        if (!in.File)
        {
            Logit("OSYS::GzipFile cannot read %s\n", source);
            return false;
        }
        STDFILE out(target, "wb");
        ok = out.File != 0 && Compress(in.File, out.File);
        ok = out.Close() && ok;
    }
    if (!ok)
        remove(target);
    Logit("OSYS::GzipFile %s -> %s %s\n", source, target, ok ? "done" : "failed");
    return ok;
}

}
