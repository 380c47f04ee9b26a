// The component lookup against the component service peer: the request it puts on the wire,
// its verdict for each kind of answer, what it leaves in the record and what it logs.
#include "UpdateService/Wrapper.h"

#include "support/ComponentServicePeer.h"
#include "support/LogTestPeer.h"
#include "support/RecordingSink.h"
#include "support/RefusingComponentPort.h"

#include "WmiHelper/WmiHelper.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <stdsoap2.h>

#include <chrono>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

using TestSupport::ComponentServicePeer;
using TestSupport::RecordingSink;
using UpdateService::Component;
using UpdateService::Wrapper::GetComponent;

namespace
{

using Message = std::pair<std::int32_t, std::wstring>;

const std::wstring Id = L"BriskenCommandLineScanner";
const std::wstring Url = L"http://downloads.test/brisken/11.11.905.9128/setup.msi";
const Message Entry = {2000, L"getting server component. component id=BriskenCommandLineScanner. delpoy platform=prod. "
                             L"os platform=x64. required_version=. installed application version=11.11.905.9127"};

bool Lookup(Component& record)
{
    return GetComponent(Id, L"prod", L"x64", L"", L"11.11.905.9127", record);
}

std::vector<Message> Messages(const RecordingSink& sink)
{
    std::vector<Message> messages;
    for (const TestSupport::LoggedMessage& logged : sink.messages)
    {
        EXPECT_EQ(logged.component, L"UpdateService");
        EXPECT_EQ(logged.function, "UpdateService::Wrapper::GetComponent");
        messages.emplace_back(logged.level, logged.message);
    }
    return messages;
}

std::wstring Widened(const std::string& utf8)
{
    return pugi::as_wide(utf8);
}

struct VerdictCase
{
    const char* name;
    std::vector<std::wstring> answer;
    bool result;
    Component record;
    std::vector<Message> messages;
};

const Component Untouched = {L"earlier id", L"earlier notes", L"earlier version", L"earlier url"};

const VerdictCase VerdictCases[] = {
    {"all_fields", {L"--notes", L"Faster scans.", L"--url", Url}, true,
        {Id, L"Faster scans.", L"11.11.905.9128", Url},
        {Entry, {2000, L"server component is available. id=" + Id + L". version=11.11.905.9128. download url=" + Url},
            {1000, L"notes=Faster scans."}}},
    {"no_notes", {L"--omit", L"Notes", L"--url", Url}, true, {Id, L"", L"11.11.905.9128", Url},
        {Entry, {2000, L"no component notes. id=" + Id},
            {2000, L"server component is available. id=" + Id + L". version=11.11.905.9128. download url=" + Url}}},
    {"empty_notes", {L"--notes", L"", L"--url", Url}, true, {Id, L"", L"11.11.905.9128", Url},
        {Entry, {2000, L"server component is available. id=" + Id + L". version=11.11.905.9128. download url=" + Url}}},
    {"no_download_url", {L"--omit", L"DownloadUrl", L"--notes", L""}, false, {Id, L"", L"11.11.905.9128", L""},
        {Entry, {4000, L"no component download url. id=" + Id},
            {2000, L"server component is available. id=" + Id + L". version=11.11.905.9128. download url="}}},
    {"empty_version", {L"--version", L"", L"--notes", L"", L"--url", Url}, false, {Id, L"", L"", Url},
        {Entry, {2000, L"server component is available. id=" + Id + L". version=. download url=" + Url}}},
    {"no_id", {L"--omit", L"Id", L"--notes", L"", L"--url", Url}, false, {L"", L"", L"11.11.905.9128", Url},
        {Entry, {4000, L"no component id"},
            {2000, L"server component is available. id=. version=11.11.905.9128. download url=" + Url}}},
    {"nothing_in_the_result", {L"--omit", L"Id", L"--omit", L"Notes", L"--omit", L"Version", L"--omit", L"DownloadUrl"},
        false, {L"", L"", L"", L""},
        {Entry, {4000, L"no component id"}, {2000, L"no component notes. id="}, {4000, L"no component version. id="},
            {4000, L"no component download url. id="},
            {2000, L"server component is available. id=. version=. download url="}}},
    {"no_result_element", {L"--no-result"}, false, Untouched, {Entry}},
    // What the peer sends is taken as it is; in a message no control character of it may break
    // the line or reach a terminal.
    {"control_characters", {L"--notes", L"one\ntwo", L"--version", L"11.11.905.9128\x7f", L"--url",
        L"http://x/\nforged\x1b[2J\t."}, true, {Id, L"one\ntwo", L"11.11.905.9128\x7f", L"http://x/\nforged\x1b[2J\t."},
        {Entry, {2000, L"server component is available. id=" + Id + L". version=11.11.905.9128?. "
                       L"download url=http://x/?forged?[2J\t."},
            {1000, L"notes=one?two"}}},
};

class WrapperVerdictTest : public testing::TestWithParam<VerdictCase>
{
};

// A failed exchange: false, the record untouched, and one error with the runtime's code.
struct FailureCase
{
    std::string name;
    std::vector<std::wstring> answer;
};

const FailureCase FailureCases[] = {
    {"soap_fault", {L"--fault", L"component store offline"}},
    {"malformed_xml", {L"--malformed"}},
    {"document_type_declaration_with_an_internal_entity", {L"--entity", L"internal"}},
    {"document_type_declaration_with_an_external_entity", {L"--entity", L"external"}},
    {"reference_to_an_undeclared_entity", {L"--entity", L"undeclared"}},
    {"reference_to_nul", {L"--raw-url", L"http://127.0.0.1/&#0;x.msi"}},
    {"reference_to_a_surrogate", {L"--raw-url", L"http://127.0.0.1/&#xD800;x.msi"}},
    // Answers whose XML could not be screened for declarations from its first byte.
    {"no_http_head", {L"--no-http-head"}},
    {"mime_parts", {L"--mime"}},
    {"reply_far_larger_than_any_real_one", {L"--huge", L"100"}},
    // Twice the limit, well formed: the limit itself, not only some limit far above it.
    {"reply_of_two_megabytes", {L"--huge", L"2"}},
    // Those two are refused at their heads; a body that declares no length is counted as it comes.
    {"reply_of_one_and_a_half_megabytes_without_a_length", {L"--huge", L"1.5", L"--no-length"}},
    {"reply_of_one_and_a_half_megabytes_in_chunks", {L"--huge", L"1.5", L"--chunked"}},
};

void PrintTo(const FailureCase& c, std::ostream* out)
{
    *out << c.name;
}

class WrapperFailureTest : public testing::TestWithParam<FailureCase>
{
};

// Where the network cuts a reply must not change its verdict. The answer with the peer's --cut
// pattern (cut where its marks stand), each piece sent in a write, or an HTTP chunk, of its own.
std::vector<std::wstring> CutAnswer(std::vector<std::wstring> answer, const wchar_t* pattern, bool chunked)
{
    answer.insert(answer.end(), {L"--cut", pattern});
    if (chunked)
        answer.push_back(L"--chunked");
    return answer;
}

// Refused replies, each cut in writes and in chunks.
std::vector<FailureCase> RefusedCuts()
{
    const std::vector<std::wstring> undefinedEntity = {L"--raw-url", L"http://127.0.0.1/&nbsp;x.msi"};
    const std::vector<std::wstring> declarationAfterTheEnvelope = {L"--after-envelope", L"<!DOCTYPE r>"};
    const struct
    {
        const char* name;
        const std::vector<std::wstring>& answer;
        const wchar_t* pattern;
    } cuts[] = {
        {"undefined_entity_after_1", undefinedEntity, L"&|nbsp;"},
        {"undefined_entity_after_2", undefinedEntity, L"&n|bsp;"},
        {"undefined_entity_after_3", undefinedEntity, L"&nb|sp;"},
        {"undefined_entity_after_4", undefinedEntity, L"&nbs|p;"},
        {"undefined_entity_after_5", undefinedEntity, L"&nbsp|;"},
        {"undefined_entity_before_every_byte", undefinedEntity, L"|&|n|b|s|p|;|"},
        // The runtime stops reading at the envelope's end: what follows in a later piece is
        // screened all the same.
        {"declaration_after_the_envelope", declarationAfterTheEnvelope, L"</soap:Envelope>|<!"},
        {"declaration_after_the_envelope_cut_in_its_keyword", declarationAfterTheEnvelope, L"<!DOC|TYPE"},
    };
    std::vector<FailureCase> cases;
    for (const auto& cut : cuts)
    {
        for (const bool chunked : {false, true})
        {
            cases.push_back({std::string(cut.name) + (chunked ? "_in_chunks" : "_in_writes"),
                CutAnswer(cut.answer, cut.pattern, chunked)});
        }
    }
    return cases;
}

void ExpectOneFailureMessage(const RecordingSink& sink)
{
    const std::vector<Message> messages = Messages(sink);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], Entry);
    EXPECT_EQ(messages[1].first, 4000);
    const std::wstring prefix = L"GetComponentInfo failed. result=";
    ASSERT_EQ(messages[1].second.compare(0, prefix.size(), prefix), 0) << messages[1].second;
    const int code = std::stoi(messages[1].second.substr(prefix.size()));
    EXPECT_NE(code, 0);
    EXPECT_EQ(std::to_wstring(code), messages[1].second.substr(prefix.size()));
}

} // namespace

