#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace TestSupport
{

// Standard output is in text mode: line ends arrive as CR LF.
inline std::string WithoutCarriageReturns(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// What f prints on standard output, line ends as LF.
template <typename F>
std::string Printed(F f)
{
    testing::internal::CaptureStdout();
    f();
    return WithoutCarriageReturns(testing::internal::GetCapturedStdout());
}

} // namespace TestSupport
