#pragma once

#include <boost/date_time/posix_time/ptime.hpp>

#include <string>

namespace TimeHelper
{

// The UTC time point as a date and time in the default date-time style of the global locale
// (a Boost.Locale one, as wmain installs) and in the local time zone; whole seconds, truncated
// toward zero. Empty when it cannot be formatted, which includes times the C run time cannot
// convert to local time (before 1970 on Windows). No std::exception leaves it.
std::wstring ToLocalizedDateTime(const boost::posix_time::ptime& time);

} // namespace TimeHelper
