#pragma once

#include "UpdateService/MarkupScanner.h"

#include <stdsoap2.h>

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

    int Refuse(const char* what);

    soap& context;
    void* const previousUser;
    int (*const previousBeginReceive)(soap*);
    int (*const previousParse)(soap*);
    int (*const previousReceived)(soap*, const char*, std::size_t);
    int (*const previousEndReceive)(soap*);

    MarkupScanner scanner;
    // The HTTP head is not XML: only what follows it is screened.
    bool inBody = false;
};

} // namespace Wrapper
} // namespace UpdateService
