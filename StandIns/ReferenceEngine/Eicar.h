#pragma once

#include <string>

namespace ReferenceEngine
{

// The 68-byte EICAR anti-virus test string. Put together at run time from pieces so that
// neither the sources nor the built module hold it whole (other scanners would flag them).
const std::string& EicarString();

} // namespace ReferenceEngine
