#include "WmiHelper/WmiHelper.h"

#include "COMHelper/CoInitializeGuard.h"
#include "ExceptionHelper/ComException.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/thread/thread.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <comdef.h>
#include <wbemidl.h>

#include <atomic>
#include <functional>
#include <regex>
#include <string>
#include <thread>

namespace
{

using ::testing::HasSubstr;

// Counts every thread the process starts: the loader calls TLS callbacks on thread start.
std::atomic<int> threadsStarted{0};

void NTAPI CountThreadStart(PVOID, DWORD reason, PVOID)
{
    if (reason == DLL_THREAD_ATTACH)
        ++threadsStarted;
}

extern "C" __attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK countThreadStart = CountThreadStart;

// Runs body on a fresh thread, so that each test starts from a thread outside COM.
void OnFreshThread(const std::function<void()>& body)
{
    std::thread(body).join();
}

// What CoInitializeEx for the multithreaded apartment answers on this thread, undone at once.
HRESULT ProbeMultiThreaded()
{
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr))
        CoUninitialize();
    return hr;
}

TEST(WmiHelperTest, UuidHasTheHexadecimalForm)
{
    const std::wstring uuid = WmiHelper::GetComputerUuid();
    static const std::wregex form(L"[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}");
    EXPECT_TRUE(std::regex_match(uuid, form)) << uuid;
}

TEST(WmiHelperTest, CallerKeepsItsOwnComState)
{
    const std::wstring expected = WmiHelper::GetComputerUuid();
    ASSERT_FALSE(expected.empty());

    struct Case
    {
        const char* name;
        bool enter;
        DWORD apartment;
        HRESULT probeAfter;
    };
    const Case cases[] = {
        {"outside COM", false, 0, S_OK},
        {"single-threaded apartment", true, COINIT_APARTMENTTHREADED, RPC_E_CHANGED_MODE},
        {"multithreaded apartment", true, COINIT_MULTITHREADED, S_FALSE},
    };
    for (const Case& c : cases)
    {
        OnFreshThread([&] {
            if (c.enter)
            {
                ASSERT_EQ(S_OK, CoInitializeEx(nullptr, c.apartment)) << c.name;
            }
            EXPECT_EQ(expected, WmiHelper::GetComputerUuid()) << c.name;
            EXPECT_EQ(c.probeAfter, ProbeMultiThreaded()) << c.name;
            if (c.enter)
                CoUninitialize();
        });
    }
}

TEST(WmiHelperTest, EveryCallQueriesOnAThreadOfItsOwn)
{
    const std::wstring first = WmiHelper::GetComputerUuid();
    const int afterFirst = threadsStarted;
    const std::wstring second = WmiHelper::GetComputerUuid();
    const int afterSecond = threadsStarted;
    EXPECT_EQ(first, second);
    EXPECT_FALSE(second.empty());
    EXPECT_GE(afterSecond - afterFirst, 1);
}

TEST(WmiHelperTest, CallerInterruptionWaitsForTheQuery)
{
    // An interruption requested before the call must neither cut the wait short nor be lost.
    std::wstring uuid;
    bool interruptedAfterwards = false;
    boost::thread caller([&] {
        {
            const boost::this_thread::disable_interruption untilRequested;
            while (!boost::this_thread::interruption_requested())
                boost::this_thread::yield();
        }
        uuid = WmiHelper::GetComputerUuid();
        try
        {
            boost::this_thread::interruption_point();
        }
        catch (const boost::thread_interrupted&)
        {
            interruptedAfterwards = true;
        }
    });
    caller.interrupt();
    caller.join();
    EXPECT_FALSE(uuid.empty());
    EXPECT_TRUE(interruptedAfterwards);
}

// A connection of the test's own, made the same way as the helper's.
class QueryPropertyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
            reinterpret_cast<void**>(&locator)));
        ASSERT_EQ(S_OK, locator->ConnectServer(_bstr_t(L"ROOT\\CIMV2"), nullptr, nullptr, nullptr, 0, nullptr,
            nullptr, &services));
    }

    void TearDown() override
    {
        if (services)
            services->Release();
        if (locator)
            locator->Release();
        CoUninitialize();
    }

    // The reference count, read by taking and giving back one reference.
    ULONG References() const
    {
        services->AddRef();
        return services->Release();
    }

    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
};

