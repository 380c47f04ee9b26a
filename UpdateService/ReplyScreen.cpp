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
    return screen.previousBeginReceive ? screen.previousBeginReceive(context) : SOAP_OK;
}

// The runtime hands the rest of the buffer after the head to Received once this returns, and
// every later piece as it arrives.
int ReplyScreen::ParseHttpHead(soap* context)
{
    ReplyScreen& screen = Of(context);
    const int result = screen.previousParse(context);
    screen.inBody = true;
    if (context->imode & (SOAP_ENC_MIME | SOAP_ENC_DIME))
        return screen.Refuse("a reply in MIME or DIME parts");
    return result;
}

int ReplyScreen::Received(soap* context, const char* data, std::size_t size)
{
    ReplyScreen& screen = Of(context);
    if (screen.inBody && !screen.scanner.Take(data, size))
        return screen.Refuse("a markup declaration or an unknown entity in the reply");
    return screen.previousReceived ? screen.previousReceived(context, data, size) : SOAP_OK;
}

int ReplyScreen::EndReceive(soap* context)
{
    ReplyScreen& screen = Of(context);
    if (!screen.inBody)
        return screen.Refuse("a reply without an HTTP head");
    return screen.previousEndReceive ? screen.previousEndReceive(context) : SOAP_OK;
}

int ReplyScreen::Refuse(const char* what)
{
    return soap_set_receiver_error(&context, what, "not allowed in a SOAP message", SOAP_SYNTAX_ERROR);
}

} // namespace Wrapper
} // namespace UpdateService
