#include "Program/RequestDuration.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace
{

using namespace boost::posix_time;
using BriskenCommandLineScanner::WriteRequestDuration;

struct DurationCase
{
    time_duration elapsed;
    const char* line;
};

TEST(RequestDurationTest, WritesHoursMinutesSecondsAndAFractionOnlyWhenThereIsOne)
{
    const DurationCase cases[] = {
        {seconds(0), "Request duration: 00:00:00\n"},
        {seconds(3) + milliseconds(42), "Request duration: 00:00:03.042000\n"},
        {seconds(70), "Request duration: 00:01:10\n"},
        {microseconds(1), "Request duration: 00:00:00.000001\n"},
        {hours(99) + minutes(59) + seconds(59), "Request duration: 99:59:59\n"},
        {hours(100) + seconds(1), "Request duration: 100:00:01\n"},
        {hours(123) + minutes(4) + seconds(5) + microseconds(600000), "Request duration: 123:04:05.600000\n"},
        {seconds(-1), "Request duration: -00:00:01\n"},
    };
    // Across midnight, as a long run would be.
    const ptime start(boost::gregorian::date(2016, 6, 24), hours(23) + minutes(59) + seconds(58));
    for (const DurationCase& c : cases)
    {
        std::ostringstream out;
        WriteRequestDuration(out, start, start + c.elapsed);
        EXPECT_EQ(c.line, out.str());
    }
}

} // namespace
