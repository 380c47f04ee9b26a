// The reference engine (build/bin/scan.dll) driven through its C interface, with its own
// definitions in a temporary program folder.

#include "StandIns/ReferenceEngineFixture.h"

#include <windows.h>

#include <functional>

namespace
{

using namespace ReferenceEngineTesting;

TEST_F(ReferenceEngineTest, FolderScanReportsEveryFileOnceWithItsVerdict)
{
    Start();
    fs::create_directories(Target() / "sub" / "deeper");
    WriteFile(Target() / "eicar.com", Eicar() + "\r\n");
    WriteFile(Target() / "clean.txt", "nothing to see");
    WriteFile(Target() / "sub" / "empty.txt", "");
    WriteFile(Target() / "sub" / "deeper" / "hash.bin", hashSample);
    WriteFile(Target() / "sub" / "deeper" / "near-hash.bin", "reference engine hash sampl3");
    WriteFile(Target() / "sub" / "prefixed.txt", prefixSample + "payload");
    WriteFile(Target() / "sub" / "eicar-later.txt", "x" + Eicar());

    ASSERT_EQ(0, Scan(Target()));

    struct Expected
    {
        fs::path path;
        std::uint32_t status;
        std::uint32_t threatType;
        std::wstring threatName;
    };
    const Expected expected[] = {
        {Target() / "eicar.com", ScanStatus::Infected, ThreatType::Virus, L"EICAR-Test-File (not a virus)"},
        {Target() / "clean.txt", ScanStatus::Clean, 0, L""},
        {Target() / "sub" / "empty.txt", ScanStatus::Clean, 0, L""},
        {Target() / "sub" / "deeper" / "hash.bin", ScanStatus::Infected, ThreatType::Adware, L"Test.Hash"},
        {Target() / "sub" / "deeper" / "near-hash.bin", ScanStatus::Clean, 0, L""},
        {Target() / "sub" / "prefixed.txt", ScanStatus::Infected, ThreatType::Rootkit, L"Test.Prefix"},
        {Target() / "sub" / "eicar-later.txt", ScanStatus::Clean, 0, L""},
    };
    ASSERT_EQ(std::size(expected), recorder.reports.size());
    for (const Expected& entry : expected)
    {
        SCOPED_TRACE(entry.path.string());
        const Report* report = recorder.Find(entry.path);
        ASSERT_NE(nullptr, report);
        EXPECT_EQ(ObjectType::File, report->objectType);
        EXPECT_EQ(entry.status, report->scanStatus);
        EXPECT_EQ(entry.threatType, report->threatType);
        EXPECT_EQ(entry.threatName, report->threatName);
        EXPECT_EQ(0u, report->objectFlags);
    }
}

TEST_F(ReferenceEngineTest, ActionInTheSlotIsCarriedOutAndFollowedByItsStatus)
{
    struct Case
    {
        const char* name;
        int action;
        bool prefixed; // the disinfectable kind, else EICAR
        std::vector<std::uint32_t> statuses;
        bool stays; // the file is still in its place
        bool quarantined;
    };
    const Case cases[] = {
        {"none", ScanAction::None, false, {ScanStatus::Infected}, true, false},
        {"skip", ScanAction::Skip, false, {ScanStatus::Infected}, true, false},
        {"quarantine", ScanAction::QuarMove, false, {ScanStatus::Infected, ScanStatus::Moved}, false, true},
        {"delete", ScanAction::Delete, false, {ScanStatus::Infected, ScanStatus::Deleted}, false, false},
        {"rename", ScanAction::Rename, false, {ScanStatus::Infected, ScanStatus::Moved}, false, false},
        {"disinfect", ScanAction::Disinfect, true, {ScanStatus::Infected, ScanStatus::Disinfected}, true, false},
        {"unrepairable", ScanAction::Disinfect, false, {ScanStatus::Infected, ScanStatus::ScanFailed}, true, false},
    };
    Start();
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        const fs::path file = Target() / (std::string(test.name) + ".txt");
        WriteFile(file, test.prefixed ? prefixSample + "original" : Eicar());
        recorder.reports.clear();
        recorder.action = test.action;

        ASSERT_EQ(0, Scan(file));

        ASSERT_EQ(test.statuses.size(), recorder.reports.size());
        for (std::size_t i = 0; i < test.statuses.size(); ++i)
        {
            EXPECT_EQ(test.statuses[i], recorder.reports[i].scanStatus);
            EXPECT_EQ(file, fs::path(recorder.reports[i].path));
        }
        EXPECT_EQ(test.stays, fs::exists(file));
        EXPECT_EQ(test.quarantined, fs::exists(Quarantine() / file.filename()));
        if (test.prefixed)
        {
            EXPECT_EQ("original", ReadFile(file));
        }
    }
}

