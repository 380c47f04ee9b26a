#include "ApplicationUpdate/PartnerFile.h"

#include "ApplicationUpdate/UpdateCheck.h"
#include "PathHelper/Special.h"
#include "ProcessHelper/ProcessHelper.h"
#include "Program/Logger.h"
#include "support/TempFolder.h"

#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>

#include <gtest/gtest.h>

#include <iterator>
#include <string>

namespace
{

namespace fs = boost::filesystem;
using namespace BriskenCommandLineScanner;

// The lines this test process's log file gained since the object was made (or last asked).
class NewLogLines
{
public:
    NewLogLines() { Take(); }

    std::string Take()
    {
        const std::string content = Content();
        const std::string added = content.substr(std::min(seen, content.size()));
        seen = content.size();
        return added;
    }

private:
    static std::string Content()
    {
        const fs::path logs = Logger::AppendLogsFolder(ProcessHelper::Process::Path().parent_path());
        std::string content;
        boost::system::error_code error;
        for (fs::directory_iterator entry(logs, error), end; !error && entry != end; ++entry)
        {
            fs::ifstream file(entry->path(), std::ios::binary);
            content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        }
        return content;
    }

    std::size_t seen = 0;
};

class PartnerFileTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { Logger::Instance().Init(); }

    fs::path Write(const std::string& content)
    {
        const fs::path file = folder.Path() / L"UpdateServer.txt";
        fs::ofstream(file, std::ios::binary | std::ios::trunc) << content;
        return file;
    }

    std::string ReadingLine(const fs::path& file) const
    {
        return "Info: reading platform from " + file.string() + "\r\n";
    }

    TestSupport::TempFolder folder;
};

const char NotUtf8[] = "Error: text after the byte-order mark is not UTF-8\r\n";

