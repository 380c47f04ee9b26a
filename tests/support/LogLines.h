#pragma once

#include <string>
#include <vector>

namespace TestSupport
{

// The lines that this test executable writes into its log (the Logs folder beside it) from the
// moment the object is made. The logger is started once per process, at the first object.
class LogLines
{
public:
    LogLines();

    // Without their line ends.
    std::vector<std::string> Lines() const;

private:
    std::size_t start;
};

} // namespace TestSupport
