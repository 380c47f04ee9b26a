// The reference engine acts only on what it judged and reports only what is true: objects
// changed before their action, repairs that cannot be whole, quarantine records, deep trees.

#include "StandIns/ReferenceEngineFixture.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace
{

using namespace ReferenceEngineTesting;

std::vector<std::string> Names(const fs::path& folder)
{
    std::vector<std::string> names;
    if (fs::is_directory(folder))
    {
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Bodies(int count)
{
    std::string bodies;
    for (int i = 0; i < count; ++i)
        bodies += prefixSample;
    return bodies;
}

// The copies in the quarantine folder whose records name origin.
std::vector<fs::path> QuarantinedFrom(const fs::path& quarantine, const fs::path& origin)
{
    const std::string suffix = ".origin";
    std::vector<fs::path> copies;
    for (const std::string& name : Names(quarantine))
    {
        const std::size_t stem = name.size() - std::min(name.size(), suffix.size());
        if (name.compare(stem, std::string::npos, suffix) == 0
            && ReadFile(quarantine / name) == origin.string() + "\r\n")
            copies.push_back(quarantine / name.substr(0, stem));
    }
    return copies;
}

// A folder of its own for one case, below target, holding the file of that name and content;
// returns the file's path.
fs::path CaseFile(const fs::path& target, const char* test, const char* name, const std::string& content)
{
    const fs::path folder = target / test;
    fs::create_directories(folder);
    WriteFile(folder / name, content);
    return folder / name;
}

// Paths longer than MAX_PATH need the long form.
std::wstring LongForm(const fs::path& path)
{
    return L"\\\\?\\" + path.wstring();
}

// Writes a file whose name or path only the long form reaches; false when it cannot.
bool WriteInLongForm(const fs::path& path, const std::string& content)
{
    const HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool whole = ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr)
        && written == content.size();
    CloseHandle(file);
    return whole;
}

bool ExistsInLongForm(const fs::path& path)
{
    return GetFileAttributesW(LongForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

using ReferenceEngineSafetyTest = ReferenceEngineTest;

TEST_F(ReferenceEngineSafetyTest, ObjectChangedBeforeItsActionIsLeftAloneAndReportedAsModified)
{
    // While its report is answered the file can change only through a program that already
    // writes to it (the engine cannot hold it then); that program rewrites it and lets go
    // before the action.
    struct Case
    {
        const char* name;
        int action;
        bool prefixed; // the disinfectable kind, else EICAR
    };
    const Case cases[] = {
        {"delete-rewritten", ScanAction::Delete, false},
        {"quarantine-rewritten", ScanAction::QuarMove, false},
        {"copy-rewritten", ScanAction::QuarCopy, false},
        {"disinfect-rewritten", ScanAction::Disinfect, true},
        {"rename-rewritten", ScanAction::Rename, false},
    };
    Start();
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        const fs::path file = Target() / (std::string(test.name) + ".txt");
        const std::string content = test.prefixed ? prefixSample + "original" : Eicar();
        const std::string clean(content.size(), 'c');
        WriteFile(file, content);
        HANDLE writer = CreateFileW(file.wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, writer);
        recorder.reports.clear();
        recorder.action = test.action;
        recorder.onInfected = [&](const fs::path&) {
            DWORD written = 0;
            EXPECT_TRUE(::WriteFile(writer, clean.data(), DWORD(clean.size()), &written, nullptr));
            CloseHandle(writer);
            writer = INVALID_HANDLE_VALUE;
        };

        ASSERT_EQ(0, Scan(file));

        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
        ASSERT_EQ(2u, recorder.reports.size());
        EXPECT_EQ(ScanStatus::ScanFailed, recorder.reports[1].scanStatus);
        EXPECT_EQ(ObjectFlag::Modified, recorder.reports[1].objectFlags & ObjectFlag::Modified);
        EXPECT_EQ(Result::FileInformation, recorder.reports[1].scanStatusFlags);
        EXPECT_EQ(clean, ReadFile(file));
        EXPECT_EQ(std::vector<std::string>{file.filename().string()}, Names(Target()));
        EXPECT_TRUE(Names(Quarantine()).empty());
        fs::remove(file);
    }
}

TEST_F(ReferenceEngineSafetyTest, FileCannotBeSwappedOrChangedWhileItsReportIsAnswered)
{
    // Whoever answers a report looks at the bytes that were judged: until the callback returns
    // the file can be neither replaced, renamed, deleted nor written. The action then acts on it.
    const fs::path file = Target() / "judged.com";
    const fs::path other = Target() / "other.com";
    const std::wstring name = file.wstring(), otherName = other.wstring();
    struct Attempt
    {
        const char* name;
        std::function<bool()> run; // true when the file could be changed
    };
    const Attempt attempts[] = {
        {"replaced", [&] { return MoveFileExW(otherName.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING) != 0; }},
        {"renamed", [&] { return MoveFileExW(name.c_str(), (name + L".moved").c_str(), 0) != 0; }},
        {"deleted", [&] { return DeleteFileW(name.c_str()) != 0; }},
        {"written", [&] {
             const HANDLE writer = CreateFileW(name.c_str(), GENERIC_WRITE,
                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
             if (writer != INVALID_HANDLE_VALUE)
                 CloseHandle(writer);
             return writer != INVALID_HANDLE_VALUE;
         }},
    };
    Start();
    WriteFile(file, Eicar());
    WriteFile(other, "a clean replacement");
    std::vector<std::string> changed;
    recorder.action = ScanAction::Delete;
    recorder.onInfected = [&](const fs::path&) {
        for (const Attempt& attempt : attempts)
        {
            if (attempt.run())
                changed.push_back(attempt.name);
        }
    };

    ASSERT_EQ(0, Scan(file));

    EXPECT_EQ(std::vector<std::string>(), changed);
    ASSERT_EQ(2u, recorder.reports.size());
    EXPECT_EQ(ScanStatus::Deleted, recorder.reports[1].scanStatus);
    EXPECT_EQ(std::vector<std::string>{"other.com"}, Names(Target()));
}

TEST_F(ReferenceEngineSafetyTest, FileGivenByAnotherFormOfItsNameIsStillActedOn)
{
    struct Case
    {
        const char* name;
        std::function<std::wstring(const fs::path&)> given;
    };
    const Case cases[] = {
        {"as stored", [](const fs::path& file) { return file.wstring(); }},
        {"in capitals", [](const fs::path& file) { return (file.parent_path() / L"A LONG FILE NAME.COM").wstring(); }},
        {"by its short name", [](const fs::path& file) {
             std::wstring shortName(MAX_PATH, L'\0');
             shortName.resize(GetShortPathNameW(file.wstring().c_str(), &shortName[0], MAX_PATH));
             return shortName;
         }},
    };
    Start();
    recorder.action = ScanAction::Delete;
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        const fs::path file = Target() / "a long file name.com";
        WriteFile(file, Eicar());
        const std::wstring given = test.given(file);
        ASSERT_FALSE(given.empty());
        EXPECT_EQ(test.name == std::string("as stored"), given == file.wstring()) << fs::path(given).string();
        recorder.reports.clear();

        ASSERT_EQ(0, scanPath(instance, 0, given.c_str(), 0));

        ASSERT_EQ(2u, recorder.reports.size());
        EXPECT_EQ(ScanStatus::Deleted, recorder.reports[1].scanStatus);
        EXPECT_FALSE(fs::exists(file));
    }
}

TEST_F(ReferenceEngineSafetyTest, RepairThatCannotBeWholeLeavesTheOriginalByteForByte)
{
    struct Case
    {
        const char* name;
        std::string content;
        std::uint32_t status;
        std::string left; // the file's content afterwards
        std::int32_t reason;
    };
    const Case cases[] = {
        {"one-body", Bodies(1) + "original", ScanStatus::Disinfected, "original", 0},
        {"only-a-body", Bodies(1), ScanStatus::Disinfected, "", 0},
        {"sixteen-bodies", Bodies(16) + "original", ScanStatus::Disinfected, "original", 0},
        {"seventeen-bodies", Bodies(17) + "original", ScanStatus::ScanFailed, Bodies(17) + "original",
            Result::Disinfect},
        {"body-before-eicar", Bodies(1) + Eicar(), ScanStatus::ScanFailed, Bodies(1) + Eicar(), Result::Disinfect},
        {"body-before-hash-sample", Bodies(1) + hashSample, ScanStatus::ScanFailed, Bodies(1) + hashSample,
            Result::Disinfect},
    };
    Start();
    recorder.action = ScanAction::Disinfect;
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        const fs::path file = CaseFile(Target(), test.name, "file.bin", test.content);
        const fs::path folder = file.parent_path();
        recorder.reports.clear();

        ASSERT_EQ(0, Scan(file));

        ASSERT_EQ(2u, recorder.reports.size());
        EXPECT_EQ(test.status, recorder.reports[1].scanStatus);
        EXPECT_EQ(test.reason, recorder.reports[1].scanStatusFlags);
        EXPECT_EQ(test.left, ReadFile(file));
        EXPECT_EQ(std::vector<std::string>{"file.bin"}, Names(folder)); // no repair left beside it
    }
}

TEST_F(ReferenceEngineSafetyTest, RepairKeepsTheReadOnlyAttribute)
{
    Start();
    recorder.action = ScanAction::Disinfect;
    const fs::path file = Target() / "read-only.bin";
    WriteFile(file, Bodies(2) + "original");
    ASSERT_TRUE(SetFileAttributesW(file.wstring().c_str(), FILE_ATTRIBUTE_READONLY));

    ASSERT_EQ(0, Scan(file));

    ASSERT_EQ(2u, recorder.reports.size());
    EXPECT_EQ(ScanStatus::Disinfected, recorder.reports[1].scanStatus);
    EXPECT_EQ("original", ReadFile(file));
    const DWORD attributes = GetFileAttributesW(file.wstring().c_str());
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY), attributes & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(file.wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ReferenceEngineSafetyTest, QuarantinedFileKeepsItsOriginBesideIt)
{
    struct Case
    {
        fs::path origin;
        const char* stored; // the name in the quarantine folder
    };
    // A name is taken when the copy or its record is there: "x.com.origin" is the first one's record.
    const Case cases[] = {
        {Target() / "a" / "x.com", "x.com"},
        {Target() / "b" / "x.com", "x.com.1"},
        {Target() / "c" / "x.com.origin", "x.com.origin.1"},
    };
    Start();
    recorder.action = ScanAction::QuarMove;
    for (const Case& test : cases)
    {
        fs::create_directories(test.origin.parent_path());
        WriteFile(test.origin, Eicar() + test.origin.string());
        ASSERT_EQ(0, Scan(test.origin));
    }
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.stored);
        EXPECT_FALSE(fs::exists(test.origin));
        EXPECT_EQ(Eicar() + test.origin.string(), ReadFile(Quarantine() / test.stored));
        EXPECT_EQ(test.origin.string() + "\r\n", ReadFile(Quarantine() / (std::string(test.stored) + ".origin")));
    }
    EXPECT_EQ(6u, Names(Quarantine()).size());
}

