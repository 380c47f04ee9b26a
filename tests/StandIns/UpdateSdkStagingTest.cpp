// The update SDK stand-in's hold on its staging folder, against another holder that lets go
// (and removes the folder) at the worst moment.

#include "Folders.h"
#include "LocalFiles.h"
#include "Progress.h"
#include "Result.h"
#include "Staging.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace
{

using namespace UpdateSdkStandIn;

// The folder made, then gone again before the lock file is opened, as when its last holder
// removes it on letting go: the take waits and tries again instead of failing.
TEST(UpdateSdkStagingTest, AFolderGoneBetweenMakingAndLockingIsWaitedFor)
{
    TestSupport::TempFolder temp;
    const Folders folders(temp.Path().wstring());
    int made = 0;
    Staging staging(folders.local, [&](const std::wstring& folder) {
        LocalFiles::CreateOwnFolder(folder);
        if (made++ == 0)
            RemoveDirectoryW(folder.c_str());
    });
    try
    {
        staging.Take(Progress(nullptr, nullptr));
    }
    catch (const UpdateError& error)
    {
        FAIL() << error.what();
    }
    EXPECT_EQ(2, made);
    EXPECT_TRUE(LocalFiles::IsFile(folders.lock));
    staging.Release();
    EXPECT_FALSE(LocalFiles::IsFile(folders.lock));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folders.staging.c_str()));
}

} // namespace
