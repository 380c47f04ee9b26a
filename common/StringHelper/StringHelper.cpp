#include "StringHelper/StringHelper.h"

#include <windows.h>

namespace StringHelper
{

static_assert(AnsiCodePage == CP_ACP && Utf8CodePage == CP_UTF8, "the header's code pages are Windows'");

std::wstring ToWide(const std::string& text, std::uint32_t codePage)
{
    if (text.empty())
        return std::wstring();
    const int length = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (n == 0)
        return std::wstring();
    std::wstring result(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, &result[0], n);
    return result;
}

std::string ToNarrow(const std::wstring& text, std::uint32_t codePage)
{
    if (text.empty())
        return std::string();
    const int length = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (n == 0)
        return std::string();
    std::string result(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), length, &result[0], n, nullptr, nullptr);
    return result;
}

} // namespace StringHelper
