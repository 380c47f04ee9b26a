#include "Commands/CommandFailure.h"

#include "Program/LogLine.h"
#include "Program/Logger.h"

#include <boost/exception/diagnostic_information.hpp>

#include <iostream>
#include <string>

namespace BriskenCommandLineScanner
{

void ReportCommandFailure(const char* intro)
{
    const std::string text = boost::current_exception_diagnostic_information();
    Logger::Instance().Write(LogLine(L"Error", text));
    std::cout << intro << text << std::flush;
}

} // namespace BriskenCommandLineScanner