TEST_F(PartnerFileTest, ReadsThePlatformMemberOrLogsWhyNot)
{
    struct Case
    {
        const char* name;
        std::string content;
        bool found;
        std::string value;
        std::string log; // after the reading line
    };
    const Case cases[] = {
        {"plain object", R"({"platform":"beta"})", true, "beta", ""},
        {"other members ignored", R"({"server":"x","platform":"beta","n":1})", true, "beta", ""},
        {"comments around and inside", "// partner\n/* block */ {\"platform\" /* here */ : \"beta\" } // end",
            true, "beta", ""},
        {"trailing text", R"({"platform":"beta"} and then { some text)", true, "beta", ""},
        {"second value", R"({"platform":"beta"}{"platform":"gamma"})", true, "beta", ""},
        {"trailing slash", R"({"platform":"beta"}/)", true, "beta", ""},
        {"trailing text that starts like a comment", R"({"platform":"beta"} /oops)", true, "beta", ""},
        {"comment left open after the value", R"({"platform":"beta"} /* open)", true, "beta", ""},
        {"a number ends before what follows", "12 and more", false, "",
            "Error: get_value< Object > called on integer Value\r\n"},
        {"empty string", R"({"platform":""})", true, "", ""},
        // The value comes in UTF-8: the text is in the ANSI code page (1252 here) but after a
        // byte-order mark, and an escape names its character whatever the text's encoding.
        {"bytes above 127", "{\"platform\":\"b\xE9ta \xC4\xFF\"}", true, "b\xC3\xA9ta \xC3\x84\xC3\xBF", ""},
        {"utf-8 after a byte-order mark", "\xEF\xBB\xBF{\"platform\":\"b\xC3\xAAta\"}", true, "b\xC3\xAAta", ""},
        {"escaped characters beyond ASCII", R"({"platform":"b\u00eata \u20ac"})", true, "b\xC3\xAAta \xE2\x82\xAC", ""},
        {"escaped characters beyond ASCII after a byte-order mark", "\xEF\xBB\xBF{\"platform\":\"\\u00ea\"}", true,
            "\xC3\xAA", ""},
        {"Platform with a capital", R"({"Platform":"beta"})", false, "", "Error: couldn't find platform\r\n"},
        {"integer", R"({"platform":12})", false, "", "Error: get_value< string > called on integer Value\r\n"},
        {"real", R"({"platform":1.5})", false, "", "Error: get_value< string > called on real Value\r\n"},
        {"boolean", R"({"platform":true})", false, "", "Error: get_value< string > called on boolean Value\r\n"},
        {"null", R"({"platform":null})", false, "", "Error: get_value< string > called on null Value\r\n"},
        {"array member", R"({"platform":["beta"]})", false, "",
            "Error: get_value< string > called on Array Value\r\n"},
        {"object member", R"({"platform":{"name":"beta"}})", false, "",
            "Error: get_value< string > called on Object Value\r\n"},
        {"array", R"(["platform","beta"])", false, "", "Error: get_value< Object > called on Array Value\r\n"},
        {"string", R"("beta")", false, "", "Error: get_value< Object > called on string Value\r\n"},
        {"number at the end", "12", false, "", "Error: get_value< Object > called on integer Value\r\n"},
        {"not JSON", "platform=beta", false, "", "Error: could't read json value\r\n"},
        {"unfinished object", R"({"platform":"beta")", false, "", "Error: could't read json value\r\n"},
        {"trailing comma", R"({"platform":"beta",})", false, "", "Error: could't read json value\r\n"},
        {"only a comment", "// nothing here\n", false, "", "Error: could't read json value\r\n"},
        // What json_spirit took: raw control characters in a string, leading zeros in a number.
        {"tab inside the value", "{\"platform\":\"be\tta\"}", true, "be\tta", ""},
        {"control characters, NUL too, inside the value", std::string("{\"platform\":\"<\0\x01\x1F\r\n>\"}", 22), true,
            std::string("<\0\x01\x1F\r\n>", 7), ""},
        {"control character inside a key", "{\"pla\ntform\":\"x\",\"platform\":\"beta\"}", true, "beta", ""},
        {"leading zeros in another member", R"({"n":007,"m":-00.50e007,"z":00,"platform":"beta"})", true, "beta", ""},
        {"leading zeros in the member", R"({"platform":007})", false, "",
            "Error: get_value< string > called on integer Value\r\n"},
        {"zeros and escapes inside the value stay", R"({"platform":"007 \" 00 \\"})", true, "007 \" 00 \\", ""},
        {"odd number of quotes in a line comment before the value", "// a \"quote\n{\"platform\":\"beta\"}", true,
            "beta", ""},
        {"quotes and zeros in comments stay comments", "/* \" 007 */ // \"\n{\"platform\" /* \" */ :\"beta\"}", true,
            "beta", ""},
        {"escaped control character", R"({"platform":"be\tta"})", true, "be\tta", ""},
        {"byte-order mark", "\xEF\xBB\xBF{\"platform\":\"beta\"}", true, "beta", ""},
        {"only a byte-order mark", "\xEF\xBB\xBF", false, "", "Error: could't read json value\r\n"},
        {"byte-order mark not at the start", " \xEF\xBB\xBF{\"platform\":\"beta\"}", false, "",
            "Error: could't read json value\r\n"},
        {"empty file", "", false, "", "Error: couldn't read data from file\r\n"},
        // After a byte-order mark the text is UTF-8 or unusable: none of its bytes is replaced.
        {"utf-8 of two, three and four bytes after a byte-order mark",
            "\xEF\xBB\xBF{\"platform\":\"\xC3\xAA \xE2\x82\xAC \xF0\x9D\x84\x9E \xF4\x8F\xBF\xBF\"}", true,
            "\xC3\xAA \xE2\x82\xAC \xF0\x9D\x84\x9E \xF4\x8F\xBF\xBF", ""},
        {"stray byte after a byte-order mark", "\xEF\xBB\xBF{\"platform\":\"a\x80\x80" "b\"}", false, "", NotUtf8},
        {"byte above 127 in ANSI after a byte-order mark", "\xEF\xBB\xBF{\"platform\":\"b\xE9ta\"}", false, "", NotUtf8},
        {"overlong NUL after a byte-order mark", "\xEF\xBB\xBF{\"platform\":\"a\xC0\x80\"}", false, "", NotUtf8},
        {"overlong slash after a byte-order mark", "\xEF\xBB\xBF{\"platform\":\"a\xC0\xAF\"}", false, "", NotUtf8},
        {"encoded surrogate after a byte-order mark", "\xEF\xBB\xBF{\"platform\":\"a\xED\xA0\x80\"}", false, "", NotUtf8},
        {"code beyond 10FFFF after a byte-order mark", "\xEF\xBB\xBF{\"platform\":\"a\xF4\x90\x80\x80\"}", false, "",
            NotUtf8},
        {"sequence cut at the end after a byte-order mark", "\xEF\xBB\xBF{\"platform\":\"a\"}\xE2\x82", false, "",
            NotUtf8},
    };
    NewLogLines log;
    for (const Case& c : cases)
    {
        const fs::path file = Write(c.content);
        std::string value = "untouched";
        EXPECT_EQ(c.found, ReadPartnerValue(file, value)) << c.name;
        EXPECT_EQ(c.found ? c.value : "untouched", value) << c.name;
        EXPECT_EQ(ReadingLine(file) + c.log, log.Take()) << c.name;
    }
}

TEST_F(PartnerFileTest, MissingOrUnreadableFile)
{
    const fs::path missing = folder.Path() / L"UpdateServer.txt";
    const fs::path folderInstead = folder.Path() / L"Options";
    fs::create_directory(folderInstead);
    const struct
    {
        fs::path file;
        std::string log;
    } cases[] = {
        {missing, "Error: partner file not exists\r\n"},
        {folderInstead, "Error: couldn't read data from file\r\n"},
    };
    NewLogLines log;
    for (const auto& c : cases)
    {
        boost::json::object object;
        object["kept"] = 1;
        EXPECT_FALSE(ReadPartnerFile(c.file, object)) << c.file;
        EXPECT_EQ(1u, object.size()) << "left as it was";
        EXPECT_EQ(ReadingLine(c.file) + c.log, log.Take());
    }
}

