// The process-wide object: one instance, and an error instead of a dangling one after exit.
#include "Program/Singleton.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

using namespace BriskenCommandLineScanner;

namespace
{

struct Counted
{
    Counted() { ++made; }
    static inline int made = 0;
    int value = 0;
};

struct LateUser
{
};

// Runs after Singleton<LateUser> destroyed its object (exit handlers run last registered first).
// gtest has reported by then, so a failure shows as the process's exit code.
void TouchAfterDestruction()
{
    try
    {
        Singleton<LateUser>::Instance();
        std::fputs("no error for a destroyed singleton\n", stderr);
        std::_Exit(3);
    }
    catch (const std::logic_error& error)
    {
        if (std::strcmp(error.what(), "Dead Reference Detected") != 0)
        {
            std::fputs("wrong error for a destroyed singleton\n", stderr);
            std::_Exit(4);
        }
    }
}

TEST(SingletonTest, EveryCallGivesTheOneObject)
{
    Singleton<Counted>::Instance().value = 42;
    EXPECT_EQ(&Singleton<Counted>::Instance(), &Singleton<Counted>::Instance());
    EXPECT_EQ(42, Singleton<Counted>::Instance().value);
    EXPECT_EQ(1, Counted::made);
}

TEST(SingletonTest, UseAfterExitDestroyedItThrowsDeadReference)
{
    // Registered before the first use, so it runs after the object's own exit handler.
    ASSERT_EQ(0, std::atexit(&TouchAfterDestruction));
    Singleton<LateUser>::Instance();
}

} // namespace
