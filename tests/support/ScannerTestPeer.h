#pragma once

#include "Scanner/Scanner.h"

namespace BriskenCommandLineScanner
{

// Lets the Scanner's tests read and set its result fields and drive its report directly.
struct ScannerTestPeer
{
    static ScanRequest& Request(Scanner& scanner) { return scanner.request; }
    static std::wstring& ScanTypeName(Scanner& scanner) { return scanner.scanTypeName; }
    static std::vector<std::wstring>& ScannedPaths(Scanner& scanner) { return scanner.scannedPaths; }
    static std::string& StartTime(Scanner& scanner) { return scanner.startTime; }
    static std::string& EndTime(Scanner& scanner) { return scanner.endTime; }
    static std::vector<boost::shared_ptr<InfectedObject>>& Infected(Scanner& scanner) { return scanner.infected; }
    static boost::shared_ptr<InfectedObject>& LastInfected(Scanner& scanner) { return scanner.lastInfected; }
    static std::wstring DefaultScanResultFileName(const Scanner& scanner) { return scanner.DefaultScanResultFileName(); }
    static void SaveScanResult(Scanner& scanner) { scanner.SaveScanResult(); }
};

} // namespace BriskenCommandLineScanner
