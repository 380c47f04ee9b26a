// The four scan kinds. Each creates one engine instance, owned for the length of its run.
#include "Scanner/Scanner.h"

#include "Engine/EngineEnumerations.h"
#include "Program/LogError.h"
#include "Scanner/ScanCalls.h"

#include "FileSystemHelper/Drives.h"

#include <windows.h>

namespace BriskenCommandLineScanner
{

namespace
{

const wchar_t* const systemScanFailed = L"Couldn't perform system scan. Error: ";
const wchar_t* const bootScanFailed = L"Couldn't perform boot scan. Error: ";
const wchar_t* const fullScanFailed = L"Couldn't perform full scan. Error: ";
const wchar_t* const customScanFailed = L"Couldn't perform custom scan. Error: ";

// A failed scan call is logged and the scan goes on.
void LogFailedCall(const wchar_t* message, int result)
{
    if (result != EngineSdk::Result::Success)
        LogError(message, ErrorToString(result));
}

bool IsFixedDrive(const std::wstring& root)
{
    return GetDriveTypeW(root.c_str()) == DRIVE_FIXED;
}

void ScanDrive(ScanCalls& engine, const FileSystemHelper::Drive& drive, std::vector<std::wstring>& scannedPaths)
{
    const std::wstring& root = drive.Path();
    if (IsFixedDrive(root))
        LogFailedCall(bootScanFailed, engine.ScanBootSector(root));
    LogFailedCall(fullScanFailed, engine.ScanPath(root));
    scannedPaths.push_back(root);
}

void ScanBootSector(ScanCalls& engine, const FileSystemHelper::Drive& drive, std::vector<std::wstring>& scannedPaths)
{
    const std::wstring& root = drive.Path();
    if (!IsFixedDrive(root))
        return;
    LogFailedCall(bootScanFailed, engine.ScanBootSector(root));
    scannedPaths.push_back(root);
}

void ScanCustomPath(ScanCalls& engine, const std::wstring& path, std::vector<std::wstring>& scannedPaths)
{
    LogFailedCall(customScanFailed, engine.ScanPath(path));
    scannedPaths.push_back(path);
}

} // namespace

void Scanner::SystemScan()
{
    ScanCalls engine(scanDll, CreateOwnedScanner(), {true, false});
    LogFailedCall(systemScanFailed, engine.ScanSystemObject());
    result.scannedPaths.push_back(EngineSdk::SystemObjectName);
}

void Scanner::FullScan()
{
    ScanCalls engine(scanDll, CreateOwnedScanner(), {true, true});
    LogFailedCall(systemScanFailed, engine.ScanSystemObject());
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
