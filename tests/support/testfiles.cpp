// The file and log helpers that need no Windows.

#include "tests/support/testfiles.h"

#include <fstream>
#include <sstream>

#include "framework/app/logit.h"

namespace TESTSUPPORT
{

LOGCAPTURE::LOGCAPTURE(unsigned level) : Path(Dir.File("capture.log")), PreviousLevel(LogitLevel)
{
    LogitLevel = level;
    LogitOption(("/LOGIT:" + Path).c_str());
}

LOGCAPTURE::~LOGCAPTURE()
{
    Close();
}

void LOGCAPTURE::Close()
{
    if (Closed)
        return;
    LogitOption("/LOGITCLOSE");
    LogitLevel = PreviousLevel;
    Closed = true;
}

std::vector<std::string> LOGCAPTURE::Lines(const std::string& prefix)
{
    Close();
    return LogLines(Path, prefix);
}

std::vector<std::string> LogLines(const std::string& path, const std::string& prefix)
{
    std::vector<std::string> lines;
    for (std::string line : SplitLines(ReadFile(path)))
    {
        size_t header = line.find("] ");
        if (line.empty() || line[0] != '[' || header == std::string::npos)
            continue;
        line.erase(0, header + 2);
        while (line.compare(0, 2, "| ") == 0 || line.compare(0, 2, "@ ") == 0)
            line.erase(0, 2);
        if (line.compare(0, prefix.size(), prefix) == 0)
            lines.push_back(line);
    }
    return lines;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string ReadTextFile(const std::string& path)
{
    std::string bytes = ReadFile(path);
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); i++)
    {
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
            text.push_back(bytes[i]);
    }
    return text;
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
    return out.good();
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}