TEST_F(PartnerFileTest, FileReplacesTheObjectsMembers)
{
    boost::json::object object;
    object["kept"] = 1;
    ASSERT_TRUE(ReadPartnerFile(Write(R"({"platform":"beta","n":2})"), object));
    EXPECT_EQ(boost::json::object({{"platform", "beta"}, {"n", 2}}), object);
}

// Numbers with leading zeros and strings with raw control characters keep their values.
TEST_F(PartnerFileTest, WhatJsonSpiritTookKeepsItsValue)
{
    boost::json::object object;
    ASSERT_TRUE(ReadPartnerFile(
        Write("\xEF\xBB\xBF{\"a\":007,\"b\":-007,\"c\":00.25,\"d\":0,\"e\":-0e2,\"f\":1.007,\"s\":\"a\tb\x01\"}"), object));
    EXPECT_EQ(boost::json::object({{"a", 7}, {"b", -7}, {"c", 0.25}, {"d", 0}, {"e", -0.0}, {"f", 1.007},
                  {"s", "a\tb\x01"}}),
        object);
}

// The platform the request will carry: one the service would get otherwise than the log shows
// it, or that XML cannot carry, is none, and its line shows every control character but tab as
// '?' (and, as every log line, a character beyond U+00FF).
TEST_F(PartnerFileTest, APlatformThatCannotBeSentCountsAsNone)
{
    const std::string ignored = "Error: platform ignored, it holds a character that cannot be sent: ";
    const struct
    {
        const char* name;
        std::string content;
        std::wstring platform;
        std::string log; // after the reading line
    } cases[] = {
        {"plain", R"({"platform":"beta-2"})", L"beta-2", ""},
        {"beyond ASCII", "\xEF\xBB\xBF{\"platform\":\"b\xC3\xAAta \xE2\x82\xAC\"}", L"b\u00eata \u20ac", ""},
        {"nothing", R"({"platform":""})", L"", ""},
        {"escaped NUL", R"({"platform":"a\u0000b"})", L"", ignored + "a?b\r\n"},
        {"raw NUL", std::string("{\"platform\":\"a\0b\"}", 18), L"", ignored + "a?b\r\n"},
        {"line break forging a line", R"({"platform":"beta\r\nError: forged"})", L"", ignored + "beta??Error: forged\r\n"},
        {"tab, kept in the line", R"({"platform":"a\tb"})", L"", ignored + "a\tb\r\n"},
        {"escape sequence", "{\"platform\":\"a\x1b[31mb\"}", L"", ignored + "a?[31mb\r\n"},
        {"delete", R"({"platform":"a\u007fb"})", L"", ignored + "a?b\r\n"},
        {"C1 control", R"({"platform":"a\u0085b"})", L"", ignored + "a?b\r\n"},
        {"C1 control introducing a sequence", R"({"platform":"a\u009b2Jb"})", L"", ignored + "a?2Jb\r\n"},
        {"raw C1 control in UTF-8", "\xEF\xBB\xBF{\"platform\":\"a\xC2\x85" "b\"}", L"", ignored + "a?b\r\n"},
        {"FFFE", R"({"platform":"a\ufffeb"})", L"", ignored + "a?b\r\n"},
        {"FFFF", "\xEF\xBB\xBF{\"platform\":\"a\xEF\xBF\xBF" "b\"}", L"", ignored + "a?b\r\n"},
        // The JSON reader refuses an escaped surrogate without its partner.
        {"lone surrogate", R"({"platform":"a\udc00b"})", L"", "Error: could't read json value\r\n"},
    };
    NewLogLines log;
    for (const auto& c : cases)
    {
        const fs::path file = Write(c.content);
        EXPECT_EQ(c.platform, ReadDeployPlatform(file)) << c.name;
        EXPECT_EQ(ReadingLine(file) + c.log, log.Take()) << c.name;
    }
    EXPECT_EQ(L"", ReadDeployPlatform(folder.Path() / L"missing.txt")) << "no file";
    EXPECT_EQ("", log.Take()) << "no file, no line";
}

TEST(UpdateServerFilePathTest, OptionsFolderOfTheCommonApplicationData)
{
    EXPECT_EQ(PathHelper::Special::CommonAppDataFolder().wstring() + L"\\Corvantis\\Brisken 11\\Options\\UpdateServer.txt",
        UpdateServerFilePath().wstring());
    EXPECT_EQ(L"BriskenCommandLineScanner", ComponentName());
    EXPECT_EQ(L"prod", DefaultDeployPlatform());
    EXPECT_EQ("platform", PlatformKey);
}

} // namespace
