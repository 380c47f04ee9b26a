#include "Engine/EngineEnumerations.h"

#include "Program/LogError.h"
#include "Program/ScanRequest.h"

#include "EngineSdk.h"

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

// Every table but the scan kinds' is made from the SDK header's lists: a row is the named
// constant and its name as text.
#define TEXT_ROW(space, name, value) {static_cast<std::uint32_t>(EngineSdk::space::name), L"" #name},
#define SCAN_ACTION_ROW(name, value) TEXT_ROW(ScanAction, name, value)
#define OBJECT_TYPE_ROW(name, value) TEXT_ROW(ObjectType, name, value)
#define SCAN_STATUS_ROW(name, value) TEXT_ROW(ScanStatus, name, value)
#define THREAT_TYPE_ROW(name, value) TEXT_ROW(ThreatType, name, value)
#define OBJECT_FLAG_ROW(name, value) TEXT_ROW(ObjectFlag, name, value)
#define RESULT_CODE_ROW(name, value) TEXT_ROW(Result, name, value)

constexpr Entry scanActions[] = {ENGINE_SDK_SCAN_ACTIONS(SCAN_ACTION_ROW)};
constexpr Entry objectTypes[] = {ENGINE_SDK_OBJECT_TYPES(OBJECT_TYPE_ROW)};
constexpr Entry scanStatuses[] = {ENGINE_SDK_SCAN_STATUSES(SCAN_STATUS_ROW)};
constexpr Entry threatTypes[] = {ENGINE_SDK_THREAT_TYPES(THREAT_TYPE_ROW)};
// In list order: ObjectFlagsToString names set bits in this order.
constexpr Entry objectFlags[] = {ENGINE_SDK_OBJECT_FLAGS(OBJECT_FLAG_ROW)};
constexpr Entry resultCodes[] = {ENGINE_SDK_RESULT_CODES(RESULT_CODE_ROW)};

#undef RESULT_CODE_ROW
#undef OBJECT_FLAG_ROW
#undef THREAT_TYPE_ROW
#undef SCAN_STATUS_ROW
#undef OBJECT_TYPE_ROW
#undef SCAN_ACTION_ROW
#undef TEXT_ROW

// The system's own scan kinds.
constexpr Entry scanTypes[] = {
    {ScanType::Quick, L"Quick"}, {ScanType::Full, L"Full"}, {ScanType::Custom, L"Custom"}, {ScanType::Boot, L"Boot"},
};

// Each list entry one bit, ascending: the order and the ";" rule of the flags text rely on it.
constexpr bool IsAscendingSingleBits()
{
    std::uint32_t previous = 0;
    for (const Entry& entry : objectFlags)
    {
        if ((entry.value & (entry.value - 1)) != 0 || entry.value <= previous)
            return false;
        previous = entry.value;
    }
    return true;
}
static_assert(IsAscendingSingleBits(), "the ObjectFlag list holds single bits in ascending order");

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

std::wstring ErrorNameOrCode(std::int32_t code)
{
    const std::wstring name = ErrorToString(code);
    return name.empty() ? std::to_wstring(code) : name;
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