TEST_F(ReferenceEngineTest, QuarantineKeepsFilesOfTheSameName)
{
    Start();
    recorder.action = ScanAction::QuarMove;
    fs::create_directories(Target() / "a");
    fs::create_directories(Target() / "b");
    WriteFile(Target() / "a" / "x.com", Eicar());
    WriteFile(Target() / "b" / "x.com", Eicar());

    ASSERT_EQ(0, Scan(Target()));

    EXPECT_TRUE(fs::exists(Quarantine() / "x.com"));
    EXPECT_TRUE(fs::exists(Quarantine() / "x.com.1"));
    EXPECT_FALSE(fs::exists(Target() / "a" / "x.com"));
    EXPECT_FALSE(fs::exists(Target() / "b" / "x.com"));
}

TEST_F(ReferenceEngineTest, FileThatCannotBeOpenedIsReportedAsNotScannedWhateverItsSize)
{
    struct Case
    {
        std::size_t size;
        std::uint32_t status;
        std::uint32_t flags;
        std::int32_t reason;
    };
    // The shortest signature of the test definitions has 9 bytes: smaller files cannot match
    // any, but one that cannot be read has still not been scanned. Empty files are not opened.
    const Case cases[] = {{100, ScanStatus::ScanFailed, ObjectFlag::UnableToRead, Result::FileOpen},
        {9, ScanStatus::ScanFailed, ObjectFlag::UnableToRead, Result::FileOpen},
        {8, ScanStatus::ScanFailed, ObjectFlag::UnableToRead, Result::FileOpen},
        {1, ScanStatus::ScanFailed, ObjectFlag::UnableToRead, Result::FileOpen}, {0, ScanStatus::Clean, 0, 0}};
    Start();
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.size);
        const fs::path file = Target() / ("locked" + std::to_string(test.size) + ".bin");
        WriteFile(file, std::string(test.size, 'a'));
        const HANDLE exclusive =
            CreateFileW(file.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
        recorder.reports.clear();

        const int result = Scan(file);
        CloseHandle(exclusive);

        ASSERT_EQ(0, result);
        ASSERT_EQ(1u, recorder.reports.size());
        EXPECT_EQ(test.status, recorder.reports[0].scanStatus);
        EXPECT_EQ(test.flags, recorder.reports[0].objectFlags);
        EXPECT_EQ(test.reason, recorder.reports[0].scanStatusFlags);
    }
}

TEST_F(ReferenceEngineTest, ScanCallsRefuseWhatTheyCannotScan)
{
    Start();
    int reported = -1, infected = -1;
    const wchar_t* detail = L"x";
    EXPECT_EQ(Result::PathError, Scan(Target() / "missing"));
    EXPECT_EQ(Result::InvalidArgument, scanPath(instance, 0, nullptr, 0));
    EXPECT_EQ(Result::InvalidHandle, scanPath(reinterpret_cast<CThreatScannerStruct*>(&recorder), 0, L"C:\\", 0));
    EXPECT_EQ(Result::PathError, scanObject(instance, ScanObjectBootSector, L"not a drive", 0, &reported, &infected,
                                     &detail, 0, nullptr));
    EXPECT_EQ(Result::InvalidArgument, scanObject(instance, ScanObjectSystem, L"System", 0, &reported, &infected,
                                           &detail, 0, SystemObjectName));
    EXPECT_EQ(Result::NotSupported, scanObject(instance, 7, L"C:\\", 0, &reported, &infected, &detail, 0, nullptr));
    EXPECT_TRUE(recorder.reports.empty());
}

TEST_F(ReferenceEngineTest, SystemScanReportsTheRunningProcesses)
{
    Start();
    int reported = -1, infected = -1;
    const wchar_t* detail = L"x";
    ASSERT_EQ(0, scanObject(instance, ScanObjectSystem, SystemObjectName, 0, &reported, &infected, &detail,
                     int(GetCurrentProcessId()), SystemObjectName));

    EXPECT_EQ(recorder.reports.size(), std::size_t(reported));
    EXPECT_EQ(0, infected);
    EXPECT_EQ(nullptr, detail);
    const Report* self = recorder.Find(ProcessHelper::Process::Path());
    ASSERT_NE(nullptr, self);
    EXPECT_EQ(ObjectType::Process, self->objectType);
    EXPECT_EQ(GetCurrentProcessId(), self->pid);
    EXPECT_EQ(ScanStatus::Clean, self->scanStatus);
}

TEST_F(ReferenceEngineTest, BootSectorIsReportedOnceAsReadOrFailed)
{
    Start();
    int reported = 0, infected = 0;
    const wchar_t* detail = nullptr;
    ASSERT_EQ(0, scanObject(instance, ScanObjectBootSector, L"C:\\", 0, &reported, &infected, &detail,
                     int(GetCurrentProcessId()), nullptr));

    ASSERT_EQ(1u, recorder.reports.size());
    const Report& report = recorder.reports[0];
    EXPECT_EQ(ObjectType::BootSector, report.objectType);
    EXPECT_EQ(L"C:\\", report.path);
    // A user process may not read a raw volume on Windows, nor can it under Wine.
    if (report.scanStatus == ScanStatus::ScanFailed)
    {
        EXPECT_EQ(ObjectFlag::UnableToRead, report.objectFlags);
    }
    else
    {
        EXPECT_EQ(ScanStatus::Clean, report.scanStatus);
    }
}

