#pragma once

#include "Program/Singleton.h"

#include <boost/filesystem/path.hpp>

#include <string>

namespace BriskenCommandLineScanner
{

// The settings of config.ini in the program folder. Reading never fails visibly: whatever goes
// wrong leaves the defaults (read-only off, engines folder = program folder).
class Config
{
public:
    static Config& Instance();

    std::wstring EnginesFolder() const;
    static boost::filesystem::path FileName();

    bool read_only = false;

private:
    friend class Singleton<Config>;
    Config();

    std::wstring enginesFolder;
};

} // namespace BriskenCommandLineScanner
