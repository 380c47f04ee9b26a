#include "PathHelper/Special.h"

#include "ExceptionHelper/Exception.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/filesystem/operations.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

namespace
{

using ::testing::HasSubstr;
using ::testing::Not;

TEST(SpecialFolderTest, CommonAppDataIsAnExistingFolder)
{
    const boost::filesystem::path folder = PathHelper::Special::CommonAppDataFolder();
    EXPECT_TRUE(folder.is_absolute()) << folder;
    EXPECT_TRUE(boost::filesystem::is_directory(folder)) << folder;
    EXPECT_EQ(folder, PathHelper::Special::FolderPath(CSIDL_COMMON_APPDATA, nullptr));
}

TEST(SpecialFolderTest, FailureIsAPlainExceptionWithoutErrorCode)
{
    const int noSuchFolder = 0xFE;
    try
    {
        PathHelper::Special::FolderPath(noSuchFolder, nullptr);
        FAIL() << "no exception";
    }
    catch (const ExceptionHelper::Exception& error)
    {
        const std::string text = boost::diagnostic_information(error);
        EXPECT_THAT(text, HasSubstr("Special.cpp("));
        EXPECT_THAT(text, HasSubstr("): Throw in function boost::filesystem::path PathHelper::Special::FolderPath("));
        EXPECT_THAT(text, HasSubstr("\nstd::exception::what: SHGetFolderPath FAILED\n"));
        EXPECT_THAT(text, Not(HasSubstr("TagError")));
    }
}

} // namespace
