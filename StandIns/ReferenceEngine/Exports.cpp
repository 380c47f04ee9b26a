// The twelve exports of scan.dll (names fixed by scan.def). No exception leaves them: a
// failure inside the engine, or one thrown by a callback, becomes a result code.

#include "Engine.h"
#include "EngineSdk.h"
#include "Instance.h"
#include "ScanJob.h"

#include <new>
#include <type_traits>

using namespace ReferenceEngine;

namespace
{

template <typename Body>
int Guarded(Body body) noexcept
{
    try
    {
        return body();
    }
    catch (const std::bad_alloc&)
    {
        return EngineSdk::Result::NoMemory;
    }
    catch (...)
    {
        return EngineSdk::Result::Failed;
    }
}

// Runs body on a valid instance; any other instance gets CheckInstance's answer.
template <typename Body>
int OnInstance(CThreatScannerStruct* h, Body body)
{
    return Guarded([&] {
        const int check = CheckInstance(h);
        return check == EngineSdk::Result::Success ? body() : check;
    });
}

// Marks the instance busy for one scan call.
class ScanningScope
{
public:
    explicit ScanningScope(CThreatScannerStruct& instance) : instance(instance) { instance.scanning = true; }
    ~ScanningScope() { instance.scanning = false; }

private:
    CThreatScannerStruct& instance;
};

template <typename Scan>
int RunScan(CThreatScannerStruct* h, Scan scan)
{
    return OnInstance(h, [&] {
        if (h->scanning)
            return EngineSdk::Result::Busy;
        ScanningScope scope(*h);
        ScanJob job(*h);
        return scan(job);
    });
}

} // namespace

extern "C" {

int ThreatScanner_Initialize(const wchar_t* folder, const wchar_t* text)
{
    return Guarded([&] { return Initialize(folder, text, nullptr, nullptr); });
}

int ThreatScanner_InitializeEx(const wchar_t* folder, const wchar_t* text, wchar_t* smartDb, _InitializeParams* params)
{
    return Guarded([&] {
        if (!params)
            return EngineSdk::Result::InvalidArgument;
        return Initialize(folder, text, smartDb, params);
    });
}

int ThreatScanner_Uninitialize(void)
{
    return Guarded([] { return Uninitialize(); });
}

int ThreatScanner_CreateInstance(CThreatScannerStruct** h)
{
    return Guarded([&] { return CreateInstance(h); });
}

int ThreatScanner_DestroyInstance(CThreatScannerStruct* h)
{
    return Guarded([&] { return DestroyInstance(h); });
}

int ThreatScanner_SetIntOption(CThreatScannerStruct* h, int option, int value)
{
    return OnInstance(h, [&] {
        h->options[option] = value;
        return EngineSdk::Result::Success;
    });
}

int ThreatScanner_SetScanCallback2(CThreatScannerStruct* h, ThreatScanner_ScanCallback_t* callback, void* context)
{
    return OnInstance(h, [&] {
        h->scanCallback = callback;
        h->scanContext = context;
        return EngineSdk::Result::Success;
    });
}

int ThreatScanner_SetPasswordCallback(CThreatScannerStruct* h, ThreatScanner_PasswordCallback_t* callback, void* context)
{
    return OnInstance(h, [&] {
        h->passwordCallback = callback;
        h->passwordContext = context;
        return EngineSdk::Result::Success;
    });
}

int ThreatScanner_SetExtCallback(CThreatScannerStruct* h, ThreatScanner_ExtCallback_t* callback, void* context)
{
    return OnInstance(h, [&] {
        h->extCallback = callback;
        h->extContext = context;
        return EngineSdk::Result::Success;
    });
}

int ThreatScanner_ScanPath(CThreatScannerStruct* h, int /*kind*/, const wchar_t* path, int /*callerPid*/)
{
    if (!path)
        return EngineSdk::Result::InvalidArgument;
    return RunScan(h, [&](ScanJob& job) { return job.ScanPath(path); });
}

int ThreatScanner_ScanObject(CThreatScannerStruct* h, int kind, const wchar_t* name, int /*flags*/, int* reported,
    int* infected, const wchar_t** detail, int /*callerPid*/, const wchar_t* /*systemName*/)
{
    if (!name)
        return EngineSdk::Result::InvalidArgument;
    return RunScan(h, [&](ScanJob& job) {
        int result = EngineSdk::Result::NotSupported;
        if (kind == EngineSdk::ScanObjectSystem)
            result = std::wstring(name) == EngineSdk::SystemObjectName ? job.ScanSystem()
                                                                        : EngineSdk::Result::InvalidArgument;
        else if (kind == EngineSdk::ScanObjectBootSector)
            result = job.ScanBootSector(name);
        if (reported)
            *reported = static_cast<int>(job.Reported());
        if (infected)
            *infected = static_cast<int>(job.Infected());
        if (detail)
            *detail = nullptr;
        return result;
    });
}

int ThreatScanner_GetDatabaseInformation(CThreatScannerStruct* h, unsigned long* version, unsigned long* releaseTime)
{
    return OnInstance(h, [&] {
        if (!version || !releaseTime)
            return EngineSdk::Result::InvalidArgument;
        if (!h->definitions->HasDatabase())
            return EngineSdk::Result::DbinfoUnavailable;
        *version = h->definitions->Version();
        *releaseTime = h->definitions->ReleaseTime();
        return EngineSdk::Result::Success;
    });
}

} // extern "C"

// The exports have exactly the SDK's signatures.
static_assert(std::is_same_v<decltype(ThreatScanner_Initialize), ThreatScanner_Initialize_t>);
static_assert(std::is_same_v<decltype(ThreatScanner_InitializeEx), ThreatScanner_InitializeEx_t>);
static_assert(std::is_same_v<decltype(ThreatScanner_Uninitialize), ThreatScanner_Uninitialize_t>);
static_assert(std::is_same_v<decltype(ThreatScanner_CreateInstance), ThreatScanner_CreateInstance_t>);
static_assert(std::is_same_v<decltype(ThreatScanner_DestroyInstance), ThreatScanner_DestroyInstance_t>);
static_assert(std::is_same_v<decltype(ThreatScanner_SetIntOption), ThreatScanner_SetIntOption_t>);
static_assert(std::is_same_v<decltype(ThreatScanner_SetScanCallback2), ThreatScanner_SetScanCallback2_t>);
static_assert(std::is_same_v<decltype(ThreatScanner_SetPasswordCallback), ThreatScanner_SetPasswordCallback_t>);
static_assert(std::is_same_v<decltype(ThreatScanner_SetExtCallback), ThreatScanner_SetExtCallback_t>);
static_assert(std::is_same_v<decltype(ThreatScanner_ScanPath), ThreatScanner_ScanPath_t>);
static_assert(std::is_same_v<decltype(ThreatScanner_ScanObject), ThreatScanner_ScanObject_t>);
static_assert(std::is_same_v<decltype(ThreatScanner_GetDatabaseInformation), ThreatScanner_GetDatabaseInformation_t>);
