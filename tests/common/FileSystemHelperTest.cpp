#include "FileSystemHelper/Containment.h"
#include "FileSystemHelper/Drives.h"
#include "FileSystemHelper/File.h"
#include "FileSystemHelper/FileName.h"
#include "FileSystemHelper/Removal.h"
#include "FileSystemHelper/ReplacingFile.h"
#include "FileSystemHelper/SharedFolderLock.h"

#include "ExceptionHelper/WindowsException.h"

#include <boost/exception/get_error_info.hpp>
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/shared_ptr.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

namespace
{

namespace fs = boost::filesystem;

// A fresh folder per test, removed afterwards.
class FileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / fs::unique_path(L"FileSystemHelperTest-%%%%-%%%%");
        fs::create_directories(folder);
    }

    void TearDown() override
    {
        boost::system::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    fs::path Write(const std::wstring& name, const std::string& bytes)
    {
        const fs::path file = folder / name;
        fs::ofstream stream(file, std::ios::binary);
        stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

    fs::path folder;
};

boost::shared_ptr<void> Open(const fs::path& file, DWORD access, DWORD share)
{
    const HANDLE handle =
        CreateFileW(file.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return boost::shared_ptr<void>();
    return boost::shared_ptr<void>(handle, &CloseHandle);
}

TEST_F(FileTest, GetSizeGivesTheSizeOfAnOpenFile)
{
    const fs::path file = Write(L"seven.bin", "1234567");
    const boost::shared_ptr<void> handle = Open(file, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(handle);
    EXPECT_EQ(7, FileSystemHelper::File::GetSize(handle.get()));
}

// Line number lineNumber (from 1) of a source file as a throw location names it (relative to the
// source tree); empty when missing.
std::string SourceLine(const char* file, int lineNumber)
{
    fs::ifstream source{fs::path(BRISKEN_SOURCE_TREE) / file};
    std::string line;
    for (int i = 0; i < lineNumber && std::getline(source, line); ++i)
    {
    }
    return source ? line : std::string();
}

// The throw function is the full signature (ExceptionHelper/Exception.h); its name is what is
// checked. The line is checked by what stands there, so that editing File.cpp cannot break it.
TEST(FileSystemHelperTest, GetSizeOfAnInvalidHandleThrowsWindowsWithTheErrorCode)
{
    try
    {
        FileSystemHelper::File::GetSize(INVALID_HANDLE_VALUE);
        FAIL() << "nothing was thrown";
    }
    catch (const ExceptionHelper::Windows& e)
    {
        EXPECT_STREQ("Couldn't get file size", e.what());
        const unsigned long* error = boost::get_error_info<ExceptionHelper::ErrorInfo>(e);
        ASSERT_NE(nullptr, error);
        EXPECT_EQ(static_cast<unsigned long>(ERROR_INVALID_HANDLE), *error);
        const char* const* function = boost::get_error_info<boost::throw_function>(e);
        const char* const* file = boost::get_error_info<boost::throw_file>(e);
        const int* line = boost::get_error_info<boost::throw_line>(e);
        ASSERT_TRUE(function && file && line);
        EXPECT_NE(std::string::npos, std::string(*function).find("GetSize"));
        EXPECT_NE(std::string::npos, std::string(*file).find("File.cpp"));
        EXPECT_NE(std::string::npos,
            SourceLine(*file, *line).find("BOOST_THROW_EXCEPTION(ExceptionHelper::Windows(\"Couldn't get file size\"))"))
            << *file << "(" << *line << ")";
    }
}

TEST_F(FileTest, ReadAllOfAMissingFileIsFalseAndLeavesDataAlone)
{
    std::vector<char> data{'x', 'y'};
    EXPECT_FALSE(FileSystemHelper::File::ReadAll(folder / L"missing.json", data));
    EXPECT_EQ((std::vector<char>{'x', 'y'}), data);
}

TEST_F(FileTest, ReadAllOfAnEmptyFileIsFalseBecauseItCannotBeMapped)
{
    const fs::path file = Write(L"empty.json", "");
    std::vector<char> data{'x'};
    EXPECT_FALSE(FileSystemHelper::File::ReadAll(file, data));
    EXPECT_EQ(std::vector<char>{'x'}, data);
}

TEST_F(FileTest, ReadAllOfAFileOpenForWritingElsewhereIsFalse)
{
    const fs::path file = Write(L"busy.json", "{\"platform\":\"prod\"}");
    const boost::shared_ptr<void> writer =
        Open(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(writer);
    std::vector<char> data;
    EXPECT_FALSE(FileSystemHelper::File::ReadAll(file, data));
    EXPECT_TRUE(data.empty());
}

TEST_F(FileTest, ReadAllOfAFolderIsFalse)
{
    std::vector<char> data;
    EXPECT_FALSE(FileSystemHelper::File::ReadAll(folder, data));
}

TEST_F(FileTest, ReadAllReplacesLongerDataWithExactlyTheFileBytes)
{
    const std::string bytes("{\"platform\":\0\"beta\"}\r\n", 22);
    const fs::path file = Write(L"UpdateServer.txt", bytes);
    std::vector<char> data(1000, 'z');
    ASSERT_TRUE(FileSystemHelper::File::ReadAll(file, data));
    EXPECT_EQ(std::vector<char>(bytes.begin(), bytes.end()), data);
}

TEST_F(FileTest, ReadAllGrowsShorterDataToTheFileSize)
{
    std::string bytes(70000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    const fs::path file = Write(L"large.bin", bytes);
    std::vector<char> data{'a'};
    ASSERT_TRUE(FileSystemHelper::File::ReadAll(file, data));
    EXPECT_EQ(std::vector<char>(bytes.begin(), bytes.end()), data);
}

TEST_F(FileTest, ReadAllClosesItsHandles)
{
    const fs::path file = Write(L"closed.txt", "abc");
    std::vector<char> data;
    ASSERT_TRUE(FileSystemHelper::File::ReadAll(file, data));
    // An exclusive open only succeeds when no handle or mapping of the file is left.
    EXPECT_TRUE(Open(file, GENERIC_READ | GENERIC_WRITE, 0));
    EXPECT_TRUE(fs::remove(file));
}

TEST_F(FileTest, ReadAllSharesReadingWithOtherReaders)
{
    const fs::path file = Write(L"shared.txt", "abc");
    const boost::shared_ptr<void> reader = Open(file, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(reader);
    std::vector<char> data;
    EXPECT_TRUE(FileSystemHelper::File::ReadAll(file, data));
    EXPECT_EQ((std::vector<char>{'a', 'b', 'c'}), data);
}

// The drive roots the system reports through its bit mask, in letter order.
std::vector<std::wstring> RootsFromMask()
{
    std::vector<std::wstring> roots;
    const DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i)
    {
        if (mask & (1u << i))
            roots.push_back(std::wstring(1, static_cast<wchar_t>(L'A' + i)) + L":\\");
    }
    return roots;
}

// Without links (which only the black-box tests can make here): spellings and missing places. A
// folder that does not exist yet (the definitions update's working folder) still has a place.
TEST_F(FileTest, LeadsIntoGoesByPlaceNotBySpelling)
{
    fs::create_directories(folder / L"Temp" / L"sub");
    fs::create_directories(folder / L"Temp2");
    const std::wstring base = folder.wstring();
    const struct
    {
        std::wstring path;
        std::wstring within;
        bool leadsInto;
    } cases[] = {
        {base + L"\\Temp\\r.xml", base + L"\\Temp", true},
        {base + L"\\Temp", base + L"\\Temp", true},
        {base + L"\\tEMP\\SUB\\new\\deeper\\r.xml", base + L"\\Temp", true},
        {base + L"\\Temp2\\..\\Temp\\.\\r.xml", base + L"\\Temp\\", true},
        {L"\\\\?\\" + base + L"\\Temp\\r.xml", base + L"/Temp", true},
        {base + L"\\Temp\\..\\Temp2\\r.xml", base + L"\\Temp", false},
        {base + L"\\Tem", base + L"\\Temp", false},
        {base, base + L"\\Temp", false},
        {base + L"\\Gone\\r.xml", base + L"\\Gone", true},
        {base + L"\\gONE\\new\\..\\r.xml", base + L"\\Gone\\", true},
        {base + L"\\Temp\\..\\Gone", base + L"\\Gone", true},
        {base + L"\\Gone2\\r.xml", base + L"\\Gone", false},
        {L"Q:\\nowhere\\r.xml", base + L"\\Temp", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.leadsInto, FileSystemHelper::LeadsInto(c.path, c.within)) << c.path << L" into " << c.within;
}

// A path longer than the first buffer of MAX_PATH characters is read whole. (Wine gives no final
// path above that length, so the long part is one that does not exist yet.)
TEST_F(FileTest, LeadsIntoReadsAPathLongerThanMaxPath)
{
    fs::create_directories(folder / L"Temp");
    fs::create_directories(folder / L"Temp2");
    const std::wstring temp = folder.wstring() + L"\\Temp";
    std::wstring below = temp;
    for (int i = 0; i < 6; ++i)
        below += L"\\" + std::wstring(60, L'd');
    below += L"\\r.xml";
    ASSERT_GT(below.size(), static_cast<std::size_t>(MAX_PATH));
    EXPECT_TRUE(FileSystemHelper::LeadsInto(below, temp));
    EXPECT_FALSE(FileSystemHelper::LeadsInto(below, folder.wstring() + L"\\Temp2"));
}

// Without links (which only the black-box tests can make here): a whole tree, one file, nothing.
TEST_F(FileTest, RemoveAllTakesAWholeTreeOrASingleFileAndLeavesTheRest)
{
    fs::create_directories(folder / L"tree" / L"a" / L"b" / L"c");
    fs::create_directories(folder / L"tree" / L"empty");
    Write(L"tree\\top.txt", "1");
    Write(L"tree\\a\\b\\inner.txt", "2");
    Write(L"tree\\a\\b\\c\\deepest.txt", "3");
    Write(L"single.txt", "4");
    Write(L"kept.txt", "5");
    fs::create_directories(folder / L"treeSibling");

    for (const wchar_t* name : {L"tree", L"single.txt", L"missing"})
    {
        FileSystemHelper::RemoveAll(folder / name);
        EXPECT_FALSE(fs::exists(folder / name)) << name;
    }
    std::vector<std::wstring> left;
    for (fs::directory_iterator entry(folder), end; entry != end; ++entry)
        left.push_back(entry->path().filename().wstring());
    std::sort(left.begin(), left.end());
    EXPECT_EQ((std::vector<std::wstring>{L"kept.txt", L"treeSibling"}), left);
}

boost::shared_ptr<void> OpenFolder(const fs::path& folder, DWORD access, DWORD share)
{
    const HANDLE handle =
        CreateFileW(folder.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return boost::shared_ptr<void>();
    return boost::shared_ptr<void>(handle, &CloseHandle);
}

// Opened as the last lock's owner opens the folder to clear it; empty when that is refused.
boost::shared_ptr<void> OpenForClearing(const fs::path& folder)
{
    return OpenFolder(folder, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}

TEST_F(FileTest, SharedFolderLockMakesTheFolderKeepsItAndLetsOnlyTheLastOneClearIt)
{
    const fs::path locked = folder / L"made" / L"Temp";
    int cleared = 0;
    const auto clear = [&] {
        ++cleared;
        // Nobody locks the folder while it is cleared.
        EXPECT_FALSE(OpenFolder(locked, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE));
        EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
        FileSystemHelper::RemoveAll(locked);
    };
    for (const bool firstOutFirst : {true, false})
    {
        SCOPED_TRACE(firstOutFirst ? "first out first" : "last out first");
        FileSystemHelper::SharedFolderLock first(locked), second(locked);
        ASSERT_TRUE(fs::is_directory(locked));
        EXPECT_FALSE(RemoveDirectoryW(locked.c_str())) << "a locked folder stays";
        EXPECT_FALSE(MoveFileW(locked.c_str(), (folder / L"moved").c_str()));

        EXPECT_FALSE((firstOutFirst ? first : second).ReleaseAndClearIfLast(clear));
        EXPECT_EQ(0, cleared);
        EXPECT_TRUE((firstOutFirst ? second : first).ReleaseAndClearIfLast(clear));
        EXPECT_EQ(1, cleared);
        EXPECT_FALSE(fs::exists(locked));
        cleared = 0;
    }
}

// A lock taken while the last one out clears the folder waits for the clearing to end, then
// holds a fresh folder. (The pause only makes it likely that the lock tries during the
// clearing; it decides nothing.)
TEST_F(FileTest, SharedFolderLockTakenDuringAClearingWaitsForItsEnd)
{
    const fs::path locked = folder / L"Temp";
    fs::create_directories(locked);
    Write(L"Temp\\left.tmp", "of the run that ends");
    boost::shared_ptr<void> clearing = OpenForClearing(locked);
    ASSERT_TRUE(clearing);
    std::unique_ptr<FileSystemHelper::SharedFolderLock> next;
    std::thread starting([&] { next = std::make_unique<FileSystemHelper::SharedFolderLock>(locked); });
    Sleep(200);
    FileSystemHelper::RemoveAll(locked);
    clearing.reset();
    starting.join();

    EXPECT_TRUE(fs::is_directory(locked));
    EXPECT_FALSE(fs::exists(locked / L"left.tmp"));
    EXPECT_FALSE(OpenForClearing(locked)) << "the new lock lives";
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
}

// Names as Windows stores them, and which of them a file can have.
TEST(FileSystemHelperTest, FileNamesAreJudgedAsWindowsStoresThem)
{
    const struct
    {
        const wchar_t* name;
        const wchar_t* stored;
        bool fileName; // of the stored name
    } cases[] = {
        {L"r.xml", L"r.xml", true},
        {L"r.xml.", L"r.xml", true},
        {L"r.xml . .", L"r.xml", true},
        {L" r.xml", L" r.xml", true},
        {L".hidden", L".hidden", true},
        {L"...", L"", false},
        {L".", L"", false},
        {L"r.xml:ads", L"r.xml:ads", false},
        {L"a<b", L"a<b", false},
        {L"a|b", L"a|b", false},
        {L"a\x1b[2J", L"a\x1b[2J", false},
        {L"CON", L"CON", false},
        {L"nul.xml", L"nul.xml", false},
        {L"Aux .txt", L"Aux .txt", false},
        {L"com1", L"com1", false},
        {L"LPT9.log", L"LPT9.log", false},
        {L"COM\u00b2", L"COM\u00b2", false},
        {L"conout$", L"conout$", false},
        {L"COM10", L"COM10", true},
        {L"console.xml", L"console.xml", true},
        {L"xnul", L"xnul", true},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.stored, FileSystemHelper::StoredName(c.name)) << c.name;
        EXPECT_EQ(c.fileName, FileSystemHelper::IsFileName(FileSystemHelper::StoredName(c.name))) << c.name;
    }
}

TEST(FileSystemHelperTest, LongFormOfAFullPath)
{
    const struct
    {
        const wchar_t* path;
        const wchar_t* longForm;
        bool isLongForm; // of longForm
    } cases[] = {
        {L"C:\\d\\aux.txt", L"\\\\?\\C:\\d\\aux.txt", true},
        {L"C:/d/nul", L"\\\\?\\C:\\d\\nul", true},
        {L"\\\\server\\share\\com1", L"\\\\?\\UNC\\server\\share\\com1", true},
        {L"\\\\?\\C:\\d\\x", L"\\\\?\\C:\\d\\x", true},
        {L"\\\\.\\C:", L"\\\\.\\C:", false},
        {L"relative\\x", L"relative\\x", false},
        {L"C:x", L"C:x", false},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.longForm, FileSystemHelper::LongForm(c.path)) << c.path;
        EXPECT_EQ(c.isLongForm, FileSystemHelper::IsLongForm(c.longForm)) << c.longForm;
    }
}

// The file takes the target's place whole, or the target stays as it was; nothing is left beside it.
TEST_F(FileTest, ReplacingFileTakesThePlaceOnlyWhenCommitted)
{
    const fs::path target = folder / L"r.xml";
    fs::ofstream(target, std::ios::binary) << "earlier";
    const auto content = [&target] {
        fs::ifstream file(target, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    };
    const auto names = [this] {
        std::vector<std::wstring> found;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            found.push_back(entry.path().filename().wstring());
        return found;
    };
    {
        FileSystemHelper::ReplacingFile file(target);
        file.Write("abandoned", 9);
        EXPECT_EQ(names().size(), 2u) << "the new file is beside the target";
    }
    EXPECT_EQ(content(), "earlier");
    EXPECT_EQ(names(), std::vector<std::wstring>{L"r.xml"});

    FileSystemHelper::ReplacingFile file(target);
    file.Write("new ", 4);
    file.Write("content", 7);
    EXPECT_EQ(content(), "earlier");
    EXPECT_EQ(0u, file.Commit());
    EXPECT_EQ(content(), "new content");
    EXPECT_EQ(names(), std::vector<std::wstring>{L"r.xml"});

    FileSystemHelper::ReplacingFile nowhere(folder / L"missing" / L"r.xml");
    nowhere.Write("x", 1);
    EXPECT_EQ(static_cast<unsigned long>(ERROR_PATH_NOT_FOUND), nowhere.Commit());

    // A file left (or planted) under the first name the save would take: the save takes another
    // name and leaves that file alone.
    const std::wstring leftover = L"~" + std::to_wstring(GetCurrentProcessId()) + L".0.saving";
    Write(leftover, "left by a run that died");
    {
        FileSystemHelper::ReplacingFile beside(target);
        beside.Write("newest", 6);
        EXPECT_EQ(0u, beside.Commit());
    }
    EXPECT_EQ(content(), "newest");
    fs::ifstream left(folder / leftover, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(left), std::istreambuf_iterator<char>()),
        "left by a run that died");
    EXPECT_EQ(names().size(), 2u) << "nothing else is left beside the target";
}

// Windows answers an open of a folder whose removal is pending with access denied, where Wine
// shows the moment before it (a sharing violation): a lock taken then waits for the clearing
// to end as it does for the other answers of a clearing, and holds the folder made anew. Only
// those answers make it wait: a folder that denies its listing but still gives its attributes
// is not being removed. The opener gives the system's answers after the refused tries, and to
// every open for attributes unless the case refuses that too.
TEST_F(FileTest, SharedFolderLockWaitsOutEveryAnswerOfAClearingAndNoOther)
{
    struct Case
    {
        const char* name;
        DWORD refusal;
        DWORD attributesRefusal; // 0: the system's answer
        bool locked;
        int tries; // opens of the folder for the lock
    };
    const Case cases[] = {
        {"removal pending", ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, true, 3},
        {"access denied, folder present", ERROR_ACCESS_DENIED, 0, false, 1},
        {"held for deletion", ERROR_SHARING_VIOLATION, 0, true, 3},
        {"any other refusal", ERROR_INVALID_PARAMETER, 0, false, 1},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        const fs::path locked = folder / test.name / L"Temp";
        int tries = 0;
        const auto open = [&](const fs::path& opened, unsigned long access, unsigned long sharing) {
            if (access == FILE_LIST_DIRECTORY && ++tries < 3)
            {
                // A clearing ends with the folder gone; the lock makes it anew.
                if (test.locked)
                    FileSystemHelper::RemoveAll(locked);
                SetLastError(test.refusal);
                return boost::shared_ptr<void>();
            }
            if (access == FILE_READ_ATTRIBUTES && test.attributesRefusal != 0)
            {
                SetLastError(test.attributesRefusal);
                return boost::shared_ptr<void>();
            }
            return OpenFolder(opened, access, sharing);
        };
        FileSystemHelper::SharedFolderLock lock(locked, open);

        EXPECT_EQ(test.tries, tries);
        EXPECT_TRUE(fs::is_directory(locked));
        EXPECT_EQ(test.locked, !OpenForClearing(locked)) << "the lock lives";
    }
}

TEST(FileSystemHelperTest, DrivesListsEveryRootInTheSystemsOrder)
{
    const FileSystemHelper::Drives drives;
    std::vector<std::wstring> roots;
    for (const boost::shared_ptr<FileSystemHelper::Drive>& drive : drives)
    {
        ASSERT_TRUE(drive);
        roots.push_back(drive->Path());
    }
    EXPECT_EQ(RootsFromMask(), roots);
}

TEST(FileSystemHelperTest, DrivesHoldsRootsLikeCColonBackslashWithoutEmptyPieces)
{
    const FileSystemHelper::Drives drives;
    ASSERT_FALSE(drives.empty());
    bool sawC = false;
    for (const boost::shared_ptr<FileSystemHelper::Drive>& drive : drives)
    {
        const std::wstring& root = drive->Path();
        ASSERT_EQ(3u, root.size());
        EXPECT_TRUE(root[0] >= L'A' && root[0] <= L'Z');
        EXPECT_EQ(L":\\", root.substr(1));
        sawC = sawC || root == L"C:\\";
    }
    EXPECT_TRUE(sawC);
}

} // namespace
