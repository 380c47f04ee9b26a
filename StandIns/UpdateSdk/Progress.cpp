#include "Progress.h"

namespace UpdateSdkStandIn
{

int Progress::Call(int event, void* data) const
{
    return callback ? callback(event, data, context) : 0;
}

void Progress::Report(int event) const
{
    Call(event, nullptr);
}

void Progress::Report(int event, std::uint64_t value) const
{
    Call(event, &value);
}

void Progress::Report(int event, const std::string& text) const
{
    Call(event, const_cast<char*>(text.c_str()));
}

bool Progress::AskRetry(int event) const
{
    return Call(event, nullptr) == 1;
}

} // namespace UpdateSdkStandIn
