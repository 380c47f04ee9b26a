// wmain's barrier: what each kind of escaping exception prints, and the exit code it gives.
#include "Program/InvalidCommandLine.h"
#include "Program/ProgramBarrier.h"

#include "ExceptionHelper/Exception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string>

using namespace BriskenCommandLineScanner;

namespace
{

struct BarrierCase
{
    const char* name;
    void (*work)();
    int exitCode;
    const char* consoleStart; // the console begins with this
    const char* consoleHas;   // and holds this (empty: nothing more is checked)
};

void PrintTo(const BarrierCase& c, std::ostream* out)
{
    *out << c.name;
}

class ProgramBarrierTest : public testing::TestWithParam<BarrierCase>
{
};

TEST_P(ProgramBarrierTest, PrintsAndReturnsTheExitCode)
{
    testing::internal::CaptureStdout();
    const int exitCode = RunWithinBarrier(GetParam().work);
    std::string console = testing::internal::GetCapturedStdout();
    console.erase(std::remove(console.begin(), console.end(), '\r'), console.end());

    EXPECT_EQ(GetParam().exitCode, exitCode);
    EXPECT_EQ(0u, console.rfind(GetParam().consoleStart, 0)) << console;
    EXPECT_NE(std::string::npos, console.find(GetParam().consoleHas)) << console;
}

INSTANTIATE_TEST_SUITE_P(Escapes, ProgramBarrierTest,
    testing::Values(
        BarrierCase{"Nothing", [] {}, 0, "", ""},
        BarrierCase{"InvalidCommandLine", [] { throw InvalidCommandLine("unrecognised option '--x'", "Usage\n"); }, 0,
            "unrecognised option '--x'\nUsage\n", ""},
        // The parser quotes the command line: its control characters stay off the terminal.
        BarrierCase{"InvalidCommandLineWithControlCharacters",
            [] { throw InvalidCommandLine("unrecognised option '--bad\x1b[31mX\r\n\x7f\xC2\x9B'", "Usage\n"); }, 0,
            "unrecognised option '--bad?[31mX???\?'\nUsage\n", ""},
        BarrierCase{"StandardException", [] { throw std::runtime_error("disk on fire"); }, 1, "Unexpected error: ",
            "disk on fire"},
        BarrierCase{"BadAlloc", [] { throw std::bad_alloc(); }, 1, "Unexpected error: ", "bad_alloc"},
        BarrierCase{"BoostException",
            [] { BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("Couldn't do it")); }, 1, "Unexpected error: ",
            "Couldn't do it"},
        BarrierCase{"NotAnException", [] { throw 42; }, 1, "Unexpected error: ", "int"}),
    [](const testing::TestParamInfo<BarrierCase>& info) { return std::string(info.param.name); });

} // namespace
