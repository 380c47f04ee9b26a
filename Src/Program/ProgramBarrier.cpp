#include "Program/ProgramBarrier.h"

#include "Program/InvalidCommandLine.h"
#include "Program/LogError.h"

#include <boost/exception/diagnostic_information.hpp>

#include <iostream>

namespace BriskenCommandLineScanner
{

int RunWithinBarrier(void (*work)())
{
    try
    {
        work();
    }
    catch (const InvalidCommandLine& error)
    {
        std::cout << error.Message() << std::endl;
        std::cout << error.Usage();
    }
    catch (...)
    {
        // No command lets anything else escape on purpose; should it happen, say what it was
        // instead of ending without a word, so that the duration is still reported.
        const std::string text = boost::current_exception_diagnostic_information();
        LogErrorNoThrow(text);
        std::cout << "Unexpected error: " << text << std::flush;
        return 1;
    }
    return 0;
}

} // namespace BriskenCommandLineScanner
