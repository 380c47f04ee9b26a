#pragma once

#include "support/TempFolder.h"

#include <string>
#include <vector>

namespace TestSupport
{

// Steers the recording engine (tests/fixtures/RecordingEngine, loaded as scan.dll) through the
// environment for as long as the object lives: a fresh call log, no configured results and no
// scripted reports to begin with. The fake update SDK (tests/fixtures/FakeUpdateSdk) shares the
// call log and the results.
class RecordingEngine
{
public:
    RecordingEngine();
    ~RecordingEngine();
    RecordingEngine(const RecordingEngine&) = delete;
    RecordingEngine& operator=(const RecordingEngine&) = delete;

    // "Export=code,..." (export name without "ThreatScanner_").
    void SetResults(const std::wstring& results);
    // Report lines in the engine's script format (UTF-8).
    void SetReports(const std::string& script);
    // What GetDatabaseInformation delivers.
    void SetDatabase(unsigned long version, unsigned long releaseTime);

    // Every recorded call so far, one line each.
    std::vector<std::wstring> Calls() const;
    // The recorded calls whose line starts with prefix.
    std::vector<std::wstring> Calls(const std::wstring& prefix) const;
    void ClearCalls();

private:
    TempFolder folder;
};

} // namespace TestSupport
