// The update SDK stand-in's install swap: all or nothing, within the call and across a kill,
// through its journal. A kill after n operations (renames, links, removals) is a mover that stops
// working after n of them: what is on disk then is just what the kill would leave.

#include "FileSwap.h"
#include "Folders.h"
#include "LocalFiles.h"
#include "Result.h"
#include "SwapJournal.h"

#include "support/TempFolder.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace
{

using namespace UpdateSdkStandIn;
using Files = std::map<std::wstring, std::string>;

// Plugins before and after the swap, and the new files as staged.
const Files oldSet = {{L"a.bkdef", "old a"}, {L"gone.bkdef", "old gone"}, {L"update.txt", "Version: 1"}};
const Files newSet = {{L"a.bkdef", "new a"}, {L"c.bkdef", "new c"}, {L"update.txt", "Version: 2"}};

// A mover that does its first `allowed` operations and fails every later one, as a process that
// was killed does nothing more; operations on failing (from, to) pairs, and of a refused kind,
// fail at once. The observer looks at the disk before each operation.
class Mover
{
public:
    explicit Mover(int allowed = -1) : allowed(allowed) {}

    void Fail(const std::wstring& from, const std::wstring& to) { failing.push_back(from + L"|" + to); }
    // As a volume without hard links, or a read-only file that is not replaced.
    void Refuse(FileSwap::Operation operation) { refused.push_back(operation); }
    void Observe(std::function<void()> look) { observer = std::move(look); }
    int Done() const { return done; }

    FileSwap::Operations Function()
    {
        return [this](FileSwap::Operation operation, const std::wstring& from, const std::wstring& to) {
            if (observer)
                observer();
            for (const std::wstring& pair : failing)
                if (pair == from + L"|" + to)
                    return Refuse();
            for (const FileSwap::Operation kind : refused)
                if (kind == operation)
                    return Refuse();
            if (allowed >= 0 && done >= allowed)
                return Refuse();
            ++done;
            return FileSwap::Perform(operation, from, to);
        };
    }

private:
    static bool Refuse()
    {
        SetLastError(ERROR_SHARING_VIOLATION);
        return false;
    }

    int allowed;
    int done = 0;
    std::vector<std::wstring> failing;
    std::vector<FileSwap::Operation> refused;
    std::function<void()> observer;
};

// The file systems a swap meets: hard links and replacing renames, no hard links, and old
// files that a rename may not replace; and how many operations a swap of the steps takes there.
const struct
{
    const char* what;
    std::vector<FileSwap::Operation> refused;
    int operations;
} fileSystems[] = {
    {"links and replacing", {}, 6},
    {"no hard links", {FileSwap::Operation::Link}, 6},
    {"no replacing", {FileSwap::Operation::Replace}, 10},
};

class UpdateSdkFileSwapTest : public testing::Test
{
protected:
    // The local path is a program folder with its own files, beside a folder that is not its.
    UpdateSdkFileSwapTest()
        : folders((temp.Path() / "program").wstring()), outside((temp.Path() / "outside").wstring())
    {
        for (const std::wstring& folder : {folders.plugins, folders.stagedFiles, folders.backup, outside})
            LocalFiles::CreateFolders(folder);
        for (const auto& [name, content] : oldSet)
            LocalFiles::Write(folders.plugins + L"\\" + name, content);
        for (const wchar_t* name : {L"BriskenCommandLineScanner.exe", L"scan.dll", L"BKSmartDB.dll", L"precious.txt"})
            LocalFiles::Write(folders.local + L"\\" + name, "own");
        for (const wchar_t* name : {L"victim.txt", L"evil.bkdef"})
            LocalFiles::Write(outside + L"\\" + name, "not the program's");
        LocalFiles::Write(Staged(L"a.bkdef"), newSet.at(L"a.bkdef"));
        LocalFiles::Write(Staged(L"c.bkdef"), newSet.at(L"c.bkdef"));
        LocalFiles::Write(Staged(L"update.txt"), newSet.at(L"update.txt"));
    }

    std::wstring Staged(const std::wstring& name) const
    {
        return (name == L"update.txt" ? folders.staging : folders.stagedFiles) + L"\\" + name;
    }

    std::vector<SwapStep> Steps() const
    {
        const auto step = [&](const std::wstring& staged, const std::wstring& name) {
            return SwapStep{staged, folders.plugins + L"\\" + name, folders.backup + L"\\" + name};
        };
        return {step(Staged(L"a.bkdef"), L"a.bkdef"), step(Staged(L"c.bkdef"), L"c.bkdef"),
            step(std::wstring(), L"gone.bkdef"), step(Staged(L"update.txt"), L"update.txt")};
    }

    static Files Read(const std::wstring& folder)
    {
        Files files;
        for (const std::wstring& name : LocalFiles::FileNames(folder))
            LocalFiles::TryRead(folder + L"\\" + name, files[name]);
        return files;
    }

    // The result code of f's UpdateError, or Success when it throws none.
    static Result Outcome(const std::function<void()>& f)
    {
        try
        {
            f();
            return Result::Success;
        }
        catch (const UpdateError& error)
        {
            return error.Code();
        }
    }

    Result RunWith(Mover& mover) { return Outcome([&] { FileSwap(folders, mover.Function()).Run(Steps()); }); }
    Result RecoverWith(Mover& mover) { return Outcome([&] { FileSwap(folders, mover.Function()).Recover(); }); }

    // Plugins holds the old set whole, and the new files are staged again for a later Install.
    void ExpectOldSetWithNewFilesStaged()
    {
        EXPECT_EQ(oldSet, Read(folders.plugins));
        for (const wchar_t* name : {L"a.bkdef", L"c.bkdef", L"update.txt"})
        {
            std::string content;
            EXPECT_TRUE(LocalFiles::TryRead(Staged(name), content));
            EXPECT_EQ(newSet.at(name), content);
        }
        EXPECT_FALSE(LocalFiles::IsFile(folders.journal));
    }

    // After a swap that ran through: undone as after a kill just before the journal went, the
    // old set is in place again and the new files staged.
    void UndoTheSwap()
    {
        SwapJournal::Write(folders, Steps());
        Mover undoing;
        ASSERT_EQ(Result::Success, RecoverWith(undoing));
        ExpectOldSetWithNewFilesStaged();
    }

    // Every file below the temporary folder, by path, with its content.
    Files Tree() const
    {
        Files files;
        for (boost::filesystem::recursive_directory_iterator entry(temp.Path()), end; entry != end; ++entry)
        {
            if (boost::filesystem::is_regular_file(entry->status()))
                LocalFiles::TryRead(entry->path().wstring(), files[entry->path().wstring()]);
        }
        return files;
    }

    // The tree without what lies in Plugins and the staging folder.
    Files OutsideTheUpdate() const
    {
        Files files = Tree();
        for (auto file = files.begin(); file != files.end();)
        {
            const bool ours = file->first.rfind(folders.plugins + L"\\", 0) == 0
                || file->first.rfind(folders.staging + L"\\", 0) == 0;
            file = ours ? files.erase(file) : std::next(file);
        }
        return files;
    }

    TestSupport::TempFolder temp;
    Folders folders;
    std::wstring outside;
};

TEST_F(UpdateSdkFileSwapTest, ASwapThatRunsThroughPutsTheNewSetInPlace)
{
    for (const auto& fileSystem : fileSystems)
    {
        SCOPED_TRACE(fileSystem.what);
        Mover mover;
        for (const FileSwap::Operation operation : fileSystem.refused)
            mover.Refuse(operation);
        EXPECT_EQ(Result::Success, RunWith(mover));
        EXPECT_EQ(newSet, Read(folders.plugins));
        EXPECT_EQ(oldSet, Read(folders.backup));
        EXPECT_FALSE(LocalFiles::IsFile(folders.journal));
        Mover recovery;
        EXPECT_EQ(Result::Success, RecoverWith(recovery));
        EXPECT_EQ(0, recovery.Done());
        UndoTheSwap();
    }
}

// A cut journal tells whether its moves began by the backup, which is empty before them.
TEST_F(UpdateSdkFileSwapTest, ASwapBeginsOnlyWithAnEmptyBackup)
{
    LocalFiles::Write(folders.backup + L"\\left.bkdef", "left by someone");
    Mover mover;
    EXPECT_EQ(Result::FileSystem, RunWith(mover));
    EXPECT_EQ(0, mover.Done());
    EXPECT_FALSE(LocalFiles::IsFile(folders.journal));
    EXPECT_EQ(oldSet, Read(folders.plugins));
}

// --definitions-info reads update.txt beside an install, without the definitions lock: a file
// that stays in the set is there, old or new, at every point of the swap.
TEST_F(UpdateSdkFileSwapTest, AFileThatStaysInTheSetIsNeverMissing)
{
    Mover mover;
    int looks = 0;
    mover.Observe([&] {
        ++looks;
        for (const wchar_t* name : {L"a.bkdef", L"update.txt"})
        {
            std::string content;
            EXPECT_TRUE(LocalFiles::TryRead(folders.plugins + L"\\" + name, content)) << "look " << looks;
            EXPECT_TRUE(content == oldSet.at(name) || content == newSet.at(name)) << content;
        }
    });
    EXPECT_EQ(Result::Success, RunWith(mover));
    EXPECT_EQ(6, looks);
    EXPECT_EQ(newSet, Read(folders.plugins));
}

TEST_F(UpdateSdkFileSwapTest, AMoveThatFailsUndoesEverythingDone)
{
    const std::vector<std::pair<std::wstring, std::wstring>> failing = {
        {folders.plugins + L"\\a.bkdef", folders.backup + L"\\a.bkdef"},
        {folders.plugins + L"\\gone.bkdef", folders.backup + L"\\gone.bkdef"},
        {folders.plugins + L"\\update.txt", folders.backup + L"\\update.txt"},
        // Neither replaced nor, after the old file went aside, moved in.
        {Staged(L"a.bkdef"), folders.plugins + L"\\a.bkdef"},
        {Staged(L"update.txt"), folders.plugins + L"\\update.txt"},
    };
    for (const auto& [from, to] : failing)
    {
        SCOPED_TRACE(testing::PrintToString(from + L" -> " + to));
        Mover mover;
        mover.Fail(from, to);
        EXPECT_EQ(Result::InstallFailed, RunWith(mover));
        ExpectOldSetWithNewFilesStaged();
        EXPECT_EQ(Files(), Read(folders.backup));
    }
}

// The undo cannot put an old file back (as when Windows takes another file for its name): the
// swap says so with its own code, not as a clean failure, whether that step is the one undone
// last or an earlier one, and the backup keeps the only copy for the next run, which puts it back.
TEST_F(UpdateSdkFileSwapTest, AnUndoThatCannotPutAFileBackSaysSoAndKeepsTheBackup)
{
    for (const std::wstring name : {L"a.bkdef", L"gone.bkdef"})
    {
        SCOPED_TRACE(testing::PrintToString(name));
        Mover mover;
        mover.Fail(folders.plugins + L"\\update.txt", folders.backup + L"\\update.txt");
        mover.Fail(folders.backup + L"\\" + name, folders.plugins + L"\\" + name);
        EXPECT_EQ(Result::UndoFailed, RunWith(mover));
        const Files kept{{name, oldSet.at(name)}};
        EXPECT_EQ(kept, Read(folders.backup));
        EXPECT_FALSE(LocalFiles::IsFile(folders.plugins + L"\\" + name));
        EXPECT_TRUE(LocalFiles::IsFile(folders.journal));

        // Still impossible: nothing is given up.
        EXPECT_EQ(Result::UndoFailed, RecoverWith(mover));
        EXPECT_EQ(kept, Read(folders.backup));
        EXPECT_TRUE(LocalFiles::IsFile(folders.journal));

        Mover working;
        EXPECT_EQ(Result::Success, RecoverWith(working));
        ExpectOldSetWithNewFilesStaged();
    }
}

// Killed after any number of operations, and the recovery killed after any number of its own,
// on each kind of file system: the next recovery that runs through leaves the old set whole.
TEST_F(UpdateSdkFileSwapTest, AKillAtAnyPointLeavesWhatTheNextRunUndoes)
{
    for (const auto& fileSystem : fileSystems)
    {
        const auto mover = [&](int allowed) {
            Mover made(allowed);
            for (const FileSwap::Operation operation : fileSystem.refused)
                made.Refuse(operation);
            return made;
        };
        {
            SCOPED_TRACE(fileSystem.what);
            Mover counting = mover(-1);
            ASSERT_EQ(Result::Success, RunWith(counting));
            ASSERT_EQ(fileSystem.operations, counting.Done());
            // Killed after the last operation, before the journal went.
            UndoTheSwap();
        }
        for (int killedAfter = 1; killedAfter < fileSystem.operations; ++killedAfter)
        {
            for (int recoveryKilledAfter = 0; recoveryKilledAfter <= killedAfter; ++recoveryKilledAfter)
            {
                SCOPED_TRACE(testing::Message() << fileSystem.what << ": killed after " << killedAfter
                                                << " operations, its recovery after " << recoveryKilledAfter);
                Mover killed = mover(killedAfter);
                if (RunWith(killed) != Result::UndoFailed)
                    // Nothing was left to undo, and the journal went; a kill leaves it all the same.
                    SwapJournal::Write(folders, Steps());
                ASSERT_TRUE(LocalFiles::IsFile(folders.journal));
                Mover recoveryKilled = mover(recoveryKilledAfter);
                RecoverWith(recoveryKilled);
                Mover working = mover(-1);
                EXPECT_EQ(Result::Success, RecoverWith(working));
                ExpectOldSetWithNewFilesStaged();
                EXPECT_EQ(Files(), Read(folders.backup));
            }
        }
    }
}

// Journals found on disk: only the steps Install writes are acted on, and a journal whose line
// ends an editor or a copy changed is still the swap it tells.
TEST_F(UpdateSdkFileSwapTest, AJournalIsActedOnOnlyWhenInstallCouldHaveWrittenIt)
{
    const std::string header = "brisken-swap 1\n";
    const std::string end = "end\n";
    const std::string victim = WideToUtf8(outside + L"\\victim.txt");
    const std::string good = "remove\tPlugins\\gone.bkdef\tUpdateStaging\\backup\\gone.bkdef\n";
    const struct
    {
        const char* what;
        std::string steps;
    } refused[] = {
        {"an outside file renamed", "replace\t..\\outside\\stolen.txt\t..\\outside\\victim.txt\tUpdateStaging\\backup\\x\n"},
        {"the same with slashes", "replace\t../outside/stolen.txt\t../outside/victim.txt\tUpdateStaging/backup/x\n"},
        {"a definitions file moved out", "remove\t..\\outside\\exfil.bkdef\tPlugins\\a.bkdef\n"},
        {"out of Plugins by ..", "replace\tUpdateStaging\\files\\x\tPlugins\\..\\..\\outside\\victim.txt\tUpdateStaging\\backup\\x\n"},
        {"an absolute path", "replace\tUpdateStaging\\files\\x\t" + victim + "\tUpdateStaging\\backup\\x\n"},
        {"a device", "replace\tUpdateStaging\\files\\x\t\\\\.\\PhysicalDrive0\tUpdateStaging\\backup\\x\n"},
        {"a device name in Plugins", "remove\tPlugins\\com1.bkdef\tUpdateStaging\\backup\\com1.bkdef\n"},
        {"the program's file", "replace\tUpdateStaging\\files\\x\tprecious.txt\tUpdateStaging\\backup\\x\n"},
        {"the engine", "replace\tUpdateStaging\\files\\scan.dll\tscan.dll\tUpdateStaging\\backup\\scan.dll\n"},
        {"the executable",
            "replace\tUpdateStaging\\files\\e\tBriskenCommandLineScanner.exe\tUpdateStaging\\backup\\e\n"},
        {"an outside file pulled in as a backup", "remove\tPlugins\\evil.bkdef\t..\\outside\\evil.bkdef\n"},
        {"a backup outside", "replace\tUpdateStaging\\files\\a.bkdef\tPlugins\\a.bkdef\t..\\outside\\victim.txt\n"},
        {"a pair Install never makes", "replace\tUpdateStaging\\files\\a.bkdef\tPlugins\\c.bkdef\tUpdateStaging\\backup\\a.bkdef\n"},
        {"update.txt only taken away", "remove\tPlugins\\update.txt\tUpdateStaging\\backup\\update.txt\n"},
        {"a file that is no definitions file taken away",
            "remove\tPlugins\\notes.txt\tUpdateStaging\\backup\\notes.txt\n"},
        {"a file named twice", good + good},
        {"a path that is not UTF-8", "remove\tPlugins\\\xff.bkdef\tUpdateStaging\\backup\\\xff.bkdef\n"},
        {"zeros before the end", std::string(8, '\0') + "\n"},
    };
    // Backups that the steps would put back, where they would be taken from.
    LocalFiles::Write(folders.backup + L"\\gone.bkdef", "old gone");
    LocalFiles::RemoveEntry(folders.plugins + L"\\gone.bkdef");
    LocalFiles::Write(folders.backup + L"\\notes.txt", "someone's notes");
    const auto expectRefused = [&](const std::string& journal) {
        LocalFiles::Write(folders.journal, journal);
        const Files before = Tree();
        Mover mover;
        EXPECT_EQ(Result::UndoFailed, RecoverWith(mover));
        EXPECT_EQ(0, mover.Done());
        EXPECT_EQ(before, Tree());
    };
    for (const auto& journal : refused)
    {
        SCOPED_TRACE(journal.what);
        expectRefused(header + good + journal.steps + end);
    }
    {
        SCOPED_TRACE("another header");
        expectRefused("brisken-swap 2\n" + good + end);
    }
    {
        SCOPED_TRACE("a line after the end");
        expectRefused(header + end + good);
    }
}

TEST_F(UpdateSdkFileSwapTest, AnUnfinishedSwapIsUndoneWhateverItsJournalsLineEnds)
{
    const Files outsideBefore = OutsideTheUpdate();
    for (const char* form : {"CR LF", "a blank line after the end", "no line end after the end"})
    {
        SCOPED_TRACE(form);
        Mover killed(3);
        ASSERT_EQ(Result::UndoFailed, RunWith(killed));
        std::string journal;
        ASSERT_TRUE(LocalFiles::TryRead(folders.journal, journal));
        if (form[0] == 'C')
        {
            for (std::size_t at = 0; (at = journal.find('\n', at)) != std::string::npos; at += 2)
                journal.insert(at, "\r");
        }
        else if (form[0] == 'a')
            journal += "\n";
        else
            journal.pop_back();
        LocalFiles::Write(folders.journal, journal);
        Mover working;
        EXPECT_EQ(Result::Success, RecoverWith(working));
        ExpectOldSetWithNewFilesStaged();
        EXPECT_EQ(outsideBefore, OutsideTheUpdate());
    }
}

// A journal without its end, damaged after the swap began: what it no longer tells may have
// moved too, so nothing is touched and the backup stays. That the moves began shows in a step it
// still names, or, where none is left whole, in the backup, which was empty before the journal.
TEST_F(UpdateSdkFileSwapTest, AJournalCutShortAfterTheMovesBeganTouchesNothing)
{
    Mover killed(3);
    ASSERT_EQ(Result::UndoFailed, RunWith(killed));
    std::string journal;
    ASSERT_TRUE(LocalFiles::TryRead(folders.journal, journal));
    const std::size_t firstStep = journal.find('\n') + 1;
    const std::size_t secondStep = journal.find('\n', firstStep) + 1;
    for (const std::size_t cut : {journal.size() / 2, firstStep, firstStep + 1, firstStep + 20, secondStep - 1})
    {
        SCOPED_TRACE(testing::PrintToString(journal.substr(0, cut)));
        LocalFiles::Write(folders.journal, journal.substr(0, cut));
        const Files before = Tree();
        Mover mover;
        EXPECT_EQ(Result::UndoFailed, RecoverWith(mover));
        EXPECT_EQ(0, mover.Done());
        EXPECT_EQ(before, Tree());
    }
}

// Cut anywhere, or with an end that a power cut left unwritten (NTFS shows it as zeros).
TEST_F(UpdateSdkFileSwapTest, AJournalCutShortWhileWrittenIsRemovedAndNothingMoved)
{
    SwapJournal::Write(folders, Steps());
    std::string whole;
    ASSERT_TRUE(LocalFiles::TryRead(folders.journal, whole));
    for (const bool zeros : {false, true})
    {
        for (const std::size_t cut : {std::size_t(0), std::size_t(10), whole.size() / 2, whole.size() - 2})
        {
            SCOPED_TRACE(testing::Message() << cut << (zeros ? ", then zeros" : ""));
            LocalFiles::Write(folders.journal, whole.substr(0, cut) + std::string(zeros ? whole.size() - cut : 0, '\0'));
            Mover mover;
            EXPECT_EQ(Result::Success, RecoverWith(mover));
            EXPECT_EQ(0, mover.Done());
            ExpectOldSetWithNewFilesStaged();
        }
    }
}

TEST_F(UpdateSdkFileSwapTest, AWholeJournalThatCannotBeReadTouchesNothing)
{
    LocalFiles::Write(folders.journal, "brisken-swap 1\nrename\ta\tb\nend\n");
    Mover mover;
    EXPECT_EQ(Result::UndoFailed, RecoverWith(mover));
    EXPECT_EQ(0, mover.Done());
    EXPECT_TRUE(LocalFiles::IsFile(folders.journal));
    EXPECT_EQ(oldSet, Read(folders.plugins));
}

} // namespace
