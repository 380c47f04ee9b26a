#pragma once

#include <boost/filesystem/path.hpp>
#include <boost/json/object.hpp>

#include <string>

namespace BriskenCommandLineScanner
{

// The partner file, which another component writes and this program only reads:
// <common application data>\Corvantis\Brisken 11\Options\UpdateServer.txt. Throws the folder
// lookup's exception when the common application-data folder cannot be found.
boost::filesystem::path UpdateServerFilePath();

// The deploy platform the partner file names, empty when there is no file or it gives none, or
// one that holds a control character or a character XML cannot carry (logged). Failures are
// logged, never thrown.
std::wstring GetDeployPlatform();

// GetDeployPlatform for the partner file at file.
std::wstring ReadDeployPlatform(const boost::filesystem::path& file);

// The partner file's member named PlatformKey into value, in UTF-8. False, with the reason
// logged, when the file cannot be read, holds no object, or the member is absent or not a string.
bool ReadPartnerValue(const boost::filesystem::path& file, std::string& value);

// The members of the object the file holds into object, their texts in UTF-8: the file's text is
// UTF-8 after a byte-order mark (which is passed over), else in the ANSI code page. False, with
// the reason logged, when the file is missing, unreadable, empty, not UTF-8 after a byte-order
// mark, not JSON, or its first value is not an object.
bool ReadPartnerFile(const boost::filesystem::path& file, boost::json::object& object);

} // namespace BriskenCommandLineScanner
