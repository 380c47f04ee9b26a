#include "StringHelper/StringHelper.h"

#include <windows.h>

#include <algorithm>

namespace StringHelper
{

namespace
{

bool IsControl(wchar_t c)
{
    return (c < 0x20 && c != L'\t') || (c >= 0x7F && c <= 0x9F);
}

bool IsAsciiControl(char c)
{
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte < 0x80 && IsControl(byte);
}

} // namespace

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

bool IsUtf8(const std::string& text)
{
    return text.empty() ||
           MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0) != 0;
}

std::wstring Utf8OrAnsiToWide(const std::string& text)
{
    return ToWide(text, IsUtf8(text) ? CP_UTF8 : CP_ACP);
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

std::wstring MaskControlCharacters(const std::wstring& text)
{
    std::wstring result(text);
    std::replace_if(result.begin(), result.end(), IsControl, L'?');
    return result;
}

std::string MaskControlCharacters(const std::string& text, std::uint32_t codePage)
{
    const std::wstring wide = ToWide(text, codePage);
    if (wide.empty() && !text.empty())
    {
        // A code page the system cannot convert from: at least no ASCII control gets through.
        std::string result(text);
        std::replace_if(result.begin(), result.end(), IsAsciiControl, '?');
        return result;
    }
    // Only decoded can a byte be told from a part of a character (0x85 is a control in one code
    // page, a letter in another); an untouched text keeps its very bytes.
    if (std::none_of(wide.begin(), wide.end(), IsControl))
        return text;
    return ToNarrow(MaskControlCharacters(wide), codePage);
}

} // namespace StringHelper
