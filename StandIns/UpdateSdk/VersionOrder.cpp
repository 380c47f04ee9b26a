#include "VersionOrder.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace UpdateSdkStandIn::VersionOrder
{
namespace
{

// The numbers of a dotted id without their leading zeros, or nothing for any other id.
std::optional<std::vector<std::string>> Numbers(const std::string& id)
{
    std::vector<std::string> numbers;
    std::size_t start = 0;
    for (;;)
    {
        const std::size_t dot = std::min(id.find('.', start), id.size());
        const std::string number = id.substr(start, dot - start);
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        numbers.push_back(number.substr(std::min(number.find_first_not_of('0'), number.size() - 1)));
        if (dot == id.size())
            return numbers;
        start = dot + 1;
    }
}

// Negative, zero or positive as a is less than, equal to or greater than b; numbers of any length.
int Compare(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

} // namespace

bool IsOlder(const std::string& offered, const std::string& installed)
{
    const auto installedNumbers = Numbers(installed);
    if (!installedNumbers)
        return false;
    const auto offeredNumbers = Numbers(offered);
    if (!offeredNumbers)
        return true;
    const std::string zero = "0";
    const std::size_t count = std::max(offeredNumbers->size(), installedNumbers->size());
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::string& a = i < offeredNumbers->size() ? (*offeredNumbers)[i] : zero;
        const std::string& b = i < installedNumbers->size() ? (*installedNumbers)[i] : zero;
        if (const int order = Compare(a, b))
            return order < 0;
    }
    return false;
}

} // namespace UpdateSdkStandIn::VersionOrder
