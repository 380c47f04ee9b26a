// Where a scan's result goes: the default place, completed paths, paths used as given, and
// read-only mode, with the closing console message each one ends in.
#include "Program/Config.h"
#include "Scanner/Scanner.h"

#include "support/RecordingEngine.h"
#include "support/ScannerTestPeer.h"
#include "support/TempFolder.h"

#include "ProcessHelper/ProcessHelper.h"

#include <boost/filesystem/operations.hpp>

#include <gtest/gtest.h>

#include <algorithm>

using namespace BriskenCommandLineScanner;

namespace
{

namespace fs = boost::filesystem;

enum class Expected
{
    Default,       // program folder\Scan Results\<default name>
    DefaultAppended, // the given path with the default name appended
    Unchanged
};

enum class Outcome
{
    Saved,
    NotSaved,
    ReadOnly
};

struct PathCase
{
    const char* name;
    bool readOnly;
    const wchar_t* given; // relative to the test's temporary folder, unless it starts with a drive
    Expected expected;
    Outcome outcome;
    const char* createdFolder; // relative to the temporary folder; "" for none
};

const PathCase cases[] = {
    {"Empty", false, L"", Expected::Default, Outcome::Saved, ""},
    {"BareDrive", false, L"Q:", Expected::DefaultAppended, Outcome::NotSaved, ""},
    {"ExistingFolder", false, L"existing", Expected::Unchanged, Outcome::NotSaved, ""},
    {"TrailingSeparator", false, L"existing\\", Expected::Unchanged, Outcome::NotSaved, ""},
    {"MissingFolders", false, L"new\\deeper\\result.xml", Expected::Unchanged, Outcome::Saved, "new\\deeper"},
    {"ReadOnlyEmpty", true, L"", Expected::Unchanged, Outcome::ReadOnly, ""},
    {"ReadOnlyBareDrive", true, L"Q:", Expected::Unchanged, Outcome::ReadOnly, ""},
    {"ReadOnlyMissingFolders", true, L"new\\deeper\\result.xml", Expected::Unchanged, Outcome::ReadOnly, ""},
};

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class ScannerResultPathTest : public testing::TestWithParam<PathCase>
{
protected:
    void SetUp() override
    {
        Config::Instance().read_only = GetParam().readOnly;
        fs::create_directories(temp.Path() / "existing");
    }

    void TearDown() override
    {
        Config::Instance().read_only = false;
    }

    std::wstring Given() const
    {
        const std::wstring given = GetParam().given;
        if (given.empty() || given.find(L':') != std::wstring::npos)
            return given;
        return (temp.Path() / given).wstring();
    }

    TestSupport::RecordingEngine engine;
    TestSupport::TempFolder temp;
};

TEST_P(ScannerResultPathTest, SettlesThePathAndReportsTheSave)
{
    Scanner scanner;
    ScanRequest request;
    request.scanType = 2;
    request.scanResultPath = Given();
    testing::internal::CaptureStdout();
    scanner.Scan(request);
    std::string console = testing::internal::GetCapturedStdout();
    console.erase(std::remove(console.begin(), console.end(), '\r'), console.end());

    const std::wstring name = ScannerTestPeer::DefaultScanResultFileName(scanner);
    EXPECT_EQ(name, L"Custom-" + std::wstring(scanner.Result().startTime.begin(),
        scanner.Result().startTime.end()) + L".xml");
    const fs::path defaultPath = ProcessHelper::Process::Path().parent_path() / "Scan Results" / name;
    const std::wstring expected = GetParam().expected == Expected::Default ? defaultPath.wstring()
        : GetParam().expected == Expected::DefaultAppended ? Given() + name
        : Given();
    const std::wstring settled = ScannerTestPeer::Request(scanner).scanResultPath;
    EXPECT_EQ(settled, expected);

    const std::string narrowPath(settled.begin(), settled.end());
    switch (GetParam().outcome)
    {
    case Outcome::Saved:
        EXPECT_TRUE(fs::is_regular_file(settled));
        EXPECT_TRUE(EndsWith(console, "\nScan complete.You can access scan result here: " + narrowPath + "\n")) << console;
        break;
    case Outcome::NotSaved:
        EXPECT_FALSE(fs::is_regular_file(settled));
        EXPECT_TRUE(EndsWith(console, "\nError: Couldn't save scan result. Please check scan result path\n")) << console;
        break;
    case Outcome::ReadOnly:
        EXPECT_FALSE(fs::exists(temp.Path() / "new")) << "read-only runs create no folder";
        EXPECT_TRUE(EndsWith(console, "Scan started\n\nScan complete.\n")) << console;
        break;
    }
    if (*GetParam().createdFolder)
    {
        EXPECT_TRUE(fs::is_directory(temp.Path() / GetParam().createdFolder));
    }
    if (GetParam().expected == Expected::Default)
        fs::remove(defaultPath);
}

INSTANTIATE_TEST_SUITE_P(Paths, ScannerResultPathTest, testing::ValuesIn(cases),
    [](const testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

} // namespace
