#include "DllHelper/Dll.h"

#include "ExceptionHelper/Exception.h"
#include "ExceptionHelper/WindowsException.h"
#include "ProcessHelper/ProcessHelper.h"
#include "StringHelper/StringHelper.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/get_error_info.hpp>

#include <gtest/gtest.h>

#include <string>

#include <windows.h>

namespace
{

using DllHelper::MakeDll;
using DllHelper::Detail::DllFunction;
using Module = DllHelper::Detail::Dll<DllHelper::DllTag>;

// TinyModule.dll is built beside the test executables.
boost::filesystem::path TinyModulePath()
{
    return ProcessHelper::Process::Path().parent_path() / L"TinyModule.dll";
}

boost::filesystem::path MissingModulePath()
{
    return ProcessHelper::Process::Path().parent_path() / L"NoSuchModule.dll";
}

bool IsLoaded(const boost::filesystem::path& path)
{
    return GetModuleHandleW(path.c_str()) != nullptr;
}

// Runs f and returns the exception of type E it throws; fails the test when it throws none.
template <typename E, typename F>
E Thrown(F f)
{
    try
    {
        f();
    }
    catch (const E& e)
    {
        return e;
    }
    throw std::logic_error("nothing was thrown");
}

TEST(DllHelperTest, MakeDllLoadsTheModuleAndKeepsItsPath)
{
    const boost::shared_ptr<Module> dll = MakeDll(TinyModulePath());
    ASSERT_TRUE(dll);
    EXPECT_NE(nullptr, dll->Handle());
    EXPECT_EQ(TinyModulePath().wstring(), dll->Path());
    EXPECT_EQ(dll->Handle(), GetModuleHandleW(TinyModulePath().c_str()));
}

TEST(DllHelperTest, LoadingAMissingPathThrowsWindowsWithThePathAndTheLoadError)
{
    const boost::filesystem::path path = MissingModulePath();
    ASSERT_EQ(nullptr, LoadLibraryW(path.c_str()));
    const DWORD expectedError = GetLastError();

    const ExceptionHelper::Windows e = Thrown<ExceptionHelper::Windows>([&] { MakeDll(path); });
    EXPECT_EQ(StringHelper::ToNarrow(path.wstring(), StringHelper::Utf8CodePage), e.what());
    const unsigned long* error = boost::get_error_info<ExceptionHelper::ErrorInfo>(e);
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(expectedError, *error);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), *error);
}

// In UTF-8, the path keeps a folder name that the ANSI code page (1252 here) cannot hold.
TEST(DllHelperTest, LoadFailureNamesThePathWhateverItsCharacters)
{
    const boost::filesystem::path path =
        ProcessHelper::Process::Path().parent_path() / L"\u0416\u0443\u043a \u65e5\u672c" / L"scan.dll";

    const ExceptionHelper::Windows e = Thrown<ExceptionHelper::Windows>([&] { MakeDll(path); });
    EXPECT_EQ(path.wstring(), StringHelper::ToWide(e.what(), StringHelper::Utf8CodePage));
}

// The throw function is the full signature (ExceptionHelper/Exception.h); its name is what is
// checked here.
TEST(DllHelperTest, LoadFailureCarriesItsThrowLocation)
{
    const ExceptionHelper::Windows e =
        Thrown<ExceptionHelper::Windows>([] { MakeDll(MissingModulePath()); });
    const char* const* function = boost::get_error_info<boost::throw_function>(e);
    const char* const* file = boost::get_error_info<boost::throw_file>(e);
    ASSERT_NE(nullptr, function);
    ASSERT_NE(nullptr, file);
    EXPECT_NE(std::string::npos, std::string(*function).find("Dll")) << *function;
    EXPECT_NE(std::string::npos, std::string(*file).find("Dll.cpp")) << *file;
}

TEST(DllHelperTest, LookedUpFunctionsAreCalledWithTheirSignature)
{
    const boost::shared_ptr<Module> dll = MakeDll(TinyModulePath());
    const DllFunction<int(int, int), 0> add(dll, "TinyAdd");
    EXPECT_EQ(5, add(2, 3));
    EXPECT_EQ(-1, add.Get()(1, -2));

    const DllFunction<const wchar_t*(void), 0> name(dll, "TinyName");
    EXPECT_EQ(std::wstring(L"TinyModule"), name());
}

