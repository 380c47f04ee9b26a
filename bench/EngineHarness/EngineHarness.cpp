// EngineHarness <engine folder> <path to scan>
//
// Loads scan.dll from the engine folder, initialises it as the program does (InitializeEx
// with the folder as program folder, its Plugins definitions, BKSmartDB.dll beside it),
// creates one instance with a callback that only counts, scans the path once and prints
// the objects reported, the seconds spent in ThreatScanner_ScanPath and objects per second.
// Exit code 0 on success, 1 for usage, 2 when the engine cannot be loaded or set up, 3 when
// the scan call fails.

#include "EngineSdk.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace
{

unsigned long long objects = 0;

void CountingCallback(_ScanCbkParams*, int*, void*)
{
    ++objects;
}

template <typename Signature>
Signature* Lookup(HMODULE module, const char* name)
{
    Signature* function = reinterpret_cast<Signature*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!function)
        std::fprintf(stderr, "missing export %s\n", name);
    return function;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: EngineHarness <engine folder> <path to scan>\n");
        return 1;
    }
    std::wstring folder = argv[1];
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    const HMODULE module = LoadLibraryW((folder + L"\\" + EngineSdk::ScanModuleName).c_str());
    if (!module)
    {
        std::fprintf(stderr, "cannot load scan.dll from %ls (error %lu)\n", folder.c_str(), GetLastError());
        return 2;
    }
    const auto initializeEx = Lookup<ThreatScanner_InitializeEx_t>(module, EngineSdk::InitializeExName);
    const auto uninitialize = Lookup<ThreatScanner_Uninitialize_t>(module, EngineSdk::UninitializeName);
    const auto createInstance = Lookup<ThreatScanner_CreateInstance_t>(module, EngineSdk::CreateInstanceName);
    const auto destroyInstance = Lookup<ThreatScanner_DestroyInstance_t>(module, EngineSdk::DestroyInstanceName);
    const auto setScanCallback = Lookup<ThreatScanner_SetScanCallback2_t>(module, EngineSdk::SetScanCallback2Name);
    const auto scanPath = Lookup<ThreatScanner_ScanPath_t>(module, EngineSdk::ScanPathName);
    if (!initializeEx || !uninitialize || !createInstance || !destroyInstance || !setScanCallback || !scanPath)
        return 2;

    std::wstring smartDb = folder + L"\\" + EngineSdk::SmartDbModuleName;
    const std::wstring quarantine = folder + L"\\Quarantine";
    const std::wstring temp = folder + L"\\Temp";
    _InitializeParams params{};
    params.size = sizeof(params);
    params.programFolder = folder.c_str();
    params.quarantineFolder = quarantine.c_str();
    params.tempFolder = temp.c_str();
    int result = initializeEx(folder.c_str(), EngineSdk::InitializationText, &smartDb[0], &params);
    if (result != 0)
    {
        std::fprintf(stderr, "ThreatScanner_InitializeEx failed: 0x%08X\n", static_cast<unsigned>(result));
        return 2;
    }
    CThreatScannerStruct* instance = nullptr;
    result = createInstance(&instance);
    if (result != 0)
    {
        std::fprintf(stderr, "ThreatScanner_CreateInstance failed: 0x%08X\n", static_cast<unsigned>(result));
        uninitialize();
        return 2;
    }
    setScanCallback(instance, &CountingCallback, nullptr);

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    result = scanPath(instance, 0, argv[2], static_cast<int>(GetCurrentProcessId()));
    QueryPerformanceCounter(&end);

    destroyInstance(instance);
    uninitialize();
    const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    std::printf("objects: %llu\nseconds: %.6f\nobjects/second: %.1f\n", objects, seconds,
        seconds > 0 ? double(objects) / seconds : 0.0);
    if (result != 0)
    {
        std::fprintf(stderr, "ThreatScanner_ScanPath failed: 0x%08X\n", static_cast<unsigned>(result));
        return 3;
    }
    return 0;
}
