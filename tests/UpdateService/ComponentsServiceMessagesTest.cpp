// The component service messages on the wire, through the generated writers and readers: XML is
// fed to the readers through the context's input stream and the writers' output is read back.
#include <ComponentsServiceComponentsServiceSoapProxy.h>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

using namespace ComponentsService;

namespace
{

const std::string Namespaces = std::string(" xmlns:tempuri=\"") + BRISKEN_COMPONENTS_NAMESPACE + "\""
    " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
    " xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\"";

std::string ServiceNamespace(const soap& context)
{
    for (const Namespace* row = context.namespaces; row->id; ++row)
        if (std::string(row->id) == "tempuri")
            return row->ns;
    return std::string();
}

std::string ResponseDocument(const std::string& result)
{
    return "<tempuri:GetComponentInfoResponse>" + result + "</tempuri:GetComponentInfoResponse>";
}

std::string ResultDocument(const std::string& children)
{
    return ResponseDocument("<tempuri:GetComponentInfoResult>" + children + "</tempuri:GetComponentInfoResult>");
}

std::wstring* NewText(soap& context, const std::wstring& value)
{
    std::wstring* text = soap_new_std__wstring(&context);
    *text = value;
    return text;
}

using Field = std::optional<std::wstring>;

Field Value(const std::wstring* member)
{
    return member ? Field(*member) : std::nullopt;
}

// Reads a body element the way the proxy reads its response: the envelope, then the element
// under its expected name.
template <typename Message>
int Read(soap& context, const std::string& bodyElement, Message& message, const char* tag)
{
    std::istringstream in(std::string("<SOAP-ENV:Envelope") + Namespaces + "><SOAP-ENV:Body>" + bodyElement +
        "</SOAP-ENV:Body></SOAP-ENV:Envelope>");
    context.is = &in;
    message.soap_default(&context);
    if (!soap_begin_recv(&context) && !soap_envelope_begin_in(&context) && !soap_recv_header(&context) &&
        !soap_body_begin_in(&context))
    {
        message.soap_get(&context, tag, nullptr);
        if (!context.error)
            soap_body_end_in(&context) || soap_envelope_end_in(&context) || soap_end_recv(&context);
    }
    // The stream ends with this call; a context used again must not read from it.
    context.is = nullptr;
    return context.error;
}

template <typename Message>
std::string Written(soap& context, const Message& message, const char* tag)
{
    std::ostringstream out;
    context.os = &out;
    soap_begin_send(&context);
    message.soap_serialize(&context);
    message.soap_out(&context, tag, -1, "");
    soap_end_send(&context);
    context.os = nullptr;
    return out.str();
}

pugi::xml_document Parsed(const std::string& xml)
{
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(std::wstring(xml.begin(), xml.end()).c_str())) << xml;
    return document;
}

std::vector<std::wstring> ChildNames(const pugi::xml_node& node)
{
    std::vector<std::wstring> names;
    for (const pugi::xml_node& child : node.children())
        names.push_back(child.name());
    return names;
}

struct ReadCase
{
    const char* name;
    std::string document;
    int error;
    bool result;
    Field id, notes, version, downloadUrl;
};

