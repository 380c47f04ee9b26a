#pragma once

#include "Progress.h"
#include "TransientError.h"

#include <windows.h>

namespace UpdateSdkStandIn
{

// Runs step until it succeeds; after each transient failure the callback is asked (event
// 80, 81 or 82) and only an answer of 1 tries again, after a short pause.
template <typename Step>
auto Retrying(const Progress& progress, Step step) -> decltype(step())
{
    for (;;)
    {
        try
        {
            return step();
        }
        catch (const TransientError& failure)
        {
            if (!progress.AskRetry(failure.RetryEvent()))
                throw;
        }
        Sleep(250);
    }
}

} // namespace UpdateSdkStandIn
