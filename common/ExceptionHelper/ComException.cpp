#include "ExceptionHelper/ComException.h"

#include "ExceptionHelper/SystemText.h"
#include "StringHelper/StringHelper.h"

#include <windows.h>

#include <cstdio>

namespace ExceptionHelper
{
namespace
{

std::string ComErrorText(const _com_error& error)
{
    const std::wstring text = SystemText(static_cast<unsigned long>(error.Error()));
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
