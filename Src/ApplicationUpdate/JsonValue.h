#pragma once

#include <boost/json/value.hpp>

#include <string>

namespace BriskenCommandLineScanner
{

// Reads the first complete JSON value of text into value, as json_spirit read it. // and /* */
// comments count as white space, the text's bytes are taken as they stand (no UTF-8 check), a
// control character may stand raw inside a string, a number may have leading zeros, and whatever
// follows the first value is not looked at. False when no complete value comes first.
bool ReadJsonValue(const std::string& text, boost::json::value& value);

// The value's type as the partner-file log names it: "Object", "Array", "string", "boolean",
// "integer", "real" or "null".
const char* JsonTypeName(const boost::json::value& value);

// The value as a string or an object. Any other type throws std::runtime_error
// "get_value< string > called on <type> Value" (or "get_value< Object > ...").
std::string AsString(const boost::json::value& value);
const boost::json::object& AsObject(const boost::json::value& value);

} // namespace BriskenCommandLineScanner
