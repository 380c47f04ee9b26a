#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace BriskenCommandLineScanner
{

// What wmain asks of a scan: filled from the command line, copied by the Scanner.
struct ScanRequest
{
    std::uint32_t scanType = 0; // 0 quick, 1 full, 2 custom, 3 boot
    std::vector<std::wstring> paths; // custom scan only, in command-line order
    std::uint32_t action = 9; // engine action for infected objects
    std::wstring scanResultPath; // empty: the default place
    bool scanResultStdout = false; // also write the result document to standard output
};

} // namespace BriskenCommandLineScanner
