// The part of the operating-system layer that text and containers use, for
// the native Linux build: files through POSIX with the Windows C runtime's
// text mode, locks through the standard library, the system's code-page
// conversions through iconv.

#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "framework/app/logit.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "framework/text/strings.h"

namespace
{
    // One translator per direction and code page, per thread (iconv_t is not
    // shared between threads).
    class CONVERTERS
    {
    public:
        ~CONVERTERS()
        {
            for (auto& entry : Open)
            {
                if (entry.second != (iconv_t)-1)
                    iconv_close(entry.second);
            }
        }
        iconv_t Get(int codepage, bool toWide)
        {
            const int key = toWide ? codepage : -codepage - 1;
            auto found = Open.find(key);
            if (found != Open.end())
                return found->second;
            std::string name = IconvName(codepage);
            iconv_t cd = toWide ? iconv_open("UTF-16LE", name.c_str()) : iconv_open(name.c_str(), "UTF-16LE");
            Open[key] = cd;
            return cd;
        }

    private:
        static std::string IconvName(int codepage)
        {
            if (codepage == 65001)
                return "UTF-8";
            if (codepage == 20127)
                return "ASCII";
            if (codepage >= 28591 && codepage <= 28606)
                return "ISO-8859-" + std::to_string(codepage - 28590);
            return "CP" + std::to_string(codepage);
        }
        std::map<int, iconv_t> Open;
    };

    thread_local CONVERTERS tConverters;

    // Runs cd over the input. A byte or unit the code page cannot take is
    // replaced by fallback() and skipped. The output goes to out while it
    // fits; the result is the length needed, or -1 when it did not fit.
    template <class IN, class FALLBACK>
    int Convert(iconv_t cd, const IN* in, size_t count, char* out, size_t outmax, FALLBACK fallback)
    {
        iconv(cd, 0, 0, 0, 0);
        char* src = const_cast<char*>(reinterpret_cast<const char*>(in));
        size_t srcleft = count * sizeof(IN);
        std::vector<char> scratch(out ? 0 : 4096);
        size_t needed = 0;
        bool fits = true;
        while (srcleft > 0)
        {
            char* dst = out && fits ? out + needed : scratch.data();
            size_t room = out && fits ? outmax - needed : scratch.size();
            size_t before = room;
            size_t rc = iconv(cd, &src, &srcleft, &dst, &room);
            needed += before - room;
            if (rc != (size_t)-1)
                break;
            if (errno == E2BIG)
            {
                if (out)
                {
                    fits = false;
                    scratch.resize(4096);
                }
                continue;
            }
            // EILSEQ or EINVAL: one unit the other side lacks.
            std::string replacement = fallback(src);
            if (out && fits && needed + replacement.size() <= outmax)
                memcpy(out + needed, replacement.data(), replacement.size());
            else if (out)
                fits = false;
            needed += replacement.size();
            src += sizeof(IN);
            srcleft -= sizeof(IN);
        }
        return fits ? (int)needed : -1;
    }

    size_t UnitCount(const char16_t* text)
    {
        size_t n = 0;
        while (text[n])
            n++;
        return n;
    }

    // An open text-mode stream: CR LF reads as LF, Ctrl+Z ends the file,
    // LF is written as CR LF.
    struct TEXTFILE
    {
        int Fd = -1;
        bool Eof = false;
        size_t Pos = 0;
        size_t Len = 0;
        unsigned char Raw[65536];
    };

    std::mutex gTextFilesLock;
    std::vector<std::pair<FILE*, TEXTFILE*>> gTextFiles;

    ssize_t ReadSome(int fd, unsigned char* buffer, size_t size)
    {
        for (;;)
        {
            ssize_t got = read(fd, buffer, size);
            if (got >= 0 || errno != EINTR)
                return got;
        }
    }

    ssize_t TextRead(void* cookie, char* out, size_t size)
    {
        TEXTFILE* file = static_cast<TEXTFILE*>(cookie);
        size_t n = 0;
        while (n < size && !file->Eof)
        {
            if (file->Pos == file->Len)
            {
                if (n > 0)
                    break;
                ssize_t got = ReadSome(file->Fd, file->Raw, sizeof(file->Raw));
                if (got < 0)
                    return -1;
                file->Pos = 0;
                file->Len = (size_t)got;
                if (got == 0)
                    file->Eof = true;
                continue;
            }
            unsigned char byte = file->Raw[file->Pos];
            if (byte == 0x1A)
            {
                file->Eof = true;
                break;
            }
            if (byte == '\r' && file->Pos + 1 == file->Len)
            {
                // A CR at the end of what was read: look at the next byte first.
                file->Raw[0] = '\r';
                file->Pos = 0;
                file->Len = 1;
                ssize_t got = ReadSome(file->Fd, file->Raw + 1, sizeof(file->Raw) - 1);
                if (got < 0)
                    return n > 0 ? (ssize_t)n : -1;
                file->Len += (size_t)got;
            }
            if (byte == '\r' && file->Pos + 1 < file->Len && file->Raw[file->Pos + 1] == '\n')
            {
                out[n++] = '\n';
                file->Pos += 2;
                continue;
            }
            out[n++] = (char)byte;
            file->Pos++;
        }
        return (ssize_t)n;
    }

