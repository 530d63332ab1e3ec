// Compares JSON texts as values: objects as maps (key order ignored), arrays in
// order, numbers by kind as well as value, so 1 and 1.0 differ.
#pragma once

#include <string>

namespace replay_testing {

// Empty when both texts hold the same value; else where they first differ.
std::string jsonDifference(const std::string& actual, const std::string& expected);

} // namespace replay_testing
