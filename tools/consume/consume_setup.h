// --version and --check for the live consumer: the shared answers, with the
// consumer's own options checked first. Neither connects nor writes anything.
#pragma once

#include "tools/consume/consume_options.h"

namespace consume {

// The exit status to end with.
int printConsumerVersion(const Options& options);
int checkConsumerSetup(const Options& options);

} // namespace consume
