#pragma once

#include "ExceptionHelper/Exception.h"

#include <boost/exception/info.hpp>

#include <comdef.h>

namespace ExceptionHelper
{

struct TagErrorInfoCom
{
};

using ErrorInfoCom = boost::error_info<TagErrorInfoCom, _com_error>;

// A failed COM call: the message is the UTF-8 text of the COM error, which is attached too.
class Com : public Exception
{
public:
    explicit Com(const _com_error& error);
};

} // namespace ExceptionHelper
