// The database query and the definitions-info command, against the recording engine
// (tests/fixtures/RecordingEngine) in the test folder as scan.dll.
#include "Commands/Commands.h"
#include "Program/Config.h"
#include "Scanner/Scanner.h"

#include "support/Console.h"
#include "support/LogLines.h"
#include "support/RecordingEngine.h"

#include <boost/locale/generator.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

using namespace BriskenCommandLineScanner;
using testing::ElementsAre;
using testing::IsEmpty;

namespace
{

const std::string engineLines = "Initializing engine, please wait...\nInitializing engine completed\n";

// The program's locale for a fixed language, and UTC as the local time zone.
class ScannerDatabaseTest : public testing::Test
{
protected:
    void SetUp() override
    {
        Config::Instance().read_only = false;
        previous = std::locale::global(boost::locale::generator()("en_US.UTF-8"));
        _putenv_s("TZ", "UTC0");
        _tzset();
    }

    void TearDown() override
    {
        std::locale::global(previous);
        _putenv_s("TZ", "");
        _tzset();
    }

    // Builds a Scanner and asks it; version and date start as given.
    void Query(unsigned long& version, std::wstring& date)
    {
        TestSupport::Printed([&] {
            Scanner scanner;
            scanner.GetDatabaseInformation(version, date);
        });
    }

    static std::string DefinitionsInfo()
    {
        return TestSupport::Printed(PrintDefinitionsInfo);
    }

    TestSupport::RecordingEngine engine;
    std::locale previous;
};

// The engine's unsigned 32-bit release time, from 1970 to its last second in 2106.
TEST_F(ScannerDatabaseTest, TheReleaseTimeIsShownAsALocalDateOverAllOfItsBits)
{
    const struct
    {
        unsigned long version;
        unsigned long releaseTime;
        const wchar_t* date;
    } cases[] = {
        {1, 0, L"1/1/1970 12:00:00 AM"},
        {20240105, 1704449700, L"1/5/2024 10:15:00 AM"},
        {4294967295, 2147483648, L"1/19/2038 3:14:08 AM"},
        {7, 4294967295, L"2/7/2106 6:28:15 AM"},
    };
    for (const auto& c : cases)
    {
        engine.ClearCalls();
        engine.SetDatabase(c.version, c.releaseTime);
        unsigned long version = 0;
        std::wstring date;
        Query(version, date);
        EXPECT_EQ(c.version, version);
        EXPECT_EQ(c.date, date);
        // A bare instance of its own, destroyed again.
        EXPECT_THAT(engine.Calls(L"CreateInstance"), ElementsAre(L"CreateInstance|in=null"));
        EXPECT_THAT(engine.Calls(L"SetIntOption"), IsEmpty());
        EXPECT_THAT(engine.Calls(L"DestroyInstance"), ElementsAre(L"DestroyInstance|valid"));
    }
}

TEST_F(ScannerDatabaseTest, EngineFailuresLeaveTheValuesAndAreLogged)
{
    const struct
    {
        const wchar_t* results;
        unsigned long version;
        const char* logged;
    } cases[] = {
        {L"CreateInstance=0xC0000002", 99, "Error: Couldn't create scanner. Error: FileCreate"},
        // The engine wrote the version before it failed.
        {L"GetDatabaseInformation=0xC0001002", 5, "Error: Couldn't get database information. Error: DbinfoUnavailable"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.logged);
        const TestSupport::LogLines log;
        engine.SetResults(c.results);
        engine.SetDatabase(5, 0);
        unsigned long version = 99;
        std::wstring date = L"untouched";
        Query(version, date);
        EXPECT_EQ(c.version, version);
        EXPECT_EQ(L"untouched", date);
        EXPECT_THAT(log.Lines(), testing::Contains(testing::StartsWith(c.logged)));
    }
}

TEST_F(ScannerDatabaseTest, DefinitionsInfoPrintsTheEngineLinesAndFourOfItsOwn)
{
    engine.SetDatabase(20240105, 4294967295);
    EXPECT_EQ(engineLines + "Definitions Info:\n\tDatabase version: 20240105\n\tDatabase release date: 2/7/2106 6:28:15 AM\n"
            "\tVersion: N/A\n",
        DefinitionsInfo());
}

TEST_F(ScannerDatabaseTest, DefinitionsInfoPrintsWhatItCouldLearn)
{
    const struct
    {
        const wchar_t* results;
        const char* printed;
    } cases[] = {
        // The engine does not start: no date at all.
        {L"InitializeEx=0xC000100C", "Initializing engine, please wait...\nDefinitions Info:\n\tDatabase version: 0\n"
                                     "\tDatabase release date: N/A\n\tVersion: N/A\n"},
        // The engine answers with an error: an empty date.
        {L"GetDatabaseInformation=0xC0001002", "Initializing engine, please wait...\nInitializing engine completed\n"
                                               "Definitions Info:\n\tDatabase version: 3\n\tDatabase release date: \n"
                                               "\tVersion: N/A\n"},
        {L"CreateInstance=1", "Initializing engine, please wait...\nInitializing engine completed\nDefinitions Info:\n"
                              "\tDatabase version: 0\n\tDatabase release date: \n\tVersion: N/A\n"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.results)));
        engine.SetResults(c.results);
        engine.SetDatabase(3, 0);
        EXPECT_EQ(c.printed, DefinitionsInfo());
    }
}

} // namespace
