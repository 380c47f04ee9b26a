#include "Program/Config.h"

#include "Program/ProgramFolder.h"

#include "FileSystemHelper/File.h"

#include <boost/exception/exception.hpp>
#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <fstream>

namespace BriskenCommandLineScanner
{

Config& Config::Instance()
{
    return Singleton<Config>::Instance();
}

Config::Config()
{
    // Settings read before a problem keep their values: read_only first, then engines_folder.
    try
    {
        const boost::filesystem::path file = ProgramFolder::Path() / FileName();
        // Opened here by its wide name: given the name, read_ini opens it by the narrow one. A
        // stream takes the global locale, still the classic one this early; text mode, as read_ini.
        std::ifstream stream(FileSystemHelper::File::StreamPath(file));
        boost::property_tree::ptree tree;
        if (stream)
            boost::property_tree::read_ini(stream, tree);
        read_only = tree.get<bool>("read_only");
        enginesFolder = boost::filesystem::path(tree.get<std::string>("engines_folder")).wstring();
    }
    catch (const std::exception&)
    {
    }

    if (enginesFolder.empty())
    {
        try
        {
            enginesFolder = ProgramFolder::Path().wstring();
        }
        catch (const boost::exception&)
        {
        }
    }
}

std::wstring Config::EnginesFolder() const
{
    return enginesFolder;
}

boost::filesystem::path Config::FileName()
{
    return boost::filesystem::path("config.ini");
}

} // namespace BriskenCommandLineScanner
