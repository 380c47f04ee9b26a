#pragma once

#include <boost/exception/exception.hpp>
#include <boost/assert/source_location.hpp>
#include <boost/current_function.hpp>
#include <boost/throw_exception.hpp>

#include <exception>
#include <string>

// GCC's built-in location names only the bare function; the diagnostic text of every throw
// should name the full signature of the throwing function.
#undef BOOST_CURRENT_LOCATION
#define BOOST_CURRENT_LOCATION ::boost::source_location(__FILE__, __LINE__, BOOST_CURRENT_FUNCTION)

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
