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
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        throw std::runtime_error("cannot load plug-in " + path + ": " +
                                 (reason != nullptr ? reason : "unknown"));
    }
    try {
        resolve(handle_, "create_plugin_with_params", className, create);
        resolve(handle_, "destroy_plugin", className, destroy);
        resolve(handle_, "plugin_api_version", className, apiVersion);
        resolve(handle_, "plugin_product_version", className, productVersion);
        resolve(handle_, "plugin_start", className, start);
        resolve(handle_, "plugin_hostReady", className, hostReady);
        resolve(handle_, "plugin_shutdown", className, shutdown);
        resolve(handle_, "plugin_setNextTowardsHost", className, setNextTowardsHost);
        resolve(handle_, "plugin_setNextTowardsTransport", className, setNextTowardsTransport);
        resolve(handle_, "plugin_sendBatchTowardsHost", className, sendBatchTowardsHost);
        resolve(handle_, "plugin_sendBatchTowardsTransport", className, sendBatchTowardsTransport);
    } catch (...) {
        dlclose(handle_);
        throw;
    }
}

PluginLibrary::~PluginLibrary()
{
    dlclose(handle_);
}
