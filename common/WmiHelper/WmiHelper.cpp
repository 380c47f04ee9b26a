#include "WmiHelper/WmiHelper.h"

#include "COMHelper/CoInitializeGuard.h"

#include <boost/thread/thread.hpp>

#include <comdef.h>
#include <wbemidl.h>

#include <memory>

namespace WmiHelper
{
namespace
{

_COM_SMARTPTR_TYPEDEF(IWbemLocator, __uuidof(IWbemLocator));
_COM_SMARTPTR_TYPEDEF(IWbemServices, __uuidof(IWbemServices));
_COM_SMARTPTR_TYPEDEF(IEnumWbemClassObject, __uuidof(IEnumWbemClassObject));
_COM_SMARTPTR_TYPEDEF(IWbemClassObject, __uuidof(IWbemClassObject));

struct ComStringFree
{
    void operator()(BSTR text) const { SysFreeString(text); }
};
using ComString = std::unique_ptr<OLECHAR, ComStringFree>;

// A COM string of the narrow text in the thread's ANSI code page. Failing to make one is
// running out of memory, raised as the COM error so that the worker's barrier catches it.
ComString ToComString(const std::string& text)
{
    const int measured = MultiByteToWideChar(CP_THREAD_ACP, 0, text.c_str(), -1, nullptr, 0);
    ComString result(measured > 0 ? SysAllocStringLen(nullptr, measured - 1) : nullptr);
    if (result && MultiByteToWideChar(CP_THREAD_ACP, 0, text.c_str(), -1, result.get(), measured) != measured)
        result.reset();
    if (!result)
        throw _com_error(E_OUTOFMEMORY);
    return result;
}

// A failed copy leaves target holding the error, then raises it.
void CopyVariant(VARIANT& target, const VARIANT& source)
{
    const HRESULT hr = VariantCopy(&target, const_cast<VARIANT*>(&source));
    if (FAILED(hr))
    {
        target.vt = VT_ERROR;
        target.scode = hr;
        throw _com_error(hr);
    }
}

// Connects to ROOT\CIMV2 with call-level security; empty when WMI refuses any step.
IWbemServicesPtr ConnectToCimv2(const IWbemLocatorPtr& locator)
{
    const ComString wmiNamespace(SysAllocString(L"ROOT\\CIMV2"));
    if (!wmiNamespace)
        throw _com_error(E_OUTOFMEMORY);
    IWbemServicesPtr services;
    if (FAILED(locator->ConnectServer(wmiNamespace.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services)))
        return IWbemServicesPtr();
    if (FAILED(CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
            RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE)))
        return IWbemServicesPtr();
    return services;
}

} // namespace

std::wstring GetComputerUuid()
{
    std::wstring result;
    // The caller must not be interrupted out of the wait while the worker still writes result.
    const boost::this_thread::disable_interruption noInterruption;
    boost::thread worker(&ReadComputerUuid, boost::ref(result));
    if (worker.joinable())
        worker.join();
    return result;
}

void ReadComputerUuid(std::wstring& result)
{
    // A thread body is a barrier: whatever fails here only leaves the result empty.
    try
    {
        const COMHelper::CoInitializeGuard com;
        IWbemLocatorPtr locator;
        if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                reinterpret_cast<void**>(&locator))))
            return;
        const IWbemServicesPtr services = ConnectToCimv2(locator);
        if (!services)
            return;
        VARIANT answer = QueryProperty(IWbemServicesPtr(services).Detach(),
            "SELECT * FROM Win32_ComputerSystemProduct", L"UUID");
        _variant_t returned;
        returned.Attach(answer);
        _variant_t value;
        CopyVariant(value, returned);
        returned.Clear();
        const std::wstring uuid = UuidText(value);
        if (!uuid.empty())
            result = uuid;
    }
    catch (...)
    {
        // std::exception (the guard's ExceptionHelper::Com among them), _com_error and
        // anything else.
    }
}

std::wstring UuidText(const VARIANT& value)
{
    if (value.vt != VT_BSTR || !value.bstrVal)
        return std::wstring();
    return value.bstrVal;
}

VARIANT QueryProperty(IWbemServices* servicesReference, const std::string& query, const std::wstring& property)
{
    const IWbemServicesPtr services(servicesReference, false);
    const ComString queryText = ToComString(query);
    const ComString language = ToComString("WQL");

    VARIANT result;
    VariantInit(&result);
    IEnumWbemClassObjectPtr objects;
    const HRESULT hr = services->ExecQuery(language.get(), queryText.get(),
        WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &objects);
    if (FAILED(hr) || !objects)
        return result;

    // Only the number of objects returned tells whether there is one.
    IWbemClassObjectPtr object;
    ULONG returnedCount = 0;
    objects->Next(WBEM_INFINITE, 1, &object, &returnedCount);
    if (returnedCount == 0)
        return result;

    // Whatever Get stored, VT_EMPTY included, is the answer.
    _variant_t value;
    object->Get(property.c_str(), 0, &value, nullptr, nullptr);
    CopyVariant(result, value);
    return result;
}

} // namespace WmiHelper
