/* Records shared with the host runtime. Every layout here is fixed by the host:
 * the plug-in and the host read and write the same bytes, so each size and
 * offset is pinned by a static assertion. */
#ifndef VLM_ABI_H
#define VLM_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum vlm_tag {
    VLM_TAG_EMPTY = 0,
    VLM_TAG_BOOLEAN = 1,
    VLM_TAG_DOUBLE = 2,
    VLM_TAG_INTEGER = 3,
    VLM_TAG_DECIMAL = 4,
    VLM_TAG_STRING = 5,
    VLM_TAG_LIST = 6,
    VLM_TAG_MAP = 7,
    VLM_TAG_BUFFER = 8,
    VLM_TAG_CUSTOM = 9,
    VLM_TAG_BORROWED_STRING = 10
};

struct vlm_map_table_t;
struct vlm_list_t;
struct vlm_buffer_t;

typedef union vlm_payload_t {
    uint64_t bits;
    int64_t integer;
    double number;
    uint8_t boolean;
    char* string;
    const char* borrowed;
    struct vlm_list_t* list;
    struct vlm_map_table_t* map;
    struct vlm_buffer_t* buffer;
    void* custom;
} vlm_payload_t;

typedef struct vlm_data_t {
    vlm_payload_t payload;
    uint32_t tag;
    uint32_t padding;
} vlm_data_t;

typedef struct vlm_map_slot_t {
    uint64_t hash;
    vlm_data_t key;
    vlm_data_t value;
} vlm_map_slot_t;

/* The slot array follows the header directly (capacity slots). */
typedef struct vlm_map_table_t {
    char* name;
    uint64_t count;
    uint64_t capacity;
    uint64_t erased;
} vlm_map_table_t;

/* The items follow the header directly (count items). */
typedef struct vlm_list_t {
    uint64_t count;
    uint64_t reserved;
} vlm_list_t;

/* The bytes follow the length directly. */
typedef struct vlm_buffer_t {
    uint64_t length;
} vlm_buffer_t;

typedef struct vlm_message_t {
    vlm_data_t payload;
    vlm_map_table_t* metadata;
} vlm_message_t;

/* Slot states are encoded in the hash word and the key's tag. */
#define VLM_SLOT_EMPTY_HASH 0u
#define VLM_SLOT_ERASED_HASH 1u

/* The host's batch function of a chain element, and the shape of both batch entry points. */
typedef int32_t (*vlm_send_batch_fn)(void* handle, vlm_message_t* start, vlm_message_t* end);

static inline vlm_map_slot_t* vlm_map_slots(vlm_map_table_t* table)
{
    return (vlm_map_slot_t*)(table + 1);
}

static inline vlm_data_t* vlm_list_items(vlm_list_t* list)
{
    return (vlm_data_t*)(list + 1);
}

static inline uint8_t* vlm_buffer_bytes(vlm_buffer_t* buffer)
{
    return (uint8_t*)(buffer + 1);
}

#ifdef __cplusplus
}

static_assert(sizeof(void*) == 8, "the host layout is 64-bit");
static_assert(sizeof(vlm_payload_t) == 8, "payload word");
static_assert(sizeof(vlm_data_t) == 16, "vlm_data_t is 16 bytes");
static_assert(offsetof(vlm_data_t, payload) == 0, "payload at 0");
static_assert(offsetof(vlm_data_t, tag) == 8, "tag at 8");
static_assert(offsetof(vlm_data_t, padding) == 12, "padding at 12");
static_assert(sizeof(vlm_map_slot_t) == 40, "map slot is 40 bytes");
static_assert(offsetof(vlm_map_slot_t, hash) == 0, "slot hash at 0");
static_assert(offsetof(vlm_map_slot_t, key) == 8, "slot key at 8");
static_assert(offsetof(vlm_map_slot_t, value) == 24, "slot value at 24");
static_assert(sizeof(vlm_map_table_t) == 32, "slots start at 32");
static_assert(offsetof(vlm_map_table_t, name) == 0, "name at 0");
static_assert(offsetof(vlm_map_table_t, count) == 8, "count at 8");
static_assert(offsetof(vlm_map_table_t, capacity) == 16, "capacity at 16");
static_assert(offsetof(vlm_map_table_t, erased) == 24, "erased at 24");
static_assert(sizeof(vlm_list_t) == 16, "list items start at 16");
static_assert(offsetof(vlm_list_t, count) == 0, "list count at 0");
static_assert(sizeof(vlm_buffer_t) == 8, "buffer bytes start at 8");
static_assert(sizeof(vlm_message_t) == 24, "vlm_message_t is 24 bytes");
static_assert(offsetof(vlm_message_t, payload) == 0, "message payload at 0");
static_assert(offsetof(vlm_message_t, metadata) == 16, "message metadata at 16");
#endif

#endif
