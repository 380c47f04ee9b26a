#pragma once

#include "UpdateService/LogHelper/Log.h"

#include <boost/shared_ptr.hpp>

namespace LogHelper
{

// The program registers no sink; tests hang theirs on the facade (weakly, as any sink) and can
// run the facade's exit-time teardown.
class LogTestPeer
{
public:
    static void SetSink(const boost::shared_ptr<Sink>& sink) { Log::Instance()->sink = sink; }
    static void Teardown() { Log::Destroy(); }
};

} // namespace LogHelper
