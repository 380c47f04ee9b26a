// The update SDK stand-in's formats: the manifest it takes from the server, the patches it
// applies, the version line it writes into Plugins/update.txt and the order of version ids.

#include "Manifest.h"
#include "Patch.h"
#include "PlainFileName.h"
#include "PluginsVersionFile.h"
#include "Result.h"
#include "TransientError.h"
#include "UpdateSdk.h"
#include "VersionOrder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace
{

using namespace UpdateSdkStandIn;

const std::string hashA(64, 'a');
const std::string hashB(64, 'b');
const std::string header = "brisken-definitions 1\nversion 3.1\nreleased 2026-11-20T09:30:00Z\n";
const std::string closing = "end\n";

Result ParseResult(const std::string& text)
{
    try
    {
        ParseManifest(text);
        return Result::Success;
    }
    catch (const UpdateError& error)
    {
        return error.Code();
    }
}

TEST(UpdateSdkManifestTest, WellFormedManifestReadsBackAsWritten)
{
    const std::string text = "brisken-definitions 1\r\nversion 3.1 beta\r\nreleased 2026-11-20T09:30:00Z\r\n\r\n"
                             "file 12 " + hashA + " with blank.bkdef\r\n"
                             "file 0 " + hashB + " empty.bkdef\r\n"
                             "patch 7 " + hashB + " " + hashA + " with blank.bkdef\r\n"
                             "end\r\n\r\n";
    const Manifest manifest = ParseManifest(text);
    EXPECT_EQ("3.1 beta", manifest.version);
    EXPECT_EQ("2026-11-20T09:30:00Z", manifest.released);
    ASSERT_EQ(2u, manifest.files.size());
    EXPECT_EQ("with blank.bkdef", manifest.files[0].name);
    EXPECT_EQ(12u, manifest.files[0].size);
    EXPECT_EQ(hashA, manifest.files[0].sha256);
    ASSERT_NE(nullptr, manifest.FindPatch("with blank.bkdef", hashA));
    EXPECT_EQ(7u, manifest.FindPatch("with blank.bkdef", hashA)->size);
    EXPECT_EQ(nullptr, manifest.FindPatch("with blank.bkdef", hashB));

    const Manifest again = ParseManifest(FormatManifest(manifest));
    EXPECT_EQ(manifest.version, again.version);
    EXPECT_EQ(manifest.files.size(), again.files.size());
    EXPECT_EQ(manifest.files[1].name, again.files[1].name);
    EXPECT_EQ(manifest.patches.size(), again.patches.size());
}

TEST(UpdateSdkManifestTest, AnythingElseIsABadManifest)
{
    const std::string file = "file 12 " + hashA + " a.bkdef\n";
    const struct
    {
        const char* what;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"no header", "version 1\nreleased 2026-11-20T09:30:00Z\n" + closing},
        {"other format version", "brisken-definitions 2\nversion 1\nreleased 2026-11-20T09:30:00Z\n" + closing},
        {"no version", "brisken-definitions 1\nreleased 2026-11-20T09:30:00Z\n" + closing},
        {"no release time", "brisken-definitions 1\nversion 1\n" + closing},
        {"second version", header + "version 4\n" + closing},
        {"blank version", "brisken-definitions 1\nversion  \nreleased 2026-11-20T09:30:00Z\n" + closing},
        {"control character in version", "brisken-definitions 1\nversion 1\x01\nreleased 2026-11-20T09:30:00Z\n" + closing},
        {"local release time", "brisken-definitions 1\nversion 1\nreleased 2026-11-20T09:30:00\n" + closing},
        {"impossible month", "brisken-definitions 1\nversion 1\nreleased 2026-13-20T09:30:00Z\n" + closing},
        {"unknown line", header + "delete a.bkdef\n" + closing},
        {"upper-case hash", header + "file 12 " + std::string(64, 'A') + " a.bkdef\n" + closing},
        {"short hash", header + "file 12 " + hashA.substr(1) + " a.bkdef\n" + closing},
        {"negative size", header + "file -1 " + hashA + " a.bkdef\n" + closing},
        {"size past 4 GiB", header + "file 4294967297 " + hashA + " a.bkdef\n" + closing},
        {"no name", header + "file 12 " + hashA + " \n" + closing},
        {"two blanks", header + "file  12 " + hashA + " a.bkdef\n" + closing},
        {"path in name", header + "file 12 " + hashA + " ..\\a.bkdef\n" + closing},
        {"device name with a superscript digit", header + "file 12 " + hashA + " COM\u00b9.bkdef\n" + closing},
        {"same name twice", header + file + "file 3 " + hashB + " A.BKDEF\n" + closing},
        {"patch for a file not in the set", header + file + "patch 7 " + hashB + " " + hashA + " b.bkdef\n" + closing},
        {"NUL inside", header + std::string("file 12 ") + hashA + std::string(" a\0.bkdef\n", 10) + closing},
        {"larger than 1 MiB", header + std::string(MaxManifestSize, '\n') + closing},
        {"a line after the closing line", header + closing + file},
        {"closing line twice", header + file + closing + closing},
    };
    for (const auto& test : cases)
        EXPECT_EQ(Result::BadManifest, ParseResult(test.text)) << test.what;
}

