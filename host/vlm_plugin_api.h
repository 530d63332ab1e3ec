/* Signatures of the eleven entry points a codec plug-in exports as
 * vlm_<operation>_<ClassName>; the host resolves them by name. */
#ifndef VLM_PLUGIN_API_H
#define VLM_PLUGIN_API_H

#include "vlm_abi.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void* (*vlm_create_plugin_fn)(const char* pluginName, const char* chainId, vlm_data_t* config,
                                      void* hostHandle, void* hostContext);
typedef int32_t (*vlm_destroy_plugin_fn)(void* plugin);
typedef int32_t (*vlm_api_version_fn)(void);
typedef const char* (*vlm_product_version_fn)(void);
typedef int32_t (*vlm_lifecycle_fn)(void* plugin);
typedef int32_t (*vlm_set_next_fn)(void* plugin, void* nextHandle, vlm_send_batch_fn nextSendBatch);

#ifdef __cplusplus
}
#endif

#endif
