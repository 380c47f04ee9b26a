#pragma once

#include <cstdint>
#include <string>

namespace UpdateSdkStandIn
{

// Applies a patch (format in README.md) to the base content. The result is at most
// maxSize bytes. Throws UpdateError(VerificationFailed) for a patch that is malformed,
// reaches outside the base or makes a longer result.
std::string ApplyPatch(const std::string& base, const std::string& patch, std::uint64_t maxSize);

} // namespace UpdateSdkStandIn
