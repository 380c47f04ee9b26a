#include "DllHelper/Dll.h"

#include "StringHelper/StringHelper.h"

#include <boost/make_shared.hpp>

#include <cstdio>
#include <type_traits>

#include <windows.h>

static_assert(std::is_same<HMODULE, HINSTANCE__*>::value, "the header's module handle is Windows'");

namespace DllHelper
{
namespace Detail
{

template <typename Tag>
Dll<Tag>::Dll(const boost::filesystem::path& path) : handle(nullptr)
{
    // Copied before the load, so that nothing can fail between the load and its owner.
    std::wstring text = path.wstring();
    handle = LoadLibraryW(text.c_str());
    if (!handle)
    {
        // The narrow conversion of the message may itself touch the last error: keep the load's.
        // UTF-8, so that a folder named outside the ANSI code page keeps its name.
        const DWORD error = GetLastError();
        const std::string message = StringHelper::ToNarrow(text, StringHelper::Utf8CodePage);
        SetLastError(error);
        BOOST_THROW_EXCEPTION(ExceptionHelper::Windows(message));
    }
    this->path.swap(text);
}

template <typename Tag>
Dll<Tag>::~Dll()
{
    if (handle && !FreeLibrary(handle))
    {
        // No exception may leave a destructor and this library has no log of its own: the
        // failure ("Couldn't free library" with its error code) goes to the debugger, if any.
        wchar_t text[64] = {};
        std::swprintf(text, sizeof text / sizeof text[0], L"Couldn't free library (error %lu)\n",
            GetLastError());
        OutputDebugStringW(text);
    }
    handle = nullptr;
}

template <typename Tag>
HINSTANCE__* Dll<Tag>::Handle() const
{
    return handle;
}

template <typename Tag>
const std::wstring& Dll<Tag>::Path() const
{
    return path;
}

template class Dll<DllHelper::DllTag>;

void (*FindExport(const Dll<DllTag>& dll, const std::string& name))()
{
    // Going through void(*)() keeps the compiler's function-cast check quiet.
    return reinterpret_cast<void (*)()>(GetProcAddress(dll.Handle(), name.c_str()));
}

} // namespace Detail

boost::shared_ptr<Detail::Dll<DllTag>> MakeDll(const boost::filesystem::path& path)
{
    return boost::make_shared<Detail::Dll<DllTag>>(path);
}

} // namespace DllHelper
