#include "Commands/NotAvailable.h"

#include "Program/LogLine.h"
#include "Program/Logger.h"

#include <iostream>

namespace BriskenCommandLineScanner
{

void ReportNotAvailable(const char* command)
{
    Logger::Instance().Write(LogLine(L"Error", command, " is not available in this build"));
    std::cout << command << " is not available in this build." << std::endl;
}

} // namespace BriskenCommandLineScanner
