#pragma once

#include <string>

namespace FileSystemHelper
{

// One logical drive: its root path exactly as the system lists it, such as C:\.
// Created through boost::make_shared and held by boost::shared_ptr.
class Drive
{
public:
    explicit Drive(const std::wstring& path);

    const std::wstring& Path() const;

private:
    std::wstring path;
};

} // namespace FileSystemHelper
