#include "Commands/Commands.h"
#include "Commands/NotAvailable.h"

namespace BriskenCommandLineScanner
{

void PrintDefinitionsInfo()
{
    ReportNotAvailable("Definitions information");
}

} // namespace BriskenCommandLineScanner
