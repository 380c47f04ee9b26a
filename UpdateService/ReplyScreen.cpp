#include "UpdateService/ReplyScreen.h"

namespace UpdateService
{
namespace Wrapper
{

ReplyScreen::ReplyScreen(soap& context)
    : context(context), previousUser(context.user), previousBeginReceive(context.fprepareinitrecv),
      previousParse(context.fparse), previousReceived(context.fpreparerecv),
      previousEndReceive(context.fpreparefinalrecv)
{
    context.user = this;
    context.fprepareinitrecv = BeginReceive;
    context.fparse = ParseHttpHead;
    context.fpreparerecv = Received;
    context.fpreparefinalrecv = EndReceive;
}

ReplyScreen::~ReplyScreen()
{
    context.user = previousUser;
    context.fprepareinitrecv = previousBeginReceive;
    context.fparse = previousParse;
    context.fpreparerecv = previousReceived;
    context.fpreparefinalrecv = previousEndReceive;
}

ReplyScreen& ReplyScreen::Of(soap* context)
{
    return *static_cast<ReplyScreen*>(context->user);
}

int ReplyScreen::BeginReceive(soap* context)
{
    ReplyScreen& screen = Of(context);
    screen.scanner = MarkupScanner();
    screen.inBody = false;
    screen.refusal = nullptr;
    screen.declaredLength = 0;
    screen.received = 0;
    screen.chunked = false;
    return screen.previousBeginReceive ? screen.previousBeginReceive(context) : SOAP_OK;
}

// The runtime hands the rest of the buffer after the head to Received once this returns, and
// every later piece as it arrives.
int ReplyScreen::ParseHttpHead(soap* context)
{
    ReplyScreen& screen = Of(context);
    const int result = screen.previousParse(context);
    screen.inBody = true;
    screen.declaredLength = context->length;
    screen.chunked = (context->imode & SOAP_IO) == SOAP_IO_CHUNK;
    if (context->imode & (SOAP_ENC_MIME | SOAP_ENC_DIME))
        return screen.Refuse("a reply in MIME or DIME parts");
    return result;
}

int ReplyScreen::Received(soap* context, const char* data, std::size_t size)
{
    ReplyScreen& screen = Of(context);
    if (screen.inBody)
    {
        screen.received += size;
        if (screen.refusal)
            return screen.Refuse(screen.refusal);
        if (!screen.scanner.Take(data, size))
            return screen.Refuse("markup in the reply that the runtime would misread");
    }
    return screen.previousReceived ? screen.previousReceived(context, data, size) : SOAP_OK;
}

// The runtime calls this once it has read the envelope, which may end before the body does.
int ReplyScreen::EndReceive(soap* context)
{
    ReplyScreen& screen = Of(context);
    if (!screen.inBody)
        return screen.Refuse("a reply without an HTTP head");
    screen.ReceiveRestOfBody();
    // The runtime may have read on after a refused receive as if it had not failed.
    if (screen.refusal)
        return screen.Refuse(screen.refusal);
    return screen.previousEndReceive ? screen.previousEndReceive(context) : SOAP_OK;
}

int ReplyScreen::Refuse(const char* what)
{
    refusal = what;
    // A failed receive leaves its bytes in the buffer, and the runtime's next read takes them
    // from there as though nothing had failed.
    context.bufidx = context.buflen;
    return soap_set_receiver_error(&context, what, "not allowed in a SOAP message", SOAP_SYNTAX_ERROR);
}

// The runtime itself reads a chunked body to its last chunk. A body without a declared length
// ends where the connection does, which the request asks for ("Connection: close"). Each receive
// passes Received and counts towards the runtime's size and time limits.
void ReplyScreen::ReceiveRestOfBody()
{
    if (chunked)
        return;
    while (!refusal && (declaredLength == 0 || received < declaredLength) && soap_recv_raw(&context) == SOAP_OK)
    {
    }
}

} // namespace Wrapper
} // namespace UpdateService
