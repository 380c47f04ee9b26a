#include "VersionHelper/Version.h"

#include <locale>
#include <sstream>

namespace VersionHelper
{

template <typename Char>
Version Version::Parse(const std::basic_string<Char>& text)
{
    Version version;
    std::basic_istringstream<Char> stream(text);
    stream.imbue(std::locale::classic()); // digits only: no grouping, whatever the global locale
    for (int index = 0; index < 4; ++index)
    {
        if (index > 0)
        {
            Char separator;
            stream >> separator;
        }
        // The stream would take a sign ("-1" as 65535, "+1" as 1): a part is decimal digits only.
        stream >> std::ws;
        const auto next = stream.peek();
        if (next < '0' || next > '9')
            break;
        std::uint16_t part = 0;
        if (!(stream >> part))
            break;
        version.value |= static_cast<std::uint64_t>(part) << (16 * (3 - index));
    }
    return version;
}

Version Version::FromString(std::wstring text)
{
    return Parse(text);
}

Version Version::FromString(std::string text)
{
    return Parse(text);
}

std::uint16_t Version::Part(int index) const
{
    return static_cast<std::uint16_t>(value >> (16 * (3 - index)));
}

std::wstring Version::ToString() const
{
    std::wostringstream text;
    text.imbue(std::locale::classic());
    text << Part(0) << L'.' << Part(1) << L'.' << Part(2) << L'.' << Part(3);
    return text.str();
}

} // namespace VersionHelper
