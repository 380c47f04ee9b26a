#pragma once

#include "Program/InvalidCommandLine.h"

#include <boost/program_options/variables_map.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace BriskenCommandLineScanner
{

// The process's own command line, parsed against the program's options.
// The constructor throws InvalidCommandLine with the parser's message and the usage text.
class CommandLine
{
public:
    CommandLine();
    // Parses the given tokens, the program path first, as the process's own would be.
    explicit CommandLine(const std::vector<std::wstring>& tokens);

    bool Help() const;
    bool UpdateDefinitions() const;
    bool ProductInfo() const;
    bool DefinitionsInfo() const;
    bool UpdateApp() const;
    bool ScanResultStdout() const;
    bool Quick() const;
    bool Full() const;
    bool Custom() const;
    bool Boot() const;

    // The engine's ScanAction: QuarMove for quarantine, else Delete, else Disinfect, else None.
    std::uint32_t Action() const;
    // The scan-result value, empty when not given.
    std::wstring ScanResultPath() const;
    // Appends the semicolon-separated custom paths, each trimmed, to out.
    void CustomPaths(std::vector<std::wstring>& out) const;

    const std::string& Usage() const { return usage; }

private:
    bool Given(const char* option) const;

    boost::program_options::variables_map values;
    std::string usage;
};

} // namespace BriskenCommandLineScanner
