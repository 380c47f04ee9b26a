#include "Scanner/ScanCalls.h"

#include <windows.h>

namespace BriskenCommandLineScanner
{

namespace
{

// The engine is told which process is scanning; read afresh for every call.
int OwnProcessId()
{
    return static_cast<int>(GetCurrentProcessId());
}

} // namespace

ScanCalls::ScanCalls(const EngineModule& module, EngineInstance instance, Needs needs) : instance(std::move(instance))
{
    if (needs.objects)
        scanObject.emplace(module, EngineSdk::ScanObjectName);
    if (needs.paths)
        scanPath.emplace(module, EngineSdk::ScanPathName);
}

int ScanCalls::ScanSystemObject()
{
    return (*scanObject)(instance.get(), EngineSdk::ScanObjectSystem, EngineSdk::SystemObjectName, 0, &firstOutput,
        &secondOutput, &textOutput, OwnProcessId(), EngineSdk::SystemObjectName);
}

int ScanCalls::ScanBootSector(const std::wstring& root)
{
    return (*scanObject)(instance.get(), EngineSdk::ScanObjectBootSector, root.c_str(), 0, &firstOutput,
        &secondOutput, &textOutput, OwnProcessId(), nullptr);
}

int ScanCalls::ScanPath(const std::wstring& path)
{
    return (*scanPath)(instance.get(), 0, path.c_str(), OwnProcessId());
}

} // namespace BriskenCommandLineScanner
