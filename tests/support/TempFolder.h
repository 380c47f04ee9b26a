#pragma once

#include <boost/filesystem/path.hpp>

namespace TestSupport
{

// A fresh, empty folder under the system's temporary folder, removed with everything in it
// when the object goes.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const boost::filesystem::path& Path() const { return path; }

private:
    boost::filesystem::path path;
};

} // namespace TestSupport
