// The scan callback: what it records, the action it hands back, its console line, and that
// nothing it throws reaches the engine.
#include "Program/Config.h"
#include "Program/ConsoleText.h"
#include "Scanner/Scanner.h"

#include "support/Console.h"
#include "support/LogLines.h"
#include "support/RecordingEngine.h"
#include "support/ScannerTestPeer.h"

#include "ProcessHelper/ProcessHelper.h"
#include "StringHelper/StringHelper.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <sstream>

using namespace BriskenCommandLineScanner;
using testing::ElementsAre;

// Allocation failure on demand: the allocation numbered failAt (counting from 0 after a reset)
// throws std::bad_alloc. Off while failAt is negative.
namespace
{
long failAt = -1;
long allocations = 0;
} // namespace

void* operator new(std::size_t size)
{
    if (failAt >= 0 && allocations++ == failAt)
        throw std::bad_alloc();
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

// The replacement new above takes its memory from malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
#pragma GCC diagnostic pop

namespace
{

namespace fs = boost::filesystem;

const std::uint32_t Failed = 0, Clean = 1, Found = 3, Suspicious = 4, Deleted = 5, Moved = 6;
const int untouched = -1;

std::wstring SignedFile(const char* name)
{
    return (ProcessHelper::Process::Path().parent_path() / "signed" / name).wstring();
}

_ScanCbkParams Report(std::uint32_t status, const wchar_t* path)
{
    _ScanCbkParams report{};
    report.scanStatus = status;
    report.path = path;
    return report;
}

// The lines of console output that say something was not scanned.
std::vector<std::string> NotScannedLines(const std::string& output)
{
    std::vector<std::string> lines;
    std::istringstream stream(output);
    for (std::string line; std::getline(stream, line);)
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("Couldn't scan ", 0) == 0)
            lines.push_back(line);
    }
    return lines;
}

class ScannerCallbackTest : public testing::Test
{
protected:
    ScannerCallbackTest()
    {
        testing::internal::CaptureStdout();
        scanner.reset(new Scanner);
        testing::internal::GetCapturedStdout();
        ScannerTestPeer::Request(*scanner).action = 7;
    }

    // Passes one report; returns what the callback left in the action slot.
    int Call(_ScanCbkParams report, void* context)
    {
        int action = untouched;
        Scanner::ScanCallback(&report, &action, context);
        return action;
    }

    int Call(_ScanCbkParams report)
    {
        return Call(report, scanner.get());
    }

    const std::vector<boost::shared_ptr<InfectedObject>>& Infected()
    {
        return scanner->Result().infected;
    }

    TestSupport::RecordingEngine engine;
    std::unique_ptr<Scanner> scanner;
};

struct Step
{
    std::uint32_t status;
    std::wstring path;
    int action; // expected in the slot afterwards
    const wchar_t* innerObject = nullptr; // the member of an archive at path
};

struct Recorded
{
    std::wstring path;
    std::uint32_t status;
};

struct SequenceCase
{
    const char* name;
    std::vector<Step> steps;
    std::vector<Recorded> recorded;
};

class ScannerCallbackSequenceTest : public ScannerCallbackTest, public testing::WithParamInterface<SequenceCase>
{
};

TEST_P(ScannerCallbackSequenceTest, RecordsInfectedObjectsWithTheirFollowUpStatus)
{
    testing::internal::CaptureStdout();
    for (const Step& step : GetParam().steps)
    {
        _ScanCbkParams report = Report(step.status, step.path.c_str());
        report.innerObject = step.innerObject;
        EXPECT_EQ(Call(report), step.action) << step.path;
    }
    testing::internal::GetCapturedStdout();

    ASSERT_EQ(Infected().size(), GetParam().recorded.size());
    for (std::size_t i = 0; i < Infected().size(); ++i)
    {
        EXPECT_EQ(Infected()[i]->ObjectPath, GetParam().recorded[i].path);
        EXPECT_EQ(Infected()[i]->ScanStatus, GetParam().recorded[i].status);
        EXPECT_EQ(Infected()[i]->ScanAction, 7u);
    }
}

