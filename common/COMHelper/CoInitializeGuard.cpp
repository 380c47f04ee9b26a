#include "COMHelper/CoInitializeGuard.h"

#include "ExceptionHelper/ComException.h"

#include <objbase.h>

namespace COMHelper
{
namespace Detail
{

void MultiThreaded::Init()
{
    try
    {
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (FAILED(hr))
            throw _com_error(hr);
    }
    catch (const _com_error& error)
    {
        BOOST_THROW_EXCEPTION(ExceptionHelper::Com(error));
    }
}

} // namespace Detail

CoInitializeGuard::CoInitializeGuard()
{
    Detail::MultiThreaded::Init();
}

CoInitializeGuard::~CoInitializeGuard()
{
    CoUninitialize();
}

} // namespace COMHelper
