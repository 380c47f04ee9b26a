// The Scanner's engine lifetime, instances and scan runs, driven against the recording engine
// (tests/fixtures/RecordingEngine), which lies in the test folder as scan.dll.
#include "Program/Config.h"
#include "Scanner/Scanner.h"

#include "support/Console.h"
#include "support/RecordingEngine.h"
#include "support/TempFolder.h"

#include "ExceptionHelper/Exception.h"
#include "FileSystemHelper/Drives.h"
#include "ProcessHelper/ProcessHelper.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <regex>

using namespace BriskenCommandLineScanner;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;
using TestSupport::WithoutCarriageReturns;

namespace
{

namespace fs = boost::filesystem;

fs::path ProgramFolder()
{
    return ProcessHelper::Process::Path().parent_path();
}

std::wstring PointerText(const void* pointer)
{
    return std::to_wstring(static_cast<long long>(reinterpret_cast<std::uintptr_t>(pointer)));
}

ScanRequest Request(std::uint32_t scanType, const std::vector<std::wstring>& paths, const std::wstring& resultPath)
{
    ScanRequest request;
    request.scanType = scanType;
    request.paths = paths;
    request.action = 7;
    request.scanResultPath = resultPath;
    return request;
}

class ScannerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        Config::Instance().read_only = false;
    }

    void TearDown() override
    {
        Config::Instance().read_only = false;
    }

    std::wstring ResultPath(const std::wstring& name) const
    {
        return (results.Path() / name).wstring();
    }

    TestSupport::RecordingEngine engine;
    TestSupport::TempFolder results;
};

TEST_F(ScannerTest, InitExHandsTheEngineTheProgramFolderAndItsWorkingFolders)
{
    const fs::path folder = ProgramFolder();
    {
        const Scanner scanner;
        EXPECT_THAT(engine.Calls(L"Initialize"),
            ElementsAre(L"InitializeEx|" + folder.wstring() + L"|" + EngineSdk::InitializationText + L"|"
                + (folder / L"BKSmartDB.dll").wstring() + L"|size=120|program=" + folder.wstring()
                + L"|quarantine=" + (folder / L"Quarantine").wstring() + L"|temp=" + (folder / L"Temp").wstring()
                + L"|reserved=zero"));
        EXPECT_TRUE(fs::is_directory(folder / "Temp"));
        EXPECT_TRUE(fs::is_directory(folder / "Quarantine"));
        EXPECT_THAT(engine.Calls(L"Uninitialize"), IsEmpty());
    }
    EXPECT_THAT(engine.Calls(L"Uninitialize"), ElementsAre(L"Uninitialize"));
    EXPECT_FALSE(fs::exists(folder / "Temp"));
    EXPECT_TRUE(fs::is_directory(folder / "Quarantine"));
}

TEST_F(ScannerTest, TemporaryFolderGoesWithTheLastEngineThatUsesIt)
{
    const fs::path temp = ProgramFolder() / "Temp";
    const fs::path working = temp / "working.tmp"; // as an engine leaves there
    const struct
    {
        const char* name;
        bool firstStopsFirst;
    } orders[] = {{"first started stops first", true}, {"last started stops first", false}};
    for (const auto& order : orders)
    {
        SCOPED_TRACE(order.name);
        auto first = std::make_unique<Scanner>();
        auto second = std::make_unique<Scanner>();
        fs::ofstream(working).close();

        (order.firstStopsFirst ? first : second).reset();

        EXPECT_TRUE(fs::exists(working)) << "the engine still running keeps its working files";
        (order.firstStopsFirst ? second : first).reset();
        EXPECT_FALSE(fs::exists(temp));
    }
}

TEST_F(ScannerTest, ConsoleAnnouncesInitialisationAndItsCompletion)
{
    testing::internal::CaptureStdout();
    {
        const Scanner scanner;
    }
    EXPECT_EQ(WithoutCarriageReturns(testing::internal::GetCapturedStdout()),
        "Initializing engine, please wait...\nInitializing engine completed\n");
}

