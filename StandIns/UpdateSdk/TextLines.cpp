#include "TextLines.h"

#include <algorithm>

namespace UpdateSdkStandIn
{

std::vector<TextLine> TextLines(const std::string& text)
{
    std::vector<TextLine> lines;
    for (std::size_t start = 0; start < text.size();)
    {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back({start, std::move(line), end < text.size()});
        start = end + 1;
    }
    return lines;
}

} // namespace UpdateSdkStandIn
