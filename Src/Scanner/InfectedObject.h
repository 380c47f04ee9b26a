#pragma once

#include "EngineSdk.h"

#include <cstdint>
#include <string>

namespace BriskenCommandLineScanner
{

// One object the engine reported as infected or suspicious, as the scan callback recorded it.
// The field names are also the attribute names of the scan result report.
struct InfectedObject
{
    std::uint32_t ObjectType = 0;
    std::wstring ObjectPath;
    std::wstring ParentContainers;
    std::wstring InnerObject;
    std::uint32_t ObjectFlags = 0;
    std::int32_t ArchiveFlags = 0;
    std::uint32_t ScanStatus = 0; // the engine's verdict, later the status of its follow-up report
    std::int32_t ScanStatusFlags = 0;
    std::uint32_t ThreatType = 0;
    std::uint32_t Pid = 0;
    std::uint32_t RegKey = 0;
    std::wstring ThreatName;
    std::wstring SysObjParentContainers;
    std::wstring SysObjInnerObject;
    std::wstring TempPath;
    std::uint32_t DepthLevel = 0;
    std::uint32_t ScanAction = EngineSdk::ScanAction::None; // the action the scan request told the engine to take
};

} // namespace BriskenCommandLineScanner
