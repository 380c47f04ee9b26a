#include "FileSystemHelper/Drive.h"

namespace FileSystemHelper
{

Drive::Drive(const std::wstring& path) : path(path) {}

const std::wstring& Drive::Path() const
{
    return path;
}

} // namespace FileSystemHelper