// A manifest without its closing line was cut short, wherever: the update asks whether to
// fetch it again (event 81), as for a download that broke off.
TEST(UpdateSdkManifestTest, AManifestWithoutItsClosingLineDidNotArriveWhole)
{
    const std::string file = "file 12 " + hashA + " a.bkdef\n";
    const std::string whole = header + file + "file 3 " + hashB + " b.bkdef\n" + closing;
    ASSERT_EQ(2u, ParseManifest(whole).files.size());
    const struct
    {
        const char* what;
        std::string text;
    } cases[] = {
        {"cut after the header", header},
        {"cut at the end of a file line", header + file},
        {"cut inside a file line", header + file + "file 3 " + hashB.substr(0, 10)},
        {"cut inside the closing line", whole.substr(0, whole.size() - 2)},
        {"closing line not alone", header + file + "end of set\n"},
    };
    for (const auto& test : cases)
    {
        try
        {
            ParseManifest(test.text);
            ADD_FAILURE() << test.what << ": taken";
        }
        catch (const TransientError& error)
        {
            EXPECT_EQ(Result::DownloadFailed, error.Code()) << test.what;
            EXPECT_EQ(UpdateSdk::Event::DownloadFailed, error.RetryEvent()) << test.what;
        }
        catch (const UpdateError& error)
        {
            ADD_FAILURE() << test.what << ": refused as " << static_cast<int>(error.Code()) << ", not as cut";
        }
    }
}

// Names Windows reads as a device, whatever the case and extension; COM and LPT with a
// superscript 1, 2 or 3 among them.
TEST(UpdateSdkPlainFileNameTest, DeviceNamesAreRefusedOthersTaken)
{
    const struct
    {
        const char* name; // UTF-8
        bool plain;
    } cases[] = {
        {"CON", false}, {"nul.bkdef", false}, {"Com1", false}, {"lpt9.txt", false}, {"AUX .bkdef", false},
        {"COM\u00b9", false}, {"com\u00b2.bkdef", false}, {"Com\u00b3.txt", false},
        {"LPT\u00b9", false}, {"lpt\u00b2.bkdef", false}, {"lPt\u00b3 .x", false},
        {"COM\u2074", true}, {"COM\u00b9\u00b9", true}, {"xCOM\u00b9", true}, {"COM10", true}, {"LPT", true},
        {"con\u00b9.bkdef", true}, {"reference.bkdef", true},
    };
    for (const auto& test : cases)
        EXPECT_EQ(test.plain, IsPlainFileName(test.name)) << test.name;
}

std::string Number(std::uint64_t value)
{
    std::string bytes;
    for (int i = 0; i < 8; ++i)
        bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
    return bytes;
}

std::string Copy(std::uint64_t offset, std::uint64_t length)
{
    return "C" + Number(offset) + Number(length);
}

std::string Insert(const std::string& bytes)
{
    return "I" + Number(bytes.size()) + bytes;
}

TEST(UpdateSdkPatchTest, CopiesAndInsertsMakeTheNewContent)
{
    const std::string base = "line one\nline two\nline three\n";
    EXPECT_EQ("line one\nline 2\nline three\n",
        ApplyPatch(base, "BKPATCH1" + Copy(0, 14) + Insert("2") + Copy(17, 12), 100));
    EXPECT_EQ("", ApplyPatch(base, "BKPATCH1", 100));
    EXPECT_EQ(base + base, ApplyPatch(base, "BKPATCH1" + Copy(0, 29) + Copy(0, 29), 58));
}

