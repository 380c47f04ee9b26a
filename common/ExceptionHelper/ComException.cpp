#include "ExceptionHelper/ComException.h"

#include "StringHelper/StringHelper.h"

#include <windows.h>

namespace ExceptionHelper
{
namespace
{

std::string ComErrorText(const _com_error& error)
{
    const wchar_t* text = error.ErrorMessage();
    return text ? StringHelper::ToNarrow(text, CP_UTF8) : std::string();
}

} // namespace

Com::Com(const _com_error& error) : Exception(ComErrorText(error))
{
    *this << ErrorInfoCom(error);
}

} // namespace ExceptionHelper
