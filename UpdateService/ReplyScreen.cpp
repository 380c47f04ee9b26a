#include "UpdateService/ReplyScreen.h"

namespace UpdateService
{
namespace Wrapper
{

ReplyScreen::ReplyScreen(soap& context, const ExchangeDeadline& deadline, std::uint64_t maxBodyBytes)
    : context(context), deadline(deadline), maxBodyBytes(maxBodyBytes), previousUser(context.user),
      previousMaxLength(context.recv_maxlength), previousConnect(context.fopen),
      previousSend(context.fsend), previousReceive(context.frecv), previousBeginReceive(context.fprepareinitrecv),
      previousParse(context.fparse), previousReceived(context.fpreparerecv),
      previousEndReceive(context.fpreparefinalrecv)
{
    context.user = this;
    context.recv_maxlength = 2 * maxBodyBytes;
    context.fopen = Connect;
    context.fsend = Send;
    context.frecv = Receive;
    context.fprepareinitrecv = BeginReceive;
    context.fparse = ParseHttpHead;
    context.fpreparerecv = Received;
    context.fpreparefinalrecv = EndReceive;
}

ReplyScreen::~ReplyScreen()
{
    context.user = previousUser;
    context.recv_maxlength = previousMaxLength;
    context.fopen = previousConnect;
    context.fsend = previousSend;
    context.frecv = previousReceive;
    context.fprepareinitrecv = previousBeginReceive;
    context.fparse = previousParse;
    context.fpreparerecv = previousReceived;
    context.fpreparefinalrecv = previousEndReceive;
}

ReplyScreen& ReplyScreen::Of(soap* context)
{
    return *static_cast<ReplyScreen*>(context->user);
}

SOAP_SOCKET ReplyScreen::Connect(soap* context, const char* endpoint, const char* host, int port)
{
    return Of(context).deadline.Connect(context, endpoint, host, port);
}

int ReplyScreen::Send(soap* context, const char* data, std::size_t size)
{
    return Of(context).deadline.Send(context, data, size);
}

std::size_t ReplyScreen::Receive(soap* context, char* data, std::size_t size)
{
    return Of(context).deadline.Receive(context, data, size);
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
    screen.whole = false;
    return screen.previousBeginReceive ? screen.previousBeginReceive(context) : SOAP_OK;
}

// The runtime hands the rest of the buffer after the head to Received once this returns, and
// every later piece as it arrives.
int ReplyScreen::ParseHttpHead(soap* context)
{
    ReplyScreen& screen = Of(context);
    const int result = screen.previousParse(context);
    screen.inBody = true;
    screen.chunked = (context->imode & SOAP_IO) == SOAP_IO_CHUNK;
    // A chunked body ends with its last chunk, whatever length the head declares.
    screen.declaredLength = screen.chunked ? 0 : context->length;
    if (context->imode & (SOAP_ENC_MIME | SOAP_ENC_DIME))
        return screen.Refuse("a reply in MIME or DIME parts");
    if (screen.declaredLength > screen.maxBodyBytes)
        return screen.Refuse("a reply declared larger than the size limit");
    return result;
}

int ReplyScreen::Received(soap* context, const char* data, std::size_t size)
{
    ReplyScreen& screen = Of(context);
    if (screen.inBody)
    {
        if (screen.refusal)
            return screen.Refuse(screen.refusal);
        const int taken = screen.TakeBody(data, size);
        if (taken != SOAP_OK)
            return taken;
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
    if (!screen.whole)
        return screen.Refuse("a reply that did not arrive whole");
    if (!screen.scanner.Finished())
        return screen.Refuse("XML that does not end where the reply does");
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

// The runtime passes each piece as it stands in its buffer, which ends where the piece does: the
// buffer is cut with it. An empty piece ends the data: the last chunk of a chunked body, or else
// the end of the connection's data, whose receive tells why in errnum (0: closed in order).
int ReplyScreen::TakeBody(const char* data, std::size_t& size)
{
    if (declaredLength)
    {
        const std::uint64_t left = declaredLength - received;
        // The runtime reads on past the declared end only when its XML has not ended there.
        if (left == 0 && size > 0)
            return Refuse("XML beyond the reply's declared length");
        if (size > left)
        {
            context.buflen -= static_cast<std::size_t>(size - left);
            size = static_cast<std::size_t>(left);
        }
    }
    if (received + size > maxBodyBytes)
        return Refuse("a reply larger than the size limit");
    received += size;
    if (declaredLength)
        whole = received == declaredLength;
    else if (size == 0)
        whole = chunked || context.errnum == 0;
    if (!scanner.Take(data, size))
        return Refuse("markup in the reply that the runtime would misread");
    return SOAP_OK;
}

// The runtime itself reads a chunked body to its last chunk, or until a receive ends without data.
// Each receive passes Received and the deadline.
void ReplyScreen::ReceiveRestOfBody()
{
    while (!refusal && !whole && soap_recv_raw(&context) == SOAP_OK)
    {
    }
}

} // namespace Wrapper
} // namespace UpdateService
