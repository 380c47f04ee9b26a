#include "Program/RequestDuration.h"

#include <boost/date_time/posix_time/posix_time_io.hpp>

namespace BriskenCommandLineScanner
{

void WriteRequestDuration(std::ostream& out, const boost::posix_time::ptime& start, const boost::posix_time::ptime& end)
{
    out << "Request duration: " << (end - start) << std::endl;
}

} // namespace BriskenCommandLineScanner
