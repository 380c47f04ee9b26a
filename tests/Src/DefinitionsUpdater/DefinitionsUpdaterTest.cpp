// The definitions update against the fake update SDK (tests/fixtures/FakeUpdateSdk), which lies
// in the test folder as BKUpdateServiceCom.dll and records into the recording engine's call log
// together with the recording engine (scan.dll), which the update starts after an install.
#include "Commands/Commands.h"
#include "DefinitionsUpdater/DefinitionsUpdater.h"
#include "Program/Config.h"

#include "support/Console.h"
#include "support/FakeUpdateSdk.h"
#include "support/LogLines.h"
#include "support/RecordingEngine.h"

#include "ExceptionHelper/Exception.h"
#include "ExceptionHelper/WindowsException.h"
#include "ProcessHelper/ProcessHelper.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/get_error_info.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <optional>

using namespace BriskenCommandLineScanner;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::StartsWith;

namespace
{

const std::string engineLines = "Initializing engine, please wait...\nInitializing engine completed\n";

std::wstring PointerText(const void* pointer)
{
    return std::to_wstring(static_cast<long long>(reinterpret_cast<std::uintptr_t>(pointer)));
}

// The lines, each followed by a line feed.
std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

bool IsLoaded()
{
    return GetModuleHandleW(TestSupport::FakeUpdateSdk::Module().c_str()) != nullptr;
}

// What an exception of type E told, and the call log and module as they were when it arrived.
template <typename E>
struct Failure
{
    std::string message;
    std::string diagnostic;
    std::vector<std::wstring> calls;
    bool moduleLoaded = true;
    std::optional<unsigned long> error;
};

// Runs f and returns what the exception of type E it throws told; fails the test when nothing is thrown.
template <typename E>
Failure<E> Thrown(const TestSupport::RecordingEngine& recorder, const std::function<void()>& f)
{
    Failure<E> failure;
    try
    {
        f();
        ADD_FAILURE() << "nothing was thrown";
    }
    catch (const E& e)
    {
        failure.message = e.what();
        failure.diagnostic = boost::diagnostic_information(e);
        failure.calls = recorder.Calls();
        failure.moduleLoaded = IsLoaded();
        if (const unsigned long* error = boost::get_error_info<ExceptionHelper::ErrorInfo>(e))
            failure.error = *error;
    }
    return failure;
}

class DefinitionsUpdaterTest : public testing::Test
{
protected:
    void SetUp() override
    {
        Config::Instance().read_only = false;
    }

    // Builds an updater, runs Start once and destroys it; returns the console output.
    std::string Update(const std::wstring& events)
    {
        sdk.SetEvents(events);
        return TestSupport::Printed([] {
            DefinitionsUpdater updater;
            updater.Start();
        });
    }

    std::vector<std::wstring> EventAnswers() const
    {
        return recorder.Calls(L"Event|");
    }

