#pragma once

#include <boost/filesystem/path.hpp>

#include <functional>
#include <vector>

namespace FileSystemHelper
{

// Removal that never reaches through a link (symbolic link, junction or other reparse point)
// into what it leads to. Wine shows a Unix symbolic link to a folder as a reparse point, yet
// opens, renames and deletes its target for every call on the link, and Boost.Filesystem takes
// it for a plain folder: boost::filesystem::remove_all empties and removes the target.
// Nothing here throws but std::bad_alloc; failures leave things in place.

// True when path itself, not followed, carries the reparse-point attribute.
bool IsLink(const boost::filesystem::path& path);

// Removes the link itself, touching nothing it leads to. False, with nothing removed, when path
// is no link or the system opens only what it leads to (Wine).
bool RemoveLink(const boost::filesystem::path& path);

// Removes path with everything below it, like boost::filesystem::remove_all, but a link met on
// the way, path included, is not entered: it is removed itself by RemoveLink or left in place.
// Walks without recursion, however deep the tree.
void RemoveAll(const boost::filesystem::path& path);

// The names of the entries of folder; empty when it cannot be listed.
std::vector<boost::filesystem::path> EntryNames(const boost::filesystem::path& folder);

// Removes a folder that the program keeps for itself. When the folder is a link, what it leads
// to is not the program's: only the entries whose name owned accepts are removed there (by
// RemoveAll), then the link itself where the system allows.
void RemoveOwnFolder(const boost::filesystem::path& folder,
    const std::function<bool(const boost::filesystem::path& name)>& owned);

} // namespace FileSystemHelper
