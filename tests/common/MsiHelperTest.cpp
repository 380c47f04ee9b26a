#include "MsiHelper/Product.h"

#include "ProcessHelper/ProcessHelper.h"

#include <boost/filesystem/fstream.hpp>
#include <boost/thread/thread.hpp>

#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>

#include <map>
#include <string>
#include <vector>

namespace
{

namespace fs = boost::filesystem;

const fs::path ProductsFolder = ProcessHelper::Process::Path().parent_path() / L"products";

// Fixture name to product code, as the fixture's build wrote them.
std::map<std::wstring, std::wstring> ProductCodes()
{
    std::map<std::wstring, std::wstring> codes;
    fs::wifstream list(ProductsFolder / L"ProductCodes.txt");
    std::wstring fixture;
    std::wstring code;
    while (list >> fixture >> code)
        codes[fixture] = code;
    return codes;
}

// Runs msiexec with the arguments, quietly, and answers its exit code.
DWORD RunMsiexec(const std::wstring& arguments)
{
    std::wstring commandLine = L"msiexec.exe " + arguments + L" /qn";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return GetLastError();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

// Every product code the Installer lists, in its order.
std::vector<std::wstring> ListedProducts()
{
    std::vector<std::wstring> listed;
    wchar_t code[39] = {};
    for (DWORD index = 0; MsiEnumProductsW(index, code) == ERROR_SUCCESS; ++index)
        listed.push_back(code);
    return listed;
}

// Installs test products (tests/fixtures/TestProducts) in the given order for the life of the
// fixture, after removing whatever test product an earlier run left behind.
class MsiHelperTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RemoveAll();
        ASSERT_TRUE(ListedProducts().empty()) << "the test prefix holds products of its own";
    }

    void TearDown() override { RemoveAll(); }

    void Install(const std::vector<std::wstring>& fixtures)
    {
        for (const std::wstring& fixture : fixtures)
            ASSERT_EQ(0u, RunMsiexec(L"/i \"" + (ProductsFolder / (fixture + L".msi")).wstring() + L"\"")) << fixture;
    }

    static void RemoveAll()
    {
        for (const auto& product : ProductCodes())
        {
            if (MsiQueryProductStateW(product.second.c_str()) == INSTALLSTATE_DEFAULT)
            {
                EXPECT_EQ(0u, RunMsiexec(L"/x " + product.second)) << product.first;
            }
        }
    }

    const std::map<std::wstring, std::wstring> codes = ProductCodes();
};

TEST_F(MsiHelperTest, NothingInstalledFindsNothing)
{
    wchar_t code[39] = {};
    EXPECT_EQ(static_cast<UINT>(ERROR_NO_MORE_ITEMS), MsiEnumProductsW(0, code));
    EXPECT_FALSE(MsiHelper::Product::FindByName(L"BriskenCommandLineScanner"));
}

TEST_F(MsiHelperTest, NamesMatchExactlyAndCaseSensitively)
{
    ASSERT_EQ(3u, codes.size());
    Install({L"Current", L"LowerCase"});
    struct Case
    {
        const wchar_t* name;
        const wchar_t* version; // null: not found
    };
    const Case cases[] = {
        {L"BriskenCommandLineScanner", L"11.11.905.9127"},
        {L"briskencommandlinescanner", L"1.2.3.4"},
        {L"BRISKENCOMMANDLINESCANNER", nullptr},
        {L"BriskenCommandLineScanner ", nullptr},
        {L" BriskenCommandLineScanner", nullptr},
        {L"BriskenCommandLine", nullptr},
        {L"", nullptr},
    };
    for (const Case& c : cases)
    {
        const boost::shared_ptr<MsiHelper::Product> product = MsiHelper::Product::FindByName(c.name);
        if (!c.version)
        {
            EXPECT_FALSE(product) << "'" << c.name << "'";
            continue;
        }
        ASSERT_TRUE(product) << "'" << c.name << "'";
        EXPECT_EQ(c.version, product->Version().ToString()) << "'" << c.name << "'";
        EXPECT_EQ(c.name, product->GetInfo(L"ProductName"));
    }
}

TEST_F(MsiHelperTest, OfTwoProductsWithOneNameTheFirstListedWins)
{
    // Whichever order they were installed in, the Installer's listing decides.
    const std::map<std::wstring, std::wstring> versionOfCode = {
        {codes.at(L"Current"), L"11.11.905.9127"}, {codes.at(L"Older"), L"11.11.904.1"}};
    for (const std::vector<std::wstring>& order :
        {std::vector<std::wstring>{L"Current", L"Older"}, std::vector<std::wstring>{L"Older", L"Current"}})
    {
        Install(order);
        const std::vector<std::wstring> listed = ListedProducts();
        ASSERT_EQ(2u, listed.size());
        const boost::shared_ptr<MsiHelper::Product> product = MsiHelper::Product::FindByName(L"BriskenCommandLineScanner");
        ASSERT_TRUE(product);
        EXPECT_EQ(versionOfCode.at(listed.front()), product->Version().ToString()) << "installed " << order.front() << " first";
        RemoveAll();
    }
}

TEST_F(MsiHelperTest, PropertiesOfTheFoundProduct)
{
    Install({L"Current"});
    const boost::shared_ptr<MsiHelper::Product> product = MsiHelper::Product::FindByName(L"BriskenCommandLineScanner");
    ASSERT_TRUE(product);
    EXPECT_EQ(L"11.11.905.9127", product->Version().ToString());
    EXPECT_EQ(L"11.11.905.9127", product->GetInfo(L"VersionString"));
    EXPECT_EQ(L"Corvantis Limited", product->GetInfo(L"Publisher"));
    EXPECT_EQ(L"", product->GetInfo(L"NoSuchProperty"));
}

TEST_F(MsiHelperTest, InterruptedThreadEndsTheLookup)
{
    Install({L"Current"});
    bool interrupted = false;
    boost::thread lookup([&] {
        {
            const boost::this_thread::disable_interruption untilRequested;
            while (!boost::this_thread::interruption_requested())
                boost::this_thread::yield();
        }
        try
        {
            MsiHelper::Product::FindByName(L"BriskenCommandLineScanner");
        }
        catch (const boost::thread_interrupted&)
        {
            interrupted = true;
        }
    });
    lookup.interrupt();
    lookup.join();
    EXPECT_TRUE(interrupted);
}

} // namespace