    bool WriteAll(int fd, const char* data, size_t size)
    {
        while (size > 0)
        {
            ssize_t done = write(fd, data, size);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                return false;
            data += done;
            size -= (size_t)done;
        }
        return true;
    }

    ssize_t TextWrite(void* cookie, const char* data, size_t size)
    {
        TEXTFILE* file = static_cast<TEXTFILE*>(cookie);
        char out[8192];
        size_t used = 0;
        for (size_t i = 0; i < size; i++)
        {
            if (data[i] == '\n')
                out[used++] = '\r';
            out[used++] = data[i];
            if (used >= sizeof(out) - 2)
            {
                if (!WriteAll(file->Fd, out, used))
                    return 0;
                used = 0;
            }
        }
        if (used > 0 && !WriteAll(file->Fd, out, used))
            return 0;
        return (ssize_t)size;
    }

    int TextSeek(void* cookie, off64_t* offset, int whence)
    {
        TEXTFILE* file = static_cast<TEXTFILE*>(cookie);
        off64_t at = lseek64(file->Fd, *offset, whence);
        if (at < 0)
            return -1;
        *offset = at;
        file->Pos = file->Len = 0;
        file->Eof = false;
        return 0;
    }

    int TextClose(void* cookie)
    {
        TEXTFILE* file = static_cast<TEXTFILE*>(cookie);
        {
            std::lock_guard<std::mutex> guard(gTextFilesLock);
            for (size_t i = 0; i < gTextFiles.size(); i++)
            {
                if (gTextFiles[i].second == file)
                {
                    gTextFiles.erase(gTextFiles.begin() + (ptrdiff_t)i);
                    break;
                }
            }
        }
        int rc = close(file->Fd);
        delete file;
        return rc;
    }
}


