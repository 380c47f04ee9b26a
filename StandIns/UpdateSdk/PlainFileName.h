#pragma once

#include "Utf8.h"

#include <string>

namespace UpdateSdkStandIn
{

// Whether a UTF-8 name from the server is one plain file name that stays inside the folder
// it is joined to: a single path element, no drive, root, UNC prefix, "." or "..", nothing
// that Windows would strip or read as a device, no control or reserved characters.
bool IsPlainFileName(const std::string& name);

// Whether the UTF-8 name is one that no set may list: update.txt, which Install writes itself.
bool IsReservedFileName(const std::string& name);

// A file name as Windows compares it: without regard to case.
std::wstring FileNameKey(const std::wstring& name);

// The reference engine's conversions, shared as its SHA-256 is.
using ReferenceEngine::Utf8ToWide;
using ReferenceEngine::WideToUtf8;

} // namespace UpdateSdkStandIn