TEST_P(WrapperVerdictTest, AnswersAndFillsTheRecord)
{
    const VerdictCase& c = GetParam();
    ComponentServicePeer peer(c.answer);
    const auto sink = boost::make_shared<RecordingSink>();
    LogHelper::LogTestPeer::SetSink(sink);
    Component record = Untouched;

    EXPECT_EQ(Lookup(record), c.result);

    EXPECT_EQ(record.id, c.record.id);
    EXPECT_EQ(record.notes, c.record.notes);
    EXPECT_EQ(record.version, c.record.version);
    EXPECT_EQ(record.downloadUrl, c.record.downloadUrl);
    EXPECT_EQ(Messages(*sink), c.messages);
}

INSTANTIATE_TEST_SUITE_P(Answers, WrapperVerdictTest, testing::ValuesIn(VerdictCases),
    [](const testing::TestParamInfo<VerdictCase>& info) { return std::string(info.param.name); });

TEST_P(WrapperFailureTest, FailsAndLeavesTheRecord)
{
    ComponentServicePeer peer(GetParam().answer);
    const auto sink = boost::make_shared<RecordingSink>();
    LogHelper::LogTestPeer::SetSink(sink);
    Component record = Untouched;

    EXPECT_FALSE(Lookup(record));

    EXPECT_EQ(record.id, Untouched.id);
    EXPECT_EQ(record.downloadUrl, Untouched.downloadUrl);
    ExpectOneFailureMessage(*sink);
    EXPECT_FALSE(peer.RequestBody().empty()) << "the peer got no request";
}

