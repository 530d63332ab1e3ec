// The connection side of the live consumer: it connects to the service (again and
// again, with backoff), reads frames into batches for the conversion worker, and
// sends back the acknowledgements the worker returns, on the connection that
// delivered each frame. At most two batches are received but not yet written:
// beyond that the socket is not read.
#pragma once

#include "tools/consume/consume_options.h"
#include "tools/consume/consume_tally.h"
#include "tools/consume/conversion_worker.h"
#include "tools/consume/service_url.h"

namespace consume {

constexpr int exitStopped = 0;
constexpr int exitUsage = 2;
constexpr int exitPlugin = 3;
constexpr int exitTokenRefused = 4;
constexpr int exitOutput = 5;

// Runs until SIGINT/SIGTERM (0), a refused token (4) or an output that cannot be written (5);
// a TLS setup that cannot work is a configuration error (2). The reason goes to stderr.
int runServiceClient(const Options& options, const ServiceUrl& url, ConversionWorker& worker,
                     ConsumeTally& tally);

} // namespace consume