TEST_F(ScannerTest, ReadOnlyInitialisesWithTheEnginesFolderAndLeavesTheTemporaryFolderAlone)
{
    const fs::path temp = ProgramFolder() / "Temp";
    fs::create_directories(temp);
    Config::Instance().read_only = true;
    {
        const Scanner scanner;
        EXPECT_THAT(engine.Calls(L"Initialize"), ElementsAre(L"Initialize|" + Config::Instance().EnginesFolder() + L"|"
            + EngineSdk::InitializationText));
    }
    EXPECT_THAT(engine.Calls(L"Uninitialize"), ElementsAre(L"Uninitialize"));
    EXPECT_TRUE(fs::is_directory(temp)) << "read-only runs own no temporary folder";
    fs::remove_all(temp);
}

struct InitFailure
{
    bool readOnly;
    const wchar_t* results;
    const char* message;
};

class ScannerInitFailureTest : public ScannerTest, public testing::WithParamInterface<InitFailure>
{
};

TEST_P(ScannerInitFailureTest, ThrowsTheCodesNameAndSkipsUninitialisation)
{
    Config::Instance().read_only = GetParam().readOnly;
    engine.SetResults(GetParam().results);
    testing::internal::CaptureStdout();
    try
    {
        const Scanner scanner;
        ADD_FAILURE() << "the constructor should have thrown";
    }
    catch (const ExceptionHelper::Exception& error)
    {
        EXPECT_STREQ(error.what(), GetParam().message);
        // The operation itself throws, and its source file is named within the source tree.
        const std::string text = boost::diagnostic_information(error);
        EXPECT_THAT(text, testing::StartsWith("Src/Scanner/Scanner.cpp("));
        const std::string function = GetParam().readOnly ? "Init()" : "InitEx()";
        EXPECT_THAT(text,
            testing::HasSubstr("): Throw in function void BriskenCommandLineScanner::Scanner::" + function + "\n"));
    }
    EXPECT_EQ(WithoutCarriageReturns(testing::internal::GetCapturedStdout()), "Initializing engine, please wait...\n");
    EXPECT_THAT(engine.Calls(L"Uninitialize"), IsEmpty());
    if (!GetParam().readOnly)
    {
        EXPECT_TRUE(fs::is_directory(ProgramFolder() / "Temp")) << "a failed start leaves its temporary folder";
    }
    fs::remove_all(ProgramFolder() / "Temp");
}

INSTANTIATE_TEST_SUITE_P(Codes, ScannerInitFailureTest,
    testing::Values(InitFailure{false, L"InitializeEx=0xC000100C", "Couldn't initialize scanner. Error: CouldNotInitialize"},
        InitFailure{false, L"InitializeEx=0x40000004", "Couldn't initialize scanner. Error: MaxFiles"},
        InitFailure{false, L"InitializeEx=0x12345", "Couldn't initialize scanner. Error: "},
        InitFailure{true, L"Initialize=0xC0001007", "Couldn't initialize scanner. Error: InitRequired"}));

TEST_F(ScannerTest, CreateScannerSetsOptionsAndCallbacksInOrder)
{
    Scanner scanner;
    engine.ClearCalls();
    testing::internal::CaptureStdout();
    scanner.Scan(Request(2, {}, ResultPath(L"result.xml")));
    testing::internal::GetCapturedStdout();

    const std::wstring context = PointerText(&scanner);
    std::vector<std::wstring> expected = {
        L"CreateInstance|in=null",
        L"SetIntOption|6001|1",
        L"SetIntOption|6002|0",
        L"SetScanCallback2|context=" + context,
        L"SetPasswordCallback|context=" + context,
        L"PasswordCallback|untouched",
        L"SetExtCallback|context=" + context,
        L"ExtCallback|untouched",
    };
    const int options[][2] = {{4081, 1}, {106, 1}, {4078, 1}, {26, 1}, {27, 0}, {25, 1}, {87, 1}, {4080, 1}, {4090, 1},
        {110, 0}, {80, 1}, {79, 1}, {78, 1}};
    for (const auto& option : options)
        expected.push_back(L"SetIntOption|" + std::to_wstring(option[0]) + L"|" + std::to_wstring(option[1]));
    expected.push_back(L"DestroyInstance|valid");
    EXPECT_THAT(engine.Calls(), ElementsAreArray(expected));
}

