#include "Report/ScanResultWriter.h"

namespace BriskenCommandLineScanner
{

ScanResultWriter::ScanResultWriter(pugi::xml_writer& next) : next(next)
{
}

void ScanResultWriter::write(const void* data, std::size_t size)
{
    const char* const bytes = static_cast<const char*>(data);
    std::size_t start = 0;
    for (std::size_t i = 0; i < size; ++i)
    {
        if (bytes[i] == '"')
        {
            inValue = !inValue;
        }
        else if (bytes[i] == '>' && inValue)
        {
            if (i > start)
                next.write(bytes + start, i - start);
            next.write("&gt;", 4);
            start = i + 1;
        }
    }
    if (start < size)
        next.write(bytes + start, size - start);
}

} // namespace BriskenCommandLineScanner
