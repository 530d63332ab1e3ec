#pragma once

namespace com::velmora::connectivity10_15_4 {

// Called only once a check has already failed: the environment is read on every
// failure (never cached) so a host can switch the checks off while running.
// Throws std::runtime_error(text) unless OB_SKIP_DATA_T_ITERATOR_CHECKS is set.
void reportIteratorFault(const char* text);

} // namespace com::velmora::connectivity10_15_4
