// Prints what the configuration read from config.ini beside this executable, one setting a
// line, in UTF-8: "read_only=0|1" and "engines_folder=<folder>".
#include "Program/Config.h"

#include "StringHelper/StringHelper.h"

#include <windows.h>

#include <iostream>

int wmain(int, wchar_t*[])
{
    const BriskenCommandLineScanner::Config& config = BriskenCommandLineScanner::Config::Instance();
    std::cout << "read_only=" << (config.read_only ? 1 : 0) << "\n"
              << "engines_folder=" << StringHelper::ToNarrow(config.EnginesFolder(), CP_UTF8) << "\n";
    return 0;
}
