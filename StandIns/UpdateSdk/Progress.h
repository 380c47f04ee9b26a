#pragma once

#include "UpdateSdk.h"

#include <cstdint>
#include <string>

namespace UpdateSdkStandIn
{

// The caller's progress callback with its context; without a callback every report is
// dropped and every retry request answered no.
class Progress
{
public:
    Progress(BKUpdateCallback_t* callback, void* context) : callback(callback), context(context) {}

    void Report(int event) const;
    void Report(int event, std::uint64_t value) const;
    void Report(int event, const std::string& text) const;
    // Asks whether to try again after a transient failure: true only when the answer is 1.
    bool AskRetry(int event) const;

private:
    int Call(int event, void* data) const;

    BKUpdateCallback_t* callback;
    void* context;
};

} // namespace UpdateSdkStandIn
