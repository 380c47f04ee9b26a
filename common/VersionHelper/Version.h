#pragma once

#include <cstdint>
#include <string>

namespace VersionHelper
{

// A four-part version held as one 64-bit value, first part in the highest 16 bits, so that
// versions compare as integers. Parsing never fails: a part is decimal digits (no sign), and the
// first part that cannot be read stays 0 with all after it.
class Version
{
public:
    Version() = default;

    static Version FromString(std::wstring text);
    static Version FromString(std::string text);

    std::wstring ToString() const;

    std::uint64_t Value() const { return value; }

    friend bool operator<(const Version& a, const Version& b) { return a.value < b.value; }
    friend bool operator>(const Version& a, const Version& b) { return a.value > b.value; }
    friend bool operator==(const Version& a, const Version& b) { return a.value == b.value; }
    friend bool operator!=(const Version& a, const Version& b) { return a.value != b.value; }

private:
    template <typename Char>
    static Version Parse(const std::basic_string<Char>& text);

    std::uint16_t Part(int index) const;

    std::uint64_t value = 0;
};

} // namespace VersionHelper
