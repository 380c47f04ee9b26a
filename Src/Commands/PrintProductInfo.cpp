#include "Commands/Commands.h"
#include "Commands/NotAvailable.h"

namespace BriskenCommandLineScanner
{

void PrintProductInfo()
{
    ReportNotAvailable("Product information");
}

} // namespace BriskenCommandLineScanner
