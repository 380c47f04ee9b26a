#include "Commands/Commands.h"

#include "Program/LogError.h"
#include "Scanner/Scanner.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/exception.hpp>

#include <iostream>

namespace BriskenCommandLineScanner
{

void RunScan(const ScanRequest& request)
{
    try
    {
        Scanner scanner;
        scanner.Scan(request);
    }
    catch (const boost::exception&)
    {
        const std::string text = boost::current_exception_diagnostic_information();
        LogError(text);
        std::cout << "Couldn't perform scan. Error: " << text << std::flush;
    }
}

} // namespace BriskenCommandLineScanner
