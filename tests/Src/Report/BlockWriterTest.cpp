#include "Report/BlockWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using BriskenCommandLineScanner::BlockWriter;

namespace
{

// Each write it receives, as one string.
class WritesRecorder : public pugi::xml_writer
{
public:
    void write(const void* data, std::size_t size) override
    {
        writes.emplace_back(static_cast<const char*>(data), size);
    }

    std::vector<std::string> writes;
};

TEST(BlockWriterTest, PassesFullBlocksOnAndTheRestAtFlush)
{
    WritesRecorder next;
    BlockWriter blocks(next, 10);

    blocks.write("<a>\n", 4);
    blocks.write("<b/>\n", 5);
    EXPECT_TRUE(next.writes.empty());
    blocks.write("<c/>\n", 5);
    blocks.write("</a>\n", 5);
    blocks.Flush();
    blocks.Flush();

    EXPECT_EQ(next.writes, (std::vector<std::string>{"<a>\n<b/>\n<c/>\n", "</a>\n"}));
}

} // namespace
