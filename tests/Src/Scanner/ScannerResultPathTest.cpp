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

#include <windows.h>

using namespace BriskenCommandLineScanner;

namespace
{

namespace fs = boost::filesystem;

enum class Expected
{
    Default,       // program folder\Scan Results\<default name>
    DefaultAppended, // the given path with the default name appended
    Unchanged,
    Stored // the case's stored path: the name as Windows stores it
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
    const wchar_t* stored = L""; // Expected::Stored: the path, relative to the temporary folder
    const char* absent = "";     // relative to the temporary folder: what must not be made; "" for nothing
};

const PathCase cases[] = {
    {"Empty", false, L"", Expected::Default, Outcome::Saved, ""},
    {"BareDrive", false, L"Q:", Expected::DefaultAppended, Outcome::NotSaved, ""},
    {"ExistingFolder", false, L"existing", Expected::Unchanged, Outcome::NotSaved, ""},
    {"TrailingSeparator", false, L"existing\\", Expected::Unchanged, Outcome::NotSaved, ""},
    {"MissingFolders", false, L"new\\deeper\\result.xml", Expected::Unchanged, Outcome::Saved, "new\\deeper"},
    // Windows drops dots and blanks from the end of a name: the file is the name without them.
    {"TrailingDot", false, L"r.xml.", Expected::Stored, Outcome::Saved, "", L"r.xml"},
    {"TrailingDotsAndBlanks", false, L"new\\r.xml . .", Expected::Stored, Outcome::Saved, "new", L"new\\r.xml"},
    {"LeadingBlank", false, L" r.xml", Expected::Unchanged, Outcome::Saved, ""},
    // Names no file can have: a stream of another file, devices, characters Windows refuses.
    {"Stream", false, L"r.xml:ads", Expected::Unchanged, Outcome::NotSaved, "", L"", "r.xml"},
    {"StreamInNewFolder", false, L"new\\r.xml:ads", Expected::Unchanged, Outcome::NotSaved, "", L"", "new"},
    {"Device", false, L"CON", Expected::Unchanged, Outcome::NotSaved, ""},
    {"DeviceWithExtension", false, L"aux.xml", Expected::Unchanged, Outcome::NotSaved, ""},
    {"ReservedCharacter", false, L"r?.xml", Expected::Unchanged, Outcome::NotSaved, ""},
    {"OnlyDots", false, L"existing\\...", Expected::Unchanged, Outcome::NotSaved, ""},
    {"ReadOnlyEmpty", true, L"", Expected::Unchanged, Outcome::ReadOnly, ""},
    {"ReadOnlyBareDrive", true, L"Q:", Expected::Unchanged, Outcome::ReadOnly, ""},
    {"ReadOnlyMissingFolders", true, L"new\\deeper\\result.xml", Expected::Unchanged, Outcome::ReadOnly, ""},
};

// Whether the folder of path lists a file (not a folder) of its name. Read from the list, so that
// a device name (CON, aux.xml) is not asked of the device.
bool ListsFile(const fs::path& path)
{
    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileW((path.parent_path() / L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    do
        found = path.filename() == entry.cFileName && !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    while (!found && FindNextFileW(find, &entry));
    FindClose(find);
    return found;
}

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
        if (given.empty() || (given.size() >= 2 && given[1] == L':'))
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
        : GetParam().expected == Expected::Stored ? (temp.Path() / GetParam().stored).wstring()
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
        // By the folder's list: a device name (CON, aux.xml) would be asked of the device.
        EXPECT_FALSE(ListsFile(settled)) << "nothing was saved";
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
    if (*GetParam().absent)
    {
        EXPECT_FALSE(fs::exists(temp.Path() / GetParam().absent));
    }
    if (GetParam().expected == Expected::Default)
        fs::remove(defaultPath);
}

INSTANTIATE_TEST_SUITE_P(Paths, ScannerResultPathTest, testing::ValuesIn(cases),
    [](const testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

} // namespace
