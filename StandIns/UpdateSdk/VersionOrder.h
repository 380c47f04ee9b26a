#pragma once

#include <string>

// The order of definitions set version ids, so that no update goes back to an older set.
namespace UpdateSdkStandIn::VersionOrder
{

// Whether the set of the offered id is older than the installed one. Ids made of decimal
// numbers separated by dots ("2026.11.20.1") compare number by number, a missing number
// counting as 0 ("1.2" as "1.2.0"); any other id (none, "3.1 beta") is older than every such
// id, and two other ids are not ordered: neither is older.
bool IsOlder(const std::string& offered, const std::string& installed);

} // namespace UpdateSdkStandIn::VersionOrder