INSTANTIATE_TEST_SUITE_P(Reports, ScannerCallbackSequenceTest,
    testing::Values(
        SequenceCase{"CleanChangesNothing", {{Clean, L"a", untouched}}, {}},
        SequenceCase{"FollowUpWithoutRecordIsIgnored", {{Moved, L"a", untouched}}, {}},
        SequenceCase{"InfectedThenMoved", {{Found, L"a", 7}, {Moved, L"a", untouched}}, {{L"a", Moved}}},
        SequenceCase{"SuspiciousThenDeleted", {{Suspicious, L"a", 7}, {Deleted, L"a", untouched}}, {{L"a", Deleted}}},
        SequenceCase{"OnlyTheFirstFollowUpCounts",
            {{Found, L"a", 7}, {Moved, L"a", untouched}, {Clean, L"b", untouched}}, {{L"a", Moved}}},
        SequenceCase{"TwoInARowOnlyTheSecondGetsTheFollowUp",
            {{Found, L"a", 7}, {Suspicious, L"b", 7}, {Deleted, L"b", untouched}},
            {{L"a", Found}, {L"b", Deleted}}},
        SequenceCase{"AnotherObjectsReportIsNoFollowUp",
            {{Found, L"a", 7}, {Clean, L"b", untouched}, {Moved, L"a", untouched}}, {{L"a", Found}}},
        // Members of one archive share its path and differ in the inner object only.
        SequenceCase{"AnotherMemberOfTheArchiveIsNoFollowUp",
            {{Found, L"x.zip", 7, L"a.com"}, {Clean, L"x.zip", untouched, L"b.txt"},
                {Moved, L"x.zip", untouched, L"a.com"}},
            {{L"x.zip", Found}}},
        SequenceCase{"TheSameMemberGetsItsFollowUp",
            {{Found, L"x.zip", 7, L"a.com"}, {Moved, L"x.zip", untouched, L"a.com"}}, {{L"x.zip", Moved}}},
        SequenceCase{"UnnamedStatusIsAFollowUp", {{Found, L"a", 7}, {12, L"a", untouched}}, {{L"a", 12}}},
        SequenceCase{"MakersSignedFileIsLeftAlone",
            {{Found, SignedFile("TinyModule-unsigned.dll"), 7}, {Found, SignedFile("TinyModule-signed.dll"), untouched},
                {Moved, SignedFile("TinyModule-unsigned.dll"), untouched}},
            {{SignedFile("TinyModule-unsigned.dll"), Moved}}},
        SequenceCase{"TamperedAndOtherSignersAreRecorded",
            {{Found, SignedFile("TinyModule-tampered.dll"), 7}, {Found, SignedFile("TinyModule-signed-other.dll"), 7}},
            {{SignedFile("TinyModule-tampered.dll"), Found}, {SignedFile("TinyModule-signed-other.dll"), Found}}}),
    [](const testing::TestParamInfo<SequenceCase>& info) { return std::string(info.param.name); });