const ReadCase ReadCases[] = {
    {"in_order", ResultDocument("<tempuri:Id>i</tempuri:Id><tempuri:Notes>n</tempuri:Notes>"
        "<tempuri:Version>1.2.3.4</tempuri:Version><tempuri:DownloadUrl>http://u/</tempuri:DownloadUrl>"),
        SOAP_OK, true, L"i", L"n", L"1.2.3.4", L"http://u/"},
    {"reordered", ResultDocument("<tempuri:DownloadUrl>http://u/</tempuri:DownloadUrl>"
        "<tempuri:Version>1.2.3.4</tempuri:Version><tempuri:Notes>n</tempuri:Notes><tempuri:Id>i</tempuri:Id>"),
        SOAP_OK, true, L"i", L"n", L"1.2.3.4", L"http://u/"},
    {"unknown_children_are_skipped_with_their_content", ResultDocument("<tempuri:Id>i</tempuri:Id>"
        "<tempuri:Extra><tempuri:Version>9</tempuri:Version></tempuri:Extra><Other>o</Other>"
        "<tempuri:Version>1</tempuri:Version>"),
        SOAP_OK, true, L"i", std::nullopt, L"1", std::nullopt},
    {"a_repeated_member_keeps_its_first_value", ResultDocument("<tempuri:Version>first</tempuri:Version>"
        "<tempuri:Version>second</tempuri:Version>"),
        SOAP_OK, true, std::nullopt, std::nullopt, L"first", std::nullopt},
    {"nil_leaves_the_member_null_empty_gives_an_empty_text", ResultDocument("<tempuri:Id xsi:nil=\"true\"/>"
        "<tempuri:Notes></tempuri:Notes><tempuri:Version/>"),
        SOAP_OK, true, std::nullopt, L"", L"", std::nullopt},
    {"another_prefix_for_the_service_namespace",
        "<c:GetComponentInfoResponse xmlns:c=\"" BRISKEN_COMPONENTS_NAMESPACE "\"><c:GetComponentInfoResult>"
        "<c:Id>i</c:Id><c:Version>v</c:Version></c:GetComponentInfoResult></c:GetComponentInfoResponse>",
        SOAP_OK, true, L"i", std::nullopt, L"v", std::nullopt},
    {"the_service_namespace_as_default_namespace",
        "<GetComponentInfoResponse xmlns=\"" BRISKEN_COMPONENTS_NAMESPACE "\"><GetComponentInfoResult>"
        "<Id>i</Id><DownloadUrl>d</DownloadUrl></GetComponentInfoResult></GetComponentInfoResponse>",
        SOAP_OK, true, L"i", std::nullopt, std::nullopt, L"d"},
    {"the_right_names_in_another_namespace_are_not_members",
        ResultDocument("<x:Id xmlns:x=\"urn:other\">i</x:Id><tempuri:Version>v</tempuri:Version>"),
        SOAP_OK, true, std::nullopt, std::nullopt, L"v", std::nullopt},
    {"entities_and_character_references_are_resolved",
        ResultDocument("<tempuri:Notes>a &amp; b &lt;c&gt;&#xA;&#xD;\t&quot;\xC3\xA9\xE2\x82\xAC</tempuri:Notes>"),
        SOAP_OK, true, std::nullopt, L"a & b <c>\n\r\t\"\u00e9\u20ac", std::nullopt, std::nullopt},
    {"no_result_element", ResponseDocument(""), SOAP_OK, false, {}, {}, {}, {}},
    {"an_empty_result_element", ResultDocument(""), SOAP_OK, true, {}, {}, {}, {}},
    {"another_message_element", "<tempuri:GetComponentsInfoResponse/>",
        SOAP_TAG_MISMATCH, false, {}, {}, {}, {}},
    {"a_child_in_the_envelope_namespace", ResultDocument("<SOAP-ENV:Id>i</SOAP-ENV:Id>"),
        SOAP_TAG_MISMATCH, false, {}, {}, {}, {}},
    {"a_child_that_must_be_understood",
        ResultDocument("<tempuri:Extra SOAP-ENV:mustUnderstand=\"true\">x</tempuri:Extra>"),
        SOAP_MUSTUNDERSTAND, false, {}, {}, {}, {}},
};

class ComponentsServiceReadTest : public testing::TestWithParam<ReadCase>
{
protected:
    ComponentsServiceSoapProxy proxy;
};

} // namespace

TEST_P(ComponentsServiceReadTest, ReadsTheResponse)
{
    const ReadCase& c = GetParam();
    _tempuri__GetComponentInfoResponse response;

    const int error = Read(proxy, c.document, response, "tempuri:GetComponentInfoResponse");

    if (c.error != SOAP_OK)
    {
        EXPECT_EQ(error, c.error);
        return;
    }
    ASSERT_EQ(error, SOAP_OK);
    const tempuri__ComponentInfoResponse* result = response.GetComponentInfoResult;
    ASSERT_EQ(result != nullptr, c.result);
    if (!result)
        return;
    EXPECT_EQ(Value(result->Id), c.id);
    EXPECT_EQ(Value(result->Notes), c.notes);
    EXPECT_EQ(Value(result->Version), c.version);
    EXPECT_EQ(Value(result->DownloadUrl), c.downloadUrl);
}

