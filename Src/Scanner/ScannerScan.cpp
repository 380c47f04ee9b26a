// The scan run: request, times, result path, dispatch to the scan kind, report.
#include "Scanner/Scanner.h"

#include "Engine/EngineEnumerations.h"
#include "Program/Config.h"
#include "Program/LogError.h"
#include "Program/ProgramFolder.h"
#include "Report/ScanResultReport.h"

#include "FileSystemHelper/Containment.h"
#include "StringHelper/StringHelper.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include <iostream>

namespace BriskenCommandLineScanner
{

namespace
{

std::string CurrentTimeText()
{
    try
    {
        return boost::posix_time::to_iso_string(boost::posix_time::microsec_clock::universal_time());
    }
    catch (const std::exception& error)
    {
        LogError(std::string(error.what()));
        return std::string();
    }
}

} // namespace

void Scanner::Scan(const ScanRequest& scanRequest)
{
    // Any other scan type runs no scan.
    static const struct
    {
        std::uint32_t scanType;
        void (Scanner::*run)();
    } scanKinds[] = {
        {ScanType::Quick, &Scanner::SystemScan},
        {ScanType::Full, &Scanner::FullScan},
        {ScanType::Custom, &Scanner::CustomScan},
        {ScanType::Boot, &Scanner::BootScan},
    };

    request = scanRequest;
    result.scanTypeName = ScanTypeToString(request.scanType);
    result.startTime = CurrentTimeText();
    if (!Config::Instance().read_only)
        SettleScanResultPath();

    std::cout << "Scan started\n";
    for (const auto& kind : scanKinds)
    {
        if (kind.scanType == request.scanType)
            (this->*kind.run)();
    }

    result.endTime = CurrentTimeText();
    SaveScanResult();
}

void Scanner::SaveScanResult() const
{
    ScanResultDestination destination;
    destination.file = request.scanResultPath;
    destination.readOnly = Config::Instance().read_only;
    destination.standardOutput = request.scanResultStdout;
    // Temp goes with the engine when the run ends: a report there would be announced, then lost.
    if (!destination.readOnly && ScanResultPathInTemp())
    {
        LogError(L"The scan result path lies in the engine's temporary folder: ",
            StringHelper::MaskControlCharacters(request.scanResultPath));
        destination.fileRefused = true;
    }
    BriskenCommandLineScanner::SaveScanResult(result, destination);
}

void Scanner::SettleScanResultPath()
{
    boost::filesystem::path path(request.scanResultPath);
    if (path.empty())
        path = DefaultScanResultPath();
    else if (!boost::filesystem::windows_name(path.filename().string()))
        path /= DefaultScanResultFileName(); // a bare drive such as D: names no file
    request.scanResultPath = path.wstring();

    // A folder that cannot be made is reported by the save, which cannot write there.
    const boost::filesystem::path folder = path.parent_path();
    boost::system::error_code error;
    const boost::filesystem::file_status status = boost::filesystem::status(folder, error);
    if (error || status.type() == boost::filesystem::file_not_found)
        boost::filesystem::create_directories(folder, error);
}

bool Scanner::ScanResultPathInTemp() const
{
    return !tempFolder.empty() && FileSystemHelper::LiesWithin(request.scanResultPath, tempFolder);
}

boost::filesystem::path Scanner::DefaultScanResultPath() const
{
    return ProgramFolder::ScanResults() / DefaultScanResultFileName();
}

std::wstring Scanner::DefaultScanResultFileName() const
{
    return result.scanTypeName + L"-" + StringHelper::ToWide(result.startTime, StringHelper::AnsiCodePage) + L".xml";
}

} // namespace BriskenCommandLineScanner
