#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <ostream>

namespace BriskenCommandLineScanner
{

// The closing line of every run: "Request duration: " and end minus start in Boost's default
// duration format (HH:MM:SS, a fraction only when there are microseconds), then a flush.
void WriteRequestDuration(std::ostream& out, const boost::posix_time::ptime& start, const boost::posix_time::ptime& end);

} // namespace BriskenCommandLineScanner
