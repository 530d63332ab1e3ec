// The live consumer's event loop on Asio: the websocket connection (Boost.Beast over
// TCP or TLS), the timers, and the signals. What the connection's life means is
// decided by ServiceSession; this side only moves bytes.
#pragma once

#include <functional>

#include "tools/consume/consume_options.h"
#include "tools/consume/consume_tally.h"
#include "tools/consume/conversion_worker.h"
#include "tools/consume/operations.h"
#include "tools/consume/service_session.h"
#include "tools/consume/service_url.h"

namespace consume {

// Runs until SIGINT/SIGTERM (0), a refused token (4) or an output that cannot be written (5); a TLS setup
// that cannot work, or no token at start, is a configuration error (2). The reason goes to stderr. SIGHUP
// calls reopen, on the loop's thread, and the run goes on. The caller blocks SIGINT, SIGTERM and SIGHUP
// before it starts any thread; they are taken here. operations hears of the loop's start and end and of
// each phase, on the loop's thread.
int runServiceClient(const Options& options, const ServiceUrl& url, ConversionWorker& worker,
                     ConsumeTally& tally, const std::function<void()>& reopen, Operations& operations);

} // namespace consume
