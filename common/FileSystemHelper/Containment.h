#pragma once

#include <boost/filesystem/path.hpp>

namespace FileSystemHelper
{

// True when path names folder itself or a place below it, however either is spelt: relative to
// the current folder, in another case, with "." and "..", forward slashes, a separator at the
// end, the "\\?\" prefix, short names, or through links (the parts that exist are resolved to
// the place they lead to; the rest is taken as written). Also when folder does not exist yet:
// then where it would be is compared, the part of it that exists resolved as above. False when
// a path cannot be resolved. Never throws but std::bad_alloc.
bool LeadsInto(const boost::filesystem::path& path, const boost::filesystem::path& folder);

} // namespace FileSystemHelper
