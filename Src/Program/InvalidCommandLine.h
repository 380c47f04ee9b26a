#pragma once

#include <string>

namespace BriskenCommandLineScanner
{

// A command line the parser refused: the parser's message (in UTF-8, quoting the command line
// as given) and the usage text. Deliberately not a std::exception, so that handlers of
// std::exception never swallow it: only wmain handles it.
class InvalidCommandLine
{
public:
    InvalidCommandLine(const std::string& message, const std::string& usage) : message(message), usage(usage) {}

    std::string Message() const { return message; }
    std::string Usage() const { return usage; }

private:
    std::string message;
    std::string usage;
};

} // namespace BriskenCommandLineScanner
