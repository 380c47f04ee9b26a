#include "StringHelper/StringHelper.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace
{

using StringHelper::ToNarrow;
using StringHelper::ToWide;

// No such code page: the system refuses to convert.
const std::uint32_t UnknownCodePage = 12345;

TEST(StringHelperTest, EmptyTextStaysEmpty)
{
    EXPECT_EQ(L"", ToWide("", CP_UTF8));
    EXPECT_EQ("", ToNarrow(L"", CP_UTF8));
    EXPECT_EQ(L"", ToWide("", UnknownCodePage));
}

TEST(StringHelperTest, EmbeddedNulConvertsLikeAnyOtherCharacter)
{
    const std::string narrow("a\0b", 3);
    const std::wstring wide(L"a\0b", 3);
    EXPECT_EQ(wide, ToWide(narrow, CP_UTF8));
    EXPECT_EQ(narrow, ToNarrow(wide, CP_UTF8));
    EXPECT_EQ(std::wstring(L"\0", 1), ToWide(std::string("\0", 1), CP_ACP));
}

struct RoundTrip
{
    std::uint32_t codePage;
    std::string narrow;
    std::wstring wide;
};

TEST(StringHelperTest, ConvertsBothWaysInTheNamedCodePage)
{
    const RoundTrip cases[] = {
        {CP_UTF8, "plain ASCII", L"plain ASCII"},
        {CP_UTF8, "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xD0\x96", L"Gr\u00FC\u00DFe \u20AC \u0416"},
        {CP_UTF8, "\xF0\x9F\x98\x80", L"\U0001F600"},
        {1252, "caf\xE9 \x80", L"caf\u00E9 \u20AC"},
        {CP_ACP, "C:\\Program Files\\Brisken", L"C:\\Program Files\\Brisken"},
    };
    for (const RoundTrip& c : cases)
    {
        EXPECT_EQ(c.wide, ToWide(c.narrow, c.codePage)) << "code page " << c.codePage << ": " << c.narrow;
        EXPECT_EQ(c.narrow, ToNarrow(c.wide, c.codePage)) << "code page " << c.codePage << ": " << c.narrow;
    }
}

TEST(StringHelperTest, TextTheSystemCannotConvertGivesEmpty)
{
    EXPECT_EQ(L"", ToWide("abc", UnknownCodePage));
    EXPECT_EQ("", ToNarrow(L"abc", UnknownCodePage));
}

} // namespace
