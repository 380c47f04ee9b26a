#include "DefinitionsUpdater/DefinitionsUpdater.h"

#ifndef BRISKEN_DEFINITIONS_HOST
#error "BRISKEN_DEFINITIONS_HOST (host:port of the definitions server) comes from the build"
#endif

namespace BriskenCommandLineScanner
{

std::string DefinitionsUpdater::ServerUrl()
{
    return std::string("http://") + BRISKEN_DEFINITIONS_HOST + "/av64bit";
}

} // namespace BriskenCommandLineScanner
