#include "Commands/CommandFailure.h"

#include "Program/LogError.h"

#include <boost/exception/diagnostic_information.hpp>

#include <iostream>
#include <string>

namespace BriskenCommandLineScanner
{

void ReportCommandFailure(const char* intro)
{
    const std::string text = boost::current_exception_diagnostic_information();
    LogError(text);
    std::cout << intro << text << std::flush;
}

} // namespace BriskenCommandLineScanner
