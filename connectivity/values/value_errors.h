// Fixed texts of the value model's failures.
#pragma once

namespace com::velmora::connectivity10_15_4::errors {

inline constexpr const char* nullCharPointer =
    "Cannot use a null char* as a data_t value (consider using an empty data_t() instead)";
inline constexpr const char* getFromEmpty = "Get from empty";
inline constexpr const char* incorrectTypeInGet = "Incorrect type in get (you asked for ";
inline constexpr const char* parseFromIncorrectType = "Trying to parse from incorrect type (actually ";
inline constexpr const char* parseFromEmpty = "Trying to parse from empty";
inline constexpr const char* customAsKey = "Cannot use custom values as a key";
inline constexpr const char* nullKey = "Cannot have a null key";
inline constexpr const char* mapIteratorInvalidated = "Iterator invalidated by modifying map";
inline constexpr const char* listIteratorInvalidated = "Iterator invalidated by modifying list";
inline constexpr const char* iteratorsOfDifferentMaps = "Invalid comparison of iterators into different maps";

} // namespace com::velmora::connectivity10_15_4::errors
