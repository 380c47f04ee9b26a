#pragma once

#include "ExceptionHelper/Exception.h"

#include <boost/exception/info.hpp>

namespace ExceptionHelper
{

struct TagError
{
};

using ErrorInfo = boost::error_info<TagError, unsigned long>;

// A failed Win32 call: carries the thread's last error code, read when the exception is built,
// so build it directly after the failing call.
class Windows : public Exception
{
public:
    explicit Windows(const std::string& message);
};

} // namespace ExceptionHelper