TEST_F(ReferenceEngineTest, DatabaseInformationIsThatOfTheLoadedDefinitions)
{
    Start();
    unsigned long version = 0, released = 0;
    ASSERT_EQ(0, getDatabaseInformation(instance, &version, &released));
    EXPECT_EQ(4242u, version);
    EXPECT_EQ(1704449700u, released); // 2024-01-05T10:15:00Z
}

// An engine that knows only its built-in EICAR signature would report everything else clean: it
// does not start without a signature from Plugins, in either start.
TEST_F(ReferenceEngineTest, WithoutASignatureFromPluginsTheEngineDoesNotStart)
{
    const struct
    {
        const char* name;
        std::function<void(const fs::path& plugins)> make;
    } cases[] = {
        {"missing", [](const fs::path&) {}},
        {"empty", [](const fs::path& plugins) { fs::create_directories(plugins); }},
        {"a file", [](const fs::path& plugins) { WriteFile(plugins, "version 1\n"); }},
        {"definitions without a signature", [](const fs::path& plugins) {
             fs::create_directories(plugins);
             WriteFile(plugins / "none.bkdef", "version 7\nreleased 2024-01-05T10:15:00Z\n");
             WriteFile(plugins / "update.txt", "Version: 7\n");
         }},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        fs::remove_all(Program() / "Plugins");
        c.make(Program() / "Plugins");

        EXPECT_EQ(Result::NoPlugins, InitEx());
        EXPECT_EQ(Result::NoPlugins, initialize(Program().wstring().c_str(), InitializationText));
        EXPECT_EQ(Result::InitRequired, createInstance(&instance));
    }
    initialised = false;
}

TEST_F(ReferenceEngineTest, InitialisationFailuresGiveTheirCodes)
{
    EXPECT_EQ(Result::InitRequired, createInstance(&instance));
    EXPECT_EQ(nullptr, instance);
    EXPECT_EQ(Result::InitRequired, uninitialize());
    EXPECT_EQ(Result::CouldNotInitialize, InitEx(L"wrong text"));
    EXPECT_EQ(Result::CouldNotInitialize, initialize(Program().wstring().c_str(), nullptr));
    EXPECT_EQ(Result::PathError, initialize((Program() / "missing").wstring().c_str(), InitializationText));

    std::wstring missingSmartDb = (Program() / "BKSmartDB.dll").wstring();
    _InitializeParams params{};
    params.size = sizeof(params);
    EXPECT_EQ(Result::LoadingEngine,
        initializeEx(Program().wstring().c_str(), InitializationText, &missingSmartDb[0], &params));
    params.size = 100;
    EXPECT_EQ(Result::InvalidArgument, initializeEx(Program().wstring().c_str(), InitializationText, nullptr, &params));

    WriteFile(Program() / "Plugins" / "zz-broken.bkdef", "version 1\nreleased yesterday\n");
    EXPECT_EQ(Result::Plugin, InitEx());
}

TEST_F(ReferenceEngineTest, ReadOnlyInitialisationScansButCannotQuarantine)
{
    ASSERT_EQ(0, initialize(Program().wstring().c_str(), InitializationText));
    initialised = true;
    ASSERT_EQ(0, createInstance(&instance));
    ASSERT_EQ(0, setScanCallback(instance, &Recorder::Callback, &recorder));
    recorder.action = ScanAction::QuarMove;
    WriteFile(Target() / "eicar.com", Eicar());

    ASSERT_EQ(0, Scan(Target()));

    ASSERT_EQ(2u, recorder.reports.size());
    EXPECT_EQ(ScanStatus::ScanFailed, recorder.reports[1].scanStatus);
    EXPECT_TRUE(fs::exists(Target() / "eicar.com"));
}

TEST_F(ReferenceEngineTest, AbortEndsTheScanWithStopped)
{
    Start();
    recorder.action = ScanAction::Abort;
    for (int i = 0; i < 5; ++i)
        WriteFile(Target() / ("eicar" + std::to_string(i) + ".com"), Eicar());

    EXPECT_EQ(Result::Stopped, Scan(Target()));
    EXPECT_EQ(1u, recorder.reports.size());
}

TEST_F(ReferenceEngineTest, InstancesAreCheckedAndDestroyedOnce)
{
    ASSERT_EQ(0, InitEx());
    CThreatScannerStruct* first = nullptr;
    ASSERT_EQ(0, createInstance(&first));
    EXPECT_EQ(0, setIntOption(first, 6001, 1));
    EXPECT_EQ(0, setPasswordCallback(first, nullptr, nullptr));
    EXPECT_EQ(0, setExtCallback(first, nullptr, nullptr));
    EXPECT_EQ(0, destroyInstance(first));
    EXPECT_EQ(Result::InvalidHandle, destroyInstance(first));
    EXPECT_EQ(Result::InvalidHandle, setIntOption(first, 6001, 1));
    EXPECT_EQ(Result::InvalidArgument, createInstance(nullptr));
}

} // namespace
