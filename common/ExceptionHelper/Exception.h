#pragma once

#include <boost/exception/exception.hpp>
#include <boost/assert/source_location.hpp>
#include <boost/current_function.hpp>
#include <boost/throw_exception.hpp>

#include <exception>
#include <string>

// BOOST_THROW_EXCEPTION takes its site from BOOST_CURRENT_LOCATION, which Boost 1.81 builds on
// GCC from __builtin_FUNCTION(): the bare function name. Redefined here so that every throw of
// own code (all of it includes this header) records the full signature (__PRETTY_FUNCTION__)
// instead. This header must come before any use of BOOST_THROW_EXCEPTION in a source file.
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
