#include "Engine/EngineEnumerations.h"

#include "Program/LogError.h"

namespace BriskenCommandLineScanner
{

namespace
{

struct Entry
{
    std::uint32_t value;
    const wchar_t* text;
};

template <std::size_t N>
std::wstring Lookup(const Entry (&table)[N], std::uint32_t value)
{
    for (const Entry& entry : table)
    {
        if (entry.value == value)
            return entry.text;
    }
    return std::wstring();
}

const Entry scanActions[] = {
    {0, L"Default"}, {1, L"None"}, {2, L"Abort"}, {3, L"Disinfect"}, {4, L"Rename"},
    {5, L"Delete"}, {6, L"QuarCopy"}, {7, L"QuarMove"}, {8, L"QuarCopyArch"},
    {9, L"QuarMoveArch"}, {10, L"DisinfectOnly"}, {11, L"Skip"},
};

const Entry scanTypes[] = {
    {0, L"Quick"}, {1, L"Full"}, {2, L"Custom"}, {3, L"Boot"},
};

const Entry objectTypes[] = {
    {0, L"File"}, {1, L"BootSector"}, {2, L"Process"}, {3, L"RegistryKey"}, {4, L"Cookie"},
    {5, L"MimeMessage"}, {6, L"Stream"},
};

const Entry scanStatuses[] = {
    {0, L"ScanFailed"}, {1, L"Clean"}, {2, L"Disinfected"}, {3, L"Infected"},
    {4, L"Suspicious"}, {5, L"Deleted"}, {6, L"Moved"}, {7, L"Hidden"}, {8, L"UpdateFailed"},
    {9, L"DeletedReboot"}, {10, L"PasswordProtected"}, {11, L"MovedReboot"},
};

const Entry threatTypes[] = {
    {0, L"Virus"}, {1, L"Spyware"}, {2, L"Adware"}, {3, L"Spam"}, {4, L"Rootkit"},
    {5, L"Dialer"}, {6, L"App"}, {7, L"ArchBomb"},
};

// In list order: ObjectFlagsToString names set bits in this order.
const Entry objectFlags[] = {
    {0x1, L"Modified"}, {0x2, L"Archive"}, {0x4, L"Password"}, {0x10, L"Corrupted"},
    {0x20, L"Packed"}, {0x40, L"Temporary"}, {0x80, L"UnkMethod"}, {0x100, L"HasMacros"},
    {0x200, L"Unpacked"}, {0x800, L"Move"}, {0x1000, L"IsBootImage"}, {0x2000, L"Adware"},
    {0x4000, L"Spyware"}, {0x8000, L"Dialer"}, {0x10000, L"App"}, {0x20000, L"Cookie"},
    {0x40000, L"Proc"}, {0x80000, L"Reg"}, {0x200000, L"Folder"}, {0x400000, L"UnableToRead"},
    {0x800000, L"NotUpdatable"}, {0x1000000, L"EncryptedFs"}, {0x2000000, L"Container"},
    {0x4000000, L"ArchBomb"}, {0x8000000, L"KeyLogger"}, {0x10000000, L"Stream"},
};

const Entry resultCodes[] = {
    {0xC0000000, L"Failed"}, {0xC0000001, L"FileOpen"}, {0xC0000002, L"FileCreate"},
    {0xC0000003, L"FileSeek"}, {0xC0000004, L"FileRemove"}, {0xC0000005, L"FileCopy"},
    {0xC0000006, L"FileRename"}, {0xC0000007, L"FileMove"}, {0xC000000B, L"FirFind"},
    {0xC000000F, L"FnInit"}, {0xC0000010, L"NoMemory"}, {0xC0000011, L"PathError"},
    {0xC0000012, L"InvalidHandle"}, {0xC0000013, L"Disinfect"}, {0xC0000015, L"NotSupported"},
    {0xC0000017, L"Param2"}, {0xC0000018, L"Param3"}, {0xC0000019, L"Param4"},
    {0xC000001A, L"Param5"}, {0xC000001B, L"FileRead"}, {0xC000001C, L"UtfConversion"},
    {0xC000001D, L"PathAccess"}, {0xC000001E, L"TmpPath"}, {0xC000001F, L"Plugin"},
    {0xC0000020, L"FileWrite"},
    {0xC0001002, L"DbinfoUnavailable"}, {0xC0001003, L"LoadingEngine"},
    {0xC0001004, L"AllocatingEngine"}, {0xC0001005, L"SharedMemMapping"},
    {0xC0001006, L"FileInformation"}, {0xC0001007, L"InitRequired"},
    {0xC0001008, L"InvalidArgument"}, {0xC0001009, L"Busy"},
    {0xC000100A, L"CouldNotSetPriority"}, {0xC000100B, L"CouldNotUpdateInstance"},
    {0xC000100C, L"CouldNotInitialize"},
    {0x40000001, L"Stopped"}, {0x40000003, L"NoPlugins"}, {0x40000004, L"MaxFiles"},
    {0x40000005, L"MaxLevels"}, {0x40000006, L"MaxBytes"},
};

} // namespace

std::wstring ScanActionToString(std::uint32_t action)
{
    return Lookup(scanActions, action);
}

std::wstring ScanTypeToString(std::uint32_t scanType)
{
    std::wstring text = Lookup(scanTypes, scanType);
    if (text.empty())
    {
        LogError(L"Unknown scan type. Scan type: ", static_cast<std::int32_t>(scanType));
    }
    return text;
}

std::wstring ErrorToString(std::int32_t code)
{
    return Lookup(resultCodes, static_cast<std::uint32_t>(code));
}

std::wstring ObjectTypeToString(std::uint32_t objectType)
{
    return Lookup(objectTypes, objectType);
}

std::wstring ScanStatusToString(std::uint32_t scanStatus)
{
    return Lookup(scanStatuses, scanStatus);
}

std::wstring ThreatTypeToString(std::uint32_t threatType)
{
    return Lookup(threatTypes, threatType);
}

std::wstring ObjectFlagToString(std::uint32_t flag)
{
    return Lookup(objectFlags, flag);
}

const std::array<std::uint32_t, 26>& ObjectFlagList()
{
    static const std::array<std::uint32_t, 26> list = [] {
        static_assert(sizeof(objectFlags) / sizeof(objectFlags[0]) == 26, "26 named ObjectFlag bits");
        std::array<std::uint32_t, 26> bits{};
        for (std::size_t i = 0; i < bits.size(); ++i)
            bits[i] = objectFlags[i].value;
        return bits;
    }();
    return list;
}

} // namespace BriskenCommandLineScanner
