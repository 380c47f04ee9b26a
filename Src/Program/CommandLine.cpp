#include "Program/CommandLine.h"

#include "EngineSdk.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <boost/program_options/options_description.hpp>
#include <boost/program_options/parsers.hpp>
#include <boost/program_options/value_semantic.hpp>

#include <windows.h>

#include <locale>
#include <sstream>

namespace po = boost::program_options;

namespace BriskenCommandLineScanner
{
namespace
{

struct OptionDeclaration
{
    const char* name;
    const char* valueName; // null for a switch
    const char* description;
};

const OptionDeclaration Options[] = {
    {"help", nullptr, "Print help"},
    {"updatedefs", nullptr, "Update definitions"},
    {"quick", nullptr, "Run quick scan"},
    {"full", nullptr, "Run full scan"},
    {"custom", "<file or folder>", "e.g. --custom \"c:\\folder name\" or \"c:\\folder name\\file name.ext\""},
    {"boot", nullptr, "Run boot scan"},
    {"quarantine", nullptr, "Quarantine infected files"},
    {"delete", nullptr, "Delete infected files"},
    {"disinfect", nullptr, "Disinfect infected files"},
    {"product-info", nullptr, "Print product information"},
    {"definitions-info", nullptr, "Print definitions information"},
    {"scan-result", "<path>", "e.g. --scan-result \"c:\\folder\\filename\""},
    {"updateapp", nullptr, "Check application update"},
    {"scan-result-stdout", nullptr, "Print scan result to standard output"},
};

po::options_description Describe()
{
    po::options_description description("Allowed options", 80, 40);
    for (const OptionDeclaration& option : Options)
    {
        if (option.valueName)
            description.add_options()(option.name, po::wvalue<std::wstring>()->value_name(option.valueName),
                option.description);
        else
            description.add_options()(option.name, option.description);
    }
    return description;
}

} // namespace

CommandLine::CommandLine() : CommandLine(po::split_winmain(GetCommandLineW()))
{
}

CommandLine::CommandLine(const std::vector<std::wstring>& tokens)
{
    const po::options_description description = Describe();

    std::ostringstream text;
    text << description;
    usage = text.str();

    try
    {
        po::store(po::wcommand_line_parser(tokens).options(description).run(), values);
        po::notify(values);
    }
    catch (const std::exception& error)
    {
        throw InvalidCommandLine(error.what(), usage);
    }
}

bool CommandLine::Given(const char* option) const
{
    return values.count(option) > 0;
}

bool CommandLine::Help() const { return Given("help"); }
bool CommandLine::UpdateDefinitions() const { return Given("updatedefs"); }
bool CommandLine::ProductInfo() const { return Given("product-info"); }
bool CommandLine::DefinitionsInfo() const { return Given("definitions-info"); }
bool CommandLine::UpdateApp() const { return Given("updateapp"); }
bool CommandLine::ScanResultStdout() const { return Given("scan-result-stdout"); }
bool CommandLine::Quick() const { return Given("quick"); }
bool CommandLine::Full() const { return Given("full"); }
bool CommandLine::Custom() const { return Given("custom"); }
bool CommandLine::Boot() const { return Given("boot"); }

std::uint32_t CommandLine::Action() const
{
    if (Given("quarantine"))
        return EngineSdk::ScanAction::QuarMove;
    if (Given("delete"))
        return EngineSdk::ScanAction::Delete;
    if (Given("disinfect"))
        return EngineSdk::ScanAction::Disinfect;
    return EngineSdk::ScanAction::None;
}

std::wstring CommandLine::ScanResultPath() const
{
    return Given("scan-result") ? values["scan-result"].as<std::wstring>() : std::wstring();
}

void CommandLine::CustomPaths(std::vector<std::wstring>& out) const
{
    const std::wstring value = Given("custom") ? values["custom"].as<std::wstring>() : std::wstring();
    if (value.empty())
        return;
    std::vector<std::wstring> pieces;
    boost::algorithm::split(pieces, value, boost::algorithm::is_any_of(L";"), boost::algorithm::token_compress_off);
    const std::locale locale; // the user's locale, installed by wmain before any command runs
    for (std::wstring& piece : pieces)
    {
        boost::algorithm::trim(piece, locale);
        out.push_back(piece);
    }
}

} // namespace BriskenCommandLineScanner
