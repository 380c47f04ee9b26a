#pragma once

#include <boost/filesystem/path.hpp>

#include <windows.h>

namespace PathHelper
{
namespace Special
{

// Path of a shell special folder. Throws ExceptionHelper::Exception "SHGetFolderPath FAILED".
boost::filesystem::path FolderPath(int csidl, HANDLE token);

// The all-users application data folder (CSIDL_COMMON_APPDATA).
boost::filesystem::path CommonAppDataFolder();

} // namespace Special
} // namespace PathHelper
