// The information helpers: the release time as a time point, the plugins version from
// Plugins\update.txt beside this test executable, and the product-info command.
#include "Commands/Commands.h"
#include "Information/FromSecondsSince1970.h"
#include "Information/PluginsVersion.h"
#include "Program/ProgramFolder.h"

#include "support/Console.h"
#include "support/LogLines.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace BriskenCommandLineScanner;

namespace
{

namespace fs = boost::filesystem;
using boost::posix_time::ptime;
using boost::posix_time::time_from_string;

TEST(InformationTest, ReleaseTimesAreUnsignedSecondsSince1970)
{
    const struct
    {
        std::uint32_t seconds;
        const char* time;
    } cases[] = {
        {0, "1970-01-01 00:00:00"},
        {1, "1970-01-01 00:00:01"},
        {1704067200, "2024-01-01 00:00:00"},
        {2147483647, "2038-01-19 03:14:07"},
        {2147483648u, "2038-01-19 03:14:08"},
        {4294967295u, "2106-02-07 06:28:15"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(time_from_string(c.time), FromSecondsSince1970(c.seconds)) << c.seconds;
}

// Puts an update.txt into the Plugins folder beside the executable and takes it away again,
// with the folder when it was not there before.
class PluginsVersionTest : public testing::Test
{
protected:
    void SetUp() override
    {
        hadPlugins = fs::exists(ProgramFolder::Plugins());
        fs::remove(File());
    }

    void TearDown() override
    {
        fs::remove(File());
        if (!hadPlugins)
            fs::remove_all(ProgramFolder::Plugins());
    }

    static fs::path File()
    {
        return ProgramFolder::Plugins() / "update.txt";
    }

    static void Write(const std::string& content)
    {
        fs::create_directories(ProgramFolder::Plugins());
        fs::ofstream(File(), std::ios::binary) << content;
    }

    bool hadPlugins = false;
};

TEST_F(PluginsVersionTest, TheFirstVersionLineGivesEverythingAfterItsFirstVersionMark)
{
    const struct
    {
        const char* content;
        const char* version;
    } cases[] = {
        {"Build 20240105\nVersion: 1.2.3\nVersion: 9\n", "1.2.3"},
        {"Plugins Version: 2.0 beta\n", "2.0 beta"},                     // anywhere in the line, blanks kept
        {"Version: \nVersion: 5\n", "5"},                                // nothing after the mark: no match
        {"Version: 4", "4"},                                             // no line break at all
        {"Build 1\r\nVersion: 7.1\r\nVersion: 8\r\n", "7.1"},            // CR LF line ends
        {"Version: Version: 3\n", "Version: 3"},                         // from the first mark on
        {"Version:3\nversion: 3\nVersion:  6 \n", " 6 "},
        {"", ""},
        {"no version here\n\n", ""},
        {"Version: \n", ""},
    };
    for (const auto& c : cases)
    {
        Write(c.content);
        EXPECT_EQ(c.version, ReadPluginsVersion()) << testing::PrintToString(std::string(c.content));
    }
}

TEST_F(PluginsVersionTest, AMissingFileOrPluginsFolderGivesNothingAndLogsNothing)
{
    const TestSupport::LogLines log;
    EXPECT_EQ("", ReadPluginsVersion());
    if (!hadPlugins)
    {
        EXPECT_FALSE(fs::exists(ProgramFolder::Plugins()));
    }
    EXPECT_THAT(log.Lines(), testing::IsEmpty());
}

TEST(ProductInfoTest, FourLinesOfProductFacts)
{
    EXPECT_EQ("Product Info:\n  Name: Brisken Command Line Scanner\n  Version: 11.11.905.9127\n  Language: English\n",
        TestSupport::Printed(PrintProductInfo));
}

} // namespace
