#include "Information/FromSecondsSince1970.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>

namespace BriskenCommandLineScanner
{

boost::posix_time::ptime FromSecondsSince1970(std::uint32_t seconds)
{
    // Boost's seconds field is 64-bit: the count keeps its unsigned value.
    return boost::posix_time::ptime(boost::gregorian::date(1970, 1, 1))
        + boost::posix_time::time_duration(0, 0, static_cast<boost::posix_time::time_duration::sec_type>(seconds));
}

} // namespace BriskenCommandLineScanner
