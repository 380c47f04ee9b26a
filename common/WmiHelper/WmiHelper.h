#pragma once

#include <string>

struct IWbemServices;
struct tagVARIANT;

namespace WmiHelper
{

// The UUID of the computer system product exactly as WMI gives it, or empty when it cannot be
// read. Runs the query on a worker thread of its own, which enters the multithreaded apartment
// for itself, so the caller's COM state is neither used nor changed; waits for it however long
// WMI takes, with interruption disabled. Every call queries afresh. Throws only
// boost::thread_resource_error when the worker cannot be started.
std::wstring GetComputerUuid();

// The worker's body: writes result only when a UUID was read. Lets no exception out.
void ReadComputerUuid(std::wstring& result);

// The UUID in the query's answer: the text of a string up to its first NUL; empty for a null
// string and for any other type (VT_EMPTY when no object came back, VT_NULL for a null property).
std::wstring UuidText(const tagVARIANT& value);

// The named property of the first object the WQL query returns, VT_EMPTY when the query fails
// or returns nothing. Takes over one reference to services and releases it. The caller clears
// the VARIANT. Throws _com_error when a COM string cannot be made or the value cannot be copied.
tagVARIANT QueryProperty(IWbemServices* services, const std::string& query, const std::wstring& property);

} // namespace WmiHelper
