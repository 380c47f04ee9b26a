#include "VersionHelper/Version.h"

#include <gtest/gtest.h>

#include <locale>
#include <string>

namespace
{

using VersionHelper::Version;

struct ParseCase
{
    const char* text;
    const char* expected;
};

const ParseCase ParseCases[] = {
    {"11.11.905.9127", "11.11.905.9127"},
    {"11,11,905,9127", "11.11.905.9127"},
    {"11-11-905-9127", "11.11.905.9127"},
    {"011.011.0905.9127", "11.11.905.9127"},
    {"1 . 2 . 3 . 4", "1.2.3.4"},
    {"  1.2.3.4 and more", "1.2.3.4"},
    {"65535.65535.65535.65535", "65535.65535.65535.65535"},
    {"11.11", "11.11.0.0"},
    {"7", "7.0.0.0"},
    {"", "0.0.0.0"},
    {"version", "0.0.0.0"},
    {"1.70000.3.4", "1.0.0.0"},
    {"65536.1.1.1", "0.0.0.0"},
    {"1..2.3", "1.0.0.0"},
    {"1.2.x.4", "1.2.0.0"},
    // A part is decimal digits: a sign, as any other non-digit, ends the reading there.
    {"-1.2.3.4", "0.0.0.0"},
    {"+1.2.3.4", "0.0.0.0"},
    {"-1.-1.-1.-1", "0.0.0.0"},
    {"1.-2.3.4", "1.0.0.0"},
    {"1.2.+3.4", "1.2.0.0"},
    {"1.2.3.-4", "1.2.3.0"},
    {"1.2.3. -4", "1.2.3.0"},
    {"1.2.3.- 4", "1.2.3.0"},
    {"1.2.3.4-1", "1.2.3.4"},
};

TEST(VersionTest, ParsesNarrowAndWideTextAlike)
{
    for (const ParseCase& c : ParseCases)
    {
        const std::string narrow = c.text;
        const std::wstring wide(narrow.begin(), narrow.end());
        const std::string expectedNarrow = c.expected;
        const std::wstring expected(expectedNarrow.begin(), expectedNarrow.end());
        EXPECT_EQ(expected, Version::FromString(narrow).ToString()) << "narrow \"" << c.text << "\"";
        EXPECT_EQ(expected, Version::FromString(wide).ToString()) << "wide \"" << c.text << "\"";
    }
}

TEST(VersionTest, FirstPartIsTheMostSignificant)
{
    EXPECT_EQ(0x000B000B038923A7u, Version::FromString(std::string("11.11.905.9127")).Value());
    EXPECT_EQ(L"0.0.0.0", Version().ToString());
}

TEST(VersionTest, ComparesPartByPart)
{
    const auto v = [](const char* text) { return Version::FromString(std::string(text)); };
    EXPECT_GT(v("11.11.905.9128"), v("11.11.905.9127"));
    EXPECT_GT(v("12.0.0.0"), v("11.65535.65535.65535"));
    EXPECT_GT(v("1.2.0.0"), v("1.1.65535.0"));
    EXPECT_LT(v("1.0.0.0"), v("1.0.0.1"));
    EXPECT_EQ(v("1.2.3.4"), v("1,2,3,4"));
    EXPECT_FALSE(v("1.2.3.4") > v("1.2.3.4"));
}

// A global locale that groups digits by thousands with a comma, as user locales do.
struct GroupingPunct : std::numpunct<char>
{
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
};

struct WideGroupingPunct : std::numpunct<wchar_t>
{
    wchar_t do_thousands_sep() const override { return L','; }
    std::string do_grouping() const override { return "\3"; }
};

class VersionWithGroupingLocaleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::locale grouping(std::locale(std::locale::classic(), new GroupingPunct), new WideGroupingPunct);
        previous = std::locale::global(grouping);
    }
    void TearDown() override { std::locale::global(previous); }

    std::locale previous;
};

TEST_F(VersionWithGroupingLocaleTest, CommaStaysASeparatorAndPartsAreNotGrouped)
{
    EXPECT_EQ(L"11.11.905.9127", Version::FromString(std::string("11,11,905,9127")).ToString());
    EXPECT_EQ(L"11.11.905.9127", Version::FromString(std::wstring(L"11,11,905,9127")).ToString());
    EXPECT_EQ(L"12345.2.3.4", Version::FromString(std::string("12345.2.3.4")).ToString());
}

} // namespace
