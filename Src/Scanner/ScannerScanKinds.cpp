// The four scan kinds. Each creates one engine instance, owned for the length of its run.
#include "Scanner/Scanner.h"

#include "Engine/EngineEnumerations.h"
#include "Program/LogError.h"
#include "Scanner/NotScannedLine.h"
#include "Scanner/ScanCalls.h"

#include "FileSystemHelper/Drives.h"
#include "StringHelper/StringHelper.h"

#include <windows.h>

namespace BriskenCommandLineScanner
{

namespace
{

// An engine call of a scan and the words for its failure: the log's message (ending in "Error: ")
// with the label of the call's object, and what the console says was not scanned.
struct ScanCall
{
    const wchar_t* logMessage;
    const wchar_t* logLabel;
    const wchar_t* consoleSubject;
};

const ScanCall systemCall = {L"Couldn't perform system scan. Error: ", L"Object", NotScannedObject};
const ScanCall bootSectorCall = {L"Couldn't perform boot scan. Error: ", L"Drive", NotScannedBootSector};
const ScanCall driveCall = {L"Couldn't perform full scan. Error: ", L"Drive", L"drive"};
const ScanCall customPathCall = {L"Couldn't perform custom scan. Error: ", L"Path", L"path"};

// A failed scan call is logged and the scan goes on. Its object is still listed in the result,
// and read-only mode writes no log: the console line, shown at once, is where a user or a script
// learns that it was not scanned. The object's name may come from the command line, so it is
// masked like any text from outside.
void ReportFailedCall(const ScanCall& call, const std::wstring& object, int result)
{
    if (result == EngineSdk::Result::Success)
        return;
    const std::wstring error = ErrorNameOrCode(result);
    const std::wstring name = StringHelper::MaskControlCharacters(object);
    LogError(call.logMessage, error, L". ", call.logLabel, L": ", name);
    PrintNotScanned(call.consoleSubject, name, error);
}

bool IsFixedDrive(const std::wstring& root)
{
    return GetDriveTypeW(root.c_str()) == DRIVE_FIXED;
}

void ScanDrive(ScanCalls& engine, const FileSystemHelper::Drive& drive, std::vector<std::wstring>& scannedPaths)
{
    const std::wstring& root = drive.Path();
    if (IsFixedDrive(root))
        ReportFailedCall(bootSectorCall, root, engine.ScanBootSector(root));
    ReportFailedCall(driveCall, root, engine.ScanPath(root));
    scannedPaths.push_back(root);
}

void ScanBootSector(ScanCalls& engine, const FileSystemHelper::Drive& drive, std::vector<std::wstring>& scannedPaths)
{
    const std::wstring& root = drive.Path();
    if (!IsFixedDrive(root))
        return;
    ReportFailedCall(bootSectorCall, root, engine.ScanBootSector(root));
    scannedPaths.push_back(root);
}

void ScanCustomPath(ScanCalls& engine, const std::wstring& path, std::vector<std::wstring>& scannedPaths)
{
    ReportFailedCall(customPathCall, path, engine.ScanPath(path));
    scannedPaths.push_back(path);
}

} // namespace

void Scanner::SystemScan()
{
    ScanCalls engine(scanDll, CreateOwnedScanner(), {true, false});
    ReportFailedCall(systemCall, EngineSdk::SystemObjectName, engine.ScanSystemObject());
    result.scannedPaths.push_back(EngineSdk::SystemObjectName);
}

void Scanner::FullScan()
{
    ScanCalls engine(scanDll, CreateOwnedScanner(), {true, true});
    ReportFailedCall(systemCall, EngineSdk::SystemObjectName, engine.ScanSystemObject());
    const FileSystemHelper::Drives drives;
    for (const auto& drive : drives)
        ScanDrive(engine, *drive, result.scannedPaths);
}

void Scanner::CustomScan()
{
    ScanCalls engine(scanDll, CreateOwnedScanner(), {false, true});
    for (const std::wstring& path : request.paths)
        ScanCustomPath(engine, path, result.scannedPaths);
}

void Scanner::BootScan()
{
    ScanCalls engine(scanDll, CreateOwnedScanner(), {true, false});
    const FileSystemHelper::Drives drives;
    for (const auto& drive : drives)
        ScanBootSector(engine, *drive, result.scannedPaths);
}

} // namespace BriskenCommandLineScanner
