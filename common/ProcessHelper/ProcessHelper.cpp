#include "ProcessHelper/ProcessHelper.h"

#include "ExceptionHelper/WindowsException.h"

#include <type_traits>
#include <vector>

#include <windows.h>

static_assert(std::is_same<HINSTANCE, HINSTANCE__*>::value, "the header's module handle is Windows'");

namespace ProcessHelper
{
namespace Process
{
namespace
{

// Longest path the system hands out, with the \\?\ prefix.
const DWORD MaxLongPath = 32768;

} // namespace

boost::filesystem::path Path(HINSTANCE module)
{
    // A module may live below a folder whose path is longer than MAX_PATH: grow the buffer
    // until the name fits instead of returning a cut name (the program folder is derived from it).
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    for (;;)
    {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD n = GetModuleFileNameW(module, buffer.data(), size);
        if (n == 0)
            BOOST_THROW_EXCEPTION(ExceptionHelper::Windows("Couldn't get module file name"));
        if (n < size)
            return boost::filesystem::path(std::wstring(buffer.data(), n));
        if (size >= MaxLongPath)
        {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            BOOST_THROW_EXCEPTION(ExceptionHelper::Windows("Couldn't get module file name"));
        }
        buffer.assign(std::min<DWORD>(size * 2, MaxLongPath), L'\0');
    }
}

boost::filesystem::path Path()
{
    return Path(nullptr);
}

} // namespace Process
} // namespace ProcessHelper
