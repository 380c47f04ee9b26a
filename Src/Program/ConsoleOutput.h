#pragma once

#include <cstddef>
#include <cstdio>
#include <ostream>
#include <streambuf>

namespace BriskenCommandLineScanner
{

// Standard output a line at a time. The C run time leaves standard output unbuffered on a
// character device (a console, a terminal, NUL) and then hands the system a character or two
// per write, each of which a console draws on its own; into a file or pipe it keeps text back
// until its buffer is full. While a ConsoleOutput exists, what its stream is given collects in
// the C file's buffer, and each line end passes everything up to it on in one write: a line
// shows whole and at once, before the engine moves on to the next object. Text after the last
// line end waits for the rest of its line or a flush.
class ConsoleOutput : public std::streambuf
{
public:
    // The file's buffer: large enough for any ordinary line, so that a line is one write; a
    // longer text goes out in writes of about this size.
    static constexpr std::size_t BufferSize = 1 << 16;

    // Takes stream's output over and gives file a buffer of its own; file must not have been
    // used yet. Throws nothing.
    ConsoleOutput(std::ostream& stream, std::FILE* file);
    // Flushes and hands the stream its previous buffer back.
    ~ConsoleOutput() override;

    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

protected:
    int_type overflow(int_type character) override;
    std::streamsize xsputn(const char_type* text, std::streamsize size) override;
    int sync() override;

private:
    std::ostream& stream;
    std::FILE* const file;
    std::streambuf* const previous;
};

} // namespace BriskenCommandLineScanner
