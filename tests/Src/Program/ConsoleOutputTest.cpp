#include "Program/ConsoleOutput.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

using BriskenCommandLineScanner::ConsoleOutput;

namespace
{

// A file in text mode like standard output, and what of it has reached the file itself.
class OutputFile
{
public:
    OutputFile() : path(folder.Path() / "console.txt"), file(_wfopen(path.wstring().c_str(), L"w"))
    {
    }
    ~OutputFile()
    {
        if (file)
            std::fclose(file);
    }

    std::FILE* File() const { return file; }

    std::string Arrived() const
    {
        std::ifstream in(path.wstring().c_str(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    TestSupport::TempFolder folder;
    boost::filesystem::path path;
    std::FILE* file;
};

struct Step
{
    const char* printed; // given to the stream by one write (or one put, for a single character)
    bool flush;
    const char* arrived; // all that is in the file afterwards
};

struct LinesCase
{
    const char* name;
    Step steps[3];
};

class ConsoleOutputLinesTest : public testing::TestWithParam<LinesCase>
{
};

TEST_P(ConsoleOutputLinesTest, ALineArrivesAtItsEndAndNotBefore)
{
    OutputFile output;
    ASSERT_NE(output.File(), nullptr);
    std::ostringstream stream;
    ConsoleOutput console(stream, output.File());
    for (const Step& step : GetParam().steps)
    {
        if (!step.printed)
            break;
        const std::string printed = step.printed;
        if (printed.size() == 1)
            stream.put(printed[0]);
        else
            stream.write(printed.data(), static_cast<std::streamsize>(printed.size()));
        if (step.flush)
            stream.flush();
        EXPECT_TRUE(stream.good());
        EXPECT_EQ(output.Arrived(), step.arrived) << "after \"" << printed << '"';
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, ConsoleOutputLinesTest,
    testing::Values(LinesCase{"WholeLine", {{"Scan started\n", false, "Scan started\r\n"}}},
        LinesCase{"LineInPieces",
            {{"Downloading: 91", false, ""}, {" of 91 bytes", false, ""}, {"\n", false, "Downloading: 91 of 91 bytes\r\n"}}},
        // One character is one put: it reaches overflow, whose flush alone brings the line out.
        LinesCase{"LineEndAlone", {{"Checking", false, ""}, {"\n", false, "Checking\r\n"}}},
        LinesCase{"TextAfterTheLastLineEndWaits",
            {{"\nScan complete.", false, "\r\n"}, {"You can access", false, "\r\n"},
                {" it\nRequest", false, "\r\nScan complete.You can access it\r\n"}}},
        LinesCase{"FlushWithoutLineEnd", {{"Unexpected error: x", true, "Unexpected error: x"}}}),
    [](const testing::TestParamInfo<LinesCase>& info) { return std::string(info.param.name); });

TEST(ConsoleOutputTest, TextLongerThanTheBufferArrivesWhole)
{
    OutputFile output;
    ASSERT_NE(output.File(), nullptr);
    std::ostringstream stream;
    ConsoleOutput console(stream, output.File());
    std::string lines;
    for (int i = 0; lines.size() < 3 * ConsoleOutput::BufferSize; ++i)
        lines += "\t<Path Value=\"Z:\\data\\file" + std::to_string(i) + ".txt\" />\n";

    stream.write(lines.data(), static_cast<std::streamsize>(lines.size()));
    stream << "</Summary>";

    std::string expected;
    for (const char c : lines)
        expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(output.Arrived(), expected);
}

TEST(ConsoleOutputTest, HandsTheStreamBackWithWhatWaitedFlushed)
{
    OutputFile output;
    ASSERT_NE(output.File(), nullptr);
    std::ostringstream stream;
    {
        ConsoleOutput console(stream, output.File());
        stream << "Request duration: 00:00:01";
    }
    EXPECT_EQ(output.Arrived(), "Request duration: 00:00:01");
    stream << "after";
    EXPECT_EQ(stream.str(), "after");
}

} // namespace
