#pragma once

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
// One reply gets one verdict however the network cuts it: the scanner carries what it has read of
// a token from one receive to the next, a refusal stands for the rest of the exchange (the runtime
// reads nothing more of the reply, and its end fails too should the runtime go on regardless), and
// the body is read up to the end its head declares before the reply counts as taken, although the
// runtime itself stops at the envelope's end.
//
// Installs the context's receive hooks and its user pointer for its own lifetime and puts back
// what they were when it goes; the context must outlive it.
class ReplyScreen
{
public:
    explicit ReplyScreen(soap& context);
    ~ReplyScreen();
    ReplyScreen(const ReplyScreen&) = delete;
    ReplyScreen& operator=(const ReplyScreen&) = delete;

private:
    static ReplyScreen& Of(soap* context);
    static int BeginReceive(soap* context);
    static int ParseHttpHead(soap* context);
    static int Received(soap* context, const char* data, std::size_t size);
    static int EndReceive(soap* context);

    // Fails the exchange, now and at the reply's end, and drops what the runtime has not read of
    // the receive buffer.
    int Refuse(const char* what);
    // Receives what the head declares beyond what has come, so that it is screened as well.
    void ReceiveRestOfBody();

    soap& context;
    void* const previousUser;
    int (*const previousBeginReceive)(soap*);
    int (*const previousParse)(soap*);
    int (*const previousReceived)(soap*, const char*, std::size_t);
    int (*const previousEndReceive)(soap*);

    MarkupScanner scanner;
    // The HTTP head is not XML: only what follows it is screened.
    bool inBody = false;
    const char* refusal = nullptr;
    // The body's length as its head declares it (0: none declared), and what has come of it.
    std::uint64_t declaredLength = 0;
    std::uint64_t received = 0;
    bool chunked = false;
};

} // namespace Wrapper
} // namespace UpdateService
