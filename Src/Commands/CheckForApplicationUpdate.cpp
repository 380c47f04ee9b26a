#include "Commands/Commands.h"
#include "Commands/NotAvailable.h"

namespace BriskenCommandLineScanner
{

void CheckForApplicationUpdate()
{
    ReportNotAvailable("Application update check");
}

} // namespace BriskenCommandLineScanner
