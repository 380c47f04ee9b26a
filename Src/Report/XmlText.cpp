#include "Report/XmlText.h"

namespace BriskenCommandLineScanner
{

namespace
{

bool IsLead(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsTrail(wchar_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

bool IsForbidden(wchar_t c)
{
    return (c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') || c == 0xFFFE || c == 0xFFFF;
}

} // namespace

std::wstring XmlText(const std::wstring& text)
{
    std::wstring result(text);
    for (std::size_t i = 0; i < result.size(); ++i)
    {
        if (IsLead(result[i]) && i + 1 < result.size() && IsTrail(result[i + 1]))
            ++i; // a whole pair
        else if (IsForbidden(result[i]) || IsLead(result[i]) || IsTrail(result[i]))
            result[i] = L'?';
    }
    return result;
}

} // namespace BriskenCommandLineScanner
