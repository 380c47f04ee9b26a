#include "support/FakeUpdateSdk.h"

#include "ProcessHelper/ProcessHelper.h"

#include <boost/filesystem/operations.hpp>

#include <windows.h>

namespace TestSupport
{

namespace
{

const wchar_t* const eventsVariable = L"BRISKEN_FAKE_UPDATE_EVENTS";

} // namespace

FakeUpdateSdk::FakeUpdateSdk()
{
    SetEnvironmentVariableW(eventsVariable, nullptr);
}

FakeUpdateSdk::~FakeUpdateSdk()
{
    SetEnvironmentVariableW(eventsVariable, nullptr);
}

void FakeUpdateSdk::SetEvents(const std::wstring& script)
{
    SetEnvironmentVariableW(eventsVariable, script.c_str());
}

boost::filesystem::path FakeUpdateSdk::Module()
{
    return ProcessHelper::Process::Path().parent_path() / L"BKUpdateServiceCom.dll";
}

ReplacedUpdateSdk::ReplacedUpdateSdk(const std::wstring& variant)
    : aside(FakeUpdateSdk::Module().wstring() + L".aside")
{
    boost::filesystem::rename(FakeUpdateSdk::Module(), aside);
    if (!variant.empty())
    {
        const boost::filesystem::path source =
            FakeUpdateSdk::Module().parent_path() / L"FakeUpdateSdk" / variant / L"BKUpdateServiceCom.dll";
        boost::filesystem::copy_file(source, FakeUpdateSdk::Module());
    }
}

ReplacedUpdateSdk::~ReplacedUpdateSdk()
{
    boost::system::error_code ignored;
    boost::filesystem::remove(FakeUpdateSdk::Module(), ignored);
    boost::filesystem::rename(aside, FakeUpdateSdk::Module(), ignored);
}

} // namespace TestSupport
