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

TEST(StringHelperTest, Utf8OrAnsiTextIsReadAsUtf8WhereItIsValidUtf8)
{
    const struct
    {
        std::string text;
        std::wstring wide;
    } cases[] = {
        {"", L""},
        {"plain ASCII", L"plain ASCII"},
        {"C:\\\xd0\x96\xd1\x83\xd0\xba\\\xce\xa3\xce\xa9", L"C:\\\u0416\u0443\u043a\\\u03a3\u03a9"},
        // Not UTF-8: the ANSI code page (1252 here).
        {"C:\\Caf\xe9\\\x80", L"C:\\Caf\u00e9\\\u20ac"},
        {"caf\xc3\xa9 \xe9", L"caf\u00c3\u00a9 \u00e9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.wide, StringHelper::Utf8OrAnsiToWide(c.text)) << testing::PrintToString(c.text);
}

TEST(StringHelperTest, OnlyWellFormedUtf8IsUtf8)
{
    const struct
    {
        std::string text;
        bool utf8;
    } cases[] = {
        {"", true},
        {"plain ASCII", true},
        {std::string("nul\0inside", 10), true},
        {"\xC3\xAA \xE2\x82\xAC \xF0\x9D\x84\x9E \xF4\x8F\xBF\xBF \xEF\xBF\xBF", true},
        {"a\x80\x80" "b", false},
        {"b\xE9ta", false},
        {"a\xC0\x80", false},
        {"a\xC0\xAF", false},
        {"a\xE0\x80\xAF", false},
        {"a\xED\xA0\x80", false},
        {"a\xED\xBF\xBF", false},
        {"a\xF4\x90\x80\x80", false},
        {"a\xF8\x88\x80\x80\x80", false},
        {"a\xE2\x82", false},
        {"\xFF\xFE", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.utf8, StringHelper::IsUtf8(c.text)) << testing::PrintToString(c.text);
}

struct Masking
{
    std::wstring text;
    std::wstring masked;
};

TEST(StringHelperTest, ControlCharactersAreMaskedAndEverythingElseKept)
{
    const Masking cases[] = {
        {L"", L""},
        {L"http://downloads.invalid/Setup.msi?a=1&b=2", L"http://downloads.invalid/Setup.msi?a=1&b=2"},
        {L"tab\tstays", L"tab\tstays"},
        {L"a\nRequest duration: 00:00:00.000001\r\n", L"a?Request duration: 00:00:00.000001??"},
        {std::wstring(L"nul\0inside", 10), L"nul?inside"},
        {L"\x1b[2J\x07\x08\x0b\x0c\x1f", L"?[2J?????"},
        {L"\x7f\x80\x85\x9b\x9f", L"?????"},
        // The neighbours of both ranges, and characters beyond them.
        {L" ~\xa0\xff", L" ~\xa0\xff"},
        {L"\u0416\u0443\u043a \u65e5\u672c \u2028 \U0001F600", L"\u0416\u0443\u043a \u65e5\u672c \u2028 \U0001F600"},
    };
    for (const Masking& c : cases)
        EXPECT_EQ(c.masked, StringHelper::MaskControlCharacters(c.text)) << testing::PrintToString(c.text);
}

struct NarrowMasking
{
    std::uint32_t codePage;
    std::string text;
    std::string masked;
};

TEST(StringHelperTest, NarrowTextIsMaskedAsItsCodePageReadsIt)
{
    const NarrowMasking cases[] = {
        {1252, "", ""},
        {1252, "Version: 1.2\tbeta", "Version: 1.2\tbeta"},
        {1252, "1.2\r\nVersion: 9\x1b[31m", "1.2??Version: 9?[31m"},
        {1252, std::string("a\0b", 3), "a?b"},
        // In 1252 most bytes from 0x80 to 0x9F are characters (0x85 an ellipsis); 0x81 and 0x9D
        // stay the C1 controls U+0081 and U+009D.
        {1252, "caf\xe9 \x80 \x85 \x9f", "caf\xe9 \x80 \x85 \x9f"},
        {1252, "\x81\x9d", "??"},
        // In UTF-8 the C1 controls are two bytes each, and a byte of a character is no control.
        {CP_UTF8, "\xc2\x85 \xc2\x9b[2J \x7f", "? ?[2J ?"},
        {CP_UTF8, "\xd0\x96\xd1\x83\xd0\xba \xe6\x97\xa5", "\xd0\x96\xd1\x83\xd0\xba \xe6\x97\xa5"},
        // Bytes that are no text in the code page are kept as they are when nothing is masked.
        {CP_UTF8, "\xff\xfe ok", "\xff\xfe ok"},
        // Text the system cannot decode still loses its ASCII controls.
        {UnknownCodePage, "a\nb\x1b\x85", "a?b?\x85"},
    };
    for (const NarrowMasking& c : cases)
    {
        EXPECT_EQ(c.masked, StringHelper::MaskControlCharacters(c.text, c.codePage))
            << "code page " << c.codePage << ": " << testing::PrintToString(c.text);
    }
}

} // namespace
