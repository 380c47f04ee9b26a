#include "ExceptionHelper/ComException.h"

#include "StringHelper/StringHelper.h"

#include <boost/shared_ptr.hpp>

#include <windows.h>

#include <cstdio>

namespace ExceptionHelper
{
namespace
{

// The system's text for the HRESULT, without its closing line break. Inserts such as %1 are
// left as they stand (the platform's own _com_error here would refuse such a text).
std::wstring SystemText(HRESULT hr)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer), 0,
        nullptr);
    if (!buffer)
        return std::wstring();
    const boost::shared_ptr<void> owner(buffer, &LocalFree);
    std::wstring text(buffer, length);
    if (text.size() > 1 && text.back() == L'\n')
    {
        text.pop_back();
        if (text.back() == L'\r')
            text.pop_back();
    }
    return text;
}

std::string ComErrorText(const _com_error& error)
{
    const std::wstring text = SystemText(error.Error());
    if (!text.empty())
        return StringHelper::ToNarrow(text, CP_UTF8);
    char fallback[32];
    if (error.WCode() != 0)
        std::snprintf(fallback, sizeof fallback, "IDispatch error #%d", static_cast<int>(error.WCode()));
    else
        std::snprintf(fallback, sizeof fallback, "Unknown error 0x%0lX", static_cast<unsigned long>(error.Error()));
    return fallback;
}

} // namespace

Com::Com(const _com_error& error) : Exception(ComErrorText(error))
{
    *this << ErrorInfoCom(error);
}

} // namespace ExceptionHelper
