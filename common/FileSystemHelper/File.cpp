#include "FileSystemHelper/File.h"

#include "ExceptionHelper/WindowsException.h"

#include <boost/shared_ptr.hpp>

#include <cstring>
#include <memory>

#include <windows.h>

namespace FileSystemHelper
{
namespace File
{
namespace
{

// Owner of a kernel handle (file or mapping); closes it when the last copy goes.
using HandleOwner = boost::shared_ptr<void>;

HandleOwner OwnHandle(HANDLE handle)
{
    // Should the owner's own allocation fail, boost::shared_ptr closes the handle before it throws.
    return HandleOwner(handle, &CloseHandle);
}

struct ViewUnmapper
{
    void operator()(const void* view) const
    {
        // Nothing useful can be done about a failed unmap of a read-only view.
        UnmapViewOfFile(view);
    }
};

// Owner of a mapped view, so that a failed copy cannot leave the view mapped.
using ViewOwner = std::unique_ptr<const void, ViewUnmapper>;

// CreateFileMappingW reports failure as null; INVALID_HANDLE_VALUE is refused too, since no
// mapping can have that value and closing it would mean the current process.
bool IsValidMapping(HANDLE mapping)
{
    return mapping != nullptr && mapping != INVALID_HANDLE_VALUE;
}

} // namespace

// GetFileSizeEx sets the thread's last error on failure; the exception reads it when built, so
// nothing may run between the two.
//
// The handle is taken as void* (not HANDLE) so that callers need not include <windows.h>;
// the two types are the same.
__int64 GetSize(void* handle)
{
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(handle, &size))
        BOOST_THROW_EXCEPTION(ExceptionHelper::Windows("Couldn't get file size"));
    return size.QuadPart;
}

bool ReadAll(const boost::filesystem::path& file, std::vector<char>& data)
{
    const HANDLE handle = CreateFileW(file.c_str(), FILE_READ_DATA, FILE_SHARE_READ, nullptr,
        OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const HandleOwner fileOwner = OwnHandle(handle);

    const __int64 size = GetSize(handle);

    const HANDLE mapping = CreateFileMappingW(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!IsValidMapping(mapping))
        return false;
    // Declared after fileOwner, so the mapping is closed before the file.
    const HandleOwner mappingOwner = OwnHandle(mapping);

    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size));
    if (!view)
        return false;
    ViewOwner viewOwner(view);

    // resize gives the strong guarantee: should it throw, data keeps its previous content.
    data.resize(static_cast<std::size_t>(size));
    std::memcpy(data.data(), view, data.size());
    viewOwner.reset();
    return true;
}

std::filesystem::path StreamPath(const boost::filesystem::path& file)
{
    return std::filesystem::path(file.native());
}

} // namespace File
} // namespace FileSystemHelper
