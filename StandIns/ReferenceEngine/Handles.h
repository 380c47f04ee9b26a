#pragma once

#include <windows.h>

namespace ReferenceEngine
{

// One owner per kind of handle, closed by that kind's function; INVALID_HANDLE_VALUE is "none".
template <BOOL(WINAPI* Close)(HANDLE)>
class HandleOwner
{
public:
    explicit HandleOwner(HANDLE handle = INVALID_HANDLE_VALUE) : handle(handle) {}
    ~HandleOwner() { Reset(); }
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;
    HANDLE Get() const { return handle; }
    bool Valid() const { return handle != INVALID_HANDLE_VALUE; }
    // Closes the handle now; false if closing failed.
    bool Reset(HANDLE next = INVALID_HANDLE_VALUE)
    {
        const bool closed = handle == INVALID_HANDLE_VALUE || Close(handle);
        handle = next;
        return closed;
    }

private:
    HANDLE handle;
};

using FileHandle = HandleOwner<&CloseHandle>;
using FindHandle = HandleOwner<&FindClose>;

} // namespace ReferenceEngine
