#include "FileSystemHelper/Drives.h"

#include "ExceptionHelper/Exception.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/make_shared.hpp>

#include <windows.h>

namespace FileSystemHelper
{

Drives::Drives()
{
    const DWORD length = GetLogicalDriveStringsW(0, nullptr);
    if (length == 0)
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("Couldn't get logical drive strings buffer size"));

    std::wstring buffer(length, L'\0');
    // Any non-zero result counts: a drive added between the two calls is not chased.
    if (GetLogicalDriveStringsW(length, &buffer[0]) == 0)
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("Couldn't get logical drive strings"));

    // The whole buffer is split: the terminating NULs give empty pieces, which are skipped.
    std::vector<std::wstring> pieces;
    boost::algorithm::split(pieces, buffer, boost::algorithm::is_any_of(std::wstring(1, L'\0')),
        boost::algorithm::token_compress_off);
    for (const std::wstring& piece : pieces)
    {
        if (!piece.empty())
            push_back(boost::make_shared<Drive>(piece));
    }
}

} // namespace FileSystemHelper
