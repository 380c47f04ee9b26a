#include "ExceptionHelper/SystemText.h"

#include <boost/shared_ptr.hpp>

#include <windows.h>

namespace ExceptionHelper
{

std::wstring SystemText(unsigned long code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
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

} // namespace ExceptionHelper
