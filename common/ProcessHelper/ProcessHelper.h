#pragma once

#include <boost/filesystem/path.hpp>

#include <windows.h>

namespace ProcessHelper
{
namespace Process
{

// Full file name of a loaded module; null means the running executable.
// Throws ExceptionHelper::Windows "Couldn't get module file name".
boost::filesystem::path Path(HINSTANCE module);
boost::filesystem::path Path();

} // namespace Process
} // namespace ProcessHelper
