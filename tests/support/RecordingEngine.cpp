#include "support/RecordingEngine.h"

#include "StringHelper/StringHelper.h"

#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>

#include <windows.h>

namespace TestSupport
{

namespace
{

const wchar_t* const logVariable = L"BRISKEN_RECORDING_LOG";
const wchar_t* const resultsVariable = L"BRISKEN_RECORDING_RESULTS";
const wchar_t* const reportsVariable = L"BRISKEN_RECORDING_REPORTS";
const wchar_t* const databaseVariable = L"BRISKEN_RECORDING_DATABASE";

} // namespace

RecordingEngine::RecordingEngine()
{
    SetEnvironmentVariableW(logVariable, (folder.Path() / "calls.log").wstring().c_str());
    SetEnvironmentVariableW(resultsVariable, nullptr);
    SetEnvironmentVariableW(reportsVariable, nullptr);
    SetEnvironmentVariableW(databaseVariable, nullptr);
}

RecordingEngine::~RecordingEngine()
{
    SetEnvironmentVariableW(logVariable, nullptr);
    SetEnvironmentVariableW(resultsVariable, nullptr);
    SetEnvironmentVariableW(reportsVariable, nullptr);
    SetEnvironmentVariableW(databaseVariable, nullptr);
}

void RecordingEngine::SetResults(const std::wstring& results)
{
    SetEnvironmentVariableW(resultsVariable, results.c_str());
}

void RecordingEngine::SetReports(const std::string& script)
{
    const boost::filesystem::path file = folder.Path() / "reports.txt";
    boost::filesystem::ofstream(file, std::ios::binary) << script;
    SetEnvironmentVariableW(reportsVariable, file.wstring().c_str());
}

void RecordingEngine::SetDatabase(unsigned long version, unsigned long releaseTime)
{
    SetEnvironmentVariableW(databaseVariable, (std::to_wstring(version) + L"," + std::to_wstring(releaseTime)).c_str());
}

std::vector<std::wstring> RecordingEngine::Calls() const
{
    std::vector<std::wstring> calls;
    boost::filesystem::ifstream file(folder.Path() / "calls.log", std::ios::binary);
    std::string line;
    while (std::getline(file, line))
        calls.push_back(StringHelper::ToWide(line, CP_UTF8));
    return calls;
}

std::vector<std::wstring> RecordingEngine::Calls(const std::wstring& prefix) const
{
    std::vector<std::wstring> matching;
    for (const std::wstring& call : Calls())
    {
        if (call.compare(0, prefix.size(), prefix) == 0)
            matching.push_back(call);
    }
    return matching;
}

void RecordingEngine::ClearCalls()
{
    boost::system::error_code ignored;
    boost::filesystem::remove(folder.Path() / "calls.log", ignored);
}

} // namespace TestSupport
