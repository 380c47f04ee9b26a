#pragma once

#include "EngineSdk.h"

#include <cstdint>
#include <string>
#include <vector>

namespace BriskenCommandLineScanner
{

// The system's own scan kinds (the request's scanType).
namespace ScanType
{
enum : std::uint32_t { Quick = 0, Full = 1, Custom = 2, Boot = 3 };
}

// What wmain asks of a scan: filled from the command line, copied by the Scanner.
struct ScanRequest
{
    std::uint32_t scanType = ScanType::Quick;
    std::vector<std::wstring> paths; // custom scan only, in command-line order
    std::uint32_t action = EngineSdk::ScanAction::QuarMoveArch; // engine action for infected objects
    std::wstring scanResultPath; // empty: the default place
    bool scanResultStdout = false; // also write the result document to standard output
};

} // namespace BriskenCommandLineScanner
