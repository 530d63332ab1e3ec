// Fixed texts of the value model's failures.
#pragma once

#include <string>

namespace com::velmora::connectivity10_15_4::errors {

inline constexpr const char* nullCharPointer =
    "Cannot use a null char* as a data_t value (consider using an empty data_t() instead)";
inline constexpr const char* getFromEmpty = "Get from empty";
inline constexpr const char* parseFromEmpty = "Trying to parse from empty";
inline constexpr const char* customAsKey = "Cannot use custom values as a key";
inline constexpr const char* nullKey = "Cannot have a null key";
inline constexpr const char* mapIteratorInvalidated = "Iterator invalidated by modifying map";
inline constexpr const char* listIteratorInvalidated = "Iterator invalidated by modifying list";
inline constexpr const char* iteratorsOfDifferentMaps = "Invalid comparison of iterators into different maps";

inline std::string incorrectTypeInGet(const char* requestedKind, const char* actualKind)
{
    return std::string("Incorrect type in get (you asked for ") + requestedKind + " but it's actually " +
           actualKind + ")";
}

inline std::string parseFromIncorrectType(const char* actualKind)
{
    return std::string("Trying to parse from incorrect type (actually ") + actualKind + ")";
}

} // namespace com::velmora::connectivity10_15_4::errors