    TestSupport::RecordingEngine recorder;
    TestSupport::FakeUpdateSdk sdk;
};

TEST_F(DefinitionsUpdaterTest, ServerUrlIsPlainHttpToTheConfiguredHostAndLibraryNameIsRelative)
{
    EXPECT_EQ(std::string("http://") + BRISKEN_DEFINITIONS_HOST + "/av64bit", DefinitionsUpdater::ServerUrl());
    EXPECT_EQ(L"BKUpdateServiceCom.dll", DefinitionsUpdater::LibraryName().wstring());
    EXPECT_FALSE(DefinitionsUpdater::LibraryName().has_parent_path());
}

TEST_F(DefinitionsUpdaterTest, ConstructionCreatesTheInterfaceAndSetsTheSixOptionsInOrder)
{
    const std::string narrowUrl = DefinitionsUpdater::ServerUrl();
    const std::wstring url(narrowUrl.begin(), narrowUrl.end());
    const std::wstring folder = ProcessHelper::Process::Path().parent_path().wstring();
    {
        const DefinitionsUpdater updater;
        EXPECT_TRUE(IsLoaded());
        EXPECT_THAT(recorder.Calls(), ElementsAre(L"Create", L"SetOption|600|" + url, L"SetOption|699|" + folder,
            L"SetOption|605|1", L"SetOption|615|1",
            L"SetOption|602|" + PointerText(reinterpret_cast<const void*>(&DefinitionsUpdater::BKUpdateCallback)),
            L"SetOption|603|" + PointerText(&updater)));
    }
    EXPECT_THAT(recorder.Calls(L"Destroy"), ElementsAre(L"Destroy|valid"));
    EXPECT_FALSE(IsLoaded());
}

// Each option refused in turn (with a positive and a negative code): the later options stay
// unset, and the interface is destroyed and the module unloaded before the exception arrives.
TEST_F(DefinitionsUpdaterTest, ARefusedOptionStopsTheRestAndDestroysTheInterfaceFirst)
{
    const struct
    {
        int id;
        const char* message;
    } options[] = {
        {600, "Couldn't set server option"},
        {699, "Couldn't set local path option"},
        {605, "Couldn't set use version id option"},
        {615, "Couldn't set use patches option"},
        {602, "Couldn't set update callback"},
        {603, "Couldn't set update callback context"},
    };
    const int order[] = {600, 699, 605, 615, 602, 603};
    for (const auto& option : options)
    {
        for (const wchar_t* code : {L"1", L"-2147483648"})
        {
            SCOPED_TRACE(option.message);
            recorder.ClearCalls();
            recorder.SetResults(L"SetOption" + std::to_wstring(option.id) + L"=" + code);
            const auto failure = Thrown<ExceptionHelper::Exception>(recorder, [] { DefinitionsUpdater updater; });
            EXPECT_EQ(option.message, failure.message);
            EXPECT_THAT(failure.diagnostic, HasSubstr("DefinitionsUpdater::DefinitionsUpdater()"));
            EXPECT_FALSE(failure.moduleLoaded);

            std::vector<std::wstring> expectedIds;
            for (const int id : order)
            {
                expectedIds.push_back(std::to_wstring(id));
                if (id == option.id)
                    break;
            }
            std::vector<std::wstring> setIds;
            for (const std::wstring& call : failure.calls)
            {
                if (call.compare(0, 10, L"SetOption|") == 0)
                    setIds.push_back(call.substr(10, 3));
            }
            EXPECT_EQ(expectedIds, setIds);
            ASSERT_FALSE(failure.calls.empty());
            EXPECT_EQ(L"Destroy|valid", failure.calls.back());
        }
    }
}

TEST_F(DefinitionsUpdaterTest, ANullInterfaceThrowsAndSetsNothing)
{
    recorder.SetResults(L"Create=1");
    const auto failure = Thrown<ExceptionHelper::Exception>(recorder, [] { DefinitionsUpdater updater; });
    EXPECT_EQ("Couldn't create definitions updater", failure.message);
    EXPECT_THAT(failure.calls, ElementsAre(L"Create"));
    EXPECT_FALSE(failure.moduleLoaded);
}

TEST_F(DefinitionsUpdaterTest, AMissingModuleOrCreateExportThrowsWindowsWithWhatIsMissing)
{
    {
        const TestSupport::ReplacedUpdateSdk missing(L"");
        const auto failure = Thrown<ExceptionHelper::Windows>(recorder, [] { DefinitionsUpdater updater; });
        EXPECT_EQ(TestSupport::FakeUpdateSdk::Module().string(), failure.message);
        EXPECT_EQ(static_cast<unsigned long>(ERROR_MOD_NOT_FOUND), failure.error);
    }
    {
        const TestSupport::ReplacedUpdateSdk noCreate(L"NoCreate");
        const auto failure = Thrown<ExceptionHelper::Windows>(recorder, [] { DefinitionsUpdater updater; });
        EXPECT_EQ("BKUpdSdkCreate", failure.message);
        EXPECT_TRUE(failure.error.has_value());
        EXPECT_FALSE(failure.moduleLoaded);
    }
    EXPECT_THAT(recorder.Calls(), IsEmpty());
}

// The destroy export is looked up when the interface goes; without it the destruction is
// logged instead of thrown out of a destructor.
TEST_F(DefinitionsUpdaterTest, AMissingDestroyExportIsLoggedWhenTheInterfaceGoes)
{
    const TestSupport::ReplacedUpdateSdk noDestroy(L"NoDestroy");
    const TestSupport::LogLines log;
    {
        const DefinitionsUpdater updater;
        EXPECT_THAT(log.Lines(), IsEmpty());
    }
    const std::vector<std::string> lines = log.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_THAT(lines.front(), StartsWith("Error: "));
    EXPECT_THAT(Joined(lines), HasSubstr("std::exception::what: BKUpdSdkDestroy\n"));
    EXPECT_FALSE(IsLoaded());
}

// Every event of the table, what it prints and what it answers; events are raised during Update.
TEST_F(DefinitionsUpdaterTest, EventsPrintTheirLinesAndKeepTheirValues)
{
    const struct
    {
        const wchar_t* events;
        const char* printed;
    } cases[] = {
        {L"0", "Checking for update...\n"},
        {L"10", "Downloading definitions done\n"},
        {L"30", "Definitions up to date\n"},
        {L"40=defs.bkdef;60=123456789012;70=5000", "Downloading: 5000 of 123456789012 bytes. File: defs.bkdef\n"},
        {L"70=7", "Downloading: 7 of 0 bytes. File: \n"},
        {L"40=first.bkdef;40=second.bkdef;60=1;60=2;70=2", "Downloading: 2 of 2 bytes. File: second.bkdef\n"},
        {L"60=18446744073709551615;70=18446744073709551615",
            "Downloading: 18446744073709551615 of 18446744073709551615 bytes. File: \n"},
        {L"0;40=a.bin;60=10;70=4;70=10;10",
            "Checking for update...\nDownloading: 4 of 10 bytes. File: a.bin\nDownloading: 10 of 10 bytes. File: a.bin\n"
            "Downloading definitions done\n"},
        // Outside the table: nothing, whatever the number.
        {L"20;50;91;100;-1;-90;2147483647;-2147483648;1;89", ""},
        // An event that carries a value but comes without one changes nothing.
        {L"40;60;70;90", ""},
        {L"40=kept.bin;60=9;40;60;70=3", "Downloading: 3 of 9 bytes. File: kept.bin\n"},
        // The name comes from the server: no control character of it reaches the console.
        {L"40=a\r\nDefinitions up to date\x1b[2J\x7f\tz.bin;60=2;70=1",
            "Downloading: 1 of 2 bytes. File: a??Definitions up to date?[2J?\tz.bin\n"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.events)));
        recorder.ClearCalls();
        EXPECT_EQ(c.printed, Update(c.events));
        for (const std::wstring& answer : EventAnswers())
            EXPECT_THAT(answer, testing::EndsWith(L"|0"));
        EXPECT_THAT(recorder.Calls(L"Install"), IsEmpty());
    }
}

