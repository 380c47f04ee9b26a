// Starts the log as the program does and writes each argument as one log line.
// "--no-init" first writes without starting the log, as in read-only mode. Arguments are ASCII;
// "\uXXXX" in them stands for that character, so tests can pass any character.
#include "Program/Logger.h"

#include <cwchar>
#include <string>

namespace
{

std::wstring Unescape(const std::wstring& text)
{
    std::wstring line;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text.compare(i, 2, L"\\u") == 0 && i + 6 <= text.size())
        {
            line += static_cast<wchar_t>(std::wcstoul(text.substr(i + 2, 4).c_str(), nullptr, 16));
            i += 5;
        }
        else
            line += text[i];
    }
    return line;
}

} // namespace

int wmain(int argc, wchar_t* argv[])
{
    BriskenCommandLineScanner::Logger& logger = BriskenCommandLineScanner::Logger::Instance();
    int first = 1;
    if (argc > 1 && std::wstring(argv[1]) == L"--no-init")
        ++first;
    else
        logger.Init();
    for (int i = first; i < argc; ++i)
        logger.Write(Unescape(argv[i]));
    return 0;
}