// Another program holds the infected file open, sharing it with everyone, through the action
// and after its report: the action completes or leaves the file as it was, and the report says
// which at once. A held file that is deleted keeps its content until the holder lets go, but
// never its name, and no trace of it is left once the holder has.
TEST_F(ReferenceEngineSafetyTest, FileHeldOpenByAnotherProgramIsActedOnWholeOrLeftAsItWas)
{
    const DWORD reading = GENERIC_READ, attributesOnly = FILE_READ_ATTRIBUTES, writing = GENERIC_READ | GENERIC_WRITE;
    struct Case
    {
        const char* name;
        DWORD holderAccess;
        int action;
        std::uint32_t status;
        std::int32_t reason;
        std::vector<std::string> left; // the folder's entries afterwards
        bool quarantined;
        DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    };
    const std::vector<std::string> none, original{"file.com"};
    const Case cases[] = {
        {"quarantine-read", reading, ScanAction::QuarMove, ScanStatus::Moved, 0, none, true},
        {"quarantine-attributes", attributesOnly, ScanAction::QuarMove, ScanStatus::Moved, 0, none, true},
        {"quarantine-written", writing, ScanAction::QuarMove, ScanStatus::ScanFailed, Result::FileOpen, original,
            false},
        {"delete-read", reading, ScanAction::Delete, ScanStatus::Deleted, 0, none, false},
        {"delete-attributes", attributesOnly, ScanAction::Delete, ScanStatus::Deleted, 0, none, false},
        {"delete-read-only", reading, ScanAction::Delete, ScanStatus::Deleted, 0, none, false,
            FILE_ATTRIBUTE_READONLY},
        {"delete-written", writing, ScanAction::Delete, ScanStatus::ScanFailed, Result::FileOpen, original, false},
        {"rename-read", reading, ScanAction::Rename, ScanStatus::Moved, 0, {"file.com.vir"}, false},
        // Wine refuses to replace a file that another program holds open.
        {"disinfect-read", reading, ScanAction::Disinfect, ScanStatus::ScanFailed, Result::PathAccess, original,
            false},
    };
    Start();
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        const std::string content = test.action == ScanAction::Disinfect ? prefixSample + "original" : Eicar();
        const fs::path file = CaseFile(Target(), test.name, "file.com", content);
        const fs::path folder = file.parent_path();
        ASSERT_TRUE(SetFileAttributesW(file.wstring().c_str(), test.attributes));
        const HANDLE holder = CreateFileW(file.wstring().c_str(), test.holderAccess,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, holder);
        recorder.reports.clear();
        recorder.action = test.action;

        ASSERT_EQ(0, Scan(file));

        ASSERT_EQ(2u, recorder.reports.size());
        EXPECT_EQ(test.status, recorder.reports[1].scanStatus);
        EXPECT_EQ(test.reason, recorder.reports[1].scanStatusFlags);
        EXPECT_EQ(test.status == ScanStatus::ScanFailed, fs::exists(file)) << "while it is held";
        CloseHandle(holder);
        EXPECT_EQ(test.left, Names(folder)) << "once it is let go";
        if (fs::exists(file))
        {
            EXPECT_EQ(content, ReadFile(file));
        }
        const std::vector<fs::path> copies = QuarantinedFrom(Quarantine(), file);
        EXPECT_EQ(test.quarantined ? 1u : 0u, copies.size());
        if (test.quarantined && copies.size() == 1)
        {
            EXPECT_EQ(content, ReadFile(copies[0]));
        }
    }
    EXPECT_EQ(4u, Names(Quarantine()).size()) << "two copies with their records, nothing else";
}

