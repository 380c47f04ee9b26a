#pragma once

#include <windows.h>

#include <cstddef>
#include <ostream>
#include <streambuf>
#include <string>

namespace BriskenCommandLineScanner
{

// Standard output a line at a time, each line one system call. The C run time leaves standard
// output unbuffered on a character device (a console, a terminal, NUL) and then hands the system
// a character or two per write, each of which a console draws on its own; into a file or pipe it
// keeps text back until its buffer is full; and each of its writes asks again what the handle is
// and cuts a long line into pieces. While a ConsoleOutput exists, what its stream is given
// collects here, line ends written as CR LF as the run time's text mode writes them, and each
// line end passes everything up to it on to the handle in one WriteFile: a line shows whole and
// at once, before the engine moves on to the next object. A console shows the bytes in its
// output code page, the one ConsoleCodePage() converts wide text to. Text after the last line
// end waits for the rest of its line or a flush.
class ConsoleOutput : public std::streambuf
{
public:
    // What waits is written once it reaches this size, up to its last line end if it holds
    // one: larger than any ordinary line, so that a line is one write, while a long text goes
    // out in writes of about this size.
    static constexpr std::size_t BufferSize = 1 << 16;

    // Takes stream's output over and writes it to output (a file, pipe or console handle, which
    // must stay open while this exists; not closed here). A failed write fails the stream, as
    // the run time's would; what it held is dropped. Throws nothing.
    ConsoleOutput(std::ostream& stream, HANDLE output);
    // Writes what waits and hands the stream its previous buffer back.
    ~ConsoleOutput() override;

    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

protected:
    int_type overflow(int_type character) override;
    std::streamsize xsputn(const char_type* text, std::streamsize size) override;
    int sync() override;

private:
    // Writes the first size bytes of pending in one call and keeps the rest; false when the
    // write fails, and then pending is dropped.
    bool WriteOut(std::size_t size);

    std::ostream& stream;
    const HANDLE output;
    const bool console;
    std::streambuf* const previous;
    std::string pending;
    // The length of pending's complete lines.
    std::size_t complete = 0;
};

} // namespace BriskenCommandLineScanner