// An object the engine could not read prints like any other, then a line of its own that says it
// was skipped (also in read-only mode, which has no log); its log line gives the reason. A failed
// action is the infected record's follow-up, not a skipped object.
TEST_F(ScannerCallbackTest, ObjectsLeftUnscannedAreReportedWithTheirReason)
{
    struct Case
    {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> lines;
        std::vector<std::string> consoleLines;
    };
    const auto line = [](const char* path, const char* reason) {
        return std::string("Error: Object not scanned. Path: ") + path +
            ". Parent Containers: . Inner Object: . Object Flags: UnableToRead;. Reason: " + reason;
    };
    const auto consoleLine = [](const char* path, const char* reason) {
        return std::string("Couldn't scan object: ") + path + ". Error: " + reason;
    };
    const auto actionLine = [](const char* path) {
        return std::string("Error: Couldn't quarantine object. Path: ") + path +
            ". Parent Containers: . Inner Object: . Reason: FileOpen";
    };
    const Case cases[] = {
        {"NamedReason", {{Failed, L"a", untouched}}, {line("a", "FileOpen")}, {consoleLine("a", "FileOpen")}},
        {"UnnamedReason", {{Failed, L"b", untouched}}, {line("b", "0")}, {consoleLine("b", "0")}},
        {"CleanIsNoLine", {{Clean, L"c", untouched}}, {}, {}},
        {"FailedActionIsTheRecordsFollowUp", {{Found, L"d", 7}, {Failed, L"d", untouched}}, {actionLine("d")}, {}},
        {"AfterAFollowUpAnotherFailureCounts", {{Found, L"e", 7}, {Failed, L"e", untouched}, {Failed, L"f", untouched}},
            {actionLine("e"), line("f", "FileOpen")}, {consoleLine("f", "FileOpen")}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const TestSupport::LogLines log;
        testing::internal::CaptureStdout();
        for (const Step& step : c.steps)
        {
            _ScanCbkParams report = Report(step.status, step.path.c_str());
            report.parentContainers = L"";
            report.innerObject = L"";
            report.objectFlags = step.status == Failed ? std::uint32_t(EngineSdk::ObjectFlag::UnableToRead) : 0u;
            report.scanStatusFlags = step.path == L"b" ? 0 : EngineSdk::Result::FileOpen;
            EXPECT_EQ(Call(report), step.action);
        }
        EXPECT_EQ(NotScannedLines(testing::internal::GetCapturedStdout()), c.consoleLines);
        EXPECT_EQ(log.Lines(), c.lines);
    }
}

// An infected object whose action failed is named at once after its own line, by the action the
// scan asked for, and logged with the engine's reason; an action done adds no line.
TEST_F(ScannerCallbackTest, FailedActionIsNamedOnTheConsoleAndLogged)
{
    const struct
    {
        std::uint32_t action;
        std::uint32_t followUp;
        const wchar_t* innerObject;
        const char* consoleLine; // "" for none
        const char* logLine;
    } cases[] = {
        {7, Failed, L"", "Couldn't quarantine object: C:\\d\\x.com. Error: PathError",
            "Error: Couldn't quarantine object. Path: C:\\d\\x.com. Parent Containers: . Inner Object: . "
            "Reason: PathError"},
        {5, Failed, L"", "Couldn't delete object: C:\\d\\x.com. Error: PathError",
            "Error: Couldn't delete object. Path: C:\\d\\x.com. Parent Containers: . Inner Object: . Reason: PathError"},
        {3, Failed, L"in.exe", "Couldn't disinfect object: C:\\d\\x.com (in.exe). Error: PathError",
            "Error: Couldn't disinfect object. Path: C:\\d\\x.com. Parent Containers: . Inner Object: in.exe. "
            "Reason: PathError"},
        {5, Deleted, L"", "", ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.consoleLine);
        TestSupport::Printed([this] { scanner.reset(new Scanner); });
        ScannerTestPeer::Request(*scanner).action = c.action;
        const TestSupport::LogLines log;
        _ScanCbkParams report = Report(Found, L"C:\\d\\x.com");
        report.parentContainers = L"";
        report.innerObject = c.innerObject;
        const std::string console = TestSupport::Printed([&] {
            Call(report);
            report.scanStatus = c.followUp;
            report.scanStatusFlags = EngineSdk::Result::PathError;
            Call(report);
        });

        const std::string objectLine = std::string("Object Path: C:\\d\\x.com. Parent Containers: . Inner Object: ") +
            StringHelper::ToNarrow(c.innerObject, StringHelper::AnsiCodePage) + "\n";
        EXPECT_EQ(console, objectLine + objectLine + (*c.consoleLine ? c.consoleLine + std::string("\n") : ""));
        EXPECT_EQ(log.Lines(), *c.logLine ? std::vector<std::string>{c.logLine} : std::vector<std::string>{});
        ASSERT_EQ(Infected().size(), 1u);
        EXPECT_EQ(Infected()[0]->ScanStatus, c.followUp);
    }
}

// The console names what was skipped as the scan's own failed calls do.
TEST_F(ScannerCallbackTest, SkippedObjectIsNamedByItsKind)
{
    struct Case
    {
        std::uint32_t objectType;
        const wchar_t* path;
        const wchar_t* innerObject;
        const char* consoleLine;
    };
    const Case cases[] = {
        {EngineSdk::ObjectType::BootSector, L"C:\\", L"", "Couldn't scan boot sector of drive: C:\\. Error: FileRead"},
        {EngineSdk::ObjectType::File, L"C:\\a.zip", L"inner.exe",
            "Couldn't scan object: C:\\a.zip (inner.exe). Error: FileRead"},
        {EngineSdk::ObjectType::File, nullptr, nullptr, "Couldn't scan object: (null). Error: FileRead"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.consoleLine);
        _ScanCbkParams report = Report(Failed, c.path);
        report.objectType = c.objectType;
        report.innerObject = c.innerObject;
        report.scanStatusFlags = EngineSdk::Result::FileRead;
        testing::internal::CaptureStdout();
        Call(report);
        EXPECT_THAT(NotScannedLines(testing::internal::GetCapturedStdout()), ElementsAre(c.consoleLine));
    }
}

TEST_F(ScannerCallbackTest, RecordCopiesEveryReportedField)
{
    _ScanCbkParams report{};
    report.objectType = 2;
    report.path = L"C:\\a.exe";
    report.parentContainers = L"C:\\archive.zip";
    report.innerObject = L"inner.exe";
    report.objectFlags = 0x10000002;
    report.archiveFlags = -1;
    report.scanStatus = Suspicious;
    report.scanStatusFlags = -7;
    report.threatType = 6;
    report.pid = 4294967295u;
    report.regKey = 12;
    report.threatName = L"Threat";
    report.sysObjParentContainers = L"sys parent";
    report.sysObjInnerObject = L"sys inner";
    report.tempPath = L"C:\\Temp\\x";
    report.depthLevel = 3;
    ScannerTestPeer::Request(*scanner).action = 3;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Call(report), 3);
    testing::internal::GetCapturedStdout();

    ASSERT_EQ(Infected().size(), 1u);
    const InfectedObject& object = *Infected()[0];
    EXPECT_EQ(object.ObjectType, 2u);
    EXPECT_EQ(object.ObjectPath, L"C:\\a.exe");
    EXPECT_EQ(object.ParentContainers, L"C:\\archive.zip");
    EXPECT_EQ(object.InnerObject, L"inner.exe");
    EXPECT_EQ(object.ObjectFlags, 0x10000002u);
    EXPECT_EQ(object.ArchiveFlags, -1);
    EXPECT_EQ(object.ScanStatus, Suspicious);
    EXPECT_EQ(object.ScanStatusFlags, -7);
    EXPECT_EQ(object.ThreatType, 6u);
    EXPECT_EQ(object.Pid, 4294967295u);
    EXPECT_EQ(object.RegKey, 12u);
    EXPECT_EQ(object.ThreatName, L"Threat");
    EXPECT_EQ(object.SysObjParentContainers, L"sys parent");
    EXPECT_EQ(object.SysObjInnerObject, L"sys inner");
    EXPECT_EQ(object.TempPath, L"C:\\Temp\\x");
    EXPECT_EQ(object.DepthLevel, 3u);
    EXPECT_EQ(object.ScanAction, 3u);
    EXPECT_EQ(ScannerTestPeer::LastInfected(*scanner), Infected()[0]);
}

