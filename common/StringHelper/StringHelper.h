#pragma once

#include <cstdint>
#include <string>

// Conversions between narrow and wide text in a code page the caller names (CP_ACP, CP_UTF8).
// Lengths are explicit, so embedded NULs convert like any other character. A text that cannot
// be converted gives an empty result; nothing throws.
namespace StringHelper
{

// The code pages callers name, without <windows.h>: CP_ACP (the system ANSI code page) and CP_UTF8.
constexpr std::uint32_t AnsiCodePage = 0;
constexpr std::uint32_t Utf8CodePage = 65001;

std::wstring ToWide(const std::string& text, std::uint32_t codePage);
std::string ToNarrow(const std::wstring& text, std::uint32_t codePage);

// Whether text is valid UTF-8, as the system's converter judges it: no stray byte, overlong
// form, encoded surrogate, code beyond U+10FFFF or sequence cut short. The empty text is.
bool IsUtf8(const std::string& text);

// text as UTF-8 when it is valid UTF-8, else in the ANSI code page. For narrow texts that may be
// either, such as exception messages: own code writes paths and COM messages into them in UTF-8,
// Boost names paths in the ANSI code page.
std::wstring Utf8OrAnsiToWide(const std::string& text);

// text with every control character but tab (U+0000 to U+001F, U+007F to U+009F) written as '?'.
// For text from outside the program on its way into a console or log line: a line break there
// would forge a line of its own, an escape sequence would drive the terminal.
std::wstring MaskControlCharacters(const std::wstring& text);
// The same for narrow text in codePage; text without such a character comes back unchanged.
std::string MaskControlCharacters(const std::string& text, std::uint32_t codePage);

} // namespace StringHelper
