#pragma once

#include <boost/date_time/posix_time/ptime.hpp>

#include <cstdint>

namespace BriskenCommandLineScanner
{

// The engine's release time (unsigned seconds since 1970-01-01 00:00:00 UTC) as a time point;
// every value of the 32 bits lies between 1970 and 2106-02-07 06:28:15.
boost::posix_time::ptime FromSecondsSince1970(std::uint32_t seconds);

} // namespace BriskenCommandLineScanner
