#include "obclient/plugin_library.h"

#include <dlfcn.h>

#include <stdexcept>

namespace {

template <class Function>
void resolve(void* library, const std::string& stem, const std::string& className, Function& target)
{
    const std::string name = "vlm_" + stem + "_" + className;
    void* symbol = dlsym(library, name.c_str());
    if (symbol == nullptr)
        throw std::runtime_error("plug-in does not export " + name);
    target = reinterpret_cast<Function>(symbol);
}

} // namespace

PluginLibrary::PluginLibrary(const std::string& path, const std::string& className)
{
    library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        throw std::runtime_error("cannot load plug-in " + path + ": " +
                                 (reason != nullptr ? reason : "unknown"));
    }
    try {
        resolve(library, "create_plugin_with_params", className, create);
        resolve(library, "destroy_plugin", className, destroy);
        resolve(library, "plugin_api_version", className, apiVersion);
        resolve(library, "plugin_product_version", className, productVersion);
        resolve(library, "plugin_start", className, start);
        resolve(library, "plugin_hostReady", className, hostReady);
        resolve(library, "plugin_shutdown", className, shutdown);
        resolve(library, "plugin_setNextTowardsHost", className, setNextTowardsHost);
        resolve(library, "plugin_setNextTowardsTransport", className, setNextTowardsTransport);
        resolve(library, "plugin_sendBatchTowardsHost", className, sendBatchTowardsHost);
        resolve(library, "plugin_sendBatchTowardsTransport", className, sendBatchTowardsTransport);
    } catch (...) {
        dlclose(library);
        throw;
    }
}

PluginLibrary::~PluginLibrary()
{
    dlclose(library);
}
