#include "Program/ProgramBarrier.h"

#include "Program/ConsoleText.h"
#include "Program/InvalidCommandLine.h"
#include "Program/LogError.h"
#include "StringHelper/StringHelper.h"

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
        // The message quotes the command line, which scripts fill with names from elsewhere: no
        // control character of it may reach the terminal. The parser gives it in UTF-8.
        const std::wstring message = StringHelper::ToWide(error.Message(), StringHelper::Utf8CodePage);
        WriteConsoleText(StringHelper::MaskControlCharacters(message) + L"\n");
        std::cout << error.Usage();
    }
    catch (...)
    {
        // No command lets anything else escape on purpose; should it happen, say what it was
        // instead of ending without a word, so that the duration is still reported.
        const std::wstring text = CurrentExceptionDescription();
        LogErrorNoThrow(text);
        std::cout << "Unexpected error: ";
        WriteConsoleText(text);
        std::cout << std::flush;
        return 1;
    }
    return 0;
}

} // namespace BriskenCommandLineScanner
