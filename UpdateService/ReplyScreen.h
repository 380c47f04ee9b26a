#pragma once

#include "UpdateService/ExchangeDeadline.h"
#include "UpdateService/MarkupScanner.h"

#include <stdsoap2.h>

#include <cstdint>

namespace UpdateService
{
namespace Wrapper
{

// SOAP forbids a document type declaration in a message, and the runtime would skip one without a
// word and read each entity it declares as U+007F, as it reads a reference to any entity it does
// not know: with this object in place, a reply whose XML holds a markup declaration or such a
// reference (MarkupScanner) fails the exchange (SOAP_SYNTAX_ERROR) before the runtime reads past
// it. So does a reply that is not HTTP (its XML would be read unscreened from its first byte) or
// that comes in MIME or DIME parts (whose headers are not XML). Nothing is ever fetched or read for
// an entity: the runtime resolves none.
//
// A reply counts only when all of it arrived: the runtime stops reading at the envelope's end and
// would take the answer whatever followed or failed to follow, so the screen reads the body on to
// where it says it ends (its declared length, its last chunk, or the close of a connection that
// declared no length) and fails the exchange when it ends anywhere else (the connection closed or
// failed early, the deadline passed, more than maxBodyBytes came), when it is declared larger than
// maxBodyBytes, or when its XML does not end with it (MarkupScanner::Finished: text or a second
// element after the envelope, a comment left open). Bytes beyond a declared length are not part of
// the reply: they are neither screened nor read.
//
// One reply gets one verdict however the network cuts it: the scanner carries what it has read of
// a token from one receive to the next, and a refusal stands for the rest of the exchange (the
// runtime reads nothing more of the reply, and its end fails too should the runtime go on
// regardless).
//
// The size is the body's, as the screen counts it, and nothing else: the runtime counts every
// byte it receives (the head too, and bytes past a declared end) against a limit of its own once
// the screen has passed them, so with that limit at the body's, where the network cut a reply
// near the size would decide its verdict. The screen sets it to twice maxBodyBytes, a backstop
// for a head that never ends.
//
// Connect, send and receive run under the one deadline given (ExchangeDeadline).
//
// Installs the context's connect, send and receive callbacks, its receive hooks, its user pointer
// and its receive limit for its own lifetime and puts back what they were when it goes; the
// context and the deadline must outlive it.
class ReplyScreen
{
public:
    // maxBodyBytes > 0.
    ReplyScreen(soap& context, const ExchangeDeadline& deadline, std::uint64_t maxBodyBytes);
    ~ReplyScreen();
    ReplyScreen(const ReplyScreen&) = delete;
    ReplyScreen& operator=(const ReplyScreen&) = delete;

private:
    static ReplyScreen& Of(soap* context);
    static SOAP_SOCKET Connect(soap* context, const char* endpoint, const char* host, int port);
    static int Send(soap* context, const char* data, std::size_t size);
    static std::size_t Receive(soap* context, char* data, std::size_t size);
    static int BeginReceive(soap* context);
    static int ParseHttpHead(soap* context);
    static int Received(soap* context, const char* data, std::size_t size);
    static int EndReceive(soap* context);

    // Fails the exchange, now and at the reply's end, and drops what the runtime has not read of
    // the receive buffer.
    int Refuse(const char* what);
    // The body's next piece, cut at the declared end (size becomes what is left of it): counted,
    // screened, and whether it ends the body.
    int TakeBody(const char* data, std::size_t& size);
    // Receives the body up to its end, so that all of it is screened, or until a receive fails.
    void ReceiveRestOfBody();

    soap& context;
    const ExchangeDeadline& deadline;
    const std::uint64_t maxBodyBytes;
    void* const previousUser;
    const ULONG64 previousMaxLength;
    SOAP_SOCKET (*const previousConnect)(soap*, const char*, const char*, int);
    int (*const previousSend)(soap*, const char*, std::size_t);
    std::size_t (*const previousReceive)(soap*, char*, std::size_t);
    int (*const previousBeginReceive)(soap*);
    int (*const previousParse)(soap*);
    int (*const previousReceived)(soap*, const char*, std::size_t);
    int (*const previousEndReceive)(soap*);

    MarkupScanner scanner;
    // The HTTP head is not XML: only what follows it is screened.
    bool inBody = false;
    const char* refusal = nullptr;
    // The body's length as its head declares it (0: none declared), what has come of it, and
    // whether it has ended where it says it does.
    std::uint64_t declaredLength = 0;
    std::uint64_t received = 0;
    bool chunked = false;
    bool whole = false;
};

} // namespace Wrapper
} // namespace UpdateService
