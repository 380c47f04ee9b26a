#pragma once

#include "ExceptionHelper/Exception.h"
#include "ExceptionHelper/WindowsException.h"

#include <boost/core/noncopyable.hpp>
#include <boost/filesystem/path.hpp>
#include <boost/shared_ptr.hpp>

#include <string>
#include <utility>

// Windows' module handle type (HMODULE), declared here without <windows.h>.
struct HINSTANCE__;

namespace DllHelper
{

// The only tag the module template is used with.
struct DllTag
{
};

namespace Detail
{

// A module loaded from a path, freed when the object dies. Created by MakeDll and shared
// through boost::shared_ptr: the module stays loaded until the last copy is released.
template <typename Tag>
class Dll : private boost::noncopyable
{
public:
    // Loads the module with LoadLibraryW. Throws ExceptionHelper::Windows whose message is the
    // path in UTF-8, with LoadLibraryW's error code attached.
    explicit Dll(const boost::filesystem::path& path);

    // Frees the module; never throws (a failed FreeLibrary is reported to the debugger only).
    ~Dll();

    // The loaded module; never null while the object lives.
    HINSTANCE__* Handle() const;

    // The path the module was loaded from.
    const std::wstring& Path() const;

private:
    HINSTANCE__* handle;
    std::wstring path;
};

// Only DllTag is ever used: its members are compiled once, in Dll.cpp.
extern template class Dll<DllHelper::DllTag>;

// The address of the export name of dll (GetProcAddress); null, with the last error set, when
// it has none.
void (*FindExport(const Dll<DllTag>& dll, const std::string& name))();

// A typed pointer to an export, looked up by name when built; it is never cached and holds no
// reference to its module: whoever calls through it keeps a shared pointer to the module alive.
// The second argument only tells apart functions of the same signature; 0 in every use.
template <typename Signature, int Id = 0>
class DllFunction;

template <typename Result, typename... Args, int Id>
class DllFunction<Result(Args...), Id>
{
public:
    using Pointer = Result (*)(Args...);

    // Throws ExceptionHelper::Exception (message: the name) for an empty dll, without a lookup;
    // ExceptionHelper::Windows (message: the name, GetProcAddress's error code) for a missing export.
    DllFunction(boost::shared_ptr<Dll<DllTag>> dll, const std::string& name) : function(nullptr)
    {
        if (!dll)
            BOOST_THROW_EXCEPTION(ExceptionHelper::Exception(name));
        void (*const address)() = FindExport(*dll, name);
        if (!address)
            BOOST_THROW_EXCEPTION(ExceptionHelper::Windows(name));
        // The export's real type is the caller's promise.
        function = reinterpret_cast<Pointer>(address);
    }

    Result operator()(Args... args) const
    {
        return function(std::forward<Args>(args)...);
    }

    Pointer Get() const
    {
        return function;
    }

private:
    Pointer function;
};

} // namespace Detail

// Loads the module at path (a full path). Never returns an empty pointer; throws what the
// Dll constructor throws.
boost::shared_ptr<Detail::Dll<DllTag>> MakeDll(const boost::filesystem::path& path);

} // namespace DllHelper
