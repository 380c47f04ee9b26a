#include "ExceptionHelper/Exception.h"

namespace ExceptionHelper
{

Exception::Exception(const std::string& message) : message(message) {}

const char* Exception::what() const noexcept
{
    return message.c_str();
}

} // namespace ExceptionHelper
