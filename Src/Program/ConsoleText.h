#pragma once

#include <cstdint>
#include <string>

namespace BriskenCommandLineScanner
{

// Wide console text that survives characters the output's code page lacks. The C run time's
// wide output (wprintf, std::wcout) drops everything after such a character when standard
// output is a file or pipe; here each one becomes the code page's default character ('?')
// and the rest of the text, and all later output, is kept.

// text in codePage, unrepresentable characters replaced; never throws but std::bad_alloc.
std::string ToConsoleCodePage(const std::wstring& text, std::uint32_t codePage);

// Whether handle is a console's (a console program's standard output, say); false for a file,
// a pipe, the null device, or no handle at all.
bool IsConsole(void* handle);

// The code page of standard output: the console's output code page when it is a console,
// else the system ANSI code page (what a redirected file or pipe is read in).
std::uint32_t ConsoleCodePage();

// Writes text converted to ConsoleCodePage() to std::cout, in order with everything else printed
// there.
void WriteConsoleText(const std::wstring& text);

} // namespace BriskenCommandLineScanner