// The engine may pass no action slot: the object is still recorded, and nothing is written.
TEST_F(ScannerCallbackTest, NoActionSlotStillRecords)
{
    _ScanCbkParams report = Report(Found, L"C:\\a.exe");
    testing::internal::CaptureStdout();
    Scanner::ScanCallback(&report, nullptr, scanner.get());
    testing::internal::GetCapturedStdout();

    ASSERT_EQ(Infected().size(), 1u);
    EXPECT_EQ(Infected()[0]->ObjectPath, L"C:\\a.exe");
    EXPECT_EQ(Infected()[0]->ScanAction, 7u);
}

TEST_F(ScannerCallbackTest, NullTextsLeaveEmptyFieldsAndPrintAsNull)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(Call(Report(Found, nullptr)), 7);
    std::string console = testing::internal::GetCapturedStdout();
    console.erase(std::remove(console.begin(), console.end(), '\r'), console.end());

    EXPECT_EQ(console, "Object Path: (null). Parent Containers: (null). Inner Object: (null)\n");
    ASSERT_EQ(Infected().size(), 1u);
    EXPECT_EQ(Infected()[0]->ObjectPath, L"");
    EXPECT_EQ(Infected()[0]->ThreatName, L"");
    EXPECT_EQ(Infected()[0]->TempPath, L"");
}

