#include "HttpClient.h"

#include "PlainFileName.h"
#include "TransientError.h"
#include "UpdateSdk.h"

#include <windows.h>

#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <cwchar>

namespace UpdateSdkStandIn
{
namespace
{

// Milliseconds. A silent server costs at most connect + send + receive per request.
const int resolveTimeout = 5000;
const int connectTimeout = 5000;
const int sendTimeout = 10000;
const int receiveTimeout = 10000;

#ifndef BRISKEN_DEFINITIONS_STALL_SECONDS
#error "BRISKEN_DEFINITIONS_STALL_SECONDS must be defined by the build"
#endif
// A body that brings less than this, or less than the rest of it, in one stretch of that many
// seconds counts as stalled: a server that trickles is as useless as a silent one, and every
// other update of the folder waits for this one. Each receive still has its own limit.
const std::uint64_t stallBytes = 1024;
const ULONGLONG stallMilliseconds = BRISKEN_DEFINITIONS_STALL_SECONDS * 1000ULL;

#ifndef BRISKEN_DEFINITIONS_ANSWER_SECONDS
#error "BRISKEN_DEFINITIONS_ANSWER_SECONDS must be defined by the build"
#endif
// A request whose status line and headers have not all arrived this long after it began is given
// up (20 s in the program's build, CMakeLists.txt): Windows' own WinHTTP ends such a request by its
// receive timeout, which covers all headers, but Wine's counts per receive, so that a server
// trickling its headers would hold the update for ever.
const DWORD answerMilliseconds = BRISKEN_DEFINITIONS_ANSWER_SECONDS * 1000;

struct InternetCloser
{
    void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using Internet = std::unique_ptr<void, InternetCloser>;

struct UrlParts
{
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path;
};

bool Crack(const std::string& url, UrlParts& parts)
{
    const std::wstring wide = Utf8ToWide(url);
    if (wide.empty())
        return false;
    URL_COMPONENTS components{};
    components.dwStructSize = sizeof components;
    components.dwHostNameLength = DWORD(-1);
    components.dwUrlPathLength = DWORD(-1);
    components.dwExtraInfoLength = DWORD(-1);
    if (!WinHttpCrackUrl(wide.c_str(), DWORD(wide.size()), 0, &components))
        return false;
    if (components.nScheme != INTERNET_SCHEME_HTTP || components.dwHostNameLength == 0 || components.dwExtraInfoLength != 0)
        return false;
    parts.host.assign(components.lpszHostName, components.dwHostNameLength);
    parts.port = components.nPort;
    parts.path.assign(components.lpszUrlPath, components.dwUrlPathLength);
    while (!parts.path.empty() && parts.path.back() == L'/')
        parts.path.pop_back();
    return true;
}

[[noreturn]] void NoAnswer(const char* step)
{
    throw TransientError(UpdateSdk::Event::ConnectionFailed, Result::ConnectionFailed,
        std::string(step) + " failed (error " + std::to_string(GetLastError()) + ")");
}

DWORD StatusCode(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
            &status, &size, WINHTTP_NO_HEADER_INDEX))
        NoAnswer("reading the status");
    return status;
}

void CheckStatus(DWORD status)
{
    if (status == 200)
        return;
    const std::string what = "the server answered " + std::to_string(status);
    // Only an overloaded or failing server may answer otherwise next time.
    if (status >= 500 || status == 408 || status == 429)
        throw TransientError(UpdateSdk::Event::ConnectionFailed, Result::ConnectionFailed, what);
    throw UpdateError(Result::ConnectionFailed, what);
}

// The Content-Length the server announced; false when it announced none (a chunked body, or
// one that ends when the connection closes).
bool AnnouncedLength(HINTERNET request, std::uint64_t& length)
{
    wchar_t text[32];
    DWORD size = sizeof text;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
            WINHTTP_NO_HEADER_INDEX))
        return false;
    wchar_t* end = nullptr;
    length = std::wcstoull(text, &end, 10);
    return end != text && *end == L'\0';
}

// Bounds a request's exchange (resolve, connect, send, status line and headers) by
// answerMilliseconds: when they pass, the request's timeouts are cut to a moment, so that
// WinHTTP gives up at its next wait. Closing the handle instead would not do: Windows documents
// that as a race for a synchronous request, and Wine goes on waiting on the closed handle (under
// Wine a request handle closed from another thread, or an asynchronous one, waited the whole
// 74 s that its trickled headers took).
class AnswerWatch
{
public:
    explicit AnswerWatch(HINTERNET request) : request(request)
    {
        if (!CreateTimerQueueTimer(&timer, nullptr, &AnswerWatch::Expire, this, answerMilliseconds, 0,
                WT_EXECUTEONLYONCE))
            throw UpdateError(Result::Internal, "cannot start a timer (error " + std::to_string(GetLastError()) + ")");
    }
    ~AnswerWatch() { Stop(); }
    AnswerWatch(const AnswerWatch&) = delete;
    AnswerWatch& operator=(const AnswerWatch&) = delete;

    // Ends the watch, waiting for an expiry that is under way; whether the bound passed.
    bool Stop()
    {
        if (timer)
        {
            DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
            timer = nullptr;
        }
        return expired;
    }

private:
    static void CALLBACK Expire(void* context, BOOLEAN)
    {
        auto* watch = static_cast<AnswerWatch*>(context);
        watch->expired = true;
        WinHttpSetTimeouts(watch->request, 1, 1, 1, 1);
    }

    HINTERNET request;
    HANDLE timer = nullptr;
    std::atomic<bool> expired{false};
};

