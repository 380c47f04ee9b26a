#include "ExceptionHelper/WindowsException.h"

#include <windows.h>

namespace ExceptionHelper
{

Windows::Windows(const std::string& message) : Exception(message)
{
    *this << ErrorInfo(GetLastError());
}

} // namespace ExceptionHelper
