#pragma once

#include <pugixml.hpp>

#include <cstddef>

namespace BriskenCommandLineScanner
{

// Passes a saved scan result on to another writer, with every '>' inside an attribute value
// written as "&gt;" (so the system object reads "&lt;System&gt;"), as the result has always
// been written; this pugixml leaves it bare. The document is UTF-8, whose multi-byte sequences
// never hold a quote or '>' byte, and quotes inside values are already escaped, so each quote
// opens or closes a value.
class ScanResultWriter : public pugi::xml_writer
{
public:
    explicit ScanResultWriter(pugi::xml_writer& next);

    void write(const void* data, std::size_t size) override;

private:
    pugi::xml_writer& next;
    bool inValue = false;
};

} // namespace BriskenCommandLineScanner
