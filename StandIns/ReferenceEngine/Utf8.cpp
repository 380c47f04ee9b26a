#include "Utf8.h"

#include <windows.h>

namespace ReferenceEngine
{

std::wstring Utf8ToWide(const std::string& text)
{
    if (text.empty() || text.size() > 0x7fffffff)
        return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), int(text.size()), nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), int(text.size()), &wide[0], length);
    return wide;
}

std::string WideToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &narrow[0], length, nullptr, nullptr);
    return narrow;
}

} // namespace ReferenceEngine