TEST_F(QueryPropertyTest, AnswersTheFirstObjectsPropertyOrEmpty)
{
    const std::wstring uuid = WmiHelper::GetComputerUuid();
    struct Case
    {
        const char* query;
        const wchar_t* property;
        VARTYPE type;
    };
    const Case cases[] = {
        {"SELECT * FROM Win32_ComputerSystemProduct", L"UUID", VT_BSTR},
        {"SELECT UUID FROM Win32_ComputerSystemProduct WHERE UUID = 'no such machine'", L"UUID", VT_EMPTY},
        {"SELECT * FROM Win32_ComputerSystemProduct", L"NoSuchProperty", VT_EMPTY},
        {"SELECT * FROM Win32_ComputerSystemProduct", L"SKUNumber", VT_NULL}, // null in the product record here
        {"SELECT * FROM NoSuchClass", L"UUID", VT_EMPTY},
        {"this is not a query", L"UUID", VT_EMPTY},
    };
    for (const Case& c : cases)
    {
        const ULONG before = References();
        services->AddRef();
        VARIANT answer = WmiHelper::QueryProperty(services, c.query, c.property);
        _variant_t value;
        value.Attach(answer);
        EXPECT_EQ(c.type, value.vt) << c.query << " / " << c.property;
        EXPECT_EQ(before, References()) << "the passed reference is released once: " << c.query;
        if (value.vt == VT_BSTR)
        {
            EXPECT_EQ(uuid, std::wstring(value.bstrVal)) << "the text as WMI gives it";
        }
    }
}

// value of the type, its whole union set to address.
void SetWholeUnion(_variant_t& value, VARTYPE type, const void* address)
{
    value.vt = type;
    value.llVal = reinterpret_cast<LONGLONG>(address);
}

TEST(WmiHelperTest, UuidIsTheTextOfAStringAnswerOnly)
{
    const wchar_t withNul[] = L"4C4C4544\0tail";
    _variant_t embeddedNul;
    embeddedNul.vt = VT_BSTR;
    embeddedNul.bstrVal = SysAllocStringLen(withNul, sizeof withNul / sizeof *withNul - 1);
    _variant_t nullString;
    nullString.vt = VT_BSTR;
    nullString.bstrVal = nullptr;
    _variant_t null;
    null.vt = VT_NULL;
    BSTR referenced = SysAllocString(L"4C4C4544-0000-1000-8000-000000000000");
    // Non-strings whose whole union, which a string's pointer shares, holds the address of a live
    // string: taken for a string regardless of the type, they would give its text, not fault by
    // chance on what the stack left.
    _variant_t number, smallNumber, boolean, zero;
    SetWholeUnion(number, VT_I8, referenced);
    SetWholeUnion(smallNumber, VT_I4, referenced);
    SetWholeUnion(boolean, VT_BOOL, referenced);
    SetWholeUnion(zero, VT_I4, nullptr);
    _variant_t byReference;
    byReference.vt = VT_BSTR | VT_BYREF;
    byReference.pbstrVal = &referenced;
    struct Case
    {
        const char* name;
        const _variant_t& value;
        std::wstring uuid;
    };
    const Case cases[] = {
        {"string", _variant_t(L"4C4C4544-0000-1000-8000-000000000000"), L"4C4C4544-0000-1000-8000-000000000000"},
        {"string with a NUL", embeddedNul, L"4C4C4544"},
        {"null string", nullString, L""},
        {"empty (no object)", _variant_t(), L""},
        {"null (a null property)", null, L""},
        {"number", number, L""},
        {"number in the union's low half", smallNumber, L""},
        {"number 0", zero, L""},
        {"boolean", boolean, L""},
        {"reference to a string", byReference, L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.uuid, WmiHelper::UuidText(c.value)) << c.name;
    byReference.Detach();
    SysFreeString(referenced);
}

TEST(CoInitializeGuardTest, EntersAndLeavesTheMultithreadedApartment)
{
    OnFreshThread([] {
        {
            const COMHelper::CoInitializeGuard outer;
            EXPECT_EQ(S_FALSE, ProbeMultiThreaded());
            {
                // Already in the apartment: S_FALSE is success, balanced like S_OK.
                const COMHelper::CoInitializeGuard inner;
            }
            EXPECT_EQ(S_FALSE, ProbeMultiThreaded());
        }
        EXPECT_EQ(S_OK, ProbeMultiThreaded());
    });
}

TEST(CoInitializeGuardTest, RefusalInASingleThreadedApartmentIsAComException)
{
    OnFreshThread([] {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        try
        {
            const COMHelper::CoInitializeGuard guard;
            ADD_FAILURE() << "no exception";
        }
        catch (const ExceptionHelper::Com& error)
        {
            const _com_error* com = boost::get_error_info<ExceptionHelper::ErrorInfoCom>(error);
            ASSERT_NE(nullptr, com);
            EXPECT_EQ(RPC_E_CHANGED_MODE, com->Error());
            const std::string text = boost::diagnostic_information(error);
            EXPECT_THAT(text, HasSubstr("CoInitializeGuard.cpp("));
            EXPECT_THAT(text, HasSubstr("Throw in function static void COMHelper::Detail::MultiThreaded::Init()"));
        }
        // The refused guard left nothing to balance: the thread is still in its own apartment.
        EXPECT_EQ(RPC_E_CHANGED_MODE, ProbeMultiThreaded());
        CoUninitialize();
        EXPECT_EQ(S_OK, ProbeMultiThreaded());
    });
}

} // namespace
