#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace UpdateSdkStandIn
{

// A line of a text that a program wrote and that an editor or a copy tool may have touched.
struct TextLine
{
    std::size_t offset; // where it begins in the text
    std::string text;   // without its line end
    bool ended;         // false for a last line that no line end closes: cut short, or left so
};

// The non-blank lines of the text, each ended by LF or CR LF (a CR at the very end is dropped
// too).
std::vector<TextLine> TextLines(const std::string& text);

} // namespace UpdateSdkStandIn
