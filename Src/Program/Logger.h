#pragma once

#include "Program/Singleton.h"

#include <boost/filesystem/path.hpp>

#include <fstream>
#include <string>

namespace BriskenCommandLineScanner
{

// This run's log file, Logs\<UTC start time>.txt in the program folder. A line is
// "<Level>: <message>"; Write adds the line end. Logging never fails visibly: without Init
// (read-only mode) or when the file cannot be opened, lines are dropped.
class Logger
{
public:
    static Logger& Instance();

    // Empties the Logs folder and names this run's file; never throws.
    void Init();
    void Write(const std::wstring& line);

    static boost::filesystem::path AppendLogsFolder(const boost::filesystem::path& path);

private:
    friend class Singleton<Logger>;
    Logger() = default;

    boost::filesystem::path logPath;
    std::wofstream stream;
};

} // namespace BriskenCommandLineScanner
