#pragma once

#include <boost/exception/diagnostic_information.hpp>

#include <sstream>
#include <string>

namespace BriskenCommandLineScanner
{

// A log line part that stands for Boost's description of the exception being handled; the
// text is made only while the line is built.
struct CurrentExceptionText
{
};

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

inline void Append(std::wostringstream& line, const CurrentExceptionText&)
{
    Append(line, boost::current_exception_diagnostic_information());
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
