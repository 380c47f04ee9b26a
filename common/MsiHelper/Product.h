#pragma once

#include "VersionHelper/Version.h"

#include <boost/shared_ptr.hpp>

#include <string>
#include <vector>

namespace MsiHelper
{

// A product that Windows Installer has installed, known by its product code.
class Product
{
    struct Key
    {
        explicit Key() = default;
    };

public:
    // Made only by FindByName.
    explicit Product(Key) {}

    // The first installed product, in the Installer's own order, whose name has exactly the
    // same UTF-16 code units as name (case-sensitive); empty when none does, or when the
    // Installer cannot list its products. Passes a thread interruption point once per product.
    static boost::shared_ptr<Product> FindByName(const std::wstring& name);

    // The product's value of an Installer property ("ProductName", "VersionString", ...);
    // empty when there is none or it cannot be read.
    std::wstring GetInfo(const wchar_t* property) const;

    // The "VersionString" property; 0.0.0.0 when there is none.
    VersionHelper::Version Version() const;

private:
    static std::wstring ReadInfo(const wchar_t* productCode, const wchar_t* property);

    // The braced product GUID and its terminating NUL, as the enumeration delivers it.
    std::vector<wchar_t> code;
};

} // namespace MsiHelper
