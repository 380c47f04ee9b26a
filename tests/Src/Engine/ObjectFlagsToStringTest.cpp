#include "Engine/ObjectFlagsToString.h"

#include <gtest/gtest.h>

using BriskenCommandLineScanner::ObjectFlagsToString;

namespace
{

struct FlagsCase
{
    std::uint32_t flags;
    const wchar_t* text;
};

class ObjectFlagsToStringTest : public testing::TestWithParam<FlagsCase>
{
};

TEST_P(ObjectFlagsToStringTest, NamesTheSetBitsInListOrder)
{
    EXPECT_EQ(ObjectFlagsToString(GetParam().flags), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Flags, ObjectFlagsToStringTest,
    testing::Values(FlagsCase{0x0, L""},
        FlagsCase{0x22, L"Archive;Packed;"},
        FlagsCase{0x10000002, L"Archive;Stream"},
        FlagsCase{0x10000000, L"Stream"},
        FlagsCase{0x1, L"Modified;"},
        // Bits without a name are ignored.
        FlagsCase{0x8, L""},
        FlagsCase{0x408, L""},
        FlagsCase{0xE0100408, L""},
        FlagsCase{0xE0500409, L"Modified;UnableToRead;"},
        FlagsCase{0xFFFFFFFF, L"Modified;Archive;Password;Corrupted;Packed;Temporary;UnkMethod;HasMacros;Unpacked;Move;"
                              L"IsBootImage;Adware;Spyware;Dialer;App;Cookie;Proc;Reg;Folder;UnableToRead;NotUpdatable;"
                              L"EncryptedFs;Container;ArchBomb;KeyLogger;Stream"}));

} // namespace
