#include "Program/ProgramFolder.h"

#include "ProcessHelper/ProcessHelper.h"

namespace BriskenCommandLineScanner
{
namespace ProgramFolder
{

boost::filesystem::path Path()
{
    return ProcessHelper::Process::Path().parent_path();
}

boost::filesystem::path Temp()
{
    return Path() / L"Temp";
}

boost::filesystem::path Quarantine()
{
    return Path() / L"Quarantine";
}

boost::filesystem::path Plugins()
{
    return Plugins(Path());
}

boost::filesystem::path ScanResults()
{
    return Path() / L"Scan Results";
}

boost::filesystem::path UpdateStaging()
{
    return Path() / L"UpdateStaging";
}

boost::filesystem::path Logs(const boost::filesystem::path& base)
{
    return base / L"Logs";
}

boost::filesystem::path Plugins(const boost::filesystem::path& base)
{
    return base / L"Plugins";
}

boost::filesystem::path CacheFile(const boost::filesystem::path& base)
{
    return Plugins(base) / L"cache.000";
}

} // namespace ProgramFolder
} // namespace BriskenCommandLineScanner
