#pragma once

#include <boost/filesystem/path.hpp>

namespace BriskenCommandLineScanner
{

// True when the file carries a trusted Authenticode signature whose signer's simple display
// name, lower-cased with the global locale, is exactly "corvantis limited". Every failure of
// the check answers false; nothing is logged and no std::exception or boost::exception leaves.
bool IsOwnSignedFile(const boost::filesystem::path& file);

} // namespace BriskenCommandLineScanner
