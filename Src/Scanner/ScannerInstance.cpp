// Engine instances: creation with options and callbacks.
#include "Scanner/Scanner.h"

#include "ExceptionHelper/Exception.h"

#include <sstream>

namespace BriskenCommandLineScanner
{

namespace
{

using CreateInstanceFunction = DllHelper::Detail::DllFunction<ThreatScanner_CreateInstance_t, 0>;
using SetIntOptionFunction = DllHelper::Detail::DllFunction<ThreatScanner_SetIntOption_t, 0>;
using SetExtCallbackFunction = DllHelper::Detail::DllFunction<ThreatScanner_SetExtCallback_t, 0>;
using SetPasswordCallbackFunction = DllHelper::Detail::DllFunction<ThreatScanner_SetPasswordCallback_t, 0>;
using SetScanCallback2Function = DllHelper::Detail::DllFunction<ThreatScanner_SetScanCallback2_t, 0>;

struct IntOption
{
    int id;
    int value;
};

// Set before the callbacks are installed.
const IntOption leadingOptions[] = {{6001, 1}, {6002, 0}};

// Set after the callbacks, in this order.
const IntOption scanOptions[] = {
    {4081, 1}, {106, 1}, {4078, 1}, {26, 1}, {27, 0}, {25, 1}, {87, 1},
    {4080, 1}, {4090, 1}, {110, 0}, {80, 1}, {79, 1}, {78, 1},
};

void EmptyCallback(int, const wchar_t*, wchar_t*, int*, void*)
{
}

void EmptyCallback(_ScanCbkExtScanParams*, _ScanExtCbks*, int*, void*)
{
}

template <std::size_t N>
void SetOptions(const SetIntOptionFunction& setIntOption, CThreatScannerStruct* instance, const IntOption (&options)[N])
{
    for (const IntOption& option : options)
        setIntOption(instance, option.id, option.value);
}

} // namespace

CThreatScannerStruct* Scanner::CreateScanner()
{
    const CreateInstanceFunction createInstance(scanDll, EngineSdk::CreateInstanceName);
    const SetIntOptionFunction setIntOption(scanDll, EngineSdk::SetIntOptionName);
    const SetExtCallbackFunction setExtCallback(scanDll, EngineSdk::SetExtCallbackName);
    const SetPasswordCallbackFunction setPasswordCallback(scanDll, EngineSdk::SetPasswordCallbackName);
    const SetScanCallback2Function setScanCallback2(scanDll, EngineSdk::SetScanCallback2Name);

    CThreatScannerStruct* instance = nullptr;
    const int result = createInstance(&instance);
    if (result != EngineSdk::Result::Success)
    {
        std::ostringstream message;
        message << "Couldn't create scanner. Error: " << result;
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception(message.str()));
    }

    // The engine's answers to these are not acted upon.
    SetOptions(setIntOption, instance, leadingOptions);
    setScanCallback2(instance, &Scanner::ScanCallback, this);
    setPasswordCallback(instance, &EmptyCallback, this);
    setExtCallback(instance, &EmptyCallback, this);
    SetOptions(setIntOption, instance, scanOptions);
    return instance;
}

EngineInstance Scanner::CreateOwnedScanner()
{
    CThreatScannerStruct* const created = CreateScanner();
    const DestroyInstanceFunction destroy(scanDll, EngineSdk::DestroyInstanceName);
    return OwnEngineInstance(destroy, created);
}

} // namespace BriskenCommandLineScanner