// The renames of the actions take a name only when it is free: neither a file that another
// program may still hold under a leaving name nor an existing .vir is replaced.
TEST_F(ReferenceEngineSafetyTest, RenamesOfTheActionsNeverReplaceAFile)
{
    struct Case
    {
        const char* name;
        int action;
        const char* existing;
        std::uint32_t status;
        std::int32_t reason;
        std::vector<std::string> left; // the folder's entries afterwards
    };
    const Case cases[] = {
        {"delete", ScanAction::Delete, "~deleting.tmp", ScanStatus::Deleted, 0, {"~deleting.tmp"}},
        {"quarantine", ScanAction::QuarMove, "~deleting.tmp", ScanStatus::Moved, 0, {"~deleting.tmp"}},
        {"rename", ScanAction::Rename, "file.com.vir", ScanStatus::ScanFailed, Result::FileRename,
            {"file.com", "file.com.vir"}},
    };
    Start();
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        const fs::path folder = CaseFile(Target(), test.name, "file.com", Eicar()).parent_path();
        WriteFile(folder / test.existing, "someone else's");
        recorder.reports.clear();
        recorder.action = test.action;

        ASSERT_EQ(0, Scan(folder / "file.com"));

        ASSERT_EQ(2u, recorder.reports.size());
        EXPECT_EQ(test.status, recorder.reports[1].scanStatus);
        EXPECT_EQ(test.reason, recorder.reports[1].scanStatusFlags);
        EXPECT_EQ(test.left, Names(folder));
        EXPECT_EQ("someone else's", ReadFile(folder / test.existing));
    }
}

