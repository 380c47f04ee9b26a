#pragma once

#include "Scanner/InfectedObject.h"

#include <boost/shared_ptr.hpp>

#include <string>
#include <vector>

namespace BriskenCommandLineScanner
{

// What one scan collected, filled by the Scanner and only read by the report.
struct ScanResult
{
    std::wstring scanTypeName;              // the request's scan type as text; empty for an unknown one
    std::string startTime;                  // UTC, ISO basic form, e.g. 20240105T101500.123456
    std::string endTime;
    std::vector<std::wstring> scannedPaths; // in scan order
    std::vector<boost::shared_ptr<InfectedObject>> infected; // in the order the callback recorded them
};

} // namespace BriskenCommandLineScanner
