#pragma once

#include "StringHelper/StringHelper.h"

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

// Boost's description of the exception being handled, the one text every boundary logs and
// prints. Its messages name paths in UTF-8 (own code) or in the ANSI code page (Boost's).
inline std::wstring CurrentExceptionDescription()
{
    return StringHelper::Utf8OrAnsiToWide(boost::current_exception_diagnostic_information());
}

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
    line << CurrentExceptionDescription();
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
