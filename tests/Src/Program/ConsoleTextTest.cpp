#include "Program/ConsoleText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

using namespace BriskenCommandLineScanner;

namespace
{

struct ConversionCase
{
    const char* name;
    const wchar_t* text;
    std::uint32_t codePage;
    const char* bytes;
};

class ConsoleTextConversionTest : public testing::TestWithParam<ConversionCase>
{
};

TEST_P(ConsoleTextConversionTest, ReplacesOnlyWhatTheCodePageLacks)
{
    EXPECT_EQ(ToConsoleCodePage(GetParam().text, GetParam().codePage), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Texts, ConsoleTextConversionTest,
    testing::Values(ConversionCase{"Empty", L"", 1252, ""},
        ConversionCase{"Ascii", L"Object Path: C:\\a.txt\n", 1252, "Object Path: C:\\a.txt\n"},
        ConversionCase{"Latin1", L"caf\u00e9", 1252, "caf\xe9"},
        ConversionCase{"CyrillicInAnsi", L"C:\\\u0416\u0443\u043a.txt. Parent", 1252, "C:\\???.txt. Parent"},
        ConversionCase{"NoBestFitLookAlike", L"a\uff3cb", 1252, "a?b"},
        ConversionCase{"CyrillicInUtf8", L"\u0416.", 65001, "\xd0\x96."},
        ConversionCase{"CyrillicInItsCodePage", L"\u0416", 1251, "\xc6"}),
    [](const testing::TestParamInfo<ConversionCase>& info) { return std::string(info.param.name); });

TEST(ConsoleTextTest, KeepsEverythingAfterAnUnconvertibleCharacter)
{
    const std::wstring line = L"Object Path: \u0416\u0443\u043a\u4e2d.txt. Parent Containers: (null)\n";
    testing::internal::CaptureStdout();
    WriteConsoleText(line);
    std::cout << "next line\n";
    WriteConsoleText(L"last\n");
    std::string console = testing::internal::GetCapturedStdout();
    console.erase(std::remove(console.begin(), console.end(), '\r'), console.end());

    EXPECT_EQ(console, ToConsoleCodePage(line, ConsoleCodePage()) + "next line\nlast\n");
    EXPECT_NE(console.find(".txt. Parent Containers: (null)\n"), std::string::npos);
}

} // namespace
