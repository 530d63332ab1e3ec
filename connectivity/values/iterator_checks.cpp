#include "connectivity/values/iterator_checks.h"

#include <cstdlib>
#include <stdexcept>

namespace com::velmora::connectivity10_15_4 {

void reportIteratorFault(const char* text)
{
    if (std::getenv("OB_SKIP_DATA_T_ITERATOR_CHECKS") != nullptr)
        return;
    throw std::runtime_error(text);
}

} // namespace com::velmora::connectivity10_15_4
