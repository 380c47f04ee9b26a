// Commands that this build does not carry yet: they say so instead of pretending to succeed.
#include "Commands/Commands.h"
#include "Program/LogLine.h"
#include "Program/Logger.h"

#include <iostream>

namespace BriskenCommandLineScanner
{
namespace
{

void ReportNotAvailable(const char* command)
{
    Logger::Instance().Write(LogLine(L"Error", command, " is not available in this build"));
    std::cout << command << " is not available in this build." << std::endl;
}

} // namespace

void UpdateDefinitions()
{
    ReportNotAvailable("Definitions update");
}

void PrintProductInfo()
{
    ReportNotAvailable("Product information");
}

void PrintDefinitionsInfo()
{
    ReportNotAvailable("Definitions information");
}

void CheckForApplicationUpdate()
{
    ReportNotAvailable("Application update check");
}

} // namespace BriskenCommandLineScanner
