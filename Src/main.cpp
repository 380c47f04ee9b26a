#include "Commands/Commands.h"
#include "Program/CommandLine.h"
#include "Program/Config.h"
#include "Program/ConsoleOutput.h"
#include "Program/Logger.h"
#include "Program/ProgramBarrier.h"
#include "Program/RequestDuration.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/locale/generator.hpp>

#include <iostream>
#include <locale>

#include <windows.h>

using namespace BriskenCommandLineScanner;

namespace
{

ScanRequest MakeScanRequest(const CommandLine& commandLine)
{
    ScanRequest request;
    request.scanType = commandLine.Quick() ? ScanType::Quick
        : commandLine.Full()               ? ScanType::Full
        : commandLine.Custom()             ? ScanType::Custom
                                           : ScanType::Boot;
    if (request.scanType == ScanType::Custom)
        commandLine.CustomPaths(request.paths);
    request.action = commandLine.Action();
    request.scanResultPath = commandLine.ScanResultPath();
    request.scanResultStdout = commandLine.ScanResultStdout();
    return request;
}

void RunCommand(const CommandLine& commandLine)
{
    if (commandLine.ProductInfo())
        PrintProductInfo();
    else if (commandLine.DefinitionsInfo())
        PrintDefinitionsInfo();
    else if (commandLine.UpdateDefinitions())
        UpdateDefinitions();
    else if (commandLine.UpdateApp())
        CheckForApplicationUpdate();
    else if (commandLine.Quick() || commandLine.Full() || commandLine.Custom() || commandLine.Boot())
        RunScan(MakeScanRequest(commandLine));
}

void Run()
{
    const CommandLine commandLine;
    if (!Config::Instance().read_only)
        Logger::Instance().Init();

    if (commandLine.Help())
    {
        std::cout << commandLine.Usage();
        return;
    }

    boost::locale::generator generator;
    std::locale::global(generator(""));
    RunCommand(commandLine);
}

} // namespace

int wmain(int, wchar_t*[], wchar_t*[])
{
    const boost::posix_time::ptime start = boost::posix_time::microsec_clock::local_time();
    // Before anything is printed; the handle is found once, not at every line.
    const ConsoleOutput console(std::cout, GetStdHandle(STD_OUTPUT_HANDLE));
    const int exitCode = RunWithinBarrier(&Run);
    WriteRequestDuration(std::cout, start, boost::posix_time::microsec_clock::local_time());
    return exitCode;
}
