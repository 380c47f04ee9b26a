// The update SDK stand-in's install swap: all or nothing, within the call and across a kill,
// through its journal. A kill after n moves is a mover that stops working after n moves: what
// is on disk then is just what the kill would leave.

#include "FileSwap.h"
#include "Folders.h"
#include "LocalFiles.h"
#include "Result.h"
#include "SwapJournal.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
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

// A mover that does its first `allowed` moves and fails every later one, as a process that
// was killed moves nothing more; failing (from, to) pairs fail at once.
class Mover
{
public:
    explicit Mover(int allowed = -1) : allowed(allowed) {}

    void Fail(const std::wstring& from, const std::wstring& to) { failing.push_back(from + L"|" + to); }
    int Moves() const { return moves; }

    FileSwap::Mover Function()
    {
        return [this](const std::wstring& from, const std::wstring& to) {
            for (const std::wstring& pair : failing)
                if (pair == from + L"|" + to)
                    return Refuse();
            if (allowed >= 0 && moves >= allowed)
                return Refuse();
            ++moves;
            return LocalFiles::Move(from, to);
        };
    }

private:
    static bool Refuse()
    {
        SetLastError(ERROR_SHARING_VIOLATION);
        return false;
    }

    int allowed;
    int moves = 0;
    std::vector<std::wstring> failing;
};

class UpdateSdkFileSwapTest : public testing::Test
{
protected:
    UpdateSdkFileSwapTest() : folders(temp.Path().wstring())
    {
        for (const std::wstring& folder : {folders.plugins, folders.stagedFiles, folders.backup})
            LocalFiles::CreateFolders(folder);
        for (const auto& [name, content] : oldSet)
            LocalFiles::Write(folders.plugins + L"\\" + name, content);
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

    TestSupport::TempFolder temp;
    Folders folders;
};

TEST_F(UpdateSdkFileSwapTest, ASwapThatRunsThroughPutsTheNewSetInPlace)
{
    Mover mover;
    EXPECT_EQ(Result::Success, RunWith(mover));
    EXPECT_EQ(newSet, Read(folders.plugins));
    EXPECT_EQ(oldSet, Read(folders.backup));
    EXPECT_FALSE(LocalFiles::IsFile(folders.journal));
    Mover recovery;
    EXPECT_EQ(Result::Success, RecoverWith(recovery));
    EXPECT_EQ(0, recovery.Moves());
}

TEST_F(UpdateSdkFileSwapTest, AMoveThatFailsUndoesEverythingDone)
{
    for (const std::wstring name : {L"a.bkdef", L"gone.bkdef", L"update.txt"})
    {
        SCOPED_TRACE(testing::PrintToString(name));
        Mover mover;
        mover.Fail(folders.plugins + L"\\" + name, folders.backup + L"\\" + name);
        EXPECT_EQ(Result::InstallFailed, RunWith(mover));
        ExpectOldSetWithNewFilesStaged();
        EXPECT_EQ(Files(), Read(folders.backup));
    }
}

// The undo cannot put the old a.bkdef back (as when Windows takes another file for its name):
// the swap says so with its own code, not as a clean failure, and the backup keeps the only
// copy for the next run, which puts it back.
TEST_F(UpdateSdkFileSwapTest, AnUndoThatCannotPutAFileBackSaysSoAndKeepsTheBackup)
{
    Mover mover;
    mover.Fail(folders.plugins + L"\\update.txt", folders.backup + L"\\update.txt");
    mover.Fail(folders.backup + L"\\a.bkdef", folders.plugins + L"\\a.bkdef");
    EXPECT_EQ(Result::UndoFailed, RunWith(mover));
    EXPECT_EQ((Files{{L"a.bkdef", "old a"}}), Read(folders.backup));
    EXPECT_FALSE(LocalFiles::IsFile(folders.plugins + L"\\a.bkdef"));
    EXPECT_TRUE(LocalFiles::IsFile(folders.journal));

    // Still impossible: nothing is given up.
    EXPECT_EQ(Result::UndoFailed, RecoverWith(mover));
    EXPECT_EQ((Files{{L"a.bkdef", "old a"}}), Read(folders.backup));
    EXPECT_TRUE(LocalFiles::IsFile(folders.journal));

    Mover working;
    EXPECT_EQ(Result::Success, RecoverWith(working));
    ExpectOldSetWithNewFilesStaged();
}

// Killed after any number of moves, and the recovery killed after any number of its own: the
// next recovery that runs through leaves the old set whole.
TEST_F(UpdateSdkFileSwapTest, AKillAtAnyPointLeavesWhatTheNextRunUndoes)
{
    const std::wstring root = temp.Path().wstring();
    int forwardMoves = 0;
    {
        Mover counting;
        ASSERT_EQ(Result::Success, RunWith(counting));
        forwardMoves = counting.Moves();
        ASSERT_EQ(6, forwardMoves);
        // Killed after the last move, before the journal went.
        SwapJournal::Write(folders.journal, root, Steps());
        Mover undoing;
        ASSERT_EQ(Result::Success, RecoverWith(undoing));
        ExpectOldSetWithNewFilesStaged();
    }
    for (int killedAfter = 1; killedAfter < forwardMoves; ++killedAfter)
    {
        for (int recoveryKilledAfter = 0; recoveryKilledAfter <= killedAfter; ++recoveryKilledAfter)
        {
            SCOPED_TRACE(testing::Message() << "killed after " << killedAfter << " moves, its recovery after "
                                            << recoveryKilledAfter);
            Mover killed(killedAfter);
            ASSERT_EQ(Result::UndoFailed, RunWith(killed));
            ASSERT_TRUE(LocalFiles::IsFile(folders.journal));
            Mover recoveryKilled(recoveryKilledAfter);
            RecoverWith(recoveryKilled);
            Mover working;
            EXPECT_EQ(Result::Success, RecoverWith(working));
            ExpectOldSetWithNewFilesStaged();
        }
    }
}

TEST_F(UpdateSdkFileSwapTest, AJournalCutShortWhileWrittenIsRemovedAndNothingMoved)
{
    SwapJournal::Write(folders.journal, temp.Path().wstring(), Steps());
    std::string whole;
    ASSERT_TRUE(LocalFiles::TryRead(folders.journal, whole));
    for (const std::size_t cut : {std::size_t(0), std::size_t(10), whole.size() / 2, whole.size() - 2})
    {
        SCOPED_TRACE(cut);
        LocalFiles::Write(folders.journal, whole.substr(0, cut));
        Mover mover;
        EXPECT_EQ(Result::Success, RecoverWith(mover));
        EXPECT_EQ(0, mover.Moves());
        ExpectOldSetWithNewFilesStaged();
    }
}

TEST_F(UpdateSdkFileSwapTest, AWholeJournalThatCannotBeReadTouchesNothing)
{
    LocalFiles::Write(folders.journal, "brisken-swap 1\nrename\ta\tb\nend\n");
    Mover mover;
    EXPECT_EQ(Result::UndoFailed, RecoverWith(mover));
    EXPECT_EQ(0, mover.Moves());
    EXPECT_TRUE(LocalFiles::IsFile(folders.journal));
    EXPECT_EQ(oldSet, Read(folders.plugins));
}

} // namespace
