#include "PluginsVersionFile.h"

namespace UpdateSdkStandIn::PluginsVersionFile
{
namespace
{

const std::string marker = "Version: ";

struct VersionLine
{
    std::size_t begin = std::string::npos; // of the line
    std::size_t end = 0;                   // before its line break
    std::string version;
};

VersionLine FindVersionLine(const std::string& content)
{
    std::size_t begin = 0;
    while (begin < content.size())
    {
        std::size_t end = content.find('\n', begin);
        const std::size_t next = end == std::string::npos ? content.size() : end + 1;
        end = end == std::string::npos ? content.size() : end;
        if (end > begin && content[end - 1] == '\r')
            --end;
        const std::size_t found = content.find(marker, begin);
        if (found != std::string::npos && found + marker.size() < end)
            return {begin, end, content.substr(found + marker.size(), end - found - marker.size())};
        begin = next;
    }
    return {};
}

} // namespace

std::string ReadVersion(const std::string& content)
{
    return FindVersionLine(content).version;
}

std::string WithVersion(const std::string& content, const std::string& version)
{
    const VersionLine line = FindVersionLine(content);
    if (line.begin == std::string::npos)
        return marker + version + "\r\n" + content;
    return content.substr(0, line.begin) + marker + version + content.substr(line.end);
}

} // namespace UpdateSdkStandIn::PluginsVersionFile
