// The component lookup built with a 2-second limit for its exchange: no service, or a peer that
// never answers, answers too slowly, or far too much, ends the lookup with false in bounded time
// and memory.
#include "UpdateService/Wrapper.h"

#include "support/ComponentServicePeer.h"
#include "support/LogTestPeer.h"
#include "support/RecordingSink.h"
#include "support/RefusingComponentPort.h"

#include <boost/make_shared.hpp>

#include <stdsoap2.h>

#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>

using TestSupport::ComponentServicePeer;
using UpdateService::Component;

namespace
{

// Far above the 2-second limits however busy the machine, far below the peers' 300 seconds.
const std::chrono::seconds Bound(60);
// The short-limits lookup asks its peer on a port of its own.
const char* const PeerHost = BRISKEN_SHORT_LIMITS_COMPONENTS_HOST;

std::size_t PeakPrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakPagefileUsage;
}

struct Outcome
{
    bool result;
    std::chrono::milliseconds elapsed;
    Component record;
};

Outcome TimedLookup()
{
    Outcome outcome{};
    outcome.record.version = L"earlier";
    const auto start = std::chrono::steady_clock::now();
    outcome.result = UpdateService::Wrapper::GetComponent(L"BriskenCommandLineScanner", L"prod", L"x64", L"",
        L"11.11.905.9127", outcome.record);
    outcome.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("lookup took %lld ms\n", static_cast<long long>(outcome.elapsed.count()));
    return outcome;
}

} // namespace

TEST(WrapperLimitsTest, ServiceDownEndsTheLookupWithTheConnectFailure)
{
    const TestSupport::RefusingComponentPort down(PeerHost);
    const auto sink = boost::make_shared<TestSupport::RecordingSink>([](std::int32_t level) { return level == 4000; });
    LogHelper::LogTestPeer::SetSink(sink);

    const Outcome outcome = TimedLookup();

    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.record.version, L"earlier");
    EXPECT_LT(outcome.elapsed, Bound);
    ASSERT_EQ(sink->messages.size(), 1u);
    EXPECT_EQ(sink->messages[0].message, L"GetComponentInfo failed. result=" + std::to_wstring(SOAP_TCP_ERROR));
}

TEST(WrapperLimitsTest, PeerThatAcceptsAndNeverAnswersEndsTheLookup)
{
    ComponentServicePeer peer({L"--silent"}, PeerHost);

    const Outcome outcome = TimedLookup();

    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.record.version, L"earlier");
    EXPECT_GE(outcome.elapsed, std::chrono::milliseconds(1500));
    EXPECT_LT(outcome.elapsed, Bound);
    // It did reach the peer: the limit, not a refused connection, ended it.
    EXPECT_FALSE(peer.RequestBody().empty());
}

TEST(WrapperLimitsTest, PeerThatTricklesItsAnswerEndsTheLookup)
{
    // Each byte comes well within the receive limit; the whole answer would take minutes.
    ComponentServicePeer peer({L"--trickle", L"0.25"}, PeerHost);

    const Outcome outcome = TimedLookup();

    EXPECT_FALSE(outcome.result);
    EXPECT_LT(outcome.elapsed, Bound);
    EXPECT_FALSE(peer.RequestBody().empty());
}

// One limit for connect, send and receive together: a reply whose every piece comes well within
// it still ends with it, not with a limit per receive. Three pauses of 1.9 seconds; a limit per
// receive (and one on the reply's transfer, counted in whole seconds) would let it run 3.8.
TEST(WrapperLimitsTest, PeerThatPausesJustLessThanTheLimitBeforeEachPieceIsCutOffAtTheLimit)
{
    ComponentServicePeer peer({L"--cut", L"<Version>|11.11|.905|.9128", L"--pause", L"1.9"}, PeerHost);

    const Outcome outcome = TimedLookup();

    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.record.version, L"earlier");
    EXPECT_LT(outcome.elapsed, std::chrono::milliseconds(3000));
    EXPECT_FALSE(peer.RequestBody().empty());
}

// A body that declares no length, or comes in chunks, is read until the size limit cuts it off:
// it ends the lookup with the limit's refusal (not the deadline's), and nothing near its size is
// ever held.
TEST(WrapperLimitsTest, HugeReplyEndsTheLookupWithoutExhaustingMemory)
{
    for (const wchar_t* framing : {L"--no-length", L"--chunked"})
    {
        ComponentServicePeer peer({L"--huge", L"100", framing}, PeerHost);
        const auto sink =
            boost::make_shared<TestSupport::RecordingSink>([](std::int32_t level) { return level == 4000; });
        LogHelper::LogTestPeer::SetSink(sink);
        const std::size_t peakBefore = PeakPrivateBytes();

        const Outcome outcome = TimedLookup();

        const std::size_t growth = PeakPrivateBytes() - peakBefore;
        std::printf("peak private bytes grew by %zu KiB\n", growth / 1024);
        EXPECT_FALSE(outcome.result) << framing;
        EXPECT_EQ(outcome.record.version, L"earlier") << framing;
        EXPECT_LT(outcome.elapsed, Bound) << framing;
        EXPECT_LT(growth, std::size_t(32) * 1024 * 1024) << framing;
        ASSERT_EQ(sink->messages.size(), 1u) << framing;
        EXPECT_EQ(sink->messages[0].message, L"GetComponentInfo failed. result=" + std::to_wstring(SOAP_SYNTAX_ERROR))
            << framing;
        EXPECT_FALSE(peer.RequestBody().empty()) << framing;
    }
}
