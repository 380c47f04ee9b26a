#pragma once

#include <string>

// The "Version: ..." line of Plugins/update.txt, the version id of the installed set. The
// program reads the same line; other lines of the file belong to others and are kept.
namespace UpdateSdkStandIn::PluginsVersionFile
{

// Everything after "Version: " on the first line that has at least one character there;
// empty when no line has.
std::string ReadVersion(const std::string& content);
// The content with that first version line replaced, or with a version line put first
// when there is none.
std::string WithVersion(const std::string& content, const std::string& version);

} // namespace UpdateSdkStandIn::PluginsVersionFile
