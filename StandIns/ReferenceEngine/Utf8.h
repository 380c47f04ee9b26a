#pragma once

#include <string>

namespace ReferenceEngine
{

// The UTF-8 text as wide text; empty when it is not valid UTF-8 (or too long to convert).
std::wstring Utf8ToWide(const std::string& text);
// The wide text in UTF-8 (an unpaired surrogate becomes U+FFFD).
std::string WideToUtf8(const std::wstring& text);

} // namespace ReferenceEngine
