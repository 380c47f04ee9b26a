#pragma once

#include <string>

namespace UpdateSdkStandIn
{

// Whether a UTF-8 name from the server is one plain file name that stays inside the folder
// it is joined to: a single path element, no drive, root, UNC prefix, "." or "..", nothing
// that Windows would strip or read as a device, no control or reserved characters.
bool IsPlainFileName(const std::string& name);

// The UTF-8 text as wide text; empty when it is not valid UTF-8.
std::wstring Utf8ToWide(const std::string& text);

} // namespace UpdateSdkStandIn
