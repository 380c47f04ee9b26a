#include "ApplicationUpdate/JsonValue.h"

#include <boost/json/basic_parser_impl.hpp>
#include <boost/json/value_stack.hpp>

#include <stdexcept>

namespace BriskenCommandLineScanner
{
namespace
{

using boost::json::error_code;
using boost::json::string_view;

// Builds the first value of the text and ends the parse the moment it is complete. Left to go on,
// the parser reads the white space and comments after the value too, and a '/' there that starts
// no comment, or a comment left open, would fail the whole text.
class FirstValue
{
public:
    static constexpr std::size_t max_object_size = boost::json::object::max_size();
    static constexpr std::size_t max_array_size = boost::json::array::max_size();
    static constexpr std::size_t max_key_size = boost::json::string::max_size();
    static constexpr std::size_t max_string_size = boost::json::string::max_size();

    bool on_document_begin(error_code&) { return true; }
    bool on_document_end(error_code&) { return true; }
    bool on_object_begin(error_code&) { return Open(); }
    bool on_array_begin(error_code&) { return Open(); }
    bool on_number_part(string_view, error_code&) { return true; }
    bool on_comment_part(string_view, error_code&) { return true; }
    bool on_comment(string_view, error_code&) { return true; }

    bool on_object_end(std::size_t n, error_code& ec)
    {
        values.push_object(n);
        return Close(ec);
    }
    bool on_array_end(std::size_t n, error_code& ec)
    {
        values.push_array(n);
        return Close(ec);
    }
    bool on_key_part(string_view s, std::size_t, error_code&)
    {
        values.push_chars(s);
        return true;
    }
    bool on_key(string_view s, std::size_t, error_code&)
    {
        values.push_key(s);
        return true;
    }
    bool on_string_part(string_view s, std::size_t, error_code&)
    {
        values.push_chars(s);
        return true;
    }
    bool on_string(string_view s, std::size_t, error_code& ec)
    {
        values.push_string(s);
        return Ended(ec);
    }
    bool on_int64(std::int64_t i, string_view, error_code& ec)
    {
        values.push_int64(i);
        return Ended(ec);
    }
    bool on_uint64(std::uint64_t u, string_view, error_code& ec)
    {
        values.push_uint64(u);
        return Ended(ec);
    }
    bool on_double(double d, string_view, error_code& ec)
    {
        values.push_double(d);
        return Ended(ec);
    }
    bool on_bool(bool b, error_code& ec)
    {
        values.push_bool(b);
        return Ended(ec);
    }
    bool on_null(error_code& ec)
    {
        values.push_null();
        return Ended(ec);
    }

    boost::json::value_stack values;
    bool complete = false;

private:
    bool Open()
    {
        ++depth;
        return true;
    }

    bool Close(error_code& ec)
    {
        --depth;
        return Ended(ec);
    }

    // At the outermost level the value is whole: stop the parser there.
    bool Ended(error_code& ec)
    {
        if (depth != 0)
            return true;
        complete = true;
        ec = boost::json::error::extra_data;
        return false;
    }

    std::size_t depth = 0;
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsInNumber(char c)
{
    return IsDigit(c) || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
}

// The index after the leading zeros of the number whose digits start at begin: all of them before
// another digit, all but one before anything else.
std::size_t AfterLeadingZeros(const std::string& text, std::size_t begin)
{
    std::size_t end = begin;
    while (end < text.size() && text[end] == '0')
        ++end;
    if (end == begin || (end < text.size() && IsDigit(text[end])))
        return end;
    return end - 1;
}

// json_spirit, whose reading the partner file keeps, took two things that Boost.JSON refuses: a
// raw control character inside a string and leading zeros in a number. This writes them as
// Boost.JSON takes them, for the same value: the character as a \u escape, the number without
// those zeros. Strings and comments are followed, so that nothing else is touched.
std::string AsJsonSpiritTookIt(const std::string& text)
{
    enum class At
    {
        Value,
        Number,
        String,
        Escape,
        LineComment,
        BlockComment,
    };
    std::string taken;
    taken.reserve(text.size());
    At at = At::Value;
    for (std::size_t index = 0; index < text.size();)
    {
        const char c = text[index];
        switch (at)
        {
        case At::Number:
            if (IsInNumber(c))
                break;
            at = At::Value;
            continue; // the same character again, as what follows the number
        case At::Value:
            if (c == '-' || IsDigit(c))
            {
                at = At::Number;
                if (c == '-')
                    taken += text[index++];
                index = AfterLeadingZeros(text, index);
                continue;
            }
            if (c == '"')
                at = At::String;
            else if (text.compare(index, 2, "//") == 0 || text.compare(index, 2, "/*") == 0)
            {
                at = text[index + 1] == '/' ? At::LineComment : At::BlockComment;
                taken.append(text, index, 2);
                index += 2;
                continue;
            }
            break;
        case At::String:
            if (static_cast<unsigned char>(c) < 0x20)
            {
                const char hex[] = "0123456789abcdef";
                taken += "\\u00";
                taken += hex[(c >> 4) & 0xF];
                taken += hex[c & 0xF];
                ++index;
                continue;
            }
            if (c == '\\')
                at = At::Escape;
            else if (c == '"')
                at = At::Value;
            break;
        case At::Escape:
            at = At::String;
            break;
        case At::LineComment:
            if (c == '\n')
                at = At::Value;
            break;
        case At::BlockComment:
            if (text.compare(index, 2, "*/") == 0)
            {
                at = At::Value;
                taken += "*/";
                index += 2;
                continue;
            }
            break;
        }
        taken += c;
        ++index;
    }
    return taken;
}

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
    boost::json::basic_parser<FirstValue> parser(options);
    parser.handler().values.reset();
    error_code error;
    const std::string taken = AsJsonSpiritTookIt(text);
    // Not more to come: a number at the very end of the text is complete then.
    parser.write_some(false, taken.data(), taken.size(), error);
    if (!parser.handler().complete)
        return false;
    value = parser.handler().values.release();
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
