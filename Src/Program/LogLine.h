#pragma once

#include <sstream>
#include <string>

namespace BriskenCommandLineScanner
{
namespace Detail
{

template <typename T>
void Append(std::wostringstream& line, const T& part)
{
    line << part;
}

// A narrow text is widened by the stream, character by character.
inline void Append(std::wostringstream& line, const std::string& part)
{
    for (const char c : part)
        line << c;
}

} // namespace Detail

// One log line, "<level>: <message>", built in a stream of the current global locale; numbers
// are formatted by the stream.
template <typename... Parts>
std::wstring LogLine(const wchar_t* level, const Parts&... message)
{
    std::wostringstream line;
    line << level << L": ";
    (Detail::Append(line, message), ...);
    return line.str();
}

} // namespace BriskenCommandLineScanner
