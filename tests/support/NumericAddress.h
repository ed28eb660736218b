#pragma once
// An address written as text, for tables of test cases; a typo in a table
// fails the test instead of reading as 0.0.0.0.

#include <gtest/gtest.h>

#include <string>

#include "link/Socket.h"

namespace corvello {

inline IpAddress address(const std::string& text)
{
    IpAddress bytes{};
    EXPECT_TRUE(net::parseNumericAddress(text, bytes)) << text;
    return bytes;
}

}  // namespace corvello
