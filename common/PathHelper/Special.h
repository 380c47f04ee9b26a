#pragma once

#include <boost/filesystem/path.hpp>

namespace PathHelper
{
namespace Special
{

// Path of a shell special folder; token is an access token HANDLE or null, taken as void* so
// that callers need not include <windows.h>. Throws ExceptionHelper::Exception "SHGetFolderPath FAILED".
boost::filesystem::path FolderPath(int csidl, void* token);

// The all-users application data folder (CSIDL_COMMON_APPDATA).
boost::filesystem::path CommonAppDataFolder();

} // namespace Special
} // namespace PathHelper
