#pragma once

#include "FileSystemHelper/Drive.h"

#include <boost/shared_ptr.hpp>

#include <vector>

namespace FileSystemHelper
{

// The machine's logical drive roots, in the order the system lists them; filled completely by
// the constructor and then only iterated.
class Drives : public std::vector<boost::shared_ptr<Drive>>
{
public:
    // Throws ExceptionHelper::Exception (no error code attached) when the system cannot list
    // the drives.
    Drives();
};

} // namespace FileSystemHelper