INSTANTIATE_TEST_SUITE_P(Cases, ComponentsServiceReadTest, testing::ValuesIn(ReadCases),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST(ComponentsServiceMessagesTest, MalformedXmlFailsTheRead)
{
    for (const std::string& document : {ResultDocument("<tempuri:Id>i"), ResultDocument("<tempuri:Id>i</tempuri"),
             std::string("not xml at all"), ResultDocument("<tempuri:Id>i</tempuri:Id><<")})
    {
        ComponentsServiceSoapProxy proxy;
        _tempuri__GetComponentInfoResponse response;
        EXPECT_NE(Read(proxy, document, response, "tempuri:GetComponentInfoResponse"), SOAP_OK) << document;
    }
}

TEST(ComponentsServiceMessagesTest, RequestWritesItsSixFieldsInOrderEvenWhenEmpty)
{
    ComponentsServiceSoapProxy proxy;
    tempuri__ComponentInfoRequest* info = soap_new_tempuri__ComponentInfoRequest(&proxy);
    const wchar_t* const texts[] = {L"u", L"", L"x64", L"prod", L"", L"11.11.905.9127"};
    info->UserId = NewText(proxy, texts[0]);
    info->ComponentId = NewText(proxy, texts[1]);
    info->OsPlatfrom = NewText(proxy, texts[2]);
    info->DeployPlatfrom = NewText(proxy, texts[3]);
    info->RequiredVersion = NewText(proxy, texts[4]);
    info->InstalledVersion = NewText(proxy, texts[5]);
    _tempuri__GetComponentInfo request;
    request.request = info;

    const pugi::xml_document document = Parsed(Written(proxy, request, "tempuri:GetComponentInfo"));

    const pugi::xml_node wrapper = document.child(L"tempuri:GetComponentInfo");
    const pugi::xml_node fields = wrapper.child(L"tempuri:request");
    EXPECT_EQ(ChildNames(wrapper), std::vector<std::wstring>{L"tempuri:request"});
    EXPECT_EQ(ChildNames(fields), (std::vector<std::wstring>{L"tempuri:UserId", L"tempuri:ComponentId",
        L"tempuri:OsPlatfrom", L"tempuri:DeployPlatfrom", L"tempuri:RequiredVersion", L"tempuri:InstalledVersion"}));
    std::vector<std::wstring> values;
    for (const pugi::xml_node& child : fields.children())
        values.push_back(child.text().get());
    EXPECT_EQ(values, std::vector<std::wstring>(std::begin(texts), std::end(texts)));
    for (const pugi::xml_node& child : fields.children())
        EXPECT_FALSE(child.attribute(L"xsi:type") || child.attribute(L"xsi:nil") || child.attribute(L"id"));
}

TEST(ComponentsServiceMessagesTest, NullMembersWriteNoElement)
{
    ComponentsServiceSoapProxy proxy;
    _tempuri__GetComponentInfo empty;
    const pugi::xml_document noRequest = Parsed(Written(proxy, empty, "tempuri:GetComponentInfo"));
    EXPECT_TRUE(ChildNames(noRequest.child(L"tempuri:GetComponentInfo")).empty());

    tempuri__ComponentInfoRequest info;
    const pugi::xml_document noFields = Parsed(Written(proxy, info, "tempuri:request"));
    EXPECT_TRUE(ChildNames(noFields.child(L"tempuri:request")).empty());
}

TEST(ComponentsServiceMessagesTest, ListResponseWritesANilReleaseDateAndNoAbsentComponents)
{
    ComponentsServiceSoapProxy proxy;
    tempuri__ComponentsInfoResponse response;

    const pugi::xml_document document = Parsed(Written(proxy, response, "tempuri:GetComponentsInfoResult"));

    const pugi::xml_node result = document.child(L"tempuri:GetComponentsInfoResult");
    EXPECT_EQ(ChildNames(result), std::vector<std::wstring>{L"tempuri:ReleaseDateUtc"});
    EXPECT_STREQ(result.child(L"tempuri:ReleaseDateUtc").attribute(L"xsi:nil").value(), L"true");
}

TEST(ComponentsServiceMessagesTest, TextComesBackUnchangedAfterWritingAndReading)
{
    const std::wstring text = L"a & b <c> \"q\"\n\r\tline\u00e9\u20ac\U0001F600\x7f";
    ComponentsServiceSoapProxy proxy;
    tempuri__ComponentInfoResponse written;
    written.Notes = NewText(proxy, text);
    const std::string xml = Written(proxy, written, "tempuri:GetComponentInfoResult");

    _tempuri__GetComponentInfoResponse response;
    ASSERT_EQ(Read(proxy, ResponseDocument(xml.substr(xml.find("<tempuri:GetComponentInfoResult"))), response,
        "tempuri:GetComponentInfoResponse"), SOAP_OK) << xml;
    ASSERT_NE(response.GetComponentInfoResult, nullptr);
    EXPECT_EQ(Value(response.GetComponentInfoResult->Notes), Field(text));
}

TEST(ComponentsServiceMessagesTest, ListResponseReadsItemsInOrderAndTheReleaseDate)
{
    ComponentsServiceSoapProxy proxy;
    const std::string document("<tempuri:GetComponentsInfoResponse><tempuri:GetComponentsInfoResult>"
        "<tempuri:ReleaseDateUtc>2026-11-30T12:00:00Z</tempuri:ReleaseDateUtc>"
        "<tempuri:Components><tempuri:ComponentInfo><tempuri:Id>a</tempuri:Id></tempuri:ComponentInfo>"
        "<tempuri:Other/><tempuri:ComponentInfo xsi:nil=\"true\"/>"
        "<tempuri:ComponentInfo><tempuri:Id>b</tempuri:Id></tempuri:ComponentInfo></tempuri:Components>"
        "</tempuri:GetComponentsInfoResult></tempuri:GetComponentsInfoResponse>");
    _tempuri__GetComponentsInfoResponse response;

    ASSERT_EQ(Read(proxy, document, response, "tempuri:GetComponentsInfoResponse"), SOAP_OK);

    const tempuri__ComponentsInfoResponse* result = response.GetComponentsInfoResult;
    ASSERT_NE(result, nullptr);
    ASSERT_NE(result->ReleaseDateUtc, nullptr);
    EXPECT_EQ(*result->ReleaseDateUtc, 1796040000);
    ASSERT_NE(result->Components, nullptr);
    const std::vector<tempuri__ComponentInfo*>& items = result->Components->ComponentInfo;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(Value(items[0]->Id), Field(L"a"));
    EXPECT_EQ(items[1], nullptr);
    EXPECT_EQ(Value(items[2]->Id), Field(L"b"));
}

TEST(ComponentsServiceMessagesTest, ArrayReadsUpToTheOccurrenceLimitAndFailsBeyondIt)
{
    for (const std::size_t count : {std::size_t(100000), std::size_t(100001)})
    {
        ComponentsServiceSoapProxy proxy;
        std::string document = "<tempuri:ArrayOfComponentInfo>";
        for (std::size_t i = 0; i < count; ++i)
            document += "<tempuri:ComponentInfo/>";
        document += "</tempuri:ArrayOfComponentInfo>";
        tempuri__ArrayOfComponentInfo array;

        const int error = Read(proxy, document, array, "tempuri:ArrayOfComponentInfo");

        if (count <= 100000)
        {
            EXPECT_EQ(error, SOAP_OK);
            EXPECT_EQ(array.ComponentInfo.size(), count);
        }
        else
        {
            EXPECT_EQ(error, SOAP_OCCURS);
        }
    }
}

TEST(ComponentsServiceMessagesTest, NamespaceTableSpeaksSoap12AndAcceptsSoap11)
{
    ComponentsServiceSoapProxy proxy;
    const Namespace* table = proxy.namespaces;
    ASSERT_NE(table, nullptr);
    const std::vector<std::string> prefixes = {"SOAP-ENV", "SOAP-ENC", "xsi", "xsd", "tempuri"};
    for (std::size_t i = 0; i < prefixes.size(); ++i)
        EXPECT_EQ(table[i].id, prefixes[i]);
    EXPECT_EQ(table[5].id, nullptr);
    EXPECT_STREQ(table[0].ns, "http://www.w3.org/2003/05/soap-envelope");
    EXPECT_STREQ(table[0].in, "http://schemas.xmlsoap.org/soap/envelope/");
    EXPECT_STREQ(table[1].ns, "http://www.w3.org/2003/05/soap-encoding");
    EXPECT_STREQ(table[1].in, "http://schemas.xmlsoap.org/soap/encoding/");
    EXPECT_EQ(table[4].in, nullptr);
    EXPECT_EQ(ServiceNamespace(proxy), BRISKEN_COMPONENTS_NAMESPACE);
}
