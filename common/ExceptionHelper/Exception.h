#pragma once

#include <boost/exception/exception.hpp>
#include <boost/throw_exception.hpp>

#include <exception>
#include <string>

namespace ExceptionHelper
{

// Base of every exception thrown by own code. Always thrown through BOOST_THROW_EXCEPTION,
// so that Boost's diagnostic text names the throw site.
class Exception : public std::exception, public boost::exception
{
public:
    explicit Exception(const std::string& message);

    const char* what() const noexcept override;

private:
    std::string message;
};

} // namespace ExceptionHelper
