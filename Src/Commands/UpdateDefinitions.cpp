#include "Commands/Commands.h"
#include "Commands/NotAvailable.h"

namespace BriskenCommandLineScanner
{

void UpdateDefinitions()
{
    ReportNotAvailable("Definitions update");
}

} // namespace BriskenCommandLineScanner
