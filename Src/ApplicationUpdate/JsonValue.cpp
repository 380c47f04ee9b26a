#include "ApplicationUpdate/JsonValue.h"

#include <boost/json/stream_parser.hpp>

#include <stdexcept>

namespace BriskenCommandLineScanner
{
namespace
{

[[noreturn]] void ThrowWrongType(const char* wanted, const boost::json::value& value)
{
    throw std::runtime_error(std::string("get_value< ") + wanted + " > called on " + JsonTypeName(value) + " Value");
}

} // namespace

bool ReadJsonValue(const std::string& text, boost::json::value& value)
{
    boost::json::parse_options options;
    options.allow_comments = true;
    options.allow_invalid_utf8 = true;
    // The file is small and hand-written; nesting is no reason to refuse it.
    options.max_depth = 1000;
    boost::json::stream_parser parser(boost::json::storage_ptr(), options);
    boost::json::error_code error;
    // write_some stops after the first complete value; a number at the very end of the text is
    // complete only once the parser knows nothing follows.
    parser.write_some(text.data(), text.size(), error);
    if (!error && !parser.done())
        parser.finish(error);
    if (error || !parser.done())
        return false;
    value = parser.release();
    return true;
}

const char* JsonTypeName(const boost::json::value& value)
{
    switch (value.kind())
    {
    case boost::json::kind::object:
        return "Object";
    case boost::json::kind::array:
        return "Array";
    case boost::json::kind::string:
        return "string";
    case boost::json::kind::bool_:
        return "boolean";
    case boost::json::kind::int64:
    case boost::json::kind::uint64:
        return "integer";
    case boost::json::kind::double_:
        return "real";
    case boost::json::kind::null:
        break;
    }
    return "null";
}

std::string AsString(const boost::json::value& value)
{
    if (!value.is_string())
        ThrowWrongType("string", value);
    const boost::json::string& text = value.get_string();
    return std::string(text.data(), text.size());
}

const boost::json::object& AsObject(const boost::json::value& value)
{
    if (!value.is_object())
        ThrowWrongType("Object", value);
    return value.get_object();
}

} // namespace BriskenCommandLineScanner
