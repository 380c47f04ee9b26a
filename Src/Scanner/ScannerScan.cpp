// The scan run: request, times, result path, dispatch to the scan kind, report.
#include "Scanner/Scanner.h"

#include "Program/Config.h"
#include "Engine/EngineEnumerations.h"
#include "Program/LogLine.h"
#include "Program/Logger.h"

#include "Program/ProgramFolder.h"
#include "FileSystemHelper/Containment.h"
#include "StringHelper/StringHelper.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include <iostream>

namespace BriskenCommandLineScanner
{

void Scanner::Scan(const ScanRequest& scanRequest)
{
    // By scanType; any other value runs no scan.
    static void (Scanner::*const scanKinds[])() = {
        &Scanner::SystemScan, &Scanner::FullScan, &Scanner::CustomScan, &Scanner::BootScan,
    };

    request = scanRequest;
    scanTypeName = ScanTypeToString(request.scanType);
    startTime = CurrentTimeText();
    if (!Config::Instance().read_only)
        SettleScanResultPath();

    std::cout << "Scan started\n";
    if (request.scanType < sizeof scanKinds / sizeof scanKinds[0])
        (this->*scanKinds[request.scanType])();

    endTime = CurrentTimeText();
    SaveScanResult();
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

std::string Scanner::CurrentTimeText()
{
    try
    {
        return boost::posix_time::to_iso_string(boost::posix_time::microsec_clock::universal_time());
    }
    catch (const std::exception& error)
    {
        Logger::Instance().Write(LogLine(L"Error", std::string(error.what())));
        return std::string();
    }
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
    return scanTypeName + L"-" + StringHelper::ToWide(startTime, 0) + L".xml";
}

void Scanner::LogFailedCall(const wchar_t* message, int result)
{
    if (result != EngineSdk::Result::Success)
        Logger::Instance().Write(LogLine(L"Error", message, ErrorToString(result)));
}

} // namespace BriskenCommandLineScanner
