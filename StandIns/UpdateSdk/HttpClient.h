#pragma once

#include "TransientError.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace UpdateSdkStandIn
{

// An answer longer than the limit the caller gave: event 82, VerificationFailed.
class BodyTooLarge : public TransientError
{
public:
    using TransientError::TransientError;
};

// GET requests below one plain-HTTP base URL through WinHTTP, over one connection handle,
// never through a proxy. Each wait (resolve, connect, send, each receive) is bounded, and so are
// the status line and headers together and each stretch of the body, so a server that accepts
// and then stays silent or trickles ends a request with an error.
class HttpClient
{
public:
    // Throws UpdateError(InvalidArgument) when url is not an http:// URL with a host.
    explicit HttpClient(const std::string& url);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Whether url is a plain-HTTP URL this client takes.
    static bool IsValidUrl(const std::string& url);

    // The body of base URL + "/" + relative (already percent-encoded). More than limit bytes
    // end the transfer. onBytes gets the count received so far after each piece. Throws
    // TransientError: 80 when no answer or an error status arrives, 81 when the body breaks
    // off or ends before the length the server announced, 82 (BodyTooLarge) past the limit;
    // UpdateError(ConnectionFailed) for a status that no retry mends.
    std::string Get(const std::string& relative, std::uint64_t limit,
        const std::function<void(std::uint64_t)>& onBytes) const;

    // Every byte but the unreserved ones (RFC 3986) as %XX.
    static std::string PercentEncode(const std::string& text);

private:
    struct Handles;
    std::unique_ptr<Handles> handles;
    std::wstring basePath; // without a trailing slash
};

} // namespace UpdateSdkStandIn
