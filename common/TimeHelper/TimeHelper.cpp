#include "TimeHelper/TimeHelper.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/locale/formatting.hpp>

#include <cstdint>
#include <ctime>
#include <sstream>

namespace TimeHelper
{

namespace
{

// Boost.Locale's local-time formatting dereferences the C run time's localtime() unchecked,
// and Windows answers null for times before 1970 and after 3000.
bool HasLocalTime(std::time_t seconds)
{
    return std::localtime(&seconds) != nullptr;
}

} // namespace

std::wstring ToLocalizedDateTime(const boost::posix_time::ptime& time)
{
    try
    {
        const boost::posix_time::time_duration sinceEpoch =
            time - boost::posix_time::ptime(boost::gregorian::date(1970, 1, 1));
        // All of the seconds: a 32-bit count would turn 2038 and later into dates in 1901.
        const std::int64_t seconds = sinceEpoch.total_microseconds() / 1000000;
        if (!HasLocalTime(static_cast<std::time_t>(seconds)))
            return std::wstring();

        std::wostringstream text;
        text << boost::locale::as::datetime << boost::locale::as::local_time << static_cast<long long>(seconds);
        return text.str();
    }
    catch (const std::exception&)
    {
        return std::wstring();
    }
}

} // namespace TimeHelper