// Watches a body as it arrives for stretches that bring too little (stallBytes above).
class StallWatch
{
public:
    // expected: the body's size, as far as it is known.
    explicit StallWatch(std::uint64_t expected) : expected(expected), stretchStart(GetTickCount64()) {}

    // After each piece. Throws TransientError (event 81) when the stretch that has just ended
    // brought too little.
    void Check(std::uint64_t received)
    {
        const ULONGLONG now = GetTickCount64();
        if (now - stretchStart < stallMilliseconds)
            return;
        const std::uint64_t due = std::min(stallBytes, expected - std::min(expected, stretchReceived));
        if (received - stretchReceived < due)
            throw TransientError(UpdateSdk::Event::DownloadFailed, Result::DownloadFailed,
                "the download stalled: " + std::to_string(received - stretchReceived) + " bytes in "
                    + std::to_string((now - stretchStart) / 1000) + " s");
        stretchStart = now;
        stretchReceived = received;
    }

private:
    std::uint64_t expected;
    ULONGLONG stretchStart;
    std::uint64_t stretchReceived = 0;
};

std::string ReadBody(HINTERNET request, std::uint64_t limit, const std::function<void(std::uint64_t)>& onBytes)
{
    std::uint64_t announced = 0;
    const bool lengthAnnounced = AnnouncedLength(request, announced);
    StallWatch watch(lengthAnnounced ? std::min(announced, limit) : limit);
    std::string body;
    char buffer[65536];
    for (;;)
    {
        // Only what has arrived: a read for more waits until it has all of it (Wine's does), so
        // that a trickle would be watched only at its end.
        DWORD available = 0;
        DWORD got = 0;
        if (!WinHttpQueryDataAvailable(request, &available)
            || (available > 0
                && !WinHttpReadData(request, buffer, std::min<DWORD>(available, sizeof buffer), &got)))
            throw TransientError(UpdateSdk::Event::DownloadFailed, Result::DownloadFailed,
                "the download broke off (error " + std::to_string(GetLastError()) + ")");
        if (got == 0)
            break;
        if (body.size() + got > limit)
            throw BodyTooLarge(UpdateSdk::Event::VerificationFailed, Result::VerificationFailed,
                "the server sent more than the " + std::to_string(limit) + " bytes expected");
        body.append(buffer, got);
        onBytes(body.size());
        watch.Check(body.size());
    }
    // WinHTTP (Wine's at least) ends a body cut short without an error, whether it was
    // announced by length or sent in chunks without the last one. The length is checked here;
    // a cut chunked body only the content can show (the manifest's closing line, a file's
    // size and SHA-256).
    if (lengthAnnounced && body.size() != announced)
        throw TransientError(UpdateSdk::Event::DownloadFailed, Result::DownloadFailed,
            "the answer ended after " + std::to_string(body.size()) + " of the " + std::to_string(announced)
                + " bytes announced");
    return body;
}

} // namespace

struct HttpClient::Handles
{
    Internet session;
    Internet connection;
};

bool HttpClient::IsValidUrl(const std::string& url)
{
    UrlParts parts;
    return Crack(url, parts);
}

HttpClient::HttpClient(const std::string& url) : handles(new Handles)
{
    UrlParts parts;
    if (!Crack(url, parts))
        throw UpdateError(Result::InvalidArgument, "not a plain-HTTP URL: " + url);
    basePath = parts.path;
    handles->session.reset(WinHttpOpen(L"BriskenUpdateSdk/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
        WINHTTP_NO_PROXY_BYPASS, 0));
    if (!handles->session)
        NoAnswer("WinHttpOpen");
    WinHttpSetTimeouts(handles->session.get(), resolveTimeout, connectTimeout, sendTimeout, receiveTimeout);
    handles->connection.reset(WinHttpConnect(handles->session.get(), parts.host.c_str(), parts.port, 0));
    if (!handles->connection)
        NoAnswer("WinHttpConnect");
}

HttpClient::~HttpClient() = default;

std::string HttpClient::Get(const std::string& relative, std::uint64_t limit,
    const std::function<void(std::uint64_t)>& onBytes) const
{
    const std::wstring path = basePath + L"/" + Utf8ToWide(relative);
    Internet request(WinHttpOpenRequest(handles->connection.get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
        WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_REFRESH));
    if (!request)
        NoAnswer("WinHttpOpenRequest");
    // The session's timeouts hold for the request; the wait for the answer's headers has its own.
    DWORD responseTimeout = receiveTimeout;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout, sizeof responseTimeout);
    AnswerWatch watch(request.get());
    const char* failed = nullptr;
    // Wine's send waits for the headers too.
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
        failed = "sending the request";
    else if (!WinHttpReceiveResponse(request.get(), nullptr))
        failed = "receiving the answer";
    const DWORD error = GetLastError();
    if (watch.Stop())
        throw TransientError(UpdateSdk::Event::ConnectionFailed, Result::ConnectionFailed,
            "no answer (status line and headers) within " + std::to_string(answerMilliseconds / 1000) + " s");
    if (failed)
    {
        SetLastError(error);
        NoAnswer(failed);
    }
    CheckStatus(StatusCode(request.get()));
    return ReadBody(request.get(), limit, onBytes);
}

std::string HttpClient::PercentEncode(const std::string& text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text)
    {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9')
            || byte == '-' || byte == '.' || byte == '_' || byte == '~')
            encoded.push_back(c);
        else
        {
            encoded.push_back('%');
            encoded.push_back(digits[byte >> 4]);
            encoded.push_back(digits[byte & 15]);
        }
    }
    return encoded;
}

} // namespace UpdateSdkStandIn