TEST_F(ScannerTest, FailedInstanceCreationThrowsTheSignedCodeAndScansNothing)
{
    Scanner scanner;
    engine.ClearCalls();
    engine.SetResults(L"CreateInstance=0xC0000000");
    try
    {
        scanner.Scan(Request(2, {L"Z:\\nowhere"}, ResultPath(L"result.xml")));
        ADD_FAILURE() << "Scan should have thrown";
    }
    catch (const ExceptionHelper::Exception& error)
    {
        EXPECT_STREQ(error.what(), "Couldn't create scanner. Error: -1073741824");
    }
    EXPECT_THAT(engine.Calls(), ElementsAre(L"CreateInstance|in=null"));
    EXPECT_FALSE(fs::exists(ResultPath(L"result.xml")));
}

// The engine calls of one scan kind, between the instance's options and its destruction.
std::vector<std::wstring> ScanCalls(const std::vector<std::wstring>& calls)
{
    std::vector<std::wstring> scans;
    for (const std::wstring& call : calls)
    {
        if (call.compare(0, 4, L"Scan") == 0 || call.compare(0, 15, L"DestroyInstance") == 0)
            scans.push_back(call);
    }
    return scans;
}

struct DriveCalls
{
    std::vector<std::wstring> full; // after the system object
    std::vector<std::wstring> boot;
    std::vector<std::wstring> all;
    std::vector<std::wstring> fixed;
};

// What the full and boot scans should do with this machine's drives.
DriveCalls ExpectedDriveCalls()
{
    DriveCalls calls;
    for (const auto& drive : FileSystemHelper::Drives())
    {
        const std::wstring root = drive->Path();
        calls.all.push_back(root);
        if (GetDriveTypeW(root.c_str()) == DRIVE_FIXED)
        {
            const std::wstring outputs = calls.boot.empty() ? L"|outs=zero|" : L"|outs=set|";
            calls.boot.push_back(L"ScanObject|1|" + root + L"|0" + outputs + L"pid=self|(null)");
            calls.full.push_back(L"ScanObject|1|" + root + L"|0|outs=set|pid=self|(null)");
            calls.fixed.push_back(root);
        }
        calls.full.push_back(L"ScanPath|0|" + root + L"|pid=self");
    }
    return calls;
}

const wchar_t* const systemCall = L"ScanObject|0|<System>|0|outs=zero|pid=self|<System>";

struct ScanKindCase
{
    const char* name;
    const wchar_t* results; // engine results: the scan goes on after failed calls
};

class ScannerScanKindTest : public ScannerTest, public testing::WithParamInterface<ScanKindCase>
{
protected:
    // Runs one scan and returns its scan calls; scannedPaths goes to paths.
    std::vector<std::wstring> Run(const ScanRequest& request, std::vector<std::wstring>& paths)
    {
        engine.SetResults(GetParam().results);
        Scanner scanner;
        engine.ClearCalls();
        testing::internal::CaptureStdout();
        scanner.Scan(request);
        testing::internal::GetCapturedStdout();
        paths = scanner.Result().scannedPaths;
        return ScanCalls(engine.Calls());
    }
};

TEST_P(ScannerScanKindTest, QuickScansTheSystemObjectOnce)
{
    std::vector<std::wstring> paths;
    EXPECT_THAT(Run(Request(0, {}, ResultPath(L"r.xml")), paths), ElementsAre(systemCall, L"DestroyInstance|valid"));
    EXPECT_THAT(paths, ElementsAre(L"<System>"));
}

