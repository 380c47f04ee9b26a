#include "ExceptionHelper/ComException.h"
#include "ExceptionHelper/Exception.h"
#include "ExceptionHelper/WindowsException.h"

#include <boost/current_function.hpp>
#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/get_error_info.hpp>
#include <boost/exception_ptr.hpp>

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace
{

struct ThrowSite
{
    std::string function;
    int line = 0;
};

// Fails like a Win32 call that left code as the thread's last error.
[[noreturn]] void ThrowWindows(DWORD code, ThrowSite& site)
{
    site.function = BOOST_CURRENT_FUNCTION;
    SetLastError(code);
    site.line = __LINE__ + 1;
    BOOST_THROW_EXCEPTION(ExceptionHelper::Windows("Couldn't open the door"));
}

TEST(WindowsExceptionTest, DiagnosticTextNamesThrowSiteMessageAndErrorCode)
{
    ThrowSite site;
    std::string text;
    try
    {
        ThrowWindows(ERROR_ACCESS_DENIED, site);
    }
    catch (const boost::exception&)
    {
        text = boost::current_exception_diagnostic_information();
    }
    // The source file as it lies in the source tree, wherever the tree was built.
    const std::string expected = "tests/common/ExceptionHelperTest.cpp(" + std::to_string(site.line) +
        "): Throw in function " + site.function + "\n" +
        "Dynamic exception type: boost::wrapexcept<ExceptionHelper::Windows>\n"
        "std::exception::what: Couldn't open the door\n"
        "[ExceptionHelper::TagError*] = 5\n";
    EXPECT_EQ(expected, text);
}

TEST(WindowsExceptionTest, CopiesKeepMessageLocationAndErrorCode)
{
    ThrowSite site;
    boost::exception_ptr caught;
    try
    {
        ThrowWindows(ERROR_SHARING_VIOLATION, site);
    }
    catch (const std::exception& error)
    {
        EXPECT_STREQ("Couldn't open the door", error.what());
        caught = boost::current_exception();
    }
    ASSERT_TRUE(caught);

    try
    {
        boost::rethrow_exception(caught);
    }
    catch (const ExceptionHelper::Windows& rethrown)
    {
        const ExceptionHelper::Windows copy(rethrown);
        for (const ExceptionHelper::Windows* e : {&rethrown, &copy})
        {
            EXPECT_STREQ("Couldn't open the door", e->what());
            ASSERT_NE(nullptr, boost::get_error_info<ExceptionHelper::ErrorInfo>(*e));
            EXPECT_EQ(static_cast<unsigned long>(ERROR_SHARING_VIOLATION),
                *boost::get_error_info<ExceptionHelper::ErrorInfo>(*e));
            ASSERT_NE(nullptr, boost::get_error_info<boost::throw_line>(*e));
            EXPECT_EQ(site.line, *boost::get_error_info<boost::throw_line>(*e));
        }
    }
}

TEST(ExceptionTest, PlainExceptionCarriesNoErrorCode)
{
    try
    {
        SetLastError(ERROR_ACCESS_DENIED);
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("Nothing to see"));
    }
    catch (const ExceptionHelper::Exception& error)
    {
        EXPECT_STREQ("Nothing to see", error.what());
        EXPECT_EQ(nullptr, boost::get_error_info<ExceptionHelper::ErrorInfo>(error));
        EXPECT_EQ(std::string::npos, boost::diagnostic_information(error).find("TagError"));
    }
}

struct ComCase
{
    HRESULT hr;
    const char* message;
};

// Codes the system has no text for: the COM support library's own wording.
TEST(ComExceptionTest, MessageOfACodeWithoutSystemText)
{
    const ComCase cases[] = {
        {static_cast<HRESULT>(0x87654321), "Unknown error 0x87654321"},
        {static_cast<HRESULT>(0x0ABCDEF0), "Unknown error 0xABCDEF0"},
        {static_cast<HRESULT>(0x80040200), "Unknown error 0x80040200"},
        {static_cast<HRESULT>(0x80040201), "IDispatch error #1"},
        {static_cast<HRESULT>(0x8004FFFF), "IDispatch error #65023"},
    };
    for (const ComCase& c : cases)
        EXPECT_STREQ(c.message, ExceptionHelper::Com(_com_error(c.hr)).what()) << std::hex << c.hr;
}

TEST(ComExceptionTest, SystemTextLosesItsLineEnd)
{
    const std::string message = ExceptionHelper::Com(_com_error(E_ACCESSDENIED)).what();
    ASSERT_FALSE(message.empty());
    EXPECT_NE('\n', message.back());
    EXPECT_NE('\r', message.back());
}

// A system text with placeholders is given as it stands, not replaced by the fallback wording.
TEST(ComExceptionTest, SystemTextKeepsItsInserts)
{
    const std::string message = ExceptionHelper::Com(_com_error(HRESULT_FROM_WIN32(ERROR_MR_MID_NOT_FOUND))).what();
    EXPECT_NE(std::string::npos, message.find("%1")) << message;
}

TEST(ComExceptionTest, CopiesKeepTheComError)
{
    try
    {
        BOOST_THROW_EXCEPTION(ExceptionHelper::Com(_com_error(static_cast<HRESULT>(0x87654321))));
    }
    catch (const ExceptionHelper::Com& thrown)
    {
        const ExceptionHelper::Com copy(thrown);
        for (const ExceptionHelper::Com* e : {&thrown, &copy})
        {
            EXPECT_STREQ("Unknown error 0x87654321", e->what());
            const _com_error* attached = boost::get_error_info<ExceptionHelper::ErrorInfoCom>(*e);
            ASSERT_NE(nullptr, attached);
            EXPECT_EQ(static_cast<HRESULT>(0x87654321), attached->Error());
        }
    }
}

} // namespace