INSTANTIATE_TEST_SUITE_P(Exchanges, WrapperFailureTest, testing::ValuesIn(FailureCases),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(Cuts, WrapperFailureTest, testing::ValuesIn(RefusedCuts()),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST(WrapperTest, AReplyCutBeforeEveryByteOfAReferenceIsReadAsWhole)
{
    for (const bool chunked : {false, true})
    {
        ComponentServicePeer peer(CutAnswer({L"--raw-url", L"http://x/?a=1&amp;b=2"}, L"|&|a|m|p|;|", chunked));
        Component record;

        EXPECT_TRUE(Lookup(record)) << "chunked: " << chunked;

        EXPECT_EQ(record.downloadUrl, L"http://x/?a=1&b=2") << "chunked: " << chunked;
    }
}

// The entity's URL is the peer's own: it records whether it was asked.
TEST(WrapperTest, NothingIsFetchedForAnEntityOfTheReply)
{
    ComponentServicePeer peer({L"--entity", L"external"});
    Component record;

    EXPECT_FALSE(Lookup(record));

    EXPECT_EQ(peer.FetchHead(), "");
    const std::string head = peer.RequestHead();
    EXPECT_EQ(head.substr(0, head.find("\r\n")), "POST /components.asmx HTTP/1.1");
}

// This build has the program's connect limit (a minute by default): a refused connection must end
// the lookup at once, not when that limit ends. Half the limit: nothing but waiting it out takes
// that long, however busy the machine.
TEST(WrapperTest, ServiceDownFailsAtOnceAndLeavesTheRecord)
{
    const TestSupport::RefusingComponentPort down;
    const auto sink = boost::make_shared<RecordingSink>();
    LogHelper::LogTestPeer::SetSink(sink);
    Component record = Untouched;

    const auto start = std::chrono::steady_clock::now();
    const bool found = Lookup(record);
    const long long elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();

    EXPECT_FALSE(found);
    EXPECT_LT(elapsed, 30000) << "milliseconds";
    EXPECT_EQ(record.version, Untouched.version);
    ExpectOneFailureMessage(*sink);
    EXPECT_EQ(Messages(*sink).back().second, L"GetComponentInfo failed. result=" + std::to_wstring(SOAP_TCP_ERROR));
}

TEST(WrapperTest, RequestCarriesTheSixFieldsInOrderWithTheArgumentsUnchanged)
{
    ComponentServicePeer peer;
    const std::wstring componentId = L"Brisken & <Scanner> \u00e9\u20ac";
    const std::wstring deployPlatform = L"beta \"quoted\"";
    const std::wstring osPlatform = L"x64";
    const std::wstring requiredVersion = L"";
    const std::wstring installedVersion = L"11.11.905.9127\r\nsecond line";
    Component record;

    GetComponent(componentId, deployPlatform, osPlatform, requiredVersion, installedVersion, record);

    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(Widened(peer.RequestBody()).c_str())) << peer.RequestBody();
    const pugi::xml_node body = document.first_child().child(L"SOAP-ENV:Body");
    const pugi::xml_node fields = body.child(L"tempuri:GetComponentInfo").child(L"tempuri:request");
    std::vector<std::pair<std::wstring, std::wstring>> sent;
    for (const pugi::xml_node& field : fields.children())
        sent.emplace_back(field.name(), field.text().get());
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"tempuri:UserId", WmiHelper::GetComputerUuid()},
        {L"tempuri:ComponentId", componentId},
        {L"tempuri:OsPlatfrom", osPlatform},
        {L"tempuri:DeployPlatfrom", deployPlatform},
        {L"tempuri:RequiredVersion", requiredVersion},
        {L"tempuri:InstalledVersion", installedVersion},
    };
    EXPECT_EQ(sent, expected);
    EXPECT_STREQ(document.first_child().name(), L"SOAP-ENV:Envelope");
    EXPECT_STREQ(document.first_child().attribute(L"xmlns:SOAP-ENV").value(),
        L"http://www.w3.org/2003/05/soap-envelope");
    EXPECT_EQ(pugi::as_utf8(document.first_child().attribute(L"xmlns:tempuri").value()), BRISKEN_COMPONENTS_NAMESPACE);
    const std::string head = peer.RequestHead();
    EXPECT_EQ(head.substr(0, head.find("\r\n")), "POST /components.asmx HTTP/1.1");
    EXPECT_NE(head.find(std::string("; action=\"") + BRISKEN_COMPONENTS_NAMESPACE + "GetComponentInfo\""),
        std::string::npos) << head;
}

