// The reply screen: a reply counts only when all of it arrived, ending where it says, with nothing
// but white space, comments and instructions after its envelope. Through the lookup, built with a
// 2-second exchange limit, so that a reply held back ends in bounded time; and its hooks as the
// runtime calls them, where what the lookup shows would not tell one rule from another.
#include "UpdateService/ExchangeDeadline.h"
#include "UpdateService/ReplyScreen.h"
#include "UpdateService/Wrapper.h"

#include "support/ComponentServicePeer.h"

#include <gtest/gtest.h>
#include <stdsoap2.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

using TestSupport::ComponentServicePeer;
using UpdateService::Component;
using UpdateService::Wrapper::ExchangeDeadline;
using UpdateService::Wrapper::ReplyScreen;

namespace
{

// Far above the 2-second limit however busy the machine, far below the peer's 300 seconds.
const std::chrono::seconds Bound(60);
// The short-limits lookup asks its peer on a port of its own.
const char* const PeerHost = BRISKEN_SHORT_LIMITS_COMPONENTS_HOST;

const wchar_t SecondEnvelope[] =
    L"<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\"><soap:Body>"
    L"<GetComponentInfoResponse xmlns=\"urn:corvantis:brisken:components:\"><GetComponentInfoResult>"
    L"<Id>BriskenCommandLineScanner</Id><Version>99.0.0.0</Version><DownloadUrl>http://x/</DownloadUrl>"
    L"</GetComponentInfoResult></GetComponentInfoResponse></soap:Body></soap:Envelope>";

// The lookup's size limit, and bodies of it or a byte more as the peer pads them, ending in more
// blanks than the reply's head has bytes: counted with the head, the envelope's end and the
// body's end fall on either side of the limit.
const wchar_t LimitBytes[] = L"1048576";
const wchar_t OverLimitBytes[] = L"1048577";
const std::wstring Blanks(1024, L' ');

std::vector<std::wstring> BodyOfSize(const wchar_t* size, std::vector<std::wstring> framing)
{
    framing.insert(framing.end(), {L"--body-size", size, L"--after-envelope", Blanks});
    return framing;
}

// A reply as the peer's options give it (its bytes and how they go: at once, cut, held open,
// closed early, trickled), and whether the lookup takes it.
struct ReplyCase
{
    const char* name;
    std::vector<std::wstring> answer;
    bool taken;
};

void PrintTo(const ReplyCase& c, std::ostream* out)
{
    *out << c.name;
}

const ReplyCase ReplyCases[] = {
    {"exactly_its_declared_length", {}, true},
    // The body has ended where it said: the connection need not end as well.
    {"exactly_its_declared_length_then_held_open", {L"--hold"}, true},
    {"no_length_ended_by_the_close", {L"--no-length"}, true},
    {"chunks_up_to_the_last", {L"--chunked", L"--cut", L"</soap:Body>|"}, true},
    {"white_space_a_comment_and_an_instruction_after_the_envelope",
        {L"--after-envelope", L"\r\n <!-- end -->\t<?pi x?>\r\n", L"--cut", L"</soap:Envelope>|"}, true},
    {"half_a_megabyte_of_blanks_after_the_envelope", {L"--blanks", L"0.5", L"--no-length"}, true},
    // The size is the body's alone, whatever else the runtime counts (the head) and however the
    // network cuts it: the envelope's end in the last receive, or before white space that comes
    // in a receive of its own.
    {"exactly_the_size_limit_ending_in_one_receive", BodyOfSize(LimitBytes, {L"--cut", L"|</soap:Envelope>"}), true},
    {"exactly_the_size_limit_with_its_last_blanks_apart", BodyOfSize(LimitBytes, {L"--cut", L"</soap:Envelope>|"}),
        true},
    {"exactly_the_size_limit_without_a_length_ending_in_one_receive",
        BodyOfSize(LimitBytes, {L"--no-length", L"--cut", L"|</soap:Envelope>"}), true},
    {"exactly_the_size_limit_without_a_length_with_its_last_blanks_apart",
        BodyOfSize(LimitBytes, {L"--no-length", L"--cut", L"</soap:Envelope>|"}), true},
    {"a_byte_over_the_size_limit_without_a_length_ending_in_one_receive",
        BodyOfSize(OverLimitBytes, {L"--no-length", L"--cut", L"|</soap:Envelope>"}), false},
    {"a_byte_over_the_size_limit_without_a_length_with_its_last_blanks_apart",
        BodyOfSize(OverLimitBytes, {L"--no-length", L"--cut", L"</soap:Envelope>|"}), false},
    {"a_byte_over_the_size_limit_in_its_declared_length", BodyOfSize(OverLimitBytes, {}), false},
    // A body that does not end where it says.
    {"declared_1000_bytes_longer_then_closed", {L"--declare-length", L"+1000"}, false},
    {"declared_one_byte_longer_then_closed", {L"--declare-length", L"+1"}, false},
    {"declared_1000_bytes_longer_then_held_open", {L"--declare-length", L"+1000", L"--hold"}, false},
    {"declared_one_byte_longer_then_held_open", {L"--declare-length", L"+1", L"--hold"}, false},
    {"declared_two_gibibytes", {L"--declare-length", L"2147483648"}, false},
    {"no_length_then_held_open", {L"--no-length", L"--hold"}, false},
    {"closed_one_byte_before_its_declared_end", {L"--after-envelope", L"\r\n", L"--close-early", L"1"}, false},
    {"chunks_closed_before_the_last", {L"--chunked", L"--close-early", L"5"}, false},
    {"chunks_held_open_before_the_last",
        {L"--chunked", L"--after-envelope", L"\r\n", L"--cut", L"</soap:Envelope>|", L"--pause", L"5"}, false},
    {"more_than_a_megabyte_of_blanks_without_a_length", {L"--blanks", L"2", L"--no-length"}, false},
    {"more_than_a_megabyte_of_blanks_in_their_declared_length", {L"--blanks", L"100"}, false},
    {"endless_chunks_of_blanks", {L"--blanks", L"100", L"--chunked"}, false},
    {"a_declaration_after_the_envelope_that_comes_after_the_limit",
        {L"--after-envelope", L"<!DOCTYPE x>", L"--cut", L"</soap:Envelope>|", L"--pause", L"5"}, false},
    {"a_byte_at_a_time_for_longer_than_the_limit", {L"--trickle", L"0.05"}, false},
    {"an_undefined_entity_after_the_envelope_that_comes_after_the_limit",
        {L"--after-envelope", L"&nbsp;", L"--cut", L"</soap:Envelope>|", L"--pause", L"5"}, false},
    // After the envelope only white space, comments and instructions.
    {"text_after_the_envelope", {L"--after-envelope", L"junk text"}, false},
    {"text_after_the_envelope_in_a_later_chunk",
        {L"--after-envelope", L"junk text", L"--cut", L"</soap:Envelope>|", L"--chunked"}, false},
    {"text_after_the_envelope_without_a_length", {L"--after-envelope", L" x", L"--no-length"}, false},
    {"an_unclosed_cdata_section_after_the_envelope", {L"--after-envelope", L"<![CDATA[ x"}, false},
    {"a_second_envelope", {L"--after-envelope", SecondEnvelope}, false},
    {"a_second_envelope_in_a_later_write", {L"--after-envelope", SecondEnvelope, L"--cut", L"</soap:Envelope>|"}, false},
    {"a_comment_left_open_at_the_end", {L"--after-envelope", L"<!-- x"}, false},
};

class ReplyScreenTest : public testing::TestWithParam<ReplyCase>
{
};

} // namespace

