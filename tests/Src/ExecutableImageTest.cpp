// The images of the program folder as Windows reads them when it loads them: the executable's
// application manifest, and the load configuration of the executable and the stand-in DLLs.
// Wine honours neither long-path awareness (it takes long paths anyway) nor the dependent load
// flags, so what is tested is what the images declare.
#include "ProcessHelper/ProcessHelper.h"

#include <boost/filesystem/path.hpp>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include <windows.h>

namespace
{

namespace fs = boost::filesystem;

fs::path ProgramFolder()
{
    return ProcessHelper::Process::Path().parent_path().parent_path() / "bin";
}

// An image mapped for reading its headers and resources, as the loader lays it out.
class MappedImage
{
public:
    explicit MappedImage(const fs::path& file)
        : module(LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~MappedImage()
    {
        if (module)
            FreeLibrary(module);
    }
    MappedImage(const MappedImage&) = delete;
    MappedImage& operator=(const MappedImage&) = delete;

    HMODULE Module() const { return module; }
    // The image's first byte: the low bits of the handle tell how it was mapped.
    const std::uint8_t* Base() const
    {
        return reinterpret_cast<const std::uint8_t*>(reinterpret_cast<std::uintptr_t>(module) & ~std::uintptr_t(3));
    }
    const IMAGE_DATA_DIRECTORY& Directory(int index) const
    {
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Base());
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(Base() + dos->e_lfanew);
        return nt->OptionalHeader.DataDirectory[index];
    }

private:
    HMODULE module;
};

TEST(ExecutableImageTest, TheManifestDeclaresLongPathsAndTheSupportedWindowsVersions)
{
    const MappedImage image(ProgramFolder() / "BriskenCommandLineScanner.exe");
    ASSERT_NE(nullptr, image.Module());
    const HRSRC resource = FindResourceW(image.Module(), MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(nullptr, resource) << "no application manifest";
    const HGLOBAL loaded = LoadResource(image.Module(), resource);
    ASSERT_NE(nullptr, loaded);
    pugi::xml_document manifest;
    ASSERT_TRUE(manifest.load_buffer(LockResource(loaded), SizeofResource(image.Module(), resource),
        pugi::parse_default, pugi::encoding_utf8));

    const pugi::xml_node assembly = manifest.child(L"assembly");
    EXPECT_STREQ(L"urn:schemas-microsoft-com:asm.v1", assembly.attribute(L"xmlns").value());
    const pugi::xml_node longPaths = assembly.child(L"application").child(L"windowsSettings").child(L"longPathAware");
    EXPECT_STREQ(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", longPaths.attribute(L"xmlns").value());
    EXPECT_STREQ(L"true", longPaths.text().get());
    EXPECT_STREQ(L"asInvoker", assembly.select_node(L"trustInfo/security/requestedPrivileges/requestedExecutionLevel")
                                   .node().attribute(L"level").value());

    std::set<std::wstring> supported;
    for (const pugi::xpath_node& os : assembly.select_nodes(L"compatibility/application/supportedOS"))
        supported.insert(os.node().attribute(L"Id").value());
    const std::set<std::wstring> windows7To11 = {
        L"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // 7
        L"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // 8
        L"{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // 8.1
        L"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // 10 and 11
    };
    EXPECT_EQ(windows7To11, supported);
}

class ImportsFromSystem32Test : public testing::TestWithParam<const char*>
{
};

TEST_P(ImportsFromSystem32Test, TheLoadConfigurationSendsTheImportsToSystem32Only)
{
    const MappedImage image(ProgramFolder() / GetParam());
    ASSERT_NE(nullptr, image.Module());
    const IMAGE_DATA_DIRECTORY& directory = image.Directory(IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG);
    ASSERT_NE(0u, directory.VirtualAddress) << "no load configuration";
    const std::uint8_t* const configuration = image.Base() + directory.VirtualAddress;
    DWORD size = 0;
    WORD dependentLoadFlags = 0;
    std::memcpy(&size, configuration, sizeof size);
    std::memcpy(&dependentLoadFlags, configuration + 78, sizeof dependentLoadFlags); // its offset in the PE format
    EXPECT_EQ(directory.Size, size);
    EXPECT_GE(size, 80u);
    EXPECT_EQ(LOAD_LIBRARY_SEARCH_SYSTEM32, dependentLoadFlags);
}

INSTANTIATE_TEST_SUITE_P(ProgramFolder, ImportsFromSystem32Test,
    testing::Values("BriskenCommandLineScanner.exe", "scan.dll", "BKSmartDB.dll", "BKUpdateServiceCom.dll"));

} // namespace
