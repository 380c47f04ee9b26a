#pragma once

#include <boost/core/noncopyable.hpp>
#include <boost/filesystem/path.hpp>

#include <cstddef>

namespace FileSystemHelper
{

// A file that takes the place of target whole or not at all. It is written as a new file of its
// own beside target (created, never opened through a link or over another file) and put in
// target's place only when Commit has flushed it to disk; until then target stays as it was, and
// a file that is never committed is removed. The move replaces what is at target, a file or a
// link, without writing through a link. Failures are kept, not thrown: the first one is the
// error code (a Win32 error) that Commit answers. Nothing here throws but std::bad_alloc.
class ReplacingFile : private boost::noncopyable
{
public:
    explicit ReplacingFile(const boost::filesystem::path& target);
    // Removes the new file unless it was committed.
    ~ReplacingFile();

    // Appends to the new file; does nothing after a failure.
    void Write(const void* data, std::size_t size);

    // Flushes the new file and moves it to target. 0 when target is the new file now; else the
    // error code of the first failure, and the new file is gone.
    unsigned long Commit();

private:
    void Discard();

    boost::filesystem::path target;
    boost::filesystem::path written; // the new file beside target
    void* handle;                    // the new file, open for writing and deletion
    unsigned long error = 0;
};

} // namespace FileSystemHelper
