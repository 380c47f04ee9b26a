#pragma once

#include <string>

namespace ExceptionHelper
{

// The system's text for an error code (a Win32 error or an HRESULT), without its closing line
// break; empty when the system has none. Inserts such as %1 are left as they stand. Never
// throws but std::bad_alloc.
std::wstring SystemText(unsigned long code);

} // namespace ExceptionHelper
