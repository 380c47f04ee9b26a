#include "Program/ConsoleOutput.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using BriskenCommandLineScanner::ConsoleOutput;

namespace
{

// A file written through a handle as standard output is, and what of it has reached the file.
class OutputFile
{
public:
    OutputFile()
        : path(folder.Path() / "console.txt"),
          handle(CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~OutputFile()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }

    HANDLE Handle() const { return handle; }

    std::string Arrived() const
    {
        std::ifstream in(path.wstring().c_str(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    TestSupport::TempFolder folder;
    boost::filesystem::path path;
    HANDLE handle;
};

// Gives text to stream as the program's printing does: a single character by one put, anything
// longer by one write.
void Print(std::ostream& stream, const std::string& text)
{
    if (text.size() == 1)
        stream.put(text[0]);
    else
        stream.write(text.data(), static_cast<std::streamsize>(text.size()));
}

struct Step
{
    const char* printed;
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
    ASSERT_NE(output.Handle(), INVALID_HANDLE_VALUE);
    std::ostringstream stream;
    ConsoleOutput console(stream, output.Handle());
    for (const Step& step : GetParam().steps)
    {
        if (!step.printed)
            break;
        Print(stream, step.printed);
        if (step.flush)
            stream.flush();
        EXPECT_TRUE(stream.good());
        EXPECT_EQ(output.Arrived(), step.arrived) << "after \"" << step.printed << '"';
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, ConsoleOutputLinesTest,
    testing::Values(LinesCase{"WholeLine", {{"Scan started\n", false, "Scan started\r\n"}}},
        LinesCase{"LineInPieces",
            {{"Downloading: 91", false, ""}, {" of 91 bytes", false, ""}, {"\n", false, "Downloading: 91 of 91 bytes\r\n"}}},
        LinesCase{"LineEndAlone", {{"Checking", false, ""}, {"\n", false, "Checking\r\n"}}},
        LinesCase{"TextAfterTheLastLineEndWaits",
            {{"\nScan complete.", false, "\r\n"}, {"You can access", false, "\r\n"},
                {" it\nRequest", false, "\r\nScan complete.You can access it\r\n"}}},
        LinesCase{"FlushWithoutLineEnd", {{"Unexpected error: x", true, "Unexpected error: x"}}}),
    [](const testing::TestParamInfo<LinesCase>& info) { return std::string(info.param.name); });

// A message-mode pipe as standard output: each write the program makes arrives as one message.
class MessagePipe
{
public:
    MessagePipe()
    {
        const std::wstring name = L"\\\\.\\pipe\\brisken-console-output-" + std::to_wstring(GetCurrentProcessId());
        server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
            1, 0, 1 << 20, 0, nullptr);
        client = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (server != INVALID_HANDLE_VALUE && client != INVALID_HANDLE_VALUE)
            reader = std::thread([this] { ReadMessages(); });
    }
    ~MessagePipe()
    {
        CloseWriter();
        if (server != INVALID_HANDLE_VALUE)
            CloseHandle(server);
    }

    bool Open() const { return reader.joinable(); }
    HANDLE Writer() const { return client; }

    // The messages that arrived, once the writing end is closed.
    std::vector<std::string> Messages()
    {
        CloseWriter();
        return messages;
    }

private:
    void ReadMessages()
    {
        std::vector<char> buffer(1 << 20);
        std::string message;
        for (;;)
        {
            DWORD read = 0;
            const BOOL whole = ReadFile(server, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr);
            if (!whole && GetLastError() != ERROR_MORE_DATA)
                return;
            message.append(buffer.data(), read);
            if (whole)
            {
                messages.push_back(message);
                message.clear();
            }
        }
    }

    void CloseWriter()
    {
        if (client != INVALID_HANDLE_VALUE)
            CloseHandle(client);
        client = INVALID_HANDLE_VALUE;
        if (reader.joinable())
            reader.join();
    }

    HANDLE server = INVALID_HANDLE_VALUE;
    HANDLE client = INVALID_HANDLE_VALUE;
    std::thread reader;
    std::vector<std::string> messages;
};

std::string WithCrLf(const std::string& text)
{
    std::string result;
    for (const char c : text)
        result += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return result;
}

struct WritesCase
{
    const char* name;
    std::vector<std::string> printed; // the last one is left waiting for the end
    std::vector<std::string> writes;
};

class ConsoleOutputWritesTest : public testing::TestWithParam<WritesCase>
{
};

TEST_P(ConsoleOutputWritesTest, EachLineIsOneWrite)
{
    MessagePipe pipe;
    ASSERT_TRUE(pipe.Open());
    {
        std::ostringstream stream;
        ConsoleOutput console(stream, pipe.Writer());
        for (const std::string& text : GetParam().printed)
            Print(stream, text);
        EXPECT_TRUE(stream.good());
    }
    EXPECT_EQ(pipe.Messages(), GetParam().writes);
}

const std::string longPath = "Object Path: \\\\?\\Z:\\" + std::string(5000, 'd') + "\\a.txt. Parent Containers: . Inner Object: ";

INSTANTIATE_TEST_SUITE_P(Texts, ConsoleOutputWritesTest,
    testing::Values(WritesCase{"LineInPieces", {"Downloading: 91", " of 91 bytes", "\n", "Request duration: 1"},
                        {"Downloading: 91 of 91 bytes\r\n", "Request duration: 1"}},
        WritesCase{"LinesGivenTogether", {"Initializing engine completed\nScan started\nObject"},
            {"Initializing engine completed\r\nScan started\r\n", "Object"}},
        // The run time cuts a line into pieces of a few kilobytes, which a console draws apart.
        WritesCase{"LongLine", {longPath + "\n"}, {WithCrLf(longPath + "\n")}}),
    [](const testing::TestParamInfo<WritesCase>& info) { return std::string(info.param.name); });

TEST(ConsoleOutputTest, TextLongerThanTheBufferGoesOutInWholeLinesOfAboutItsSize)
{
    std::string lines;
    for (int i = 0; lines.size() < 3 * ConsoleOutput::BufferSize; ++i)
        lines += "\t<Path Value=\"Z:\\data\\file" + std::to_string(i) + ".txt\" />\n";
    MessagePipe pipe;
    ASSERT_TRUE(pipe.Open());
    {
        std::ostringstream stream;
        ConsoleOutput console(stream, pipe.Writer());
        stream.write(lines.data(), static_cast<std::streamsize>(lines.size()));
        stream << "</Summary>";
    }
    const std::vector<std::string> writes = pipe.Messages();

    ASSERT_GE(writes.size(), 4u);
    std::string arrived;
    for (std::size_t i = 0; i + 1 < writes.size(); ++i)
    {
        EXPECT_LE(writes[i].size(), ConsoleOutput::BufferSize + 64) << i;
        EXPECT_EQ(writes[i].substr(writes[i].size() - 2), "\r\n") << i;
        arrived += writes[i];
    }
    EXPECT_EQ(arrived, WithCrLf(lines));
    EXPECT_EQ(writes.back(), "</Summary>");
}

TEST(ConsoleOutputTest, HandsTheStreamBackWithWhatWaitedWritten)
{
    OutputFile output;
    ASSERT_NE(output.Handle(), INVALID_HANDLE_VALUE);
    std::ostringstream stream;
    {
        ConsoleOutput console(stream, output.Handle());
        stream << "Request duration: 00:00:01";
    }
    EXPECT_EQ(output.Arrived(), "Request duration: 00:00:01");
    stream << "after";
    EXPECT_EQ(stream.str(), "after");
}

TEST(ConsoleOutputTest, AFailedWriteFailsTheStream)
{
    // As when the process has no standard output at all.
    std::ostringstream stream;
    ConsoleOutput console(stream, nullptr);
    stream << "Scan started\n";
    EXPECT_TRUE(stream.bad());
}

} // namespace