TEST(DllHelperTest, AMissingExportThrowsWindowsWithTheBareNameEveryTime)
{
    const boost::shared_ptr<Module> dll = MakeDll(TinyModulePath());
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        const ExceptionHelper::Windows e = Thrown<ExceptionHelper::Windows>(
            [&] { DllFunction<int(void), 0> f(dll, "ThreatScanner_Initialize"); });
        EXPECT_STREQ("ThreatScanner_Initialize", e.what());
        const unsigned long* error = boost::get_error_info<ExceptionHelper::ErrorInfo>(e);
        ASSERT_NE(nullptr, error);
        EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), *error);
        const char* const* function = boost::get_error_info<boost::throw_function>(e);
        ASSERT_NE(nullptr, function);
        EXPECT_NE(std::string::npos, std::string(*function).find("DllFunction")) << *function;
    }
}

TEST(DllHelperTest, AnEmptyModulePointerThrowsAPlainExceptionWithoutErrorCode)
{
    SetLastError(0x1234);
    try
    {
        DllFunction<int(int, int), 0> f(boost::shared_ptr<Module>(), "TinyAdd");
        FAIL() << "nothing was thrown";
    }
    catch (const ExceptionHelper::Exception& e)
    {
        EXPECT_STREQ("TinyAdd", e.what());
        EXPECT_EQ(nullptr, boost::get_error_info<ExceptionHelper::ErrorInfo>(e));
        EXPECT_EQ(nullptr, dynamic_cast<const ExceptionHelper::Windows*>(&e));
    }
    // No lookup was made, so nothing touched the thread's last error.
    EXPECT_EQ(0x1234u, GetLastError());
}

TEST(DllHelperTest, TwoLoadsOfOnePathKeepTheModuleUntilBothAreReleased)
{
    boost::shared_ptr<Module> first = MakeDll(TinyModulePath());
    boost::shared_ptr<Module> second = MakeDll(TinyModulePath());
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(first->Handle(), second->Handle());

    first.reset();
    EXPECT_TRUE(IsLoaded(TinyModulePath()));
    second.reset();
    EXPECT_FALSE(IsLoaded(TinyModulePath()));
}

TEST(DllHelperTest, CopiesOfTheSharedPointerKeepTheModuleLoaded)
{
    boost::shared_ptr<Module> owner = MakeDll(TinyModulePath());
    boost::shared_ptr<Module> copy = owner;
    owner.reset();
    EXPECT_TRUE(IsLoaded(TinyModulePath()));
    EXPECT_NE(nullptr, copy->Handle());
    copy.reset();
    EXPECT_FALSE(IsLoaded(TinyModulePath()));
}

TEST(DllHelperTest, AFunctionWorksAfterItsOwnPointerArgumentIsReleased)
{
    const boost::shared_ptr<Module> owner = MakeDll(TinyModulePath());
    const DllFunction<int(int, int), 0> add(boost::shared_ptr<Module>(owner), "TinyAdd");
    EXPECT_EQ(1, owner.use_count());
    EXPECT_EQ(42, add(40, 2));
}

TEST(DllHelperTest, AFailedFreeInTheDestructorDoesNotThrow)
{
    boost::shared_ptr<Module> dll = MakeDll(TinyModulePath());
    // Free the module behind the owner's back, so that its own FreeLibrary fails.
    ASSERT_TRUE(FreeLibrary(dll->Handle()));
    ASSERT_FALSE(IsLoaded(TinyModulePath()));
    EXPECT_NO_THROW(dll.reset());
}

TEST(DllHelperTest, DiagnosticTextNamesTheExport)
{
    const boost::shared_ptr<Module> dll = MakeDll(TinyModulePath());
    try
    {
        DllFunction<int(void), 0> f(dll, "BKUpdSdkCreate");
        FAIL() << "nothing was thrown";
    }
    catch (const boost::exception&)
    {
        const std::string text = boost::current_exception_diagnostic_information();
        EXPECT_NE(std::string::npos, text.find("std::exception::what: BKUpdSdkCreate\n")) << text;
        EXPECT_NE(std::string::npos, text.find("Dll.h(")) << text;
        EXPECT_NE(std::string::npos, text.find("TagError")) << text;
    }
}

} // namespace
