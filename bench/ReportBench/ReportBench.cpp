// ReportBench [objects]
//
// Times the save of a scan result holding many recorded objects: fills a result as a scan
// would, then saves the report into ReportBench.xml in the working folder (no engine needed).
// Prints the seconds of the save and the process's peak memory before and after it.

#include "Report/ScanResultReport.h"

#include <boost/make_shared.hpp>

#include <windows.h>

#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>

using namespace BriskenCommandLineScanner;

namespace
{

double PeakMegabytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return static_cast<double>(counters.PeakPagefileUsage) / (1024.0 * 1024.0);
}

boost::shared_ptr<InfectedObject> MakeObject(unsigned index)
{
    auto object = boost::make_shared<InfectedObject>();
    object->ObjectType = 1;
    object->ObjectPath = L"C:\\Users\\Public\\Downloads\\bench\\d" + std::to_wstring(index / 100) + L"\\f" +
        std::to_wstring(index) + L".txt";
    object->ScanStatus = 6;
    object->ThreatType = 1;
    object->ThreatName = L"EICAR-Test-File (not a virus)";
    object->ScanAction = 7;
    return object;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const unsigned count = argc > 1 ? static_cast<unsigned>(std::wcstoul(argv[1], nullptr, 10)) : 100000;
    ScanResultDestination destination;
    destination.file = L"ReportBench.xml";
    ScanResult result;
    result.scanTypeName = L"Custom";
    result.startTime = "20261210T000000.000001";
    result.endTime = "20261210T000100.000001";
    result.scannedPaths.push_back(L"C:\\Users\\Public\\Downloads\\bench");
    auto& infected = result.infected;
    infected.reserve(count);
    for (unsigned i = 0; i < count; ++i)
        infected.push_back(MakeObject(i));

    const double before = PeakMegabytes();
    const auto start = std::chrono::steady_clock::now();
    SaveScanResult(result, destination);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "objects: %u\nsave seconds: %.3f\npeak MB before save: %.1f\npeak MB after save: %.1f\n",
        count, seconds.count(), before, PeakMegabytes());
    return 0;
}
