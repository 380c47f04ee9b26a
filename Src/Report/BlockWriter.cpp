#include "Report/BlockWriter.h"

namespace BriskenCommandLineScanner
{

BlockWriter::BlockWriter(pugi::xml_writer& next, std::size_t blockSize) : next(next), blockSize(blockSize)
{
}

void BlockWriter::write(const void* data, std::size_t size)
{
    block.append(static_cast<const char*>(data), size);
    if (block.size() >= blockSize)
        Flush();
}

void BlockWriter::Flush()
{
    if (block.empty())
        return;
    next.write(block.data(), block.size());
    block.clear();
}

} // namespace BriskenCommandLineScanner
