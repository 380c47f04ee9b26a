#pragma once

#include <boost/core/noncopyable.hpp>
#include <boost/filesystem/path.hpp>
#include <boost/shared_ptr.hpp>

#include <functional>

namespace FileSystemHelper
{

// A shared lock on a folder that several processes use at once, such as an engine's working
// folder: while any lock on it lives, the folder cannot be removed or renamed, and only the
// process that lets go of the last one clears it. A lock is an open handle on the folder that
// shares reading and writing but not deletion, so the system ends it with its process, however
// that ends. Nothing here throws but std::bad_alloc.
class SharedFolderLock : private boost::noncopyable
{
public:
    // Opens a folder with that access and sharing; empty, with GetLastError set, when refused.
    using Opener = std::function<boost::shared_ptr<void>(const boost::filesystem::path& folder,
        unsigned long access, unsigned long sharing)>;

    // Creates folder with its missing parents and locks it, waiting while another process
    // clears it. Without a lock when the folder can be neither made nor opened, or when a
    // clearing outlasts every reasonable wait: the folder is then used unlocked.
    explicit SharedFolderLock(const boost::filesystem::path& folder);
    // The same, opening the folder through open (the system's answers, or a test's).
    SharedFolderLock(const boost::filesystem::path& folder, const Opener& open);

    // Lets go of the lock, leaving the folder as it is.
    ~SharedFolderLock() = default;

    // Lets go of the lock; unless another lock on the folder lives, runs clear, keeping new
    // locks waiting until it returns, and answers true.
    bool ReleaseAndClearIfLast(const std::function<void()>& clear);

private:
    boost::filesystem::path folder;
    Opener open;
    boost::shared_ptr<void> handle; // empty: not locked
};

} // namespace FileSystemHelper
