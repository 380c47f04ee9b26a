#pragma once

#include <boost/filesystem/path.hpp>

#include <filesystem>
#include <vector>

namespace FileSystemHelper
{
namespace File
{

// Size in bytes of an open file. Throws ExceptionHelper::Windows "Couldn't get file size".
__int64 GetSize(void* handle);

// Reads the whole file through a read-only mapping into data. True when data holds exactly the
// file's bytes; false, with data untouched, when the file cannot be opened (missing, no access,
// open for writing elsewhere), mapped (zero length included) or viewed. GetSize's exception
// passes through. Handles are closed on every path.
bool ReadAll(const boost::filesystem::path& file, std::vector<char>& data);

// The path in the form that makes a standard file stream open the file by its wide name. The
// streams of boost::filesystem, and any stream given path.string(), open by the narrow (ANSI)
// name, in which a character outside that code page makes the file unreachable.
std::filesystem::path StreamPath(const boost::filesystem::path& file);

} // namespace File
} // namespace FileSystemHelper
