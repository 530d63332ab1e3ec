// A host program built outside the source tree against the installed headers and
// libobclient.so: it builds a value, renders it, and asks the installed plug-in its versions.
#include <dlfcn.h>

#include <cstdio>

#include "host/vlm_plugin_api.h"
#include "obclient/obclient.h"

int main(int, char** argv)
{
    vlm_map_table_t* table = nullptr;
    obclient_map_insert_string(&table, "kind", obclient_string("alarms"));
    const vlm_data_t map = obclient_map_value(table);
    const vlm_data_t text = vlm_data_to_string(map);
    std::printf("%s\n", text.payload.string);
    obclient_free_data(text);
    obclient_free_data(map);

    void* plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (plugin == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    const auto apiVersion = reinterpret_cast<vlm_api_version_fn>(
        dlsym(plugin, "vlm_plugin_api_version_TessaroNotifications2Codec"));
    const auto productVersion = reinterpret_cast<vlm_product_version_fn>(
        dlsym(plugin, "vlm_plugin_product_version_TessaroNotifications2Codec"));
    if (apiVersion == nullptr || productVersion == nullptr) {
        std::fprintf(stderr, "entry points missing\n");
        return 1;
    }
    std::printf("api %d product %s\n", apiVersion(), productVersion());
    dlclose(plugin);
    return 0;
}
