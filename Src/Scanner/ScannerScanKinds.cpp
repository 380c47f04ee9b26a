// The four scan kinds. Each creates one engine instance, owned for the length of its run.
#include "Scanner/Scanner.h"

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

// The engine is told which process is scanning; read afresh for every call.
int OwnProcessId()
{
    return static_cast<int>(GetCurrentProcessId());
}

bool IsFixedDrive(const std::wstring& root)
{
    return GetDriveTypeW(root.c_str()) == DRIVE_FIXED;
}

} // namespace

void Scanner::SystemScan()
{
    const Instance instance = CreateOwnedScanner();
    const ScanObjectFunction scanObject(scanDll, EngineSdk::ScanObjectName);

    ObjectOutputs outputs;
    LogFailedCall(systemScanFailed, ScanSystemObject(instance, scanObject, outputs));
    result.scannedPaths.push_back(EngineSdk::SystemObjectName);
}

void Scanner::FullScan()
{
    const Instance instance = CreateOwnedScanner();
    const ScanObjectFunction scanObject(scanDll, EngineSdk::ScanObjectName);
    const ScanPathFunction scanPath(scanDll, EngineSdk::ScanPathName);

    ObjectOutputs outputs;
    LogFailedCall(systemScanFailed, ScanSystemObject(instance, scanObject, outputs));
    const FileSystemHelper::Drives drives;
    for (const auto& drive : drives)
        ScanDrive(*drive, instance, scanObject, scanPath, outputs);
}

void Scanner::ScanDrive(const FileSystemHelper::Drive& drive, const Instance& instance,
    const ScanObjectFunction& scanObject, const ScanPathFunction& scanPath, ObjectOutputs& outputs)
{
    const std::wstring& root = drive.Path();
    if (IsFixedDrive(root))
        LogFailedCall(bootScanFailed, ScanDriveBootSector(root, instance, scanObject, outputs));
    LogFailedCall(fullScanFailed, scanPath(instance.get(), 0, root.c_str(), OwnProcessId()));
    result.scannedPaths.push_back(root);
}

void Scanner::CustomScan()
{
    const Instance instance = CreateOwnedScanner();
    const ScanPathFunction scanPath(scanDll, EngineSdk::ScanPathName);

    for (const std::wstring& path : request.paths)
        ScanCustomPath(path, instance, scanPath);
}

void Scanner::ScanCustomPath(const std::wstring& path, const Instance& instance, const ScanPathFunction& scanPath)
{
    LogFailedCall(customScanFailed, scanPath(instance.get(), 0, path.c_str(), OwnProcessId()));
    result.scannedPaths.push_back(path);
}

void Scanner::BootScan()
{
    const Instance instance = CreateOwnedScanner();
    const ScanObjectFunction scanObject(scanDll, EngineSdk::ScanObjectName);

    ObjectOutputs outputs;
    const FileSystemHelper::Drives drives;
    for (const auto& drive : drives)
        ScanBootSector(*drive, instance, scanObject, outputs);
}

void Scanner::ScanBootSector(const FileSystemHelper::Drive& drive, const Instance& instance,
    const ScanObjectFunction& scanObject, ObjectOutputs& outputs)
{
    const std::wstring& root = drive.Path();
    if (!IsFixedDrive(root))
        return;
    LogFailedCall(bootScanFailed, ScanDriveBootSector(root, instance, scanObject, outputs));
    result.scannedPaths.push_back(root);
}

int Scanner::ScanSystemObject(const Instance& instance, const ScanObjectFunction& scanObject, ObjectOutputs& outputs)
{
    return scanObject(instance.get(), EngineSdk::ScanObjectSystem, EngineSdk::SystemObjectName, 0, &outputs.first,
        &outputs.second, &outputs.text, OwnProcessId(), EngineSdk::SystemObjectName);
}

int Scanner::ScanDriveBootSector(const std::wstring& root, const Instance& instance,
    const ScanObjectFunction& scanObject, ObjectOutputs& outputs)
{
    return scanObject(instance.get(), EngineSdk::ScanObjectBootSector, root.c_str(), 0, &outputs.first,
        &outputs.second, &outputs.text, OwnProcessId(), nullptr);
}

} // namespace BriskenCommandLineScanner