TEST(UpdateSdkPatchTest, MalformedOrOverreachingPatchesAreRefused)
{
    const std::string base = "0123456789";
    const struct
    {
        const char* what;
        std::string patch;
    } cases[] = {
        {"no header", Copy(0, 1)},
        {"other header", "BKPATCH2" + Copy(0, 1)},
        {"copy past the end", "BKPATCH1" + Copy(5, 6)},
        {"copy starting past the end", "BKPATCH1" + Copy(11, 0)},
        {"copy whose end wraps around", "BKPATCH1" + Copy(5, ~std::uint64_t(0))},
        {"insert longer than the patch", "BKPATCH1I" + Number(5) + "abc"},
        {"insert whose length wraps around", "BKPATCH1I" + Number(~std::uint64_t(0)) + "abc"},
        {"cut inside a number", "BKPATCH1C" + Number(0).substr(0, 3)},
        {"unknown operation", "BKPATCH1X"},
        {"result longer than allowed", "BKPATCH1" + Copy(0, 10) + Insert("x")},
    };
    for (const auto& test : cases)
    {
        try
        {
            ApplyPatch(base, test.patch, 10);
            ADD_FAILURE() << test.what << ": taken";
        }
        catch (const UpdateError& error)
        {
            EXPECT_EQ(Result::VerificationFailed, error.Code()) << test.what;
        }
    }
}

TEST(UpdateSdkPluginsVersionFileTest, FirstVersionLineIsReadAndReplacedOthersKept)
{
    const struct
    {
        const char* content;
        const char* version;     // as read
        const char* withVersion; // after writing version 5
    } cases[] = {
        {"", "", "Version: 5\r\n"},
        {"Version: 1.2.3\r\n", "1.2.3", "Version: 5\r\n"},
        {"Build 7\r\nVersion: 1.2.3\r\nVersion: 9\r\n", "1.2.3", "Build 7\r\nVersion: 5\r\nVersion: 9\r\n"},
        {"Plugins Version: 2.0 beta\n", "2.0 beta", "Version: 5\n"},
        {"Version: \nVersion: 4", "4", "Version: \nVersion: 5"},
        {"no version here\n", "", "Version: 5\r\nno version here\n"},
    };
    for (const auto& test : cases)
    {
        EXPECT_EQ(test.version, PluginsVersionFile::ReadVersion(test.content)) << test.content;
        EXPECT_EQ(test.withVersion, PluginsVersionFile::WithVersion(test.content, "5")) << test.content;
    }
}

// No update goes back: dotted numbers compare number by number, any other id comes before them.
TEST(UpdateSdkVersionOrderTest, OlderOnlyWhenItComesFirst)
{
    const struct
    {
        const char* offered;
        const char* installed;
        bool older;
    } cases[] = {
        {"2026.11.20.1", "2099.01.01.1", true},
        {"2099.01.01.1", "2026.11.20.1", false},
        {"2026.11.20.1", "2026.11.20.1", false}, // the same set: a damaged one is repaired
        {"2026.11.20.1", "2026.11.20.2", true},
        {"2026.11.20.10", "2026.11.20.9", false}, // numbers, not text
        {"2026.11.20.9", "2026.11.20.10", true},
        {"2026.011.20.1", "2026.11.20.1", false}, // leading zeros do not count
        {"1.2", "1.2.0", false},                  // a missing number counts as 0
        {"1.2.0", "1.2", false},
        {"1.2", "1.2.1", true},
        {"1.10", "1.9.9", false},
        {"123456789012345678901234567890.1", "123456789012345678901234567889.9", false}, // any length
        {"123456789012345678901234567889.9", "123456789012345678901234567890.1", true},
        // Anything but dotted numbers is older than they are, and not ordered among itself.
        {"3.1 beta", "2026.11.20.1", true},
        {"", "1", true},
        {"2026.11.20.1", "", false},       // nothing installed, or no version line
        {"2026.11.20.1", "unknown", false},
        {"beta", "alpha", false},
        {"alpha", "beta", false},
        {"1..2", "1.1", true},
        {"1.2.", "1.1", true},
        {".1", "0.0", true},
        {"+1", "0", true},
        {"1.1", "1..2", false},
    };
    for (const auto& test : cases)
        EXPECT_EQ(test.older, VersionOrder::IsOlder(test.offered, test.installed))
            << test.offered << " after " << test.installed;
}

} // namespace