// One budget of five for the three retry events together, whichever they are.
TEST_F(DefinitionsUpdaterTest, RetryRequestsShareABudgetOfFivePerStart)
{
    const struct
    {
        const wchar_t* events;
        std::vector<std::wstring> answers;
    } cases[] = {
        {L"80;81;82;80;81;82", {L"Event|80|1", L"Event|81|1", L"Event|82|1", L"Event|80|1", L"Event|81|1", L"Event|82|0"}},
        {L"82;82;82;82;82;82;82", {L"Event|82|1", L"Event|82|1", L"Event|82|1", L"Event|82|1", L"Event|82|1",
            L"Event|82|0", L"Event|82|0"}},
        {L"81;0;81;30;81", {L"Event|81|1", L"Event|0|0", L"Event|81|1", L"Event|30|0", L"Event|81|1"}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.events)));
        recorder.ClearCalls();
        Update(c.events);
        EXPECT_EQ(c.answers, EventAnswers());
    }
}

TEST_F(DefinitionsUpdaterTest, WithoutDefinitionsToApplyStartEndsAfterTheUpdate)
{
    const struct
    {
        const wchar_t* events;
        const char* printed;
    } cases[] = {{L"", ""}, {L"30", "Definitions up to date\n"}, {L"90=0", ""}, {L"90=1;90=0", ""}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.events)));
        recorder.ClearCalls();
        EXPECT_EQ(c.printed, Update(c.events));
        EXPECT_THAT(recorder.Calls(L"Install"), IsEmpty());
        EXPECT_THAT(recorder.Calls(L"Initialize"), IsEmpty());
    }
}

// Install, then one engine life on the new definitions, then the closing line; a value whose
// low 32 bits are zero still counts.
TEST_F(DefinitionsUpdaterTest, DefinitionsToApplyAreInstalledAndTheEngineStartedOnceOnThem)
{
    for (const wchar_t* events : {L"90=1", L"90=4294967296", L"0;40=a.bin;60=1;70=1;10;90=18446744073709551615"})
    {
        SCOPED_TRACE(testing::PrintToString(std::wstring(events)));
        recorder.ClearCalls();
        const std::string printed = Update(events);
        EXPECT_THAT(printed, testing::EndsWith("Applying definitions started\n" + engineLines + "Applying definitions done\n"));
        std::vector<std::wstring> calls;
        for (const std::wstring& call : recorder.Calls())
        {
            if (call.compare(0, 6, L"Event|") != 0 && call.compare(0, 10, L"SetOption|") != 0)
                calls.push_back(call.substr(0, call.find(L'|')));
        }
        EXPECT_THAT(calls, ElementsAre(L"Create", L"Update", L"Install", L"InitializeEx", L"Uninitialize", L"Destroy"));
    }
}

