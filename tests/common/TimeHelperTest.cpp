#include "TimeHelper/TimeHelper.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/locale/generator.hpp>

#include <gtest/gtest.h>

#include <ctime>
#include <locale>
#include <stdexcept>
#include <stdlib.h>

namespace
{

using boost::posix_time::milliseconds;
using boost::posix_time::ptime;
using boost::posix_time::seconds;

const ptime epoch(boost::gregorian::date(1970, 1, 1));

void SetTimeZone(const char* zone)
{
    _putenv_s("TZ", zone);
    _tzset();
}

// A Boost.Locale locale as the program's entry installs one, here for a fixed language, and the
// C run time's local time zone set through TZ.
class TimeHelperTest : public testing::Test
{
protected:
    void SetUp() override
    {
        previous = std::locale::global(boost::locale::generator()("en_US.UTF-8"));
        SetTimeZone("UTC0");
    }

    void TearDown() override
    {
        std::locale::global(previous);
        _putenv_s("TZ", "");
        _tzset();
    }

    std::locale previous;
};

TEST_F(TimeHelperTest, WholeSecondsInTheLocaleStyle)
{
    const struct
    {
        ptime time;
        const wchar_t* text;
    } cases[] = {
        {epoch, L"1/1/1970 12:00:00 AM"},
        {epoch + seconds(1), L"1/1/1970 12:00:01 AM"},
        {epoch + seconds(1) + milliseconds(900), L"1/1/1970 12:00:01 AM"}, // truncated, not rounded
        {ptime(boost::gregorian::date(2024, 1, 5), boost::posix_time::hours(13) + boost::posix_time::minutes(15)),
            L"1/5/2024 1:15:00 PM"},
        // Beyond the signed 32-bit count: the seconds are carried whole.
        {epoch + seconds(2147483647), L"1/19/2038 3:14:07 AM"},
        {epoch + seconds(2147483648LL), L"1/19/2038 3:14:08 AM"},
        {epoch + seconds(4294967295LL), L"2/7/2106 6:28:15 AM"},
        {epoch + seconds(5000000000LL), L"6/11/2128 8:53:20 AM"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, TimeHelper::ToLocalizedDateTime(c.time)) << boost::posix_time::to_simple_string(c.time);
}

TEST_F(TimeHelperTest, ShownInTheLocalTimeZone)
{
    SetTimeZone("EST5");
    EXPECT_EQ(L"12/31/1969 7:00:00 PM", TimeHelper::ToLocalizedDateTime(epoch));
    EXPECT_EQ(L"2/7/2106 1:28:15 AM", TimeHelper::ToLocalizedDateTime(epoch + seconds(4294967295LL)));
}

// Windows' C run time has no local time before 1970, and Boost.Locale would read through its
// null answer.
TEST_F(TimeHelperTest, TimesWithoutALocalTimeGiveTheEmptyText)
{
    std::time_t before = -1;
    ASSERT_EQ(nullptr, std::localtime(&before));
    for (const ptime& time : {epoch - seconds(1), epoch - milliseconds(1900), ptime(boost::gregorian::date(1901, 12, 13))})
        EXPECT_EQ(L"", TimeHelper::ToLocalizedDateTime(time)) << boost::posix_time::to_simple_string(time);
    EXPECT_EQ(L"", TimeHelper::ToLocalizedDateTime(ptime(boost::date_time::not_a_date_time)));
}

TEST_F(TimeHelperTest, AStandardLocalePrintsTheBareSeconds)
{
    std::locale::global(std::locale::classic());
    EXPECT_EQ(L"5", TimeHelper::ToLocalizedDateTime(epoch + seconds(5) + milliseconds(999)));
    EXPECT_EQ(L"4294967296", TimeHelper::ToLocalizedDateTime(epoch + seconds(4294967296LL)));
}

// A locale whose number formatting throws: the caller gets the empty text and goes on.
class ThrowingNumPut : public std::num_put<wchar_t>
{
protected:
    iter_type do_put(iter_type, std::ios_base&, wchar_t, long long) const override
    {
        throw std::runtime_error("formatting failed");
    }
};

TEST_F(TimeHelperTest, AFailingFormatterGivesTheEmptyText)
{
    std::locale::global(std::locale(std::locale::classic(), new ThrowingNumPut));
    EXPECT_EQ(L"", TimeHelper::ToLocalizedDateTime(epoch + seconds(5)));
}

} // namespace