TEST_P(ScannerScanKindTest, FullScansTheSystemObjectThenEveryDrive)
{
    const DriveCalls drives = ExpectedDriveCalls();
    std::vector<std::wstring> expected = {systemCall};
    expected.insert(expected.end(), drives.full.begin(), drives.full.end());
    expected.push_back(L"DestroyInstance|valid");

    std::vector<std::wstring> paths;
    EXPECT_THAT(Run(Request(1, {}, ResultPath(L"r.xml")), paths), ElementsAreArray(expected));
    EXPECT_THAT(paths, ElementsAreArray(drives.all));
}

TEST_P(ScannerScanKindTest, CustomScansEachPathUnchangedInOrder)
{
    const std::vector<std::wstring> requested = {L"Z:\\nowhere\\b", L"relative a", L"Z:\\nowhere\\b"};
    std::vector<std::wstring> paths;
    EXPECT_THAT(Run(Request(2, requested, ResultPath(L"r.xml")), paths),
        ElementsAre(L"ScanPath|0|Z:\\nowhere\\b|pid=self", L"ScanPath|0|relative a|pid=self",
            L"ScanPath|0|Z:\\nowhere\\b|pid=self", L"DestroyInstance|valid"));
    EXPECT_EQ(paths, requested);
}

TEST_P(ScannerScanKindTest, BootScansTheBootSectorOfEachFixedDrive)
{
    const DriveCalls drives = ExpectedDriveCalls();
    std::vector<std::wstring> expected = drives.boot;
    expected.push_back(L"DestroyInstance|valid");

    std::vector<std::wstring> paths;
    EXPECT_THAT(Run(Request(3, {}, ResultPath(L"r.xml")), paths), ElementsAreArray(expected));
    EXPECT_THAT(paths, ElementsAreArray(drives.fixed));
}

INSTANTIATE_TEST_SUITE_P(Results, ScannerScanKindTest,
    testing::Values(ScanKindCase{"Succeeding", L""},
        ScanKindCase{"Failing", L"ScanObject=0x40000004,ScanPath=0xC0000011,DestroyInstance=0xC0000012"}),
    [](const testing::TestParamInfo<ScanKindCase>& info) { return std::string(info.param.name); });

TEST_F(ScannerTest, UnknownScanTypeRunsNothingAndStillSavesAnEmptyResult)
{
    Scanner scanner;
    engine.ClearCalls();
    testing::internal::CaptureStdout();
    scanner.Scan(Request(4, {L"Z:\\nowhere"}, ResultPath(L"r.xml")));
    testing::internal::GetCapturedStdout();

    EXPECT_THAT(engine.Calls(), IsEmpty());
    EXPECT_EQ(scanner.Result().scanTypeName, L"");
    EXPECT_THAT(scanner.Result().scannedPaths, IsEmpty());
    EXPECT_TRUE(fs::exists(ResultPath(L"r.xml")));
}

TEST_F(ScannerTest, ScanStampsStartAndEndAsIsoTimes)
{
    Scanner scanner;
    testing::internal::CaptureStdout();
    scanner.Scan(Request(2, {}, ResultPath(L"r.xml")));
    const std::string console = WithoutCarriageReturns(testing::internal::GetCapturedStdout());

    const std::regex isoTime("[0-9]{8}T[0-9]{6}(\\.[0-9]{6})?");
    EXPECT_TRUE(std::regex_match(scanner.Result().startTime, isoTime)) << scanner.Result().startTime;
    EXPECT_TRUE(std::regex_match(scanner.Result().endTime, isoTime)) << scanner.Result().endTime;
    EXPECT_LE(scanner.Result().startTime, scanner.Result().endTime);
    EXPECT_EQ(console.rfind("Scan started\n", 0), 0u) << console;
}

} // namespace
