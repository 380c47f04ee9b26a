#pragma once

#include <boost/function.hpp>

#include <utility>

namespace UpdateService
{
namespace Wrapper
{

// Runs its clean-up when the scope ends, also when an exception passes: the lookup frees
// everything its proxy's context allocated or read before the proxy itself goes.
class DestroyProxyOnExit
{
public:
    explicit DestroyProxyOnExit(boost::function<void()> cleanUp) : cleanUp(std::move(cleanUp)) {}
    ~DestroyProxyOnExit() { cleanUp(); }
    DestroyProxyOnExit(const DestroyProxyOnExit&) = delete;
    DestroyProxyOnExit& operator=(const DestroyProxyOnExit&) = delete;

private:
    boost::function<void()> cleanUp;
};

} // namespace Wrapper
} // namespace UpdateService
