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

} // namespace ReferenceEngine
