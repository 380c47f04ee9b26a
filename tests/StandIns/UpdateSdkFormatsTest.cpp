// The update SDK stand-in's formats: the manifest it takes from the server, the patches it
// applies and the version line it writes into Plugins/update.txt.

#include "Manifest.h"
#include "Patch.h"
#include "PluginsVersionFile.h"
#include "Result.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace
{

using namespace UpdateSdkStandIn;

const std::string hashA(64, 'a');
const std::string hashB(64, 'b');
const std::string header = "brisken-definitions 1\nversion 3.1\nreleased 2026-11-20T09:30:00Z\n";

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
                             "patch 7 " + hashB + " " + hashA + " with blank.bkdef\r\n";
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
        {"no header", "version 1\nreleased 2026-11-20T09:30:00Z\n"},
        {"other format version", "brisken-definitions 2\nversion 1\nreleased 2026-11-20T09:30:00Z\n"},
        {"no version", "brisken-definitions 1\nreleased 2026-11-20T09:30:00Z\n"},
        {"no release time", "brisken-definitions 1\nversion 1\n"},
        {"second version", header + "version 4\n"},
        {"blank version", "brisken-definitions 1\nversion  \nreleased 2026-11-20T09:30:00Z\n"},
        {"control character in version", "brisken-definitions 1\nversion 1\x01\nreleased 2026-11-20T09:30:00Z\n"},
        {"local release time", "brisken-definitions 1\nversion 1\nreleased 2026-11-20T09:30:00\n"},
        {"impossible month", "brisken-definitions 1\nversion 1\nreleased 2026-13-20T09:30:00Z\n"},
        {"unknown line", header + "delete a.bkdef\n"},
        {"upper-case hash", header + "file 12 " + std::string(64, 'A') + " a.bkdef\n"},
        {"short hash", header + "file 12 " + hashA.substr(1) + " a.bkdef\n"},
        {"negative size", header + "file -1 " + hashA + " a.bkdef\n"},
        {"size past 4 GiB", header + "file 4294967297 " + hashA + " a.bkdef\n"},
        {"no name", header + "file 12 " + hashA + " \n"},
        {"two blanks", header + "file  12 " + hashA + " a.bkdef\n"},
        {"path in name", header + "file 12 " + hashA + " ..\\a.bkdef\n"},
        {"same name twice", header + file + "file 3 " + hashB + " A.BKDEF\n"},
        {"patch for a file not in the set", header + file + "patch 7 " + hashB + " " + hashA + " b.bkdef\n"},
        {"NUL inside", header + std::string("file 12 ") + hashA + std::string(" a\0.bkdef\n", 10)},
        {"larger than 1 MiB", header + std::string(MaxManifestSize, '\n')},
    };
    for (const auto& test : cases)
        EXPECT_EQ(Result::BadManifest, ParseResult(test.text)) << test.what;
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

} // namespace
