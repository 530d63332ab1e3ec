/* Host-side API of the host runtime stand-in: what a host program (the replay
 * tool, the tests, the benchmarks) uses to build values, steer logging and
 * account for allocations. The fourteen vlm_ functions are in host/vlm_host.h.
 * Usable from C; the JSON rendering at the end is for C++ hosts only. */
#ifndef OBCLIENT_H
#define OBCLIENT_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include "host/vlm_host.h"

#ifdef __cplusplus
#include <string>

extern "C" {
#endif

// ---- Building values. Every value returned is owned by the caller. ----
// A string value never holds a null text: given null, the string builders
// return the empty value instead.
vlm_data_t obclient_string(const char* text);
vlm_data_t obclient_string_n(const char* text, size_t length);
vlm_data_t obclient_borrowed_string(const char* text);
vlm_data_t obclient_boolean(bool value);
vlm_data_t obclient_double(double value);
vlm_data_t obclient_integer(int64_t value);
vlm_data_t obclient_decimal(uint64_t bits);
vlm_data_t obclient_map_value(vlm_map_table_t* table);
vlm_data_t obclient_list_value(vlm_list_t* list);
vlm_data_t obclient_buffer(const void* bytes, size_t length);

// A custom object: `user` is handed to `copy` when the value is deep-copied and
// to `release` when it is freed; either callback may be null.
typedef void* (*obclient_custom_copy_fn)(void* user);
typedef void (*obclient_custom_free_fn)(void* user);
vlm_data_t obclient_custom(void* user, obclient_custom_copy_fn copy, obclient_custom_free_fn release);
void* obclient_custom_user(const void* custom);

// Releases a value by its tag (what a data_t destructor does on the plug-in side).
void obclient_free_data(vlm_data_t value);

// Maps, with the same probing rule, load limit, growth and key hash as the plug-in,
// so either side finds what the other inserted. *table may be null (allocated on
// first insertion). Inserting an existing key frees the given key and value and
// returns 0; a new entry returns 1. A key that cannot be hashed (a custom value,
// or a value holding one) or a null text returns -1 and takes nothing: key and
// value stay with the caller.
vlm_map_table_t* obclient_map_new(uint64_t capacity);
int obclient_map_insert(vlm_map_table_t** table, vlm_data_t key, vlm_data_t value);
int obclient_map_insert_string(vlm_map_table_t** table, const char* key, vlm_data_t value);
// The same with the key's length known: its text is measured and hashed only once.
// The text must hold no NUL, since the host's string would end there.
int obclient_map_insert_string_n(vlm_map_table_t** table, const char* key, size_t length, vlm_data_t value);
// Erases as the plug-in does (the slot is left erased until growth) and frees the
// entry's key and value: 1 when the key was there, 0 when not, -1 for a key that
// cannot be hashed. The key given is only read.
int obclient_map_erase(vlm_map_table_t* table, vlm_data_t key);
// The value stored under key, or null; the key is only read.
vlm_data_t* obclient_map_find(vlm_map_table_t* table, vlm_data_t key);
vlm_data_t* obclient_map_find_string(vlm_map_table_t* table, const char* key);
void obclient_map_set_name(vlm_map_table_t** table, const char* name);

// Lists grow by appending; *list may be null.
vlm_list_t* obclient_list_new(uint64_t capacity);
void obclient_list_append(vlm_list_t** list, vlm_data_t item);

// The hash a map key is stored under (seed vlm::map_policy::hashSeed). A custom key is a
// usage error: it is reported on stderr and the process aborts.
uint64_t obclient_key_hash(vlm_data_t key);

// ---- Logging. ----
void obclient_set_log_level(const char* category, int32_t level);
void obclient_set_default_log_level(int32_t level);
void obclient_reset_log_levels(void);
// Every emitted line goes to the sink; null restores the default sink (stderr).
typedef void (*obclient_log_sink_fn)(void* context, const char* category, int32_t level, const char* text);
void obclient_set_log_sink(obclient_log_sink_fn sink, void* context);

// ---- User status: what vlm_set_user_status_map published for a handle. ----
// A deep copy owned by the caller, or null when nothing was published.
vlm_map_table_t* obclient_user_status(void* hostHandle);
uint64_t obclient_user_status_calls(void);
// Releases every published status, so tests can return the live counts to baseline.
void obclient_clear_user_status(void);

// ---- Allocation accounting. ----
typedef struct obclient_counts_t {
    int64_t strings;
    int64_t maps;
    int64_t lists;
    int64_t buffers;
    int64_t customs;
} obclient_counts_t;
obclient_counts_t obclient_live_counts(void);
// Records made since the library was loaded, whatever has become of them since;
// growing a list or a map table counts as making one.
obclient_counts_t obclient_allocation_totals(void);
// Checked mode registers every live pointer with its kind; a free of a pointer
// that is not live, or with another kind's function, prints the kind and the
// address and aborts. Also switched on by OBCLIENT_CHECKED=1 at load.
void obclient_set_checked(bool on);
bool obclient_checked(void);
// How records get their memory, for benchmark reports.
const char* obclient_record_allocator(void);

#ifdef __cplusplus
}

// ---- JSON rendering, shared by vlm_data_to_string and the replay tool. ----
// Appends the value's JSON text; kinds JSON lacks use the marked forms
// {"$decimal":"0x..."}, {"$buffer":"<base64>"}, {"$custom":N} and {"$map":[[k,v],...]}.
void obclient_append_json(std::string& out, const vlm_data_t& value);
namespace obclient::json {
class OutputCursor;
}
// The same through a cursor (obclient/json_output.h), which a writer of many values keeps.
void obclient_append_json(obclient::json::OutputCursor& out, const vlm_data_t& value);

inline bool operator==(const obclient_counts_t& a, const obclient_counts_t& b)
{
    return a.strings == b.strings && a.maps == b.maps && a.lists == b.lists && a.buffers == b.buffers &&
           a.customs == b.customs;
}
#endif

#endif
