#include "Program/ConsoleOutput.h"

#include "Program/ConsoleText.h"

#include <algorithm>
#include <limits>

namespace BriskenCommandLineScanner
{

ConsoleOutput::ConsoleOutput(std::ostream& stream, HANDLE output)
    : stream(stream), output(output), console(IsConsole(output)), previous(stream.rdbuf())
{
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
    const char_type text = traits_type::to_char_type(character);
    return xsputn(&text, 1) == 1 ? character : traits_type::eof();
}

std::streamsize ConsoleOutput::xsputn(const char_type* text, std::streamsize size)
{
    const char_type* const end = text + size;
    for (const char_type* next = text; next != end;)
    {
        const char_type* const lineEnd = std::find(next, end, '\n');
        pending.append(next, lineEnd);
        if (lineEnd == end)
            break;
        pending += "\r\n";
        complete = pending.size();
        next = lineEnd + 1;
        // A long text goes on in pieces of about BufferSize, never held whole.
        if (pending.size() >= BufferSize && !WriteOut(complete))
            return 0;
    }
    if (complete > 0 && !WriteOut(complete))
        return 0;
    // A text that long without a line end cannot wait for one.
    if (pending.size() >= BufferSize && !WriteOut(pending.size()))
        return 0;
    return size;
}

int ConsoleOutput::sync()
{
    return pending.empty() || WriteOut(pending.size()) ? 0 : -1;
}

bool ConsoleOutput::WriteOut(std::size_t size)
{
    std::size_t done = 0;
    while (done < size)
    {
        const DWORD part =
            static_cast<DWORD>(std::min<std::size_t>(size - done, std::numeric_limits<DWORD>::max()));
        DWORD written = 0;
        if (!WriteFile(output, pending.data() + done, part, &written, nullptr) || written == 0)
        {
            pending.clear();
            complete = 0;
            return false;
        }
        // A console takes a write whole; older Windows counts characters there, not bytes, in
        // a multi-byte code page, so a count that falls short must not write the rest again.
        done += console ? part : written;
    }
    pending.erase(0, size);
    complete = complete > size ? complete - size : 0;
    return true;
}

} // namespace BriskenCommandLineScanner
