#include "Commands/NotAvailable.h"

#include "Program/LogError.h"

#include <iostream>

namespace BriskenCommandLineScanner
{

void ReportNotAvailable(const char* command)
{
    LogError(command, " is not available in this build");
    std::cout << command << " is not available in this build." << std::endl;
}

} // namespace BriskenCommandLineScanner
