#include "Information/PluginsVersion.h"

#include "Program/LogLine.h"
#include "Program/Logger.h"
#include "Program/ProgramFolder.h"

#include "FileSystemHelper/File.h"

#include <boost/regex.hpp>

#include <fstream>

namespace BriskenCommandLineScanner
{

std::string ReadPluginsVersion()
{
    std::string result;
    try
    {
        // Text mode: a carriage return before a line feed is no part of the line.
        std::ifstream file(FileSystemHelper::File::StreamPath(ProgramFolder::Plugins() / "update.txt"));
        const boost::regex expression("Version: (.+)");
        std::string line;
        while (std::getline(file, line))
        {
            boost::smatch match;
            if (boost::regex_search(line, match, expression))
            {
                result = match[1];
                break;
            }
        }
    }
    catch (const std::exception& error)
    {
        Logger::Instance().Write(LogLine(L"Info", std::string(error.what())));
    }
    return result;
}

} // namespace BriskenCommandLineScanner