TEST_F(ScannerCallbackTest, EveryReportPrintsItsLineAlsoWithoutContext)
{
    _ScanCbkParams report = Report(Found, L"C:\\\u0416\u0443\u043a.exe");
    report.parentContainers = L"C:\\outer.zip";
    report.innerObject = L"inner";
    testing::internal::CaptureStdout();
    EXPECT_EQ(Call(report, nullptr), untouched);
    EXPECT_EQ(Call(Report(Clean, L"C:\\b.txt")), untouched);
    std::string console = testing::internal::GetCapturedStdout();
    console.erase(std::remove(console.begin(), console.end(), '\r'), console.end());

    EXPECT_EQ(console, ToConsoleCodePage(L"Object Path: C:\\\u0416\u0443\u043a.exe. Parent Containers: C:\\outer.zip. "
                                         L"Inner Object: inner\n", ConsoleCodePage())
            + "Object Path: C:\\b.txt. Parent Containers: (null). Inner Object: (null)\n");
    EXPECT_TRUE(Infected().empty()) << "no context, no record";
}

// An object's names come from outside: in the console and log lines no control character of
// theirs may start a line of its own or reach the terminal; the record keeps them as they are.
TEST_F(ScannerCallbackTest, NamesPrintAndLogWithoutControlCharacters)
{
    const wchar_t* const path = L"C:\\a\nObject Path: C:\\forged.exe\tb";
    const wchar_t* const parent = L"C:\\x.zip\r\n";
    const wchar_t* const inner = L"\x1b[2J\x85\x9b\x7f";
    const std::string printed = "Object Path: C:\\a?Object Path: C:\\forged.exe\tb. Parent Containers: C:\\x.zip??. "
                                "Inner Object: ?[2J???";
    const TestSupport::LogLines log;
    testing::internal::CaptureStdout();
    for (const std::uint32_t status : {Failed, Found})
    {
        _ScanCbkParams report = Report(status, path);
        report.parentContainers = parent;
        report.innerObject = inner;
        report.objectFlags = std::uint32_t(EngineSdk::ObjectFlag::UnableToRead);
        report.scanStatusFlags = EngineSdk::Result::FileOpen;
        Call(report);
    }
    std::string console = testing::internal::GetCapturedStdout();
    console.erase(std::remove(console.begin(), console.end(), '\r'), console.end());

    const std::string skipped =
        "Couldn't scan object: C:\\a?Object Path: C:\\forged.exe\tb (?[2J??" "?). Error: FileOpen";
    EXPECT_EQ(console, printed + "\n" + skipped + "\n" + printed + "\n");
    EXPECT_THAT(log.Lines(), ElementsAre("Error: Object not scanned. Path: C:\\a?Object Path: C:\\forged.exe\tb. "
                                         "Parent Containers: C:\\x.zip??. Inner Object: ?[2J???. "
                                         "Object Flags: UnableToRead;. Reason: FileOpen"));
    ASSERT_EQ(Infected().size(), 1u);
    EXPECT_EQ(Infected()[0]->ObjectPath, path);
    EXPECT_EQ(Infected()[0]->ParentContainers, parent);
    EXPECT_EQ(Infected()[0]->InnerObject, inner);
}

