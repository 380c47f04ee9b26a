#include "UpdateService/DeclarationRefusal.h"

namespace UpdateService
{
namespace Wrapper
{

DeclarationRefusal::DeclarationRefusal(soap& context)
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

DeclarationRefusal::~DeclarationRefusal()
{
    context.user = previousUser;
    context.fprepareinitrecv = previousBeginReceive;
    context.fparse = previousParse;
    context.fpreparerecv = previousReceived;
    context.fpreparefinalrecv = previousEndReceive;
}

DeclarationRefusal& DeclarationRefusal::Of(soap* context)
{
    return *static_cast<DeclarationRefusal*>(context->user);
}

int DeclarationRefusal::BeginReceive(soap* context)
{
    DeclarationRefusal& refusal = Of(context);
    refusal.scanner = DeclarationScanner();
    refusal.inBody = false;
    return refusal.previousBeginReceive ? refusal.previousBeginReceive(context) : SOAP_OK;
}

// The runtime hands the rest of the buffer after the head to Received once this returns, and
// every later piece as it arrives.
int DeclarationRefusal::ParseHttpHead(soap* context)
{
    DeclarationRefusal& refusal = Of(context);
    const int result = refusal.previousParse(context);
    refusal.inBody = true;
    if (context->imode & (SOAP_ENC_MIME | SOAP_ENC_DIME))
        return refusal.Refuse("a reply in MIME or DIME parts");
    return result;
}

int DeclarationRefusal::Received(soap* context, const char* data, std::size_t size)
{
    DeclarationRefusal& refusal = Of(context);
    if (refusal.inBody && !refusal.scanner.Take(data, size))
        return refusal.Refuse("a markup declaration (DTD) in the reply");
    return refusal.previousReceived ? refusal.previousReceived(context, data, size) : SOAP_OK;
}

int DeclarationRefusal::EndReceive(soap* context)
{
    DeclarationRefusal& refusal = Of(context);
    if (!refusal.inBody)
        return refusal.Refuse("a reply without an HTTP head");
    return refusal.previousEndReceive ? refusal.previousEndReceive(context) : SOAP_OK;
}

int DeclarationRefusal::Refuse(const char* what)
{
    return soap_set_receiver_error(&context, what, "not allowed in a SOAP message", SOAP_SYNTAX_ERROR);
}

} // namespace Wrapper
} // namespace UpdateService