// A file mapped into memory (as a running program's image is) may be renamed but not deleted:
// the mark fails after the rename, and the file is back under its own name, with its
// attributes, and no quarantine copy of it is left.
TEST_F(ReferenceEngineSafetyTest, RemovalWhoseMarkIsRefusedLeavesTheFileAsItWas)
{
    struct Case
    {
        const char* name;
        int action;
        DWORD attributes;
    };
    const Case cases[] = {
        {"delete", ScanAction::Delete, FILE_ATTRIBUTE_NORMAL},
        {"delete-read-only", ScanAction::Delete, FILE_ATTRIBUTE_READONLY},
        {"quarantine-read-only", ScanAction::QuarMove, FILE_ATTRIBUTE_READONLY},
    };
    Start();
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        const fs::path file = CaseFile(Target(), test.name, "file.com", Eicar());
        const fs::path folder = file.parent_path();
        ASSERT_TRUE(SetFileAttributesW(file.wstring().c_str(), test.attributes));
        const HANDLE mapped = CreateFileW(file.wstring().c_str(), GENERIC_READ,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, mapped);
        const HANDLE mapping = CreateFileMappingW(mapped, nullptr, PAGE_READONLY, 0, 0, nullptr);
        ASSERT_NE(nullptr, mapping);
        void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        ASSERT_NE(nullptr, view);
        recorder.reports.clear();
        recorder.action = test.action;

        const int scanned = Scan(file);

        UnmapViewOfFile(view);
        CloseHandle(mapping);
        CloseHandle(mapped);
        ASSERT_EQ(0, scanned);
        ASSERT_EQ(2u, recorder.reports.size());
        EXPECT_EQ(ScanStatus::ScanFailed, recorder.reports[1].scanStatus);
        EXPECT_EQ(Result::FileRemove, recorder.reports[1].scanStatusFlags);
        EXPECT_EQ(std::vector<std::string>{"file.com"}, Names(folder));
        EXPECT_EQ(Eicar(), ReadFile(file));
        EXPECT_EQ(test.attributes & FILE_ATTRIBUTE_READONLY,
            GetFileAttributesW(file.wstring().c_str()) & FILE_ATTRIBUTE_READONLY);
        EXPECT_TRUE(QuarantinedFrom(Quarantine(), file).empty());
        SetFileAttributesW(file.wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// A file this engine renamed on its way out and marked for deletion stays listed while another
// program holds it: no later walk reports it (Windows would not even open it; Wine does). A
// file of such a name that the engine did not send on its way is scanned as any other, and no
// note of a removal outlives the next removal once its file has gone.
TEST_F(ReferenceEngineSafetyTest, FileSentOnItsWayIsNotScannedAgainButOneOfTheSameNameIs)
{
    Start();
    const fs::path held = Target() / "held";
    const fs::path users = Target() / "users";
    fs::create_directories(held);
    fs::create_directories(users);
    const fs::path file = held / "file.com";
    WriteFile(file, Eicar());
    for (const char* name : {"~deleting.tmp", "~deleting.tmp.1"})
        WriteFile(users / name, Eicar());
    const HANDLE holder = CreateFileW(file.wstring().c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    recorder.action = ScanAction::Delete;
    ASSERT_EQ(0, Scan(file));
    ASSERT_EQ(2u, recorder.reports.size());
    EXPECT_EQ(ScanStatus::Deleted, recorder.reports[1].scanStatus);
    EXPECT_EQ(std::vector<std::string>{"~deleting.tmp"}, Names(held)) << "while it is held";

    recorder.reports.clear();
    recorder.action = ScanAction::None;
    ASSERT_EQ(0, Scan(Target()));
    std::vector<std::wstring> reported;
    for (const Report& report : recorder.reports)
        reported.push_back(report.path);
    EXPECT_EQ((std::vector<std::wstring>{(users / "~deleting.tmp").wstring(), (users / "~deleting.tmp.1").wstring()}),
        reported);
    recorder.reports.clear();
    recorder.action = ScanAction::Delete;
    ASSERT_EQ(0, Scan(held / "~deleting.tmp"));
    EXPECT_TRUE(recorder.reports.empty()) << "given by its path either";

    CloseHandle(holder);
    EXPECT_TRUE(Names(held).empty()) << "once it is let go";
    recorder.reports.clear();
    recorder.action = ScanAction::Delete;
    ASSERT_EQ(0, Scan(users / "~deleting.tmp"));
    ASSERT_EQ(2u, recorder.reports.size());
    EXPECT_EQ(ScanStatus::Deleted, recorder.reports[1].scanStatus);
    EXPECT_FALSE(fs::exists(Program() / "Removals")) << "no note left";
}

// The name of the note of a removal of the file: its volume and file index.
std::string NoteName(const fs::path& file)
{
    const HANDLE opened = CreateFileW(file.wstring().c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool read = opened != INVALID_HANDLE_VALUE && GetFileInformationByHandle(opened, &info);
    if (opened != INVALID_HANDLE_VALUE)
        CloseHandle(opened);
    if (!read)
        return std::string();
    char name[32];
    std::snprintf(name, sizeof name, "%08lx-%016llx", static_cast<unsigned long>(info.dwVolumeSerialNumber),
        (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
    return name;
}

// A note names the path its file had, in the form the engine gives every path it acts on. One
// in any other form (written by someone else: the names of notes can be foreseen) is dropped at
// the next removal without opening what it names, even where that is the noted file itself: a
// device, a pipe whose server would have the engine's identity, a name with "." or "..". A
// note of a file still there in the engine's own form stays.
TEST_F(ReferenceEngineSafetyTest, NoteInAnyOtherFormThanTheEnginesIsDroppedUnopened)
{
    const fs::path noted = Target() / "noted" / "file.com";
    fs::create_directories(noted.parent_path() / "sub");
    WriteFile(noted, "still there");
    const std::string name = NoteName(noted);
    ASSERT_FALSE(name.empty());
    const std::string folder = noted.parent_path().string();
    const std::wstring pipe = L"\\\\.\\pipe\\brisken-removal-note-" + std::to_wstring(GetCurrentProcessId());
    const struct
    {
        std::string path;
        bool kept;
    } cases[] = {
        {noted.string(), true},
        {"\\\\?\\" + noted.string(), true},
        {"\\\\.\\" + noted.string(), false},
        {"\\\\?\\GLOBALROOT\\??\\" + noted.string(), false},
        {folder + "\\.\\file.com", false},
        {folder + "\\sub\\..\\file.com", false},
        {folder + "\\\\file.com", false},
        {"file.com", false},
        {fs::path(pipe).string(), false},
    };
    const HANDLE server = CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE,
        PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    OVERLAPPED connecting{};
    connecting.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_FALSE(ConnectNamedPipe(server, &connecting));
    ASSERT_EQ(DWORD(ERROR_IO_PENDING), GetLastError());
    Start();
    recorder.action = ScanAction::Delete;
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.path);
        fs::create_directories(Program() / "Removals");
        WriteFile(Program() / "Removals" / name, test.path);

        ASSERT_EQ(0, Scan(CaseFile(Target(), "removed", "eicar.com", Eicar())));

        EXPECT_EQ(test.kept, fs::exists(Program() / "Removals" / name));
        EXPECT_EQ("still there", ReadFile(noted));
    }
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(connecting.hEvent, 0)) << "the pipe was opened";
    CancelIo(server);
    CloseHandle(connecting.hEvent);
    CloseHandle(server);
}

TEST_F(ReferenceEngineSafetyTest, DeepTreeIsWalkedWithoutGrowingTheStack)
{
    // Each level of a recursive walk would take its frame: the deepest file's report would
    // come from far further down the stack than the shallow one's.
    const int depth = 300;
    fs::path folder = Target();
    WriteFile(folder / "shallow.txt", "near the top");
    for (int level = 0; level < depth; ++level)
    {
        folder /= "d";
        ASSERT_TRUE(CreateDirectoryW(LongForm(folder).c_str(), nullptr)) << level;
    }
    const HANDLE deep = CreateFileW(LongForm(folder / "deep.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, deep);
    DWORD written = 0;
    WriteFile(deep, "at the bottom", 13, &written, nullptr);
    CloseHandle(deep);
    Start();

    ASSERT_EQ(0, Scan(Target()));

    ASSERT_EQ(2u, recorder.reports.size());
    const Report* shallow = recorder.Find(Target() / "shallow.txt");
    const Report* bottom = recorder.Find(folder / "deep.txt");
    ASSERT_TRUE(shallow && bottom);
    EXPECT_EQ(ScanStatus::Clean, bottom->scanStatus);
    const std::uintptr_t grown = shallow->stackAt > bottom->stackAt ? shallow->stackAt - bottom->stackAt : 0;
    EXPECT_LT(grown, 8u * 1024) << "stack grown by " << grown << " bytes over " << depth << " levels";
}

// Names that Windows takes for a device in a plain path (aux.txt, com1, nul, con.com) and a name
// ending in a dot, which Windows drops from a plain path, are files like any other: found where
// the walk meets them, acted on, and found when given as the path to scan. Opened plainly, AUX
// and COM1 would block the scan, NUL would read as empty.
TEST_F(ReferenceEngineSafetyTest, NamesThatWindowsReadsAsDevicesAreFilesLikeAnyOther)
{
    const char* const devices[] = {"aux.txt", "com1", "nul", "con.com"};
    for (const char* name : devices)
        ASSERT_TRUE(WriteInLongForm(Target() / name, Eicar())) << name;
    ASSERT_TRUE(WriteInLongForm(Target() / "trail.", Eicar()));
    Start();
    recorder.action = ScanAction::Delete;

    ASSERT_EQ(0, Scan(Target()));

    const auto reportsOf = [this](const char* name) {
        std::vector<std::pair<std::uint32_t, std::int32_t>> reports; // with the reason of a failure
        for (const Report& report : recorder.reports)
        {
            if (fs::path(report.path) == Target() / name)
                reports.emplace_back(report.scanStatus, report.scanStatusFlags);
        }
        return reports;
    };
    for (const char* name : devices)
    {
        SCOPED_TRACE(name);
        EXPECT_EQ(reportsOf(name), (std::vector<std::pair<std::uint32_t, std::int32_t>>{
                                       {ScanStatus::Infected, 0}, {ScanStatus::Deleted, 0}}));
        EXPECT_FALSE(ExistsInLongForm(Target() / name));
    }
    // Found; whether it is acted on depends on the platform: Wine gives its name back without the
    // dot, so the engine cannot tell it from a link and leaves it (Windows names it as it is).
    const auto trailing = reportsOf("trail.");
    ASSERT_FALSE(trailing.empty());
    EXPECT_EQ(ScanStatus::Infected, trailing[0].first);

    recorder.reports.clear();
    recorder.action = ScanAction::None;
    ASSERT_TRUE(WriteInLongForm(Target() / "aux.txt", Eicar()));
    ASSERT_EQ(0, Scan(Target() / "aux.txt"));
    ASSERT_EQ(1u, recorder.reports.size());
    EXPECT_EQ(fs::path(recorder.reports[0].path), Target() / "aux.txt");
    EXPECT_EQ(ScanStatus::Infected, recorder.reports[0].scanStatus);
}

// The actions reach a file beyond MAX_PATH as the scan does.
TEST_F(ReferenceEngineSafetyTest, ActionsReachAFileBeyondMaxPath)
{
    const fs::path folder = Target() / std::string(130, 'l') / std::string(130, 'm');
    ASSERT_TRUE(CreateDirectoryW(LongForm(folder.parent_path()).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(LongForm(folder).c_str(), nullptr));
    const struct
    {
        int action;
        std::string content;
        std::uint32_t status;
        bool stays;
    } cases[] = {
        {ScanAction::Delete, Eicar(), ScanStatus::Deleted, false},
        {ScanAction::QuarMove, Eicar(), ScanStatus::Moved, false},
        {ScanAction::Disinfect, prefixSample + "original", ScanStatus::Disinfected, true},
    };
    Start();
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.action);
        const fs::path file = folder / ("infected-" + std::to_string(c.action) + ".bin");
        ASSERT_GT(file.wstring().size(), std::size_t(MAX_PATH));
        ASSERT_TRUE(WriteInLongForm(file, c.content));
        recorder.reports.clear();
        recorder.action = c.action;

        ASSERT_EQ(0, Scan(file));

        ASSERT_EQ(2u, recorder.reports.size());
        EXPECT_EQ(ScanStatus::Infected, recorder.reports[0].scanStatus);
        EXPECT_EQ(c.status, recorder.reports[1].scanStatus) << "reason " << recorder.reports[1].scanStatusFlags;
        EXPECT_EQ(c.stays, ExistsInLongForm(file));
    }
    EXPECT_EQ(1u, QuarantinedFrom(Quarantine(), folder / ("infected-" + std::to_string(ScanAction::QuarMove) + ".bin"))
                      .size());
}

// A tree that only Unix tools can make (names Wine cannot open, paths longer than it can
// reach), prepared by tests/e2e/test_hostile_trees.py, which names it in
// BRISKEN_UNREADABLE_TREE: every object in it but those named "readable*" cannot be read.
TEST_F(ReferenceEngineSafetyTest, PreparedTreeOfUnreadableObjectsIsReportedAsNotScanned)
{
    const char* tree = std::getenv("BRISKEN_UNREADABLE_TREE");
    const char* count = std::getenv("BRISKEN_UNREADABLE_REPORTS");
    if (!tree || !count)
        GTEST_SKIP() << "run by tests/e2e/test_hostile_trees.py, which prepares the tree";
    Start();

    ASSERT_EQ(0, Scan(fs::path(tree)));

    EXPECT_EQ(std::stoul(count), recorder.reports.size());
    for (const Report& report : recorder.reports)
    {
        const fs::path path(report.path);
        SCOPED_TRACE(path.string());
        if (path.filename().string().compare(0, 8, "readable") == 0)
        {
            EXPECT_EQ(ScanStatus::Clean, report.scanStatus);
            continue;
        }
        EXPECT_EQ(ScanStatus::ScanFailed, report.scanStatus);
        EXPECT_EQ(ObjectFlag::UnableToRead, report.objectFlags & ObjectFlag::UnableToRead);
        EXPECT_NE(0, report.scanStatusFlags);
    }
}

} // namespace
