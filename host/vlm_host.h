/* The fourteen functions the plug-in imports from the host runtime library. */
#ifndef VLM_HOST_H
#define VLM_HOST_H

#include "vlm_abi.h"

#ifdef __cplusplus
extern "C" {
#endif

char* vlm_copy_string(const char* text);
void vlm_free_string(char* text);
vlm_data_t vlm_copy_data(vlm_data_t value);
vlm_data_t vlm_data_to_string(vlm_data_t value);
vlm_map_table_t* vlm_allocate_map(uint64_t capacity);
vlm_map_table_t* vlm_reallocate_map(vlm_map_table_t* table, uint64_t capacity);
void vlm_free_map(vlm_map_table_t* table);
void vlm_free_vector(vlm_list_t* list);
void vlm_free_buffer(vlm_buffer_t* buffer);
void vlm_free_custom(void* custom);
uint64_t vlm_hash_string(const char* text);
int32_t vlm_get_log_level(const char* category);
void vlm_log_at(const char* category, int32_t level, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
void vlm_set_user_status_map(void* hostHandle, vlm_map_table_t* map);

#ifdef __cplusplus
}
#endif

#endif
