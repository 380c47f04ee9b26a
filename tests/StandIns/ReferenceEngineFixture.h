#pragma once

// The fixture of the reference engine tests: build/bin/scan.dll loaded and driven through its
// C interface, with its own definitions in a temporary program folder, and a recording scan
// callback.

#include "EngineSdk.h"
#include "ProcessHelper/ProcessHelper.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ReferenceEngineTesting
{

namespace fs = boost::filesystem;
using namespace EngineSdk;

// The EICAR test string, put together here so that no file of the tree holds it whole.
inline std::string Eicar()
{
    const std::string middle = "-TSET-SURIVITNA-DRADNATS-RACIE";
    return "X5O!P%@AP[4\\PZX54(P^)7CC)7}$" + std::string(middle.rbegin(), middle.rend()) + "FILE!$H+H*";
}

const std::string hashSample = "reference engine hash sample";
const std::string prefixSample = "PREPENDED-BODY:";

// sha256 of hashSample, 28 bytes.
const char* const definitions =
    "# test definitions\n"
    "version 4242\n"
    "released 2024-01-05T10:15:00Z\n"
    "hash Adware c670b590d3dfb7c63dda3f980eff76bc31fd90a87ed8a7ce7eb566d1764ee74f 28 Test.Hash\n"
    "prefix Virus 505245504543444544 Test.Never\n"
    "prefix 4 50524550454E4445442D424F44593A Test.Prefix\n";

struct Report
{
    std::uint32_t objectType;
    std::wstring path;
    std::uint32_t objectFlags;
    std::uint32_t scanStatus;
    std::uint32_t threatType;
    std::uint32_t pid;
    std::wstring threatName;
    std::int32_t scanStatusFlags; // the engine's reason for a ScanFailed report
    std::uintptr_t stackAt;       // where the callback's frame was
};

struct Recorder
{
    std::vector<Report> reports;
    int action = ScanAction::None;
    // Runs on an infected report, before the engine acts on the object.
    std::function<void(const fs::path&)> onInfected;

    static void Callback(_ScanCbkParams* params, int* action, void* context)
    {
        Recorder& self = *static_cast<Recorder*>(context);
        const int local = 0;
        self.reports.push_back({params->objectType, params->path, params->objectFlags, params->scanStatus,
            params->threatType, params->pid, params->threatName, params->scanStatusFlags,
            reinterpret_cast<std::uintptr_t>(&local)});
        if (params->scanStatus == ScanStatus::Infected)
        {
            *action = self.action;
            if (self.onInfected)
                self.onInfected(params->path);
        }
    }

    const Report* Find(const fs::path& path) const
    {
        for (const Report& report : reports)
        {
            if (fs::path(report.path) == path)
                return &report;
        }
        return nullptr;
    }
};

template <typename Signature>
Signature* Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Signature*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

inline void WriteFile(const fs::path& path, const std::string& content)
{
    fs::ofstream file(path, std::ios::binary);
    file << content;
}

inline std::string ReadFile(const fs::path& path)
{
    fs::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class ReferenceEngineTest : public testing::Test
{
protected:
    void SetUp() override
    {
        binFolder = ProcessHelper::Process::Path().parent_path().parent_path() / "bin";
        module = LoadLibraryW((binFolder / "scan.dll").wstring().c_str());
        ASSERT_NE(nullptr, module) << "build/bin/scan.dll";
        initialize = Lookup<ThreatScanner_Initialize_t>(module, InitializeName);
        initializeEx = Lookup<ThreatScanner_InitializeEx_t>(module, InitializeExName);
        uninitialize = Lookup<ThreatScanner_Uninitialize_t>(module, UninitializeName);
        createInstance = Lookup<ThreatScanner_CreateInstance_t>(module, CreateInstanceName);
        destroyInstance = Lookup<ThreatScanner_DestroyInstance_t>(module, DestroyInstanceName);
        setIntOption = Lookup<ThreatScanner_SetIntOption_t>(module, SetIntOptionName);
        setScanCallback = Lookup<ThreatScanner_SetScanCallback2_t>(module, SetScanCallback2Name);
        setPasswordCallback = Lookup<ThreatScanner_SetPasswordCallback_t>(module, SetPasswordCallbackName);
        setExtCallback = Lookup<ThreatScanner_SetExtCallback_t>(module, SetExtCallbackName);
        scanPath = Lookup<ThreatScanner_ScanPath_t>(module, ScanPathName);
        scanObject = Lookup<ThreatScanner_ScanObject_t>(module, ScanObjectName);
        getDatabaseInformation = Lookup<ThreatScanner_GetDatabaseInformation_t>(module, GetDatabaseInformationName);
        ASSERT_TRUE(initialize && initializeEx && uninitialize && createInstance && destroyInstance && setIntOption
            && setScanCallback && setPasswordCallback && setExtCallback && scanPath && scanObject
            && getDatabaseInformation);

        fs::create_directories(Program() / "Plugins");
        WriteFile(Program() / "Plugins" / "test.bkdef", definitions);
        fs::create_directories(Target());
    }

    void TearDown() override
    {
        if (instance)
        {
            EXPECT_EQ(0, destroyInstance(instance));
        }
        if (initialised)
        {
            EXPECT_EQ(0, uninitialize());
        }
        if (module)
            FreeLibrary(module);
    }

    fs::path Program() const { return folder.Path() / "program"; }
    fs::path Quarantine() const { return Program() / "Quarantine"; }
    fs::path Target() const { return folder.Path() / "target"; }

    int InitEx(const wchar_t* text = InitializationText)
    {
        const std::wstring program = Program().wstring();
        const std::wstring quarantine = Quarantine().wstring();
        const std::wstring temp = (Program() / "Temp").wstring();
        std::wstring smartDb = (binFolder / "BKSmartDB.dll").wstring();
        _InitializeParams params{};
        params.size = sizeof(params);
        params.programFolder = program.c_str();
        params.quarantineFolder = quarantine.c_str();
        params.tempFolder = temp.c_str();
        const int result = initializeEx(program.c_str(), text, &smartDb[0], &params);
        initialised = result == 0;
        return result;
    }

    // Initialises, creates the instance and installs the recorder.
    void Start()
    {
        ASSERT_EQ(0, InitEx());
        ASSERT_EQ(0, createInstance(&instance));
        ASSERT_EQ(0, setScanCallback(instance, &Recorder::Callback, &recorder));
    }

    int Scan(const fs::path& path) { return scanPath(instance, 0, path.wstring().c_str(), int(GetCurrentProcessId())); }

    TestSupport::TempFolder folder;
    fs::path binFolder;
    HMODULE module = nullptr;
    ThreatScanner_Initialize_t* initialize = nullptr;
    ThreatScanner_InitializeEx_t* initializeEx = nullptr;
    ThreatScanner_Uninitialize_t* uninitialize = nullptr;
    ThreatScanner_CreateInstance_t* createInstance = nullptr;
    ThreatScanner_DestroyInstance_t* destroyInstance = nullptr;
    ThreatScanner_SetIntOption_t* setIntOption = nullptr;
    ThreatScanner_SetScanCallback2_t* setScanCallback = nullptr;
    ThreatScanner_SetPasswordCallback_t* setPasswordCallback = nullptr;
    ThreatScanner_SetExtCallback_t* setExtCallback = nullptr;
    ThreatScanner_ScanPath_t* scanPath = nullptr;
    ThreatScanner_ScanObject_t* scanObject = nullptr;
    ThreatScanner_GetDatabaseInformation_t* getDatabaseInformation = nullptr;
    bool initialised = false;
    CThreatScannerStruct* instance = nullptr;
    Recorder recorder;
};

} // namespace ReferenceEngineTesting
