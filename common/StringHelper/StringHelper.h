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

} // namespace StringHelper
