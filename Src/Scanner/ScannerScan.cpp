// The scan run: request, times, result path, dispatch to the scan kind, report.
#include "Scanner/Scanner.h"

#include "Engine/EngineEnumerations.h"
#include "Program/Config.h"
#include "Program/LogError.h"
#include "Program/ProgramFolder.h"
#include "Report/ScanResultReport.h"

#include "FileSystemHelper/Containment.h"
#include "FileSystemHelper/FileName.h"
#include "StringHelper/StringHelper.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include <iostream>

namespace BriskenCommandLineScanner
{

namespace
{

// The name of the file at path as Windows stores it: without the dots and blanks it drops from
// the end. A path in the \\?\ form is taken as it is written.
std::wstring ScanResultFileName(const boost::filesystem::path& path)
{
    const std::wstring name = path.filename().wstring();
    return FileSystemHelper::IsLongForm(path.wstring()) || name == L"." || name == L".."
        ? name : FileSystemHelper::StoredName(name);
}

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
    if (!destination.readOnly && !scanResultRefusal.empty())
    {
        LogError(scanResultRefusal, StringHelper::MaskControlCharacters(request.scanResultPath));
        destination.fileRefused = true;
    }
    BriskenCommandLineScanner::SaveScanResult(result, destination);
}

void Scanner::SettleScanResultPath()
{
    boost::filesystem::path path(request.scanResultPath);
    if (path.empty())
        path = DefaultScanResultPath();
    else if (!path.has_relative_path())
        path /= DefaultScanResultFileName(); // a bare drive such as D: names no file
    request.scanResultPath = path.wstring();

    scanResultRefusal = ScanResultRefusal(path);
    if (!scanResultRefusal.empty())
        return;
    // The file Windows makes of r.xml. is r.xml: the path says so, and names no folder.
    const std::wstring name = ScanResultFileName(path);
    if (name != path.filename().wstring())
        request.scanResultPath = (path.parent_path() / name).wstring();

    // A folder that cannot be made is reported by the save, which cannot write there.
    const boost::filesystem::path folder = path.parent_path();
    boost::system::error_code error;
    const boost::filesystem::file_status status = boost::filesystem::status(folder, error);
    if (error || status.type() == boost::filesystem::file_not_found)
        boost::filesystem::create_directories(folder, error);
}

std::wstring Scanner::ScanResultRefusal(const boost::filesystem::path& path) const
{
    // Folders whose content goes: a report there would be announced, then lost.
    const struct
    {
        boost::filesystem::path folder;
        const wchar_t* refusal;
    } emptiedFolders[] = {
        {tempFolder, L"The scan result path lies in the engine's temporary folder: "}, // when the run ends
        {ProgramFolder::Logs(ProgramFolder::Path()), L"The scan result path lies in the log folder: "}, // at each start
        {ProgramFolder::UpdateStaging(), L"The scan result path lies in the definitions update's folder: "},
    };
    for (const auto& emptied : emptiedFolders)
    {
        if (!emptied.folder.empty() && FileSystemHelper::LeadsInto(path, emptied.folder))
            return emptied.refusal;
    }
    // "." and ".." name folders, which the save reports as it reports any folder.
    const std::wstring name = ScanResultFileName(path);
    if (name != L"." && name != L".." && !FileSystemHelper::IsFileName(name))
        return L"The scan result path does not end in a name that a file can have: ";
    return std::wstring();
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