TEST_F(ScannerCallbackTest, EngineCallsItWithTheScannerAndCarriesTheActionBack)
{
    engine.SetReports("Z:\\scripted\tstatus=1\tpath=Z:\\scripted\\clean.txt\n"
                      "Z:\\scripted\tstatus=3\tpath=Z:\\scripted\\eicar.com\tthreat=EICAR-Test-File\n"
                      "Z:\\scripted\tstatus=6\tpath=Z:\\scripted\\eicar.com\n");
    ScanRequest request;
    request.scanType = 2;
    request.paths = {L"Z:\\scripted"};
    request.action = 7;
    request.scanResultPath = L"Q:\\unwritable\\r.xml";
    testing::internal::CaptureStdout();
    scanner->Scan(request);
    testing::internal::GetCapturedStdout();

    EXPECT_THAT(engine.Calls(L"Report"), ElementsAre(L"Report|1|Z:\\scripted\\clean.txt|action=-1",
        L"Report|3|Z:\\scripted\\eicar.com|action=7", L"Report|6|Z:\\scripted\\eicar.com|action=-1"));
    ASSERT_EQ(Infected().size(), 1u);
    EXPECT_EQ(Infected()[0]->ThreatName, L"EICAR-Test-File");
    EXPECT_EQ(Infected()[0]->ScanStatus, Moved);
}

// Fails each allocation of one infected report in turn, right after an earlier infected object
// that is still waiting for its follow-up: nothing may escape, and the Scanner either holds the
// complete record (and told the engine the action) or holds nothing of it and lets the follow-up
// land nowhere, not on the earlier record.
TEST_F(ScannerCallbackTest, AllocationFailuresNeverReachTheEngine)
{
    bool failed = true;
    long k = 0;
    for (; failed && k < 1000; ++k)
    {
        testing::internal::CaptureStdout();
        const int earlierAction = Call(Report(Found, L"C:\\earlier.exe"));
        const boost::shared_ptr<InfectedObject> earlier = Infected().back();
        const wchar_t* const path = L"C:\\infected-with-a-long-enough-path-to-need-memory.exe";
        _ScanCbkParams report = Report(Found, path);
        report.threatName = L"a threat name that does not fit into a small string";
        int action = untouched;
        bool escaped = false;

        allocations = 0;
        failAt = k;
        try
        {
            Scanner::ScanCallback(&report, &action, scanner.get());
        }
        catch (...)
        {
            escaped = true;
        }
        failAt = -1;
        failed = allocations > k;
        Call(Report(Deleted, path));
        testing::internal::GetCapturedStdout();

        ASSERT_FALSE(escaped) << "allocation " << k;
        EXPECT_EQ(earlierAction, 7);

        const bool recorded = Infected().back() != earlier;
        if (recorded)
        {
            EXPECT_EQ(action, 7) << "allocation " << k;
            EXPECT_EQ(Infected().back()->ThreatName, report.threatName) << "allocation " << k;
        }
        else
        {
            EXPECT_EQ(action, untouched) << "allocation " << k;
        }
        EXPECT_EQ(earlier->ScanStatus, Found) << "the follow-up of another object; allocation " << k;
        if (recorded)
        {
            EXPECT_EQ(Infected().back()->ScanStatus, Deleted) << "allocation " << k;
        }
    }
    EXPECT_FALSE(failed) << "the report needs more allocations than the test tries";
    EXPECT_GT(k, 3) << "too few allocations to show anything";
}

} // namespace
