#ifndef OBCLIENT_VALUE_EQUALITY_H
#define OBCLIENT_VALUE_EQUALITY_H

#include "host/vlm_abi.h"

namespace obclient {

// The plug-in's value equality, which decides whether a probed slot holds the key.
bool valuesEqual(const vlm_data_t& left, const vlm_data_t& right);

} // namespace obclient

#endif
