#pragma once

#include "Result.h"

namespace UpdateSdkStandIn
{

// A failure that may pass when tried again: the caller is asked through the retry event
// (80, 81 or 82), and the result ends the call when it answers no.
class TransientError : public UpdateError
{
public:
    TransientError(int retryEvent, Result result, const std::string& what)
        : UpdateError(result, what), retryEvent(retryEvent)
    {
    }
    int RetryEvent() const { return retryEvent; }

private:
    int retryEvent;
};

} // namespace UpdateSdkStandIn
