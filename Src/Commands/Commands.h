#pragma once

#include "Program/ScanRequest.h"

namespace BriskenCommandLineScanner
{

// One function per command; each handles and reports its own failures.
void RunScan(const ScanRequest& request);
void UpdateDefinitions();
void PrintProductInfo();
void PrintDefinitionsInfo();
void CheckForApplicationUpdate();

} // namespace BriskenCommandLineScanner
