#pragma once

#include <boost/filesystem/path.hpp>

namespace BriskenCommandLineScanner
{

// The program folder (the folder of the running executable) and the names of what the program
// keeps there: the one place that knows them. Each call reads the module path afresh and throws
// ExceptionHelper::Windows "Couldn't get module file name" when it cannot be read.
namespace ProgramFolder
{

boost::filesystem::path Path();

boost::filesystem::path Temp();        // the engine's temporary folder, removed after each engine life
boost::filesystem::path Quarantine();  // where the engine moves quarantined objects
boost::filesystem::path Plugins();     // the engine's definitions, update.txt and cache.000
boost::filesystem::path ScanResults(); // the default folder of the scan result reports
boost::filesystem::path UpdateStaging(); // the update SDK's working folder, emptied by every update

// Below another base folder (callers that already hold the path, and tests).
boost::filesystem::path Logs(const boost::filesystem::path& base); // this run's log file, emptied at every start
boost::filesystem::path Plugins(const boost::filesystem::path& base);
boost::filesystem::path CacheFile(const boost::filesystem::path& base); // the engine's cache.000 in Plugins

} // namespace ProgramFolder

} // namespace BriskenCommandLineScanner
