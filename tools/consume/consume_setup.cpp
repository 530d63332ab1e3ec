#include "tools/consume/consume_setup.h"

#include <cstdio>

#include "tools/common/setup_check.h"
#include "tools/consume/consume_texts.h"
#include "tools/consume/service_url.h"

namespace consume {

int printConsumerVersion(const Options& options)
{
    return tools::printVersion(texts::toolName, options);
}

int checkConsumerSetup(const Options& options)
{
    ServiceUrl url;
    if (!parseServiceUrl(options.url, url)) {
        std::fprintf(stderr, "%s: %s%s\n", texts::toolName, texts::badUrl, options.url.c_str());
        return tools::setupConfigurationError;
    }
    return tools::checkSetup(texts::toolName, options);
}

} // namespace consume
