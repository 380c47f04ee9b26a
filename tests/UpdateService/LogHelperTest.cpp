// The component update service client's log facade: no sink means nothing is wanted or written,
// a live sink gets everything unchanged, and a sink that is gone is never called.
#include "UpdateService/LogHelper/Log.h"

#include "support/LogTestPeer.h"
#include "support/RecordingSink.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>

using LogHelper::Log;
using LogHelper::LogTestPeer;
using TestSupport::RecordingSink;

namespace
{

const std::int32_t Levels[] = {0, 1000, 2000, 4000, -1, INT_MAX, INT_MIN};

// Counts into storage that outlives it, so that a test can tell what reached a sink after its end.
class CountingSink final : public LogHelper::Sink
{
public:
    CountingSink(int& writes, bool& destroyed) : writes(writes), destroyed(destroyed) {}
    ~CountingSink() { destroyed = true; }

    void Write(const std::wstring&, const std::string&, int, std::int32_t, const std::wstring&) override { ++writes; }
    bool IsEnabled(std::int32_t) override { return true; }

private:
    int& writes;
    bool& destroyed;
};

class ThrowingSink final : public LogHelper::Sink
{
public:
    void Write(const std::wstring&, const std::string&, int, std::int32_t, const std::wstring&) override
    {
        throw std::runtime_error("sink failed");
    }
    bool IsEnabled(std::int32_t) override { throw std::runtime_error("sink failed"); }
};

} // namespace

TEST(LogHelperTest, WithoutSinkNoLevelIsWantedAndWriteDoesNothing)
{
    Log* log = Log::Instance();
    ASSERT_NE(log, nullptr);
    for (const std::int32_t level : Levels)
        EXPECT_FALSE(log->IsEnabled(level)) << level;
    log->Write(L"UpdateService", "UpdateService::Wrapper::GetComponent", 1, 2000, L"dropped");
}

TEST(LogHelperTest, InstanceIsOneFacadeUntilTeardownThenAFreshEmptyOne)
{
    EXPECT_EQ(Log::Instance(), Log::Instance());

    const auto sink = boost::make_shared<RecordingSink>();
    LogTestPeer::SetSink(sink);
    ASSERT_TRUE(Log::Instance()->IsEnabled(2000));

    LogTestPeer::Teardown();
    Log* fresh = Log::Instance();
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh, Log::Instance());
    // The sink is still alive, but the new facade does not know it.
    EXPECT_FALSE(fresh->IsEnabled(2000));
    fresh->Write(L"c", "f", 1, 2000, L"m");
    EXPECT_TRUE(sink->messages.empty());
}

TEST(LogHelperTest, LiveSinkDecidesLevelsAndGetsTheFiveValuesUnchanged)
{
    const auto sink = boost::make_shared<RecordingSink>([](std::int32_t level) { return level == 4000; });
    LogTestPeer::SetSink(sink);
    Log* log = Log::Instance();

    EXPECT_TRUE(log->IsEnabled(4000));
    EXPECT_FALSE(log->IsEnabled(2000));
    EXPECT_EQ(sink->askedLevels, (std::vector<std::int32_t>{4000, 2000}));

    log->Write(L"Update\u00e9Service", "Ns::Function", 1234, -7, L"text with \u20ac and \n line");
    ASSERT_EQ(sink->messages.size(), 1u);
    EXPECT_EQ(sink->messages[0].component, L"Update\u00e9Service");
    EXPECT_EQ(sink->messages[0].function, "Ns::Function");
    EXPECT_EQ(sink->messages[0].line, 1234);
    EXPECT_EQ(sink->messages[0].level, -7);
    EXPECT_EQ(sink->messages[0].message, L"text with \u20ac and \n line");
    // The facade holds the sink weakly: the test's reference is the only strong one.
    EXPECT_EQ(sink.use_count(), 1);
}

TEST(LogHelperTest, SinkReleasedBetweenIsEnabledAndWriteGetsNoWrite)
{
    int writes = 0;
    bool destroyed = false;
    auto sink = boost::make_shared<CountingSink>(writes, destroyed);
    LogTestPeer::SetSink(sink);
    Log* log = Log::Instance();

    ASSERT_TRUE(log->IsEnabled(2000));
    sink.reset();
    ASSERT_TRUE(destroyed);
    log->Write(L"UpdateService", "UpdateService::Wrapper::GetComponent", 1, 2000, L"too late");

    EXPECT_EQ(writes, 0);
    EXPECT_FALSE(log->IsEnabled(2000));
}

TEST(LogHelperTest, SinkExceptionsReachTheCallerAndReleaseTheSink)
{
    const auto sink = boost::make_shared<ThrowingSink>();
    LogTestPeer::SetSink(sink);
    Log* log = Log::Instance();

    EXPECT_THROW(log->IsEnabled(1000), std::runtime_error);
    EXPECT_THROW(log->Write(L"c", "f", 1, 1000, L"m"), std::runtime_error);
    EXPECT_EQ(sink.use_count(), 1);
}
