#include "Program/ConsoleText.h"

#include <iostream>

#include <windows.h>

namespace BriskenCommandLineScanner
{

namespace
{

int Convert(const std::wstring& text, std::uint32_t codePage, DWORD flags, char* buffer, int size)
{
    return WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), buffer, size,
        nullptr, nullptr);
}

// Best-fit mapping would turn look-alikes into other characters (a full-width backslash into a
// separator), so ask for the plain default character where the code page allows the flag.
DWORD FlagsFor(std::uint32_t codePage)
{
    return codePage == CP_UTF8 || codePage == CP_UTF7 ? 0 : WC_NO_BEST_FIT_CHARS;
}

} // namespace

std::string ToConsoleCodePage(const std::wstring& text, std::uint32_t codePage)
{
    if (text.empty())
        return std::string();
    DWORD flags = FlagsFor(codePage);
    int size = Convert(text, codePage, flags, nullptr, 0);
    if (size == 0 && flags != 0)
    {
        flags = 0; // some code pages refuse every flag
        size = Convert(text, codePage, flags, nullptr, 0);
    }
    if (size <= 0)
        return std::string(text.size(), '?');
    std::string bytes(static_cast<std::size_t>(size), '\0');
    Convert(text, codePage, flags, &bytes[0], size);
    return bytes;
}

bool IsConsole(void* handle)
{
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

std::uint32_t ConsoleCodePage()
{
    static const std::uint32_t codePage = IsConsole(GetStdHandle(STD_OUTPUT_HANDLE))
        ? static_cast<std::uint32_t>(GetConsoleOutputCP()) : static_cast<std::uint32_t>(GetACP());
    return codePage;
}

void WriteConsoleText(const std::wstring& text)
{
    const std::string bytes = ToConsoleCodePage(text, ConsoleCodePage());
    std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace BriskenCommandLineScanner
