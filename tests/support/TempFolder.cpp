#include "support/TempFolder.h"

#include <boost/filesystem/operations.hpp>

namespace TestSupport
{

TempFolder::TempFolder()
    : path(boost::filesystem::temp_directory_path() / boost::filesystem::unique_path(L"brisken-test-%%%%-%%%%-%%%%"))
{
    boost::filesystem::create_directories(path);
}

TempFolder::~TempFolder()
{
    boost::system::error_code ignored;
    boost::filesystem::remove_all(path, ignored);
}

} // namespace TestSupport
