#include "Program/CommandLine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace
{

using BriskenCommandLineScanner::CommandLine;
using BriskenCommandLineScanner::InvalidCommandLine;

using Tokens = std::vector<std::wstring>;

// The program's own path comes first, as in the process's command line.
Tokens Arguments(std::initializer_list<const wchar_t*> arguments)
{
    Tokens tokens{L"C:\\Program Files\\Brisken\\BriskenCommandLineScanner.exe"};
    tokens.insert(tokens.end(), arguments.begin(), arguments.end());
    return tokens;
}

const char* const Usage =
    "Allowed options:\n"
    "  --help                    Print help\n"
    "  --updatedefs              Update definitions\n"
    "  --quick                   Run quick scan\n"
    "  --full                    Run full scan\n"
    "  --custom <file or folder> e.g. --custom \"c:\\folder name\" or \"c:\\folder \n"
    "                            name\\file name.ext\"\n"
    "  --boot                    Run boot scan\n"
    "  --quarantine              Quarantine infected files\n"
    "  --delete                  Delete infected files\n"
    "  --disinfect               Disinfect infected files\n"
    "  --product-info            Print product information\n"
    "  --definitions-info        Print definitions information\n"
    "  --scan-result <path>      e.g. --scan-result \"c:\\folder\\filename\"\n"
    "  --updateapp               Check application update\n"
    "  --scan-result-stdout      Print scan result to standard output\n";

TEST(CommandLineTest, UsageTextIsTheLibrarysPrintingOfTheOptions)
{
    EXPECT_EQ(Usage, CommandLine(Arguments({L"--help"})).Usage());
}

TEST(CommandLineTest, OnlyTheProgramPathAsksForNothing)
{
    const CommandLine commandLine(Arguments({}));
    EXPECT_FALSE(commandLine.Help() || commandLine.UpdateDefinitions() || commandLine.ProductInfo() ||
        commandLine.DefinitionsInfo() || commandLine.UpdateApp() || commandLine.ScanResultStdout() ||
        commandLine.Quick() || commandLine.Full() || commandLine.Custom() || commandLine.Boot());
    EXPECT_EQ(1u, commandLine.Action());
    EXPECT_EQ(L"", commandLine.ScanResultPath());
}

TEST(CommandLineTest, BareWordsAreNotOptions)
{
    const CommandLine commandLine(Arguments({L"quick", L"help"}));
    EXPECT_FALSE(commandLine.Quick());
    EXPECT_FALSE(commandLine.Help());
}

struct Refusal
{
    Tokens tokens;
    std::string message;
};

TEST(CommandLineTest, RefusesMalformedCommandLinesInTheLibrarysWords)
{
    const Refusal cases[] = {
        {Arguments({L"--bogus"}), "unrecognised option '--bogus'"},
        {Arguments({L"-h"}), "unrecognised option '-h'"},
        {Arguments({L"--Quick"}), "unrecognised option '--Quick'"},
        {Arguments({L"--qu"}), "option '--qu' is ambiguous and matches '--quarantine', and '--quick'"},
        {Arguments({L"--update"}), "option '--update' is ambiguous and matches '--updateapp', and '--updatedefs'"},
        {Arguments({L"--quick", L"--quick"}), "option '--quick' cannot be specified more than once"},
        {Arguments({L"--custom", L"C:\\a", L"--custom", L"C:\\b"}),
            "option '--custom' cannot be specified more than once"},
        {Arguments({L"--custom"}), "the required argument for option '--custom' is missing"},
        {Arguments({L"--quick", L"--scan-result"}), "the required argument for option '--scan-result' is missing"},
        {Arguments({L"--quick=yes"}), "option '--quick' does not take any arguments"},
        {Arguments({L"--custom="}), "the argument for option '--custom' should follow immediately after the equal sign"},
    };
    for (const Refusal& c : cases)
    {
        std::wstring joined;
        for (const std::wstring& token : c.tokens)
            joined += token + L" ";
        try
        {
            CommandLine commandLine(c.tokens);
            ADD_FAILURE() << "accepted: " << ::testing::PrintToString(joined);
        }
        catch (const InvalidCommandLine& error)
        {
            EXPECT_EQ(c.message, error.Message()) << ::testing::PrintToString(joined);
            EXPECT_EQ(Usage, error.Usage()) << ::testing::PrintToString(joined);
        }
    }
}

struct CustomCase
{
    Tokens tokens;
    std::vector<std::wstring> paths;
};

TEST(CommandLineTest, CustomPathsAreSplitAtSemicolonsAndTrimmed)
{
    const CustomCase cases[] = {
        {Arguments({L"--custom", L"C:\\a; D:\\b"}), {L"C:\\a", L"D:\\b"}},
        {Arguments({L"--custom=C:\\a;;D:\\b;"}), {L"C:\\a", L"", L"D:\\b", L""}},
        {Arguments({L"--custom", L"  C:\\folder name\\file name.ext\t"}), {L"C:\\folder name\\file name.ext"}},
        {Arguments({L"--custom", L";"}), {L"", L""}},
        {Arguments({L"--custom", L""}), {}},
        {Arguments({L"--cust", L"C:\\a"}), {L"C:\\a"}},
    };
    for (const CustomCase& c : cases)
    {
        const CommandLine commandLine(c.tokens);
        EXPECT_TRUE(commandLine.Custom());
        std::vector<std::wstring> paths{L"kept"};
        commandLine.CustomPaths(paths);
        std::vector<std::wstring> expected{L"kept"};
        expected.insert(expected.end(), c.paths.begin(), c.paths.end());
        EXPECT_EQ(expected, paths) << ::testing::PrintToString(c.tokens.back());
    }
}

struct ActionCase
{
    Tokens tokens;
    std::uint32_t action;
};

TEST(CommandLineTest, ActionPrefersQuarantineThenDeleteThenDisinfect)
{
    const ActionCase cases[] = {
        {Arguments({L"--quick"}), 1},
        {Arguments({L"--disinfect"}), 3},
        {Arguments({L"--disinfect", L"--delete"}), 5},
        {Arguments({L"--delete", L"--quarantine"}), 7},
        {Arguments({L"--disinfect", L"--delete", L"--quarantine"}), 7},
    };
    for (const ActionCase& c : cases)
        EXPECT_EQ(c.action, CommandLine(c.tokens).Action()) << ::testing::PrintToString(c.tokens);
}

TEST(CommandLineTest, ScanResultValueFollowsAnEqualSignOrComesNext)
{
    for (const Tokens& tokens : {Arguments({L"--scan-result=C:\\out\\r\u00E9sult.xml", L"--quick"}),
             Arguments({L"--scan-result", L"C:\\out\\r\u00E9sult.xml", L"--quick"})})
    {
        const CommandLine commandLine(tokens);
        EXPECT_EQ(L"C:\\out\\r\u00E9sult.xml", commandLine.ScanResultPath());
        EXPECT_FALSE(commandLine.ScanResultStdout());
        EXPECT_TRUE(commandLine.Quick());
    }
}

TEST(CommandLineTest, UnambiguousPrefixesSelectTheirOption)
{
    const CommandLine commandLine(Arguments({L"--scan-result-s", L"--prod", L"--definitions", L"--updatea", L"--h"}));
    EXPECT_TRUE(commandLine.ScanResultStdout());
    EXPECT_EQ(L"", commandLine.ScanResultPath());
    EXPECT_TRUE(commandLine.ProductInfo());
    EXPECT_TRUE(commandLine.DefinitionsInfo());
    EXPECT_TRUE(commandLine.UpdateApp());
    EXPECT_FALSE(commandLine.UpdateDefinitions());
    EXPECT_TRUE(commandLine.Help());
}

TEST(CommandLineTest, EachQueryAnswersForItsOwnOption)
{
    struct Query
    {
        const wchar_t* option;
        bool (CommandLine::*given)() const;
    };
    const Query queries[] = {
        {L"--help", &CommandLine::Help},
        {L"--updatedefs", &CommandLine::UpdateDefinitions},
        {L"--product-info", &CommandLine::ProductInfo},
        {L"--definitions-info", &CommandLine::DefinitionsInfo},
        {L"--updateapp", &CommandLine::UpdateApp},
        {L"--scan-result-stdout", &CommandLine::ScanResultStdout},
        {L"--quick", &CommandLine::Quick},
        {L"--full", &CommandLine::Full},
        {L"--boot", &CommandLine::Boot},
    };
    for (const Query& given : queries)
    {
        const CommandLine commandLine(Arguments({given.option}));
        for (const Query& asked : queries)
            EXPECT_EQ(&given == &asked, (commandLine.*asked.given)())
                << "given " << ::testing::PrintToString(std::wstring(given.option)) << ", asked "
                << ::testing::PrintToString(std::wstring(asked.option));
    }
}

} // namespace
