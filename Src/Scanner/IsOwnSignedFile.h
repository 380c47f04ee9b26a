#pragma once

#include <boost/filesystem/path.hpp>

namespace BriskenCommandLineScanner
{

// True when the file carries a trusted Authenticode signature whose signer's simple display
// name, lower-cased with the global locale, is exactly "corvantis limited", and, when it is an
// executable image, holds nothing in its certificate table beside that signature. The file is
// opened once, shared for reading only, and every question is asked through that handle: a file
// that cannot be opened so (another program writes to it) is not the maker's. Every failure of
// the check answers false; nothing is logged and no std::exception or boost::exception leaves.
bool IsOwnSignedFile(const boost::filesystem::path& file);

} // namespace BriskenCommandLineScanner