namespace OSYS
{
int GetAnsiCodePage()
{
    return 1252;
}

int GetOemCodePage()
{
    return 437;
}

// len -1 takes the text with its terminating zero, as the Windows calls do.
int MultiByteToWide(int codepage, const char* text, int len, char16_t* out, int outmax)
{
    if (!text || len == 0 || (out && outmax <= 0))
        return 0;
    size_t count = len < 0 ? strlen(text) + 1 : (size_t)len;
    iconv_t cd = tConverters.Get(codepage, true);
    if (cd == (iconv_t)-1)
        return 0;
    // A byte without a character reads as the unit of the same value.
    auto fallback = [](const char* at) {
        char16_t unit = (unsigned char)*at;
        return std::string(reinterpret_cast<const char*>(&unit), sizeof(unit));
    };
    int bytes = Convert(cd, text, count, reinterpret_cast<char*>(out), out ? (size_t)outmax * 2 : 0, fallback);
    return bytes > 0 ? bytes / 2 : 0;
}

int WideToMultiByte(int codepage, const char16_t* wtext, int len, char* out, int outmax, int* usedDefault)
{
    if (usedDefault)
        *usedDefault = 0;
    if (!wtext || len == 0 || (out && outmax <= 0))
        return 0;
    size_t count = len < 0 ? UnitCount(wtext) + 1 : (size_t)len;
    iconv_t cd = tConverters.Get(codepage, false);
    if (cd == (iconv_t)-1)
        return 0;
    // UTF-8 writes U+FFFD for a lone surrogate; the other pages '?'.
    bool used = false;
    const bool utf8 = codepage == 65001;
    auto fallback = [&used, utf8](const char*) {
        if (utf8)
            return std::string("\xEF\xBF\xBD");
        used = true;
        return std::string("?");
    };
    int n = Convert(cd, wtext, count, out, out ? (size_t)outmax : 0, fallback);
    if (usedDefault)
        *usedDefault = used;
    return n > 0 ? n : 0;
}

int FormatV(char* buffer, size_t size, const char* format, va_list args)
{
    return vsnprintf(buffer, size, format, args);
}

// The Windows wide printf: %s and %ls take 16-bit text, %hs 8-bit text,
// %c a 16-bit unit. The other conversions go through the C formatter.
int FormatWideV(char16_t* buffer, int size, const char16_t* format, va_list args)
{
    if (!format)
        return -1;
    std::u16string result;
    auto appendNarrow = [&result](const char* text, size_t n) {
        for (size_t i = 0; i < n; i++)
            result.push_back((unsigned char)text[i]);
    };
    va_list ap;
    va_copy(ap, args);
    for (const char16_t* p = format; *p;)
    {
        if (*p != u'%')
        {
            result.push_back(*p++);
            continue;
        }
        std::string piece = "%";
        const char16_t* q = p + 1;
        while (*q && strchr("-+ #0", (int)*q) && *q < 128)
            piece.push_back((char)*q++);
        auto number = [&]() {
            if (*q == u'*')
            {
                piece += std::to_string(va_arg(ap, int));
                q++;
                return;
            }
            while (*q >= u'0' && *q <= u'9')
                piece.push_back((char)*q++);
        };
        number();
        if (*q == u'.')
        {
            piece.push_back('.');
            q++;
            number();
        }
        std::string length;
        while (*q && *q < 128 && strchr("hlLqjzt", (int)*q))
            length.push_back((char)*q++);
        if (length == "I64")
            length = "ll";
        char16_t conversion = *q ? *q++ : 0;
        char narrow[512];
        switch (conversion)
        {
        case u'%':
            result.push_back(u'%');
            break;
        case u's':
        case u'S':
        {
            int precision = -1;
            size_t dot = piece.find('.');
            if (dot != std::string::npos)
                precision = atoi(piece.c_str() + dot + 1);
            int width = atoi(piece.c_str() + strspn(piece.c_str(), "%-+ #0"));
            bool left = piece.find('-') != std::string::npos;
            std::u16string text;
            if (length == "h")
            {
                const char* s = va_arg(ap, const char*);
                s = s ? s : "(null)";
                for (; *s && (precision < 0 || (int)text.size() < precision); s++)
                    text.push_back((unsigned char)*s);
            }
            else
            {
                const char16_t* s = va_arg(ap, const char16_t*);
                s = s ? s : u"(null)";
                for (; *s && (precision < 0 || (int)text.size() < precision); s++)
                    text.push_back(*s);
            }
            if (!left && (int)text.size() < width)
                result.append((size_t)width - text.size(), u' ');
            result += text;
            if (left && (int)text.size() < width)
                result.append((size_t)width - text.size(), u' ');
            break;
        }
        case u'c':
        case u'C':
        {
            char16_t unit = (char16_t)va_arg(ap, int);
            result.push_back(unit);
            break;
        }
        case u'd':
        case u'i':
        case u'u':
        case u'x':
        case u'X':
        case u'o':
        {
            piece += length;
            piece.push_back((char)conversion);
            int n;
            if (length == "ll" || length == "j" || length == "q")
                n = snprintf(narrow, sizeof(narrow), piece.c_str(), va_arg(ap, long long));
            else if (length == "l")
                n = snprintf(narrow, sizeof(narrow), piece.c_str(), va_arg(ap, long));
            else if (length == "z" || length == "t")
                n = snprintf(narrow, sizeof(narrow), piece.c_str(), va_arg(ap, size_t));
            else
                n = snprintf(narrow, sizeof(narrow), piece.c_str(), va_arg(ap, int));
            appendNarrow(narrow, n > 0 ? (size_t)n : 0);
            break;
        }
        case u'f':
        case u'F':
        case u'e':
        case u'E':
        case u'g':
        case u'G':
        case u'a':
        case u'A':
        {
            piece += length == "L" ? "L" : "";
            piece.push_back((char)conversion);
            int n = length == "L" ? snprintf(narrow, sizeof(narrow), piece.c_str(), va_arg(ap, long double))
                                  : snprintf(narrow, sizeof(narrow), piece.c_str(), va_arg(ap, double));
            appendNarrow(narrow, n > 0 ? (size_t)n : 0);
            break;
        }
        case u'p':
        {
            int n = snprintf(narrow, sizeof(narrow), "%p", va_arg(ap, void*));
            appendNarrow(narrow, n > 0 ? (size_t)n : 0);
            break;
        }
        default:
            va_end(ap);
            return -1;
        }
        p = q;
    }
    va_end(ap);
    int needed = (int)result.size();
    if (buffer && size > 0)
    {
        int n = needed < size ? needed : size - 1;
        memcpy(buffer, result.data(), (size_t)n * sizeof(char16_t));
        buffer[n] = 0;
    }
    return needed;
}

STRING GetErrorText(int code)
{
    int error = code == -4711 ? errno : code;
    return STRING(strerror(error));
}

int GetLastError()
{
    return errno;
}

void SetLastError(int code)
{
    errno = code;
}

uint32_t GetCurrentThreadId()
{
    return (uint32_t)gettid();
}

bool PerformanceCounter(int64_t* counter, int64_t* frequency)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (counter)
        *counter = (int64_t)now.tv_sec * 1000000000 + now.tv_nsec;
    if (frequency)
        *frequency = 1000000000;
    return true;
}
}


