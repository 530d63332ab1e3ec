// parseTimestamp on arbitrary text never throws (it is noexcept: a throw would
// terminate) and gives bit for bit what the plain model gives.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "codec/timestamp.h"
#include "tests/support/timestamp_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Both see the text up to its first NUL, as a host string would end there.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto parsed = com::velmora::connectivity::plugins::pulsar::parseTimestamp(text.c_str());
    const auto model = testing_support::modelTimestamp(text.c_str());
    if (!testing_support::sameSeconds(parsed, model)) {
        std::fprintf(stderr, "timestamp: '%s' parsed %s%a, model %s%a\n", text.c_str(),
                     parsed ? "" : "(none) ", parsed ? *parsed : 0.0, model ? "" : "(none) ",
                     model ? *model : 0.0);
        std::abort();
    }
    return 0;
}
