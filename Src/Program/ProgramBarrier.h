#pragma once

namespace BriskenCommandLineScanner
{

// wmain's barrier around the program's work, which runs once. An InvalidCommandLine prints its
// message and the usage; any other exception is logged and printed as "Unexpected error: " with
// Boost's description of it. Returns the exit code: 1 after such an exception, else 0.
int RunWithinBarrier(void (*work)());

} // namespace BriskenCommandLineScanner