// Only unnamed mutexes: named ones are shared between Windows processes.
MUTEXSEM::MUTEXSEM(int state, const char* name, int openmode) : hmux(0), OwnerThreadId(0)
{
    if (openmode != CREATE && openmode != OPEN)
        AssertHandler(0, "openmode==MUTEXSEM::CREATE || openmode==MUTEXSEM::OPEN", __FILE__, __LINE__, 0, 0);
    if (state != 0 && openmode != CREATE)
        AssertHandler(0, "state==0 || openmode==MUTEXSEM::CREATE", __FILE__, __LINE__, 0, 0);
    AssertHandler(name == 0 && openmode == CREATE, "name==NULL", __FILE__, __LINE__, name, 0);
    std::recursive_timed_mutex* mutex = new std::recursive_timed_mutex();
    hmux = mutex;
    if (state != 0)
        Request(-1);
    LogitIf(11, "MUTEXSEM::MUTEXSEM created %p, name= %s\n", hmux, STRING::NullGuard(name));
}

MUTEXSEM::~MUTEXSEM()
{
    LogitIf(11, "MUTEXSEM::MUTEXSEM delete %p\n", hmux);
    delete static_cast<std::recursive_timed_mutex*>(hmux);
}

bool MUTEXSEM::Request(int timeout)
{
    std::recursive_timed_mutex* mutex = static_cast<std::recursive_timed_mutex*>(hmux);
    bool ok = timeout < 0 ? (mutex->lock(), true) : mutex->try_lock_for(std::chrono::milliseconds(timeout));
    if (ok)
        OwnerThreadId = OSYS::GetCurrentThreadId();
    return ok;
}

bool MUTEXSEM::Release()
{
    static_cast<std::recursive_timed_mutex*>(hmux)->unlock();
    return true;
}


CRITSECT::CRITSECT() : pCritSect(new std::recursive_mutex())
{
}

CRITSECT::~CRITSECT()
{
    delete static_cast<std::recursive_mutex*>(pCritSect);
}

void CRITSECT::Enter()
{
    static_cast<std::recursive_mutex*>(pCritSect)->lock();
}

void CRITSECT::Leave()
{
    static_cast<std::recursive_mutex*>(pCritSect)->unlock();
}


// Paths are taken as they stand: the Windows normalisation has nothing to do here.
FILENAME::FILENAME(const char* text) : Path(text), StatusValid(false), StatusSize(-1), StatusModified(0)
{
}

int64_t FILENAME::Size() const
{
    struct stat status;
    if (Path.IsEmpty() || stat(Path.Text(), &status) != 0)
        return -1;
    return status.st_size;
}

// Windows sharing has no POSIX counterpart and is not emulated; the text
// mode (no 'b' in the mode) is.
FILE* fsopen(const char* name, const char* mode, int share, int utf8)
{
    name = STRING::NullGuard(name);
    mode = STRING::NullGuard(mode);
    LogitIf(2, "FILENAME::fsopen(%s, %s, %d)\n", name, mode, share);
    std::string plain;
    for (const char* p = mode; *p; p++)
    {
        if (*p != 't')
            plain.push_back(*p);
    }
    FILE* stream = 0;
    if (strchr(mode, 'b'))
    {
        stream = fopen(name, plain.c_str());
    }
    else
    {
        const bool update = strchr(mode, '+') != 0;
        int flags = update ? O_RDWR : O_RDONLY;
        if (mode[0] == 'w')
            flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
        else if (mode[0] == 'a')
            flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
        else if (mode[0] != 'r')
            flags = -1;
        int fd = flags == -1 ? (errno = EINVAL, -1) : open(name, flags | O_CLOEXEC, 0666);
        if (fd >= 0)
        {
            TEXTFILE* file = new TEXTFILE();
            file->Fd = fd;
            cookie_io_functions_t io = {TextRead, TextWrite, TextSeek, TextClose};
            stream = fopencookie(file, plain.c_str(), io);
            if (stream)
            {
                std::lock_guard<std::mutex> guard(gTextFilesLock);
                gTextFiles.push_back({stream, file});
            }
            else
            {
                close(fd);
                delete file;
            }
        }
    }
    Logit("FILENAME::fsopen(%s, %s, %d) returns f= 0x%p\n", name, mode, share, (void*)stream);
    return stream;
}

bool fscommit(FILE* stream)
{
    if (!stream)
        return false;
    int fd = fileno(stream);
    {
        std::lock_guard<std::mutex> guard(gTextFilesLock);
        for (auto& entry : gTextFiles)
        {
            if (entry.first == stream)
                fd = entry.second->Fd;
        }
    }
    return fd >= 0 && fsync(fd) == 0;
}
