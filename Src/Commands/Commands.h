#pragma once

#include "Program/ScanRequest.h"

namespace BriskenCommandLineScanner
{

// One function per command, called by wmain. Each ends in its own console lines: the scans and the
// definitions update report their failures, the information and update-check commands print
// what they could not learn as such.
void RunScan(const ScanRequest& request);
void UpdateDefinitions();
void PrintProductInfo();
void PrintDefinitionsInfo();
void CheckForApplicationUpdate();

} // namespace BriskenCommandLineScanner
