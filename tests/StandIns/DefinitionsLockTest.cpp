// The lock by which the reference engine's start and the update SDK stand-in's install keep
// out of each other's way: readers beside readers, an owner alone, each waiting for the other
// kind within its limit, and no file made by a reader.

#include "DefinitionsLock.h"

#include "support/TempFolder.h"

#include <boost/filesystem/operations.hpp>

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

namespace
{

using ReferenceEngine::DefinitionsLock;
using Outcome = DefinitionsLock::Outcome;

class DefinitionsLockTest : public testing::Test
{
protected:
    std::wstring Folder() const { return folder.Path().wstring(); }
    // As the first install there leaves it.
    void MakeLockFile()
    {
        DefinitionsLock made;
        ASSERT_EQ(Outcome::Held, made.Own(Folder(), 0));
    }

    TestSupport::TempFolder folder;
};

TEST_F(DefinitionsLockTest, ReaderFindsNoLockWhereNoInstallEverSwappedAndMakesNone)
{
    DefinitionsLock reader;
    EXPECT_EQ(Outcome::Absent, reader.Share(Folder(), 0));
    EXPECT_FALSE(boost::filesystem::exists(DefinitionsLock::PathIn(Folder())));

    DefinitionsLock owner;
    ASSERT_EQ(Outcome::Held, owner.Own(Folder(), 0));
    owner.Release();
    EXPECT_TRUE(boost::filesystem::exists(DefinitionsLock::PathIn(Folder()))) << "kept for the next reader";
    EXPECT_EQ(Outcome::Held, reader.Share(Folder(), 0));
}

TEST_F(DefinitionsLockTest, ReadersShareTheLockAndTheOwnerHasItAlone)
{
    struct Case
    {
        const char* name;
        bool firstOwns;
        bool secondOwns;
        Outcome second; // while the first holds it
    };
    const Case cases[] = {
        {"reader beside a reader", false, false, Outcome::Held},
        {"owner while a reader reads", false, true, Outcome::TimedOut},
        {"reader while the owner swaps", true, false, Outcome::TimedOut},
        {"owner while another owns it", true, true, Outcome::TimedOut},
    };
    MakeLockFile();
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        DefinitionsLock first, second;
        ASSERT_EQ(Outcome::Held, test.firstOwns ? first.Own(Folder(), 0) : first.Share(Folder(), 0));
        EXPECT_EQ(test.second, test.secondOwns ? second.Own(Folder(), 50) : second.Share(Folder(), 50));
        second.Release();
        first.Release();
        EXPECT_EQ(Outcome::Held, test.secondOwns ? second.Own(Folder(), 0) : second.Share(Folder(), 0))
            << "once the first lets go";
    }
}

// A generous limit, reached only by a hang; the holder lets go long before.
TEST_F(DefinitionsLockTest, EachKindWaitsForTheOtherToLetGo)
{
    MakeLockFile();
    for (const bool ownerWaits : {true, false})
    {
        SCOPED_TRACE(ownerWaits ? "install waits for an engine start" : "engine start waits for an install");
        DefinitionsLock holder, waiter;
        ASSERT_EQ(Outcome::Held, ownerWaits ? holder.Share(Folder(), 0) : holder.Own(Folder(), 0));
        std::atomic<bool> letGo{false};
        bool tookItFirst = false;
        Outcome waited = Outcome::Failed;
        std::thread waiting([&] {
            waited = ownerWaits ? waiter.Own(Folder(), 120 * 1000) : waiter.Share(Folder(), 120 * 1000);
            tookItFirst = !letGo;
        });
        // Only makes it likely that the waiter tries while the lock is held; decides nothing.
        Sleep(100);
        letGo = true;
        holder.Release();
        waiting.join();
        EXPECT_EQ(Outcome::Held, waited);
        EXPECT_FALSE(tookItFirst);
    }
}

} // namespace
