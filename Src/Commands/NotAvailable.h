#pragma once

namespace BriskenCommandLineScanner
{

// For a command this build does not carry yet: says so on the console and in the log instead
// of pretending to succeed.
void ReportNotAvailable(const char* command);

} // namespace BriskenCommandLineScanner
