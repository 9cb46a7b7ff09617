#pragma once
// Files and the captured log: the helpers that need no Windows, shared by the
// Windows tests and the native build.

#include <string>
#include <vector>

namespace TESTSUPPORT
{
    // A fresh directory under the system's temporary folder, removed with
    // everything in it when the object goes.
    class TEMPDIR
    {
    public:
        explicit TEMPDIR(const char* tag = "t");
        ~TEMPDIR();
        TEMPDIR(const TEMPDIR&) = delete;
        TEMPDIR& operator=(const TEMPDIR&) = delete;
        const std::string& Path() const { return Dir; }
        std::string File(const std::string& name) const;   // with the system's separator

    private:
        std::string Dir;
    };

    // The diagnostic log, written at the given level to a file of its own
    // while the object lives; LogitLevel is restored afterwards.
    class LOGCAPTURE
    {
    public:
        explicit LOGCAPTURE(unsigned level);
        ~LOGCAPTURE();
        LOGCAPTURE(const LOGCAPTURE&) = delete;
        LOGCAPTURE& operator=(const LOGCAPTURE&) = delete;
        // Closes the log; the text of each line behind its time stamp and
        // indentation, only the lines that begin with prefix.
        std::vector<std::string> Lines(const std::string& prefix = "");

    private:
        void Close();
        TEMPDIR Dir{"log"};
        std::string Path;
        unsigned PreviousLevel;
        bool Closed = false;
    };
    // The lines of a log file written by another process, as LOGCAPTURE::Lines.
    std::vector<std::string> LogLines(const std::string& path, const std::string& prefix = "");

    std::string ReadFile(const std::string& path);
    std::string ReadTextFile(const std::string& path);   // CR LF read as LF
    bool WriteFile(const std::string& path, const std::string& bytes);
    bool FileExists(const std::string& path);
    std::vector<std::string> SplitLines(const std::string& text);   // CR LF or LF
    // A variable of this process's environment; an empty value removes it.
    void SetEnvironment(const std::string& name, const std::string& value);
}
