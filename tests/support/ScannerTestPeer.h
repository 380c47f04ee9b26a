#pragma once

#include "Scanner/Scanner.h"

namespace BriskenCommandLineScanner
{

// Lets the callback and result-path tests set the request that Scan would copy in, and read
// what a scan keeps to itself.
struct ScannerTestPeer
{
    static ScanRequest& Request(Scanner& scanner) { return scanner.request; }
    static boost::shared_ptr<InfectedObject>& LastInfected(Scanner& scanner) { return scanner.lastInfected; }
    static std::wstring DefaultScanResultFileName(const Scanner& scanner) { return scanner.DefaultScanResultFileName(); }
};

} // namespace BriskenCommandLineScanner
