#include "Program/Logger.h"

#include "Program/Latin1Codecvt.h"
#include "Program/ProgramFolder.h"

#include "FileSystemHelper/Removal.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem/operations.hpp>

#include <locale>
#include <regex>

namespace BriskenCommandLineScanner
{

namespace
{

// A file name this logger gives: the UTC start time, with microseconds when not zero, ".txt".
bool IsLogFileName(const boost::filesystem::path& name)
{
    static const std::wregex logFileName(L"[0-9]{8}T[0-9]{6}(\\.[0-9]{6})?\\.txt");
    return std::regex_match(name.wstring(), logFileName);
}

} // namespace

Logger& Logger::Instance()
{
    return Singleton<Logger>::Instance();
}

void Logger::Init()
{
    try
    {
        logPath = ProgramFolder::Path();
        const std::string name =
            boost::posix_time::to_iso_string(boost::posix_time::microsec_clock::universal_time()) + ".txt";
        logPath = AppendLogsFolder(logPath);
        // A linked Logs folder leads to a folder of someone else's: only earlier logs go there.
        FileSystemHelper::RemoveOwnFolder(logPath, IsLogFileName);
        boost::system::error_code ignored;
        boost::filesystem::create_directories(logPath, ignored);
        logPath /= name;
    }
    catch (const std::exception&)
    {
    }
}

void Logger::Write(const std::wstring& line)
{
    if (!stream.is_open())
    {
        if (logPath.empty())
            return;
        // The conversion must be in place before the file is opened.
        stream.imbue(std::locale(std::locale::classic(), new Latin1Codecvt));
        // Text mode, shared for reading and writing with other processes (the C run time's default).
        stream.open(logPath.wstring().c_str(), std::ios::out | std::ios::trunc);
        if (!stream.is_open())
            return;
        stream.clear();
    }
    stream << line << std::endl;
    stream.flush();
}

boost::filesystem::path Logger::AppendLogsFolder(const boost::filesystem::path& path)
{
    return ProgramFolder::Logs(path);
}

} // namespace BriskenCommandLineScanner
