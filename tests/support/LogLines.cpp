#include "support/LogLines.h"

#include "Program/Logger.h"

#include "ProcessHelper/ProcessHelper.h"

#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>

#include <iterator>

namespace TestSupport
{

namespace
{

// The whole log so far; the logger creates its file at the first line.
std::string Content()
{
    namespace fs = boost::filesystem;
    const fs::path logs = BriskenCommandLineScanner::Logger::AppendLogsFolder(ProcessHelper::Process::Path().parent_path());
    boost::system::error_code ignored;
    for (fs::directory_iterator entry(logs, ignored), end; entry != end; entry.increment(ignored))
    {
        fs::ifstream file(entry->path(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    return std::string();
}

} // namespace

LogLines::LogLines()
{
    // Init empties the Logs folder, which an open log file would survive: once per process.
    static const bool started = [] {
        BriskenCommandLineScanner::Logger::Instance().Init();
        return true;
    }();
    (void)started;
    start = Content().size();
}

std::vector<std::string> LogLines::Lines() const
{
    const std::string content = Content();
    std::vector<std::string> lines;
    std::size_t from = start;
    while (from < content.size())
    {
        std::size_t end = content.find("\r\n", from);
        if (end == std::string::npos)
            end = content.size();
        lines.push_back(content.substr(from, end - from));
        from = end + 2;
    }
    return lines;
}

} // namespace TestSupport
