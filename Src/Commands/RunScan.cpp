#include "Commands/Commands.h"

#include "Program/CommandFailure.h"
#include "Scanner/Scanner.h"

#include <boost/exception/exception.hpp>

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
        ReportCommandFailure("Couldn't perform scan. Error: ");
    }
}

} // namespace BriskenCommandLineScanner
