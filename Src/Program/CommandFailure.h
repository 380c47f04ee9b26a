#pragma once

namespace BriskenCommandLineScanner
{

// The boundary report of a command, or a step of one, that failed: one Error log line with the
// diagnostic text of the exception being handled, and intro followed by the same text on the
// console (the text ends with its own line break). Call it only from a catch block.
void ReportCommandFailure(const char* intro);

} // namespace BriskenCommandLineScanner
