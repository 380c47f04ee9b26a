// The XML scan result: its exact bytes for small scans.
#include "Report/ScanResultReport.h"

#include "support/Console.h"
#include "support/LogLines.h"
#include "support/TempFolder.h"

#include "StringHelper/StringHelper.h"

#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

using namespace BriskenCommandLineScanner;
using TestSupport::WithoutCarriageReturns;

namespace
{

// The names in a folder, sorted.
std::vector<std::string> Names(const boost::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const boost::filesystem::directory_entry& entry : boost::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ScanResultReportTest : public testing::Test
{
protected:
    ScanResultReportTest()
    {
        result.scanTypeName = L"Quick";
        result.startTime = "20240105T101500.123456";
        result.endTime = "20240105T101501";
        destination.file = File().wstring();
    }

    boost::filesystem::path File() const
    {
        return temp.Path() / "result.xml";
    }

    std::string Save()
    {
        testing::internal::CaptureStdout();
        SaveScanResult(result, destination);
        testing::internal::GetCapturedStdout();
        boost::filesystem::ifstream file(File(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    TestSupport::TempFolder temp;
    ScanResult result;
    ScanResultDestination destination;
};

TEST_F(ScanResultReportTest, EmptyScanGivesEmptyElements)
{
    EXPECT_EQ(Save(),
        "<?xml version=\"1.0\"?>\n"
        "<Summary>\n"
        "\t<ScanInfo ScanType=\"Quick\" StartTime=\"20240105T101500.123456\" EndTime=\"20240105T101501\" />\n"
        "\t<ScanPaths />\n"
        "\t<InfectedObjects />\n"
        "</Summary>\n");
}

// A tab in a value is written as a character reference: written bare, any XML reader would
// turn it into a blank.
TEST_F(ScanResultReportTest, ObjectsCarryTheirSeventeenAttributesInOrderEscaped)
{
    result.scannedPaths = {L"<System>", L"C:\\\u0416\u0443\u043a"};
    const auto object = boost::make_shared<InfectedObject>();
    object->ObjectType = 2;
    object->ObjectPath = L"C:\\a&b\"<c>'.exe";
    object->ParentContainers = L"line\nfeed\ttab\r";
    object->ObjectFlags = 0x10000002;
    object->ArchiveFlags = -1;
    object->ScanStatus = 6;
    object->ScanStatusFlags = -2147483647 - 1;
    object->ThreatType = 7;
    object->Pid = 4294967295u;
    object->ThreatName = L"\u0416\u0443\u043a";
    object->SysObjParentContainers = L"\x01";
    object->SysObjInnerObject = L"x";
    object->DepthLevel = 3;
    object->ScanAction = 7;
    const auto unnamed = boost::make_shared<InfectedObject>();
    unnamed->ObjectType = 7;
    unnamed->ScanStatus = 12;
    unnamed->ThreatType = 8;
    unnamed->ScanAction = 12;
    result.infected = {object, unnamed};

    EXPECT_EQ(Save(),
        "<?xml version=\"1.0\"?>\n"
        "<Summary>\n"
        "\t<ScanInfo ScanType=\"Quick\" StartTime=\"20240105T101500.123456\" EndTime=\"20240105T101501\" />\n"
        "\t<ScanPaths>\n"
        "\t\t<Path Value=\"&lt;System&gt;\" />\n"
        "\t\t<Path Value=\"C:\\\xd0\x96\xd1\x83\xd0\xba\" />\n"
        "\t</ScanPaths>\n"
        "\t<InfectedObjects>\n"
        "\t\t<InfectedObject ObjectType=\"Process\" ObjectPath=\"C:\\a&amp;b&quot;&lt;c&gt;'.exe\""
        " ParentContainers=\"line&#10;feed&#09;tab&#13;\" InnerObject=\"\" ObjectFlags=\"Archive;Stream\" ArchiveFlags=\"-1\""
        " ScanStatus=\"Moved\" ScanStatusFlags=\"-2147483648\" ThreatType=\"ArchBomb\" Pid=\"4294967295\" RegKey=\"0\""
        " ThreatName=\"\xd0\x96\xd1\x83\xd0\xba\" SysObjParentContainers=\"?\" SysObjInnerObject=\"x\" TempPath=\"\""
        " DepthLevel=\"3\" ScanAction=\"QuarMove\" />\n"
        "\t\t<InfectedObject ObjectType=\"\" ObjectPath=\"\" ParentContainers=\"\" InnerObject=\"\" ObjectFlags=\"\""
        " ArchiveFlags=\"0\" ScanStatus=\"\" ScanStatusFlags=\"0\" ThreatType=\"\" Pid=\"0\" RegKey=\"0\" ThreatName=\"\""
        " SysObjParentContainers=\"\" SysObjInnerObject=\"\" TempPath=\"\" DepthLevel=\"0\" ScanAction=\"\" />\n"
        "\t</InfectedObjects>\n"
        "</Summary>\n");
}

// What XML 1.0 cannot hold becomes '?'; a surrogate pair is one character and stays whole.
TEST_F(ScanResultReportTest, CharactersXmlCannotHoldAreWrittenAsQuestionMarks)
{
    const struct
    {
        const wchar_t* value;
        const char* written;
    } cases[] = {
        {L"a\x01\x1f\x7f", "a??\x7f"},
        {L"\xfffe\xffff", "??"},
        {L"lead\xd800", "lead?"},
        {L"\xdc00trail", "?trail"},
        {L"\xd83d\xde00 pair", "\xf0\x9f\x98\x80 pair"},
        {L"\xdc00\xd800", "??"},
    };
    for (const auto& c : cases)
    {
        result.scannedPaths = {c.value};
        EXPECT_NE(Save().find(std::string("<Path Value=\"") + c.written + "\" />"), std::string::npos) << c.written;
    }
}

TEST_F(ScanResultReportTest, AnExistingFileIsReplaced)
{
    boost::filesystem::ofstream(File(), std::ios::binary) << std::string(10000, '#');
    const std::string saved = Save();
    EXPECT_EQ(saved.compare(0, 22, "<?xml version=\"1.0\"?>\n"), 0);
    EXPECT_EQ(saved.find('#'), std::string::npos);
}

// The report is written beside the file and put in its place whole: nothing else stays there.
TEST_F(ScanResultReportTest, ASavedReportLeavesNothingElseBesideIt)
{
    boost::filesystem::ofstream(temp.Path() / "other.txt") << "the user's";
    Save();
    EXPECT_EQ(Names(temp.Path()), (std::vector<std::string>{"other.txt", "result.xml"}));
}

// A save that fails says why in the log, with the path, and takes nothing away: a folder at the
// path keeps what it holds, and nothing is left beside it.
TEST_F(ScanResultReportTest, AFailedSaveIsLoggedAndLeavesThePathAsItWas)
{
    const struct
    {
        const char* name;
        boost::filesystem::path path;
        const char* reason; // the start of the log line's reason (the system's text, then its code)
    } cases[] = {
        {"a folder", temp.Path() / "folder", "error 5"},
        {"a missing folder", temp.Path() / "missing" / "result.xml", "error 3"},
        {"a share that is not there", "\\\\nosuchserver\\share\\result.xml", "(error "},
    };
    boost::filesystem::create_directories(temp.Path() / "folder");
    boost::filesystem::ofstream(temp.Path() / "folder" / "kept.txt") << "kept";
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        destination.file = c.path.wstring();
        const TestSupport::LogLines log;
        const std::string console = TestSupport::Printed([this] { SaveScanResult(result, destination); });

        EXPECT_EQ(console, "\nError: Couldn't save scan result. Please check scan result path\n");
        ASSERT_EQ(log.Lines().size(), 1u);
        const std::string line = log.Lines()[0];
        EXPECT_EQ(line.rfind("Error: Couldn't save scan result. Error: ", 0), 0u) << line;
        EXPECT_NE(line.find(c.reason), std::string::npos) << line;
        EXPECT_EQ(line.substr(line.size() - c.path.string().size() - 8), ". Path: " + c.path.string()) << line;
        EXPECT_EQ(Names(temp.Path()), (std::vector<std::string>{"folder"}));
        EXPECT_EQ(Names(temp.Path() / "folder"), (std::vector<std::string>{"kept.txt"}));
    }
}

struct DestinationCase
{
    const char* name;
    bool readOnly;
    bool standardOutput;
    bool fileOpens;
    bool fileExpected;
    const char* console; // with "<doc>" for the document and "<path>" for the result file
    bool fileRefused = false;
};

class ScanResultDestinationTest : public ScanResultReportTest, public testing::WithParamInterface<DestinationCase>
{
};

// The copy on standard output comes between two line ends before the closing message, in
// read-only mode and after a failed save alike; only the file depends on them.
TEST_P(ScanResultDestinationTest, FileAndConsoleFollowTheDestination)
{
    const DestinationCase& c = GetParam();
    const std::string document = "<?xml version=\"1.0\"?>\n<Summary>\n"
        "\t<ScanInfo ScanType=\"Quick\" StartTime=\"20240105T101500.123456\" EndTime=\"20240105T101501\" />\n"
        "\t<ScanPaths />\n\t<InfectedObjects />\n</Summary>\n";
    if (!c.fileOpens)
        destination.file = (temp.Path() / "missing" / "result.xml").wstring();
    destination.readOnly = c.readOnly;
    destination.standardOutput = c.standardOutput;
    destination.fileRefused = c.fileRefused;

    testing::internal::CaptureStdout();
    SaveScanResult(result, destination);
    std::string console = WithoutCarriageReturns(testing::internal::GetCapturedStdout());

    std::string expected = c.console;
    for (const auto& [mark, text] : {std::make_pair(std::string("<doc>"), document),
             std::make_pair(std::string("<path>"), StringHelper::ToNarrow(destination.file, StringHelper::AnsiCodePage))})
    {
        const std::size_t at = expected.find(mark);
        if (at != std::string::npos)
            expected.replace(at, mark.size(), text);
    }
    EXPECT_EQ(expected, console);
    EXPECT_EQ(c.fileExpected, boost::filesystem::exists(destination.file));
}

INSTANTIATE_TEST_SUITE_P(Destinations, ScanResultDestinationTest,
    testing::Values(
        DestinationCase{"File", false, false, true, true, "\nScan complete.You can access scan result here: <path>\n"},
        DestinationCase{"FileAndCopy", false, true, true, true,
            "\n<doc>\n\nScan complete.You can access scan result here: <path>\n"},
        DestinationCase{"ReadOnly", true, false, true, false, "\nScan complete.\n"},
        DestinationCase{"ReadOnlyCopy", true, true, true, false, "\n<doc>\n\nScan complete.\n"},
        DestinationCase{"Unopenable", false, false, false, false,
            "\nError: Couldn't save scan result. Please check scan result path\n"},
        DestinationCase{"UnopenableCopy", false, true, false, false,
            "\n<doc>\n\nError: Couldn't save scan result. Please check scan result path\n"},
        DestinationCase{"Refused", false, false, true, false,
            "\nError: Couldn't save scan result. Please check scan result path\n", true},
        DestinationCase{"RefusedCopy", false, true, true, false,
            "\n<doc>\n\nError: Couldn't save scan result. Please check scan result path\n", true}),
    [](const testing::TestParamInfo<DestinationCase>& info) { return std::string(info.param.name); });

} // namespace
