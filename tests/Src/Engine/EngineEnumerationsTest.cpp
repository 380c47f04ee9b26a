#include "Engine/EngineEnumerations.h"

#include "Program/Logger.h"
#include "ProcessHelper/ProcessHelper.h"

#include <gtest/gtest.h>

#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>

#include <functional>
#include <string>

namespace
{

using namespace BriskenCommandLineScanner;

struct Row
{
    std::uint32_t value;
    const wchar_t* text;
};

// Every row of a table, then the values that must give the empty text.
void ExpectTable(const std::function<std::wstring(std::uint32_t)>& toString, std::initializer_list<Row> rows,
    std::initializer_list<std::uint32_t> unnamed)
{
    for (const Row& row : rows)
        EXPECT_EQ(row.text, toString(row.value)) << "value 0x" << std::hex << row.value;
    for (const std::uint32_t value : unnamed)
        EXPECT_EQ(L"", toString(value)) << "value 0x" << std::hex << value;
}

TEST(EngineEnumerationsTest, ScanActionTexts)
{
    ExpectTable(ScanActionToString,
        {{0, L"Default"}, {1, L"None"}, {2, L"Abort"}, {3, L"Disinfect"}, {4, L"Rename"}, {5, L"Delete"},
            {6, L"QuarCopy"}, {7, L"QuarMove"}, {8, L"QuarCopyArch"}, {9, L"QuarMoveArch"}, {10, L"DisinfectOnly"},
            {11, L"Skip"}},
        {12, 0xFFFFFFFF, 0x80000000});
}

TEST(EngineEnumerationsTest, ObjectTypeTexts)
{
    ExpectTable(ObjectTypeToString,
        {{0, L"File"}, {1, L"BootSector"}, {2, L"Process"}, {3, L"RegistryKey"}, {4, L"Cookie"},
            {5, L"MimeMessage"}, {6, L"Stream"}},
        {7, 0xFFFFFFFF});
}

TEST(EngineEnumerationsTest, ScanStatusTexts)
{
    ExpectTable(ScanStatusToString,
        {{0, L"ScanFailed"}, {1, L"Clean"}, {2, L"Disinfected"}, {3, L"Infected"}, {4, L"Suspicious"},
            {5, L"Deleted"}, {6, L"Moved"}, {7, L"Hidden"}, {8, L"UpdateFailed"}, {9, L"DeletedReboot"},
            {10, L"PasswordProtected"}, {11, L"MovedReboot"}},
        {12, 0x80000003});
}

TEST(EngineEnumerationsTest, ThreatTypeTexts)
{
    ExpectTable(ThreatTypeToString,
        {{0, L"Virus"}, {1, L"Spyware"}, {2, L"Adware"}, {3, L"Spam"}, {4, L"Rootkit"}, {5, L"Dialer"}, {6, L"App"},
            {7, L"ArchBomb"}},
        {8, 0xFFFFFFFF});
}

TEST(EngineEnumerationsTest, ObjectFlagTextsInListOrder)
{
    const Row rows[] = {{0x1, L"Modified"}, {0x2, L"Archive"}, {0x4, L"Password"}, {0x10, L"Corrupted"},
        {0x20, L"Packed"}, {0x40, L"Temporary"}, {0x80, L"UnkMethod"}, {0x100, L"HasMacros"}, {0x200, L"Unpacked"},
        {0x800, L"Move"}, {0x1000, L"IsBootImage"}, {0x2000, L"Adware"}, {0x4000, L"Spyware"}, {0x8000, L"Dialer"},
        {0x10000, L"App"}, {0x20000, L"Cookie"}, {0x40000, L"Proc"}, {0x80000, L"Reg"}, {0x200000, L"Folder"},
        {0x400000, L"UnableToRead"}, {0x800000, L"NotUpdatable"}, {0x1000000, L"EncryptedFs"},
        {0x2000000, L"Container"}, {0x4000000, L"ArchBomb"}, {0x8000000, L"KeyLogger"}, {0x10000000, L"Stream"}};
    const auto& list = ObjectFlagList();
    ASSERT_EQ(std::size(rows), list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
    {
        EXPECT_EQ(rows[i].value, list[i]) << "position " << i + 1;
        EXPECT_EQ(rows[i].text, ObjectFlagToString(rows[i].value));
    }
    for (const std::uint32_t unnamed : {0x8u, 0x400u, 0x100000u, 0x20000000u, 0x40000000u, 0x80000000u, 0x3u})
        EXPECT_EQ(L"", ObjectFlagToString(unnamed)) << std::hex << unnamed;
}

TEST(EngineEnumerationsTest, ResultCodeTextsAndTheGapsBetweenThem)
{
    ExpectTable([](std::uint32_t code) { return ErrorToString(static_cast<std::int32_t>(code)); },
        {{0xC0000000, L"Failed"}, {0xC0000001, L"FileOpen"}, {0xC0000002, L"FileCreate"}, {0xC0000003, L"FileSeek"},
            {0xC0000004, L"FileRemove"}, {0xC0000005, L"FileCopy"}, {0xC0000006, L"FileRename"},
            {0xC0000007, L"FileMove"}, {0xC000000B, L"FirFind"}, {0xC000000F, L"FnInit"}, {0xC0000010, L"NoMemory"},
            {0xC0000011, L"PathError"}, {0xC0000012, L"InvalidHandle"}, {0xC0000013, L"Disinfect"},
            {0xC0000015, L"NotSupported"}, {0xC0000017, L"Param2"}, {0xC0000018, L"Param3"}, {0xC0000019, L"Param4"},
            {0xC000001A, L"Param5"}, {0xC000001B, L"FileRead"}, {0xC000001C, L"UtfConversion"},
            {0xC000001D, L"PathAccess"}, {0xC000001E, L"TmpPath"}, {0xC000001F, L"Plugin"},
            {0xC0000020, L"FileWrite"}, {0xC0001002, L"DbinfoUnavailable"}, {0xC0001003, L"LoadingEngine"},
            {0xC0001004, L"AllocatingEngine"}, {0xC0001005, L"SharedMemMapping"}, {0xC0001006, L"FileInformation"},
            {0xC0001007, L"InitRequired"}, {0xC0001008, L"InvalidArgument"}, {0xC0001009, L"Busy"},
            {0xC000100A, L"CouldNotSetPriority"}, {0xC000100B, L"CouldNotUpdateInstance"},
            {0xC000100C, L"CouldNotInitialize"}, {0x40000001, L"Stopped"}, {0x40000003, L"NoPlugins"},
            {0x40000004, L"MaxFiles"}, {0x40000005, L"MaxLevels"}, {0x40000006, L"MaxBytes"}},
        {0, 1, 0xC0000008, 0xC0000009, 0xC000000A, 0xC000000C, 0xC000000D, 0xC000000E, 0xC0000014, 0xC0000016,
            0xC0000021, 0xC0001001, 0xC000100D, 0x40000000, 0x40000002, 0x40000007, 0x80000000, 0xC0010000,
            0x00000011, 0xFFFFFFFF});
}

TEST(EngineEnumerationsTest, ResultCodeNameOrItsNumber)
{
    const struct
    {
        std::uint32_t code;
        const wchar_t* text;
    } cases[] = {{0xC0000011, L"PathError"}, {0x40000004, L"MaxFiles"}, {7, L"7"}, {0, L"0"},
        {0xC0000008, L"-1073741816"}};
    for (const auto& c : cases)
        EXPECT_EQ(c.text, ErrorNameOrCode(static_cast<std::int32_t>(c.code))) << std::hex << c.code;
}

// The unknown scan type is the one text lookup that logs; the log file lives in the
// Logs folder beside this test executable.
TEST(EngineEnumerationsTest, ScanTypeTextsAndOneLogLineForAnUnknownType)
{
    namespace fs = boost::filesystem;
    Logger::Instance().Init();

    for (const Row& row : {Row{0, L"Quick"}, Row{1, L"Full"}, Row{2, L"Custom"}, Row{3, L"Boot"}})
        EXPECT_EQ(row.text, ScanTypeToString(row.value));
    EXPECT_EQ(L"", ScanTypeToString(4));
    EXPECT_EQ(L"", ScanTypeToString(0xFFFFFFFF));

    const fs::path logs = Logger::AppendLogsFolder(ProcessHelper::Process::Path().parent_path());
    std::string content;
    for (fs::directory_iterator entry(logs), end; entry != end; ++entry)
    {
        fs::ifstream file(entry->path(), std::ios::binary);
        content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    EXPECT_EQ("Error: Unknown scan type. Scan type: 4\r\nError: Unknown scan type. Scan type: -1\r\n", content);
}

} // namespace
