#include "ProcessHelper/ProcessHelper.h"

#include "ExceptionHelper/WindowsException.h"
#include "support/TempFolder.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/get_error_info.hpp>
#include <boost/filesystem/operations.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

namespace
{

using ::testing::HasSubstr;
namespace fs = boost::filesystem;

TEST(ProcessPathTest, IsTheRunningExecutable)
{
    const fs::path path = ProcessHelper::Process::Path();
    EXPECT_EQ(L"ProcessHelperTest.exe", path.filename().wstring());
    EXPECT_TRUE(path.is_absolute());
    EXPECT_TRUE(fs::is_regular_file(path.parent_path() / path.filename()));
    EXPECT_EQ(path, ProcessHelper::Process::Path(GetModuleHandleW(nullptr)));
}

TEST(ProcessPathTest, UnknownModuleThrowsWithTheSystemsErrorCode)
{
    const HINSTANCE notAModule = reinterpret_cast<HINSTANCE>(0x7FFE1230);
    wchar_t buffer[MAX_PATH];
    ASSERT_EQ(0u, GetModuleFileNameW(notAModule, buffer, MAX_PATH));
    const DWORD expectedCode = GetLastError();
    ASSERT_NE(0u, expectedCode);

    try
    {
        SetLastError(0);
        ProcessHelper::Process::Path(notAModule);
        FAIL() << "no exception";
    }
    catch (const ExceptionHelper::Windows& error)
    {
        const unsigned long* code = boost::get_error_info<ExceptionHelper::ErrorInfo>(error);
        ASSERT_NE(nullptr, code);
        EXPECT_EQ(expectedCode, *code);
        const std::string text = boost::diagnostic_information(error);
        EXPECT_THAT(text, testing::StartsWith("common/ProcessHelper/ProcessHelper.cpp("));
        EXPECT_THAT(text, HasSubstr("): Throw in function boost::filesystem::path ProcessHelper::Process::Path("));
        EXPECT_THAT(text, HasSubstr("\nstd::exception::what: Couldn't get module file name\n"));
        EXPECT_THAT(text, HasSubstr("TagError*] = " + std::to_string(expectedCode) + "\n"));
    }
}

// A folder below base such that folder\name is exactly length characters long.
fs::path FolderForPathLength(const fs::path& base, const std::wstring& name, std::size_t length)
{
    fs::path folder = base;
    for (;;)
    {
        const std::size_t left = length - folder.wstring().size() - 1 - name.size();
        if (left <= 100)
            return folder / std::wstring(left - 1, L'x');
        folder /= std::wstring(60, L'd');
    }
}

// The program folder is derived from this path, so it must not be cut at MAX_PATH; the lengths
// lie around the sizes that the buffer takes.
TEST(ProcessPathTest, ReadsPathsLongerThanMaxPathInFull)
{
    const TestSupport::TempFolder temp;
    const fs::path source = ProcessHelper::Process::Path().parent_path() / L"TinyModule.dll";
    for (const std::size_t length : {259u, 260u, 261u, 519u, 520u, 521u, 1000u})
    {
        const fs::path module = FolderForPathLength(temp.Path() / std::to_wstring(length), L"TinyModule.dll", length) /
            L"TinyModule.dll";
        ASSERT_EQ(length, module.wstring().size());
        fs::create_directories(module.parent_path());
        fs::copy_file(source, module);

        const HMODULE loaded = LoadLibraryW(module.wstring().c_str());
        ASSERT_NE(nullptr, loaded) << "error " << GetLastError() << " loading " << module;
        const std::shared_ptr<void> unload(loaded, [](void* h) { FreeLibrary(static_cast<HMODULE>(h)); });
        EXPECT_EQ(module, ProcessHelper::Process::Path(loaded)) << length;
    }
}

} // namespace