TEST_P(ReplyScreenTest, TakesAReplyOnlyWhenAllOfItArrived)
{
    const ReplyCase& c = GetParam();
    ComponentServicePeer peer(c.answer, PeerHost);
    Component record;
    record.version = L"earlier";

    const auto start = std::chrono::steady_clock::now();
    const bool taken = UpdateService::Wrapper::GetComponent(L"BriskenCommandLineScanner", L"prod", L"x64", L"",
        L"11.11.905.9127", record);

    EXPECT_LT(std::chrono::steady_clock::now() - start, Bound);
    EXPECT_EQ(taken, c.taken);
    EXPECT_EQ(record.version, c.taken ? L"11.11.905.9128" : L"earlier");
    EXPECT_FALSE(peer.RequestBody().empty()) << "the peer got no request";
}

INSTANTIATE_TEST_SUITE_P(Replies, ReplyScreenTest, testing::ValuesIn(ReplyCases),
    [](const testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

namespace
{

// The screen's hooks on a context without a connection, called as the runtime calls them: after a
// head (its declared length given), each piece as it stands in the runtime's buffer.
class ReplyScreenHooksTest : public testing::Test
{
protected:
    void Head(ULONG64 declaredLength)
    {
        context.fparse = [](soap*) { return static_cast<int>(SOAP_OK); };
        screen.reset(new ReplyScreen(context, deadline, 1024 * 1024));
        ASSERT_EQ(context.fprepareinitrecv(&context), SOAP_OK);
        context.length = declaredLength;
        ASSERT_EQ(context.fparse(&context), SOAP_OK);
    }

    // The piece as the runtime's next receive: in its buffer, which ends where the piece does.
    int Receive(const std::string& piece)
    {
        std::memcpy(context.buf, piece.data(), piece.size());
        context.bufidx = 0;
        context.buflen = piece.size();
        return context.fpreparerecv(&context, context.buf, piece.size());
    }

    soap context;
    const ExchangeDeadline deadline{std::chrono::seconds(60)};
    std::unique_ptr<ReplyScreen> screen;
};

} // namespace

TEST_F(ReplyScreenHooksTest, ARefusalDropsTheRestOfTheBufferAndStandsForEveryLaterPiece)
{
    Head(0);
    std::memcpy(context.buf, "<!DOCTYPE r><r/>", 16);
    context.bufidx = 0;
    context.buflen = 16;

    EXPECT_EQ(context.fpreparerecv(&context, context.buf, 16), SOAP_SYNTAX_ERROR);
    EXPECT_EQ(context.bufidx, context.buflen) << "the runtime would read on from its buffer";

    EXPECT_EQ(Receive("<r/>"), SOAP_SYNTAX_ERROR);
    EXPECT_EQ(context.bufidx, context.buflen);
}

TEST_F(ReplyScreenHooksTest, BytesBeyondTheDeclaredLengthAreNeitherScreenedNorRead)
{
    Head(4);

    EXPECT_EQ(Receive("<r/>junk <!DOCTYPE"), SOAP_OK);
    EXPECT_EQ(context.buflen, 4u) << "the runtime's buffer ends where the body does";
    // A runtime that reads on past the declared end has not found the XML's end within it.
    EXPECT_EQ(Receive("<r/>"), SOAP_SYNTAX_ERROR);
}
