#include "Commands/Commands.h"

#include "DefinitionsUpdater/DefinitionsUpdater.h"
#include "Program/CommandFailure.h"

#include <boost/exception/exception.hpp>

namespace BriskenCommandLineScanner
{

void UpdateDefinitions()
{
    try
    {
        DefinitionsUpdater updater;
        updater.Start();
    }
    catch (const boost::exception&)
    {
        ReportCommandFailure("Couldn't update definitions. Error: ");
    }
}

} // namespace BriskenCommandLineScanner