TEST(WrapperTest, TheRequestsTextsAreLoggedWithoutControlCharacters)
{
    ComponentServicePeer peer({L"--version", L"11.11.905.9127"});
    const auto sink = boost::make_shared<RecordingSink>();
    LogHelper::LogTestPeer::SetSink(sink);
    Component record;

    GetComponent(L"Id\x1b[2J", L"beta\r\nforged", L"x64\x85", L"\x7f", L"11.11.905.9127\t\n", record);

    ASSERT_FALSE(Messages(*sink).empty());
    EXPECT_EQ(Messages(*sink).front(),
        Message(2000, L"getting server component. component id=Id?[2J. delpoy platform=beta??forged. os platform=x64?. "
                      L"required_version=?. installed application version=11.11.905.9127\t?"));
}

TEST(WrapperTest, WithoutAWantingSinkNothingIsWrittenAndTheVerdictStands)
{
    ComponentServicePeer peer({L"--url", Url});
    const auto sink = boost::make_shared<RecordingSink>([](std::int32_t) { return false; });
    LogHelper::LogTestPeer::SetSink(sink);
    Component record;

    EXPECT_TRUE(Lookup(record));

    EXPECT_EQ(record.downloadUrl, Url);
    EXPECT_FALSE(sink->askedLevels.empty());
    EXPECT_TRUE(sink->messages.empty());
}
