#include "connectivity/values/static_string.h"

namespace com::velmora::connectivity10_15_4 {

StaticString::StaticString(const char* text) : value_(text), hash_(keyHash(value_)) {}

} // namespace com::velmora::connectivity10_15_4
