#include "Commands/Commands.h"

#include "Information/PluginsVersion.h"
#include "Program/ConsoleText.h"
#include "Scanner/Scanner.h"

#include "StringHelper/StringHelper.h"

#include <boost/exception/exception.hpp>

#include <iostream>
#include <string>

namespace BriskenCommandLineScanner
{

void PrintDefinitionsInfo()
{
    unsigned long version = 0;
    std::wstring releaseDate;
    try
    {
        Scanner scanner;
        scanner.GetDatabaseInformation(version, releaseDate);
    }
    catch (const boost::exception&)
    {
        // The engine could not be loaded, started or bound: say so in the date, keep the version.
        releaseDate = L"N/A";
    }

    std::cout << "Definitions Info:\n";
    std::cout << "\tDatabase version: " << version << std::endl;
    // Through the code page, so that a character the console lacks cannot silence what follows.
    WriteConsoleText(L"\tDatabase release date: " + releaseDate + L"\n");
    std::cout << std::flush;

    // Read as the console will read the bytes.
    std::string pluginsVersion = StringHelper::MaskControlCharacters(ReadPluginsVersion(), ConsoleCodePage());
    if (pluginsVersion.empty())
        pluginsVersion = "N/A";
    std::cout << "\tVersion: " << pluginsVersion << std::endl;
}

} // namespace BriskenCommandLineScanner
