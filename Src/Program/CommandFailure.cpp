#include "Program/CommandFailure.h"

#include "Program/ConsoleText.h"
#include "Program/LogError.h"

#include <iostream>
#include <string>

namespace BriskenCommandLineScanner
{

void ReportCommandFailure(const char* intro)
{
    const std::wstring text = CurrentExceptionDescription();
    LogError(text);
    std::cout << intro;
    WriteConsoleText(text);
    std::cout << std::flush;
}

} // namespace BriskenCommandLineScanner
