// Until scanning lands: the scan commands say so instead of pretending to succeed.
#include "Commands.h"

#include <iostream>

namespace BriskenCommandLineScanner
{

void RunScan(const ScanRequest&)
{
    std::cout << "Scanning is not available in this build." << std::endl;
}

} // namespace BriskenCommandLineScanner
