#include "PathHelper/Special.h"

#include "ExceptionHelper/Exception.h"

#include <shlobj.h>

namespace PathHelper
{
namespace Special
{

boost::filesystem::path FolderPath(int csidl, void* token)
{
    wchar_t buffer[MAX_PATH] = {};
    const HRESULT hr = SHGetFolderPathW(nullptr, csidl, token, SHGFP_TYPE_CURRENT, buffer);
    if (FAILED(hr))
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("SHGetFolderPath FAILED"));
    return boost::filesystem::path(buffer);
}

boost::filesystem::path CommonAppDataFolder()
{
    return FolderPath(CSIDL_COMMON_APPDATA, nullptr);
}

} // namespace Special
} // namespace PathHelper