// An engine that will not start on the installed definitions neither fails the update nor
// passes unseen: its diagnostic in the log and on the console, saying that the definitions
// were applied, then the closing line.
TEST_F(DefinitionsUpdaterTest, AnEngineThatWillNotStartAfterTheInstallIsReportedAndTheUpdateEnds)
{
    const TestSupport::LogLines log;
    recorder.SetResults(L"InitializeEx=0xC000100C");
    sdk.SetEvents(L"90=1");
    const std::string printed = TestSupport::Printed(UpdateDefinitions);

    const std::string intro = "Applying definitions started\nInitializing engine, please wait...\n"
                              "Definitions applied, but couldn't start the engine. Error: ";
    const std::string closing = "Applying definitions done\n";
    ASSERT_THAT(printed, StartsWith(intro));
    ASSERT_THAT(printed, testing::EndsWith(closing));
    const std::string text = printed.substr(intro.size(), printed.size() - intro.size() - closing.size());
    EXPECT_THAT(text, HasSubstr("std::exception::what: Couldn't initialize scanner. Error: CouldNotInitialize\n"));
    EXPECT_THAT(text, HasSubstr("Scanner::InitEx()"));
    EXPECT_EQ("Error: " + text + "\n", Joined(log.Lines()));
    EXPECT_THAT(recorder.Calls(L"Uninitialize"), IsEmpty());
    EXPECT_EQ(L"Destroy|valid", recorder.Calls().back());
}

TEST_F(DefinitionsUpdaterTest, UpdateAndInstallFailuresThrowTheirSignedCodes)
{
    const struct
    {
        const wchar_t* results;
        const wchar_t* events;
        const char* message;
        const char* printed;
    } cases[] = {
        {L"Update=-1", L"90=1", "Couldn't perform update. Error: -1", ""},
        {L"Update=0xC0000000", L"", "Couldn't perform update. Error: -1073741824", ""},
        {L"Update=7", L"30", "Couldn't perform update. Error: 7", "Definitions up to date\n"},
        {L"Install=-5", L"90=1", "Couldn't perform install. Error: -5", "Applying definitions started\n"},
        {L"Install=0x80000001", L"90=1", "Couldn't perform install. Error: -2147483647", "Applying definitions started\n"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.message);
        recorder.ClearCalls();
        recorder.SetResults(c.results);
        sdk.SetEvents(c.events);
        Failure<ExceptionHelper::Exception> failure;
        const std::string printed = TestSupport::Printed([&] {
            failure = Thrown<ExceptionHelper::Exception>(recorder, [] {
                DefinitionsUpdater updater;
                updater.Start();
            });
        });
        EXPECT_EQ(c.printed, printed);
        EXPECT_EQ(c.message, failure.message);
        EXPECT_THAT(failure.diagnostic, HasSubstr("DefinitionsUpdater.cpp("));
        // The console shows the operation that failed, not a helper of it.
        EXPECT_THAT(failure.diagnostic, HasSubstr("void BriskenCommandLineScanner::DefinitionsUpdater::Start()"));
        EXPECT_THAT(failure.calls, testing::Not(testing::Contains(StartsWith(L"Initialize"))));
        EXPECT_EQ(L"Destroy|valid", failure.calls.back());
    }
}

// The callback is a barrier: without a context it logs and answers 0 instead of throwing into the SDK.
TEST_F(DefinitionsUpdaterTest, TheCallbackWithoutAContextLogsNoSelfAndAnswersZero)
{
    const TestSupport::LogLines log;
    std::uint64_t value = 1;
    EXPECT_EQ("", TestSupport::Printed([&] {
        for (const int event : {0, 40, 60, 70, 80, 90, 20})
            EXPECT_EQ(0, DefinitionsUpdater::BKUpdateCallback(event, &value, nullptr));
    }));
    EXPECT_EQ(std::vector<std::string>(7, "Error: No self"), log.Lines());
}

// The command: a failure becomes one Error line with the diagnostic text and the same text on
// the console after "Couldn't update definitions. Error: ".
TEST_F(DefinitionsUpdaterTest, TheCommandReportsAFailureInTheLogAndOnTheConsole)
{
    const TestSupport::LogLines log;
    recorder.SetResults(L"Update=-1");
    const std::string printed = TestSupport::Printed(UpdateDefinitions);

    const std::string intro = "Couldn't update definitions. Error: ";
    ASSERT_THAT(printed, StartsWith(intro));
    const std::string text = printed.substr(intro.size());
    EXPECT_THAT(text, HasSubstr("std::exception::what: Couldn't perform update. Error: -1\n"));
    // The text ends with its own line break, to which the log adds the line end.
    EXPECT_EQ("Error: " + text + "\n", Joined(log.Lines()));
}

} // namespace
