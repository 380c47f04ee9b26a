// The generated proxy against the component service peer: where it sends, with which SOAP
// action and protocol, and what a failed exchange leaves behind.
#include "support/ComponentServicePeer.h"
#include "support/RefusingComponentPort.h"

#include <ComponentsServiceComponentsServiceSoapProxy.h>

#include <gtest/gtest.h>

#include <string>

using namespace ComponentsService;
using TestSupport::ComponentServicePeer;

namespace
{

const std::string DefaultEndpoint = BRISKEN_COMPONENTS_ENDPOINT;

std::string ContentType(const std::string& head)
{
    const std::size_t start = head.find("Content-Type: ");
    return start == std::string::npos ? std::string() : head.substr(start, head.find("\r\n", start) - start);
}

std::string RequestLine(const std::string& head)
{
    return head.substr(0, head.find("\r\n"));
}

// A response object that was never made by the exchange: a failed call must not reset it.
tempuri__ComponentInfoResponse* const Untouched = reinterpret_cast<tempuri__ComponentInfoResponse*>(0x1000);

class ComponentsServiceSoapProxyTest : public testing::Test
{
protected:
    ComponentsServiceSoapProxy proxy;
    _tempuri__GetComponentInfo request;
    _tempuri__GetComponentInfoResponse response;
};

} // namespace

TEST_F(ComponentsServiceSoapProxyTest, NullEndpointSendsToTheDefaultOneAsSoap12WithTheOperationsAction)
{
    ComponentServicePeer peer({L"--version", L"1.2.3.4"});
    EXPECT_EQ(proxy.soap_endpoint, nullptr);

    ASSERT_EQ(proxy.GetComponentInfo(&request, response), SOAP_OK);

    ASSERT_NE(proxy.soap_endpoint, nullptr);
    EXPECT_EQ(proxy.soap_endpoint, DefaultEndpoint);
    EXPECT_EQ(RequestLine(peer.RequestHead()), "POST /components.asmx HTTP/1.1");
    EXPECT_EQ(ContentType(peer.RequestHead()),
        std::string("Content-Type: application/soap+xml; charset=utf-8; action=\"") + BRISKEN_COMPONENTS_NAMESPACE +
            "GetComponentInfo\"");
    ASSERT_NE(response.GetComponentInfoResult, nullptr);
    ASSERT_NE(response.GetComponentInfoResult->Version, nullptr);
    EXPECT_EQ(*response.GetComponentInfoResult->Version, L"1.2.3.4");
}

TEST_F(ComponentsServiceSoapProxyTest, ListOperationHasItsOwnActionAndReadsTheList)
{
    ComponentServicePeer peer({L"--id", L"a"});
    _tempuri__GetComponentsInfo listRequest;
    _tempuri__GetComponentsInfoResponse listResponse;

    ASSERT_EQ(proxy.GetComponentsInfo(&listRequest, listResponse), SOAP_OK);

    EXPECT_NE(ContentType(peer.RequestHead()).find(std::string("action=\"") + BRISKEN_COMPONENTS_NAMESPACE +
        "GetComponentsInfo\""), std::string::npos) << peer.RequestHead();
    const tempuri__ComponentsInfoResponse* result = listResponse.GetComponentsInfoResult;
    ASSERT_NE(result, nullptr);
    ASSERT_NE(result->Components, nullptr);
    ASSERT_EQ(result->Components->ComponentInfo.size(), 1u);
    EXPECT_EQ(*result->Components->ComponentInfo[0]->Id, L"a");
    EXPECT_NE(result->ReleaseDateUtc, nullptr);
}

TEST_F(ComponentsServiceSoapProxyTest, ExplicitEndpointIsKeptForLaterCalls)
{
    ComponentServicePeer peer;
    const std::string other = "http://" BRISKEN_COMPONENTS_HOST "/other.asmx";

    ASSERT_EQ(proxy.GetComponentInfo(other.c_str(), nullptr, &request, response), SOAP_OK);
    EXPECT_EQ(RequestLine(peer.RequestHead()), "POST /other.asmx HTTP/1.1");
    ASSERT_EQ(proxy.GetComponentInfo(&request, response), SOAP_OK);
    EXPECT_EQ(RequestLine(peer.RequestHead()), "POST /other.asmx HTTP/1.1");
    EXPECT_EQ(proxy.soap_endpoint, other);
}

TEST_F(ComponentsServiceSoapProxyTest, UnreachableServiceFailsBeforeTheResponseIsTouched)
{
    // Held, so that a peer of another test run on this machine that listens there is waited out.
    const TestSupport::RefusingComponentPort down;
    response.GetComponentInfoResult = Untouched;

    EXPECT_NE(proxy.GetComponentInfo(&request, response), SOAP_OK);

    EXPECT_EQ(response.GetComponentInfoResult, Untouched);
}

TEST_F(ComponentsServiceSoapProxyTest, FaultReplyFailsAndKeepsItsReason)
{
    ComponentServicePeer peer({L"--fault", L"component store offline"});

    EXPECT_EQ(proxy.GetComponentInfo(&request, response), SOAP_FAULT);

    ASSERT_NE(proxy.soap_fault_string(), nullptr);
    EXPECT_STREQ(proxy.soap_fault_string(), "component store offline");
}

TEST_F(ComponentsServiceSoapProxyTest, ResetLeavesTheProxyAsNew)
{
    ComponentServicePeer peer;
    ASSERT_EQ(proxy.GetComponentInfo(&request, response), SOAP_OK);

    proxy.reset();

    EXPECT_EQ(proxy.soap_endpoint, nullptr);
    EXPECT_EQ(proxy.imode, SOAP_IO_DEFAULT);
    EXPECT_EQ(proxy.omode, SOAP_IO_DEFAULT);
    ASSERT_NE(proxy.namespaces, nullptr);
    EXPECT_STREQ(proxy.namespaces[4].ns, BRISKEN_COMPONENTS_NAMESPACE);
    EXPECT_EQ(proxy.clist, nullptr);
    EXPECT_EQ(proxy.alist, nullptr);
}
