#include "MsiHelper/Product.h"

#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include <windows.h>
#include <msi.h>

namespace MsiHelper
{
namespace
{

// A braced GUID and its NUL.
const std::size_t productCodeLength = 39;

} // namespace

boost::shared_ptr<Product> Product::FindByName(const std::wstring& name)
{
    std::vector<wchar_t> buffer(productCodeLength, L'\0');
    for (DWORD index = 0;; ++index)
    {
        // Any answer but success ends the lookup: a damaged Installer configuration may fail at
        // every index, and the buffer would still hold the previous product's code.
        if (MsiEnumProductsW(index, buffer.data()) != ERROR_SUCCESS)
            return boost::shared_ptr<Product>();
        boost::this_thread::interruption_point();
        if (ReadInfo(buffer.data(), L"ProductName") == name)
        {
            const boost::shared_ptr<Product> product = boost::make_shared<Product>(Key());
            product->code = buffer;
            return product;
        }
    }
}

std::wstring Product::GetInfo(const wchar_t* property) const
{
    return ReadInfo(code.data(), property);
}

VersionHelper::Version Product::Version() const
{
    return VersionHelper::Version::FromString(GetInfo(L"VersionString"));
}

// The return codes are not needed: an unreadable property reports no length, and the buffer
// stays all NUL unless the Installer fills it.
std::wstring Product::ReadInfo(const wchar_t* productCode, const wchar_t* property)
{
    DWORD length = 0;
    MsiGetProductInfoW(productCode, property, nullptr, &length);
    if (length == 0)
        return std::wstring();
    std::vector<wchar_t> value(length + 1, L'\0');
    length = static_cast<DWORD>(value.size());
    MsiGetProductInfoW(productCode, property, value.data(), &length);
    return std::wstring(value.data());
}

} // namespace MsiHelper
