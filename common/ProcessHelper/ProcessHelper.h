#pragma once

#include <boost/filesystem/path.hpp>

// Windows' module handle type (HMODULE, HINSTANCE), declared here without <windows.h>.
struct HINSTANCE__;

namespace ProcessHelper
{
namespace Process
{

// Full file name of a loaded module; null means the running executable.
// Throws ExceptionHelper::Windows "Couldn't get module file name".
boost::filesystem::path Path(HINSTANCE__* module);
boost::filesystem::path Path();

} // namespace Process
} // namespace ProcessHelper
