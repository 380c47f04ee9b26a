#include "Program/ConsoleOutput.h"

#include <algorithm>

namespace BriskenCommandLineScanner
{

ConsoleOutput::ConsoleOutput(std::ostream& stream, std::FILE* file)
    : stream(stream), file(file), previous(stream.rdbuf())
{
    // Without a buffer of its own the file would still write a character at a time.
    std::setvbuf(file, nullptr, _IOFBF, BufferSize);
    stream.rdbuf(this);
}

ConsoleOutput::~ConsoleOutput()
{
    sync();
    stream.rdbuf(previous);
}

ConsoleOutput::int_type ConsoleOutput::overflow(int_type character)
{
    if (traits_type::eq_int_type(character, traits_type::eof()))
        return traits_type::not_eof(character);
    // fwrite, not fputc: Wine's fputc flushes at every line end by itself, Windows' does not; so
    // the line end's flush is this one on both.
    const char_type text = traits_type::to_char_type(character);
    if (std::fwrite(&text, 1, 1, file) != 1)
        return traits_type::eof();
    if (text == '\n' && std::fflush(file) != 0)
        return traits_type::eof();
    return character;
}

std::streamsize ConsoleOutput::xsputn(const char_type* text, std::streamsize size)
{
    const char_type* const end = text + size;
    const char_type* const lastLine = std::find(std::reverse_iterator<const char_type*>(end),
        std::reverse_iterator<const char_type*>(text), '\n').base();
    const std::size_t lines = static_cast<std::size_t>(lastLine - text);
    if (std::fwrite(text, 1, lines, file) != lines)
        return 0;
    if (lines > 0 && std::fflush(file) != 0)
        return 0;
    const std::size_t rest = static_cast<std::size_t>(end - lastLine);
    return static_cast<std::streamsize>(lines + std::fwrite(lastLine, 1, rest, file));
}

int ConsoleOutput::sync()
{
    return std::fflush(file) == 0 ? 0 : -1;
}

} // namespace BriskenCommandLineScanner
