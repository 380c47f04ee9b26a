#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <string>

namespace BriskenCommandLineScanner
{

// Passes what it is given on to another writer in blocks of at least blockSize bytes, so that a
// long document reaches a console in a few large writes rather than one per element. Flush
// passes on the rest; what is not flushed is not passed on.
class BlockWriter : public pugi::xml_writer
{
public:
    BlockWriter(pugi::xml_writer& next, std::size_t blockSize);

    // Throws std::bad_alloc.
    void write(const void* data, std::size_t size) override;
    void Flush();

private:
    pugi::xml_writer& next;
    const std::size_t blockSize;
    std::string block;
};

} // namespace BriskenCommandLineScanner
