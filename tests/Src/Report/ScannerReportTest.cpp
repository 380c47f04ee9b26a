// The XML scan result: its exact bytes for small scans.
#include "Program/Config.h"
#include "Scanner/Scanner.h"

#include "support/RecordingEngine.h"
#include "support/ScannerTestPeer.h"
#include "support/TempFolder.h"

#include <boost/filesystem/fstream.hpp>
#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <iterator>
#include <memory>

using namespace BriskenCommandLineScanner;

namespace
{

class ScannerReportTest : public testing::Test
{
protected:
    ScannerReportTest()
    {
        Config::Instance().read_only = false;
        testing::internal::CaptureStdout();
        scanner.reset(new Scanner);
        testing::internal::GetCapturedStdout();
        ScannerTestPeer::ScanTypeName(*scanner) = L"Quick";
        ScannerTestPeer::StartTime(*scanner) = "20240105T101500.123456";
        ScannerTestPeer::EndTime(*scanner) = "20240105T101501";
        ScannerTestPeer::Request(*scanner).scanResultPath = File().wstring();
    }

    boost::filesystem::path File() const
    {
        return temp.Path() / "result.xml";
    }

    std::string Save()
    {
        testing::internal::CaptureStdout();
        ScannerTestPeer::SaveScanResult(*scanner);
        testing::internal::GetCapturedStdout();
        boost::filesystem::ifstream file(File(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    TestSupport::RecordingEngine engine;
    TestSupport::TempFolder temp;
    std::unique_ptr<Scanner> scanner;
};

TEST_F(ScannerReportTest, EmptyScanGivesEmptyElements)
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
TEST_F(ScannerReportTest, ObjectsCarryTheirSeventeenAttributesInOrderEscaped)
{
    ScannerTestPeer::ScannedPaths(*scanner) = {L"<System>", L"C:\\\u0416\u0443\u043a"};
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
    ScannerTestPeer::Infected(*scanner) = {object, unnamed};

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
TEST_F(ScannerReportTest, CharactersXmlCannotHoldAreWrittenAsQuestionMarks)
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
        ScannerTestPeer::ScannedPaths(*scanner) = {c.value};
        EXPECT_NE(Save().find(std::string("<Path Value=\"") + c.written + "\" />"), std::string::npos) << c.written;
    }
}

TEST_F(ScannerReportTest, AnExistingFileIsReplaced)
{
    boost::filesystem::ofstream(File(), std::ios::binary) << std::string(10000, '#');
    const std::string saved = Save();
    EXPECT_EQ(saved.compare(0, 22, "<?xml version=\"1.0\"?>\n"), 0);
    EXPECT_EQ(saved.find('#'), std::string::npos);
}

} // namespace
