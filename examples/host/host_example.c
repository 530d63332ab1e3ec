/* A complete host of the codec plug-in, in C: load the plug-in, create a codec with a
 * configuration, wire it, convert one alarm notification, print the event that comes
 * out towards the host, free every value and destroy the codec.
 *
 *   host_example [PLUGIN]     (default: the installed plug-in, TESSARO_PLUGIN) */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "host/vlm_plugin_api.h"
#include "obclient/obclient.h"

#ifndef TESSARO_PLUGIN
#error "build with -DTESSARO_PLUGIN=\"<path of libTessaroNotifications2Codec.so>\""
#endif

#define CODEC_CLASS "TessaroNotifications2Codec"

struct codec_entry_points {
    vlm_create_plugin_fn create;
    vlm_destroy_plugin_fn destroy;
    vlm_lifecycle_fn start;
    vlm_lifecycle_fn hostReady;
    vlm_lifecycle_fn shutdown;
    vlm_set_next_fn setNextTowardsHost;
    vlm_set_next_fn setNextTowardsTransport;
    vlm_send_batch_fn sendBatchTowardsHost;
};

/* The host's own element after the codec. Its address is the handle the codec hands back
 * with every batch, so one batch function can serve many elements. */
struct event_printer {
    int events;
};

/* Entry points are named vlm_<operation>_<class>. ISO C cannot convert the object pointer
 * dlsym returns to a function pointer, so its bits are copied. */
static int resolve(void* library, const char* operation, void* function, size_t size)
{
    char name[128];
    snprintf(name, sizeof name, "vlm_%s_" CODEC_CLASS, operation);
    void* symbol = dlsym(library, name);
    if (symbol == NULL) {
        fprintf(stderr, "%s: entry point missing\n", name);
        return 0;
    }
    memcpy(function, &symbol, size);
    return 1;
}

#define RESOLVE(library, operation, field) resolve(library, operation, &(field), sizeof(field))

static int resolve_all(void* library, struct codec_entry_points* codec)
{
    return RESOLVE(library, "create_plugin_with_params", codec->create) &&
           RESOLVE(library, "destroy_plugin", codec->destroy) &&
           RESOLVE(library, "plugin_start", codec->start) &&
           RESOLVE(library, "plugin_hostReady", codec->hostReady) &&
           RESOLVE(library, "plugin_shutdown", codec->shutdown) &&
           RESOLVE(library, "plugin_setNextTowardsHost", codec->setNextTowardsHost) &&
           RESOLVE(library, "plugin_setNextTowardsTransport", codec->setNextTowardsTransport) &&
           RESOLVE(library, "plugin_sendBatchTowardsHost", codec->sendBatchTowardsHost);
}

/* Only reads the messages: they stay the sender's, which frees them once its call returns. */
static int32_t print_events(void* handle, vlm_message_t* start, vlm_message_t* end)
{
    struct event_printer* printer = handle;
    for (vlm_message_t* message = start; message != end; ++message) {
        vlm_data_t metadata = obclient_map_value(message->metadata);
        vlm_data_t metadataText = vlm_data_to_string(metadata);
        vlm_data_t payloadText = vlm_data_to_string(message->payload);
        printf("{\"metadata\":%s,\"payload\":%s}\n", metadataText.payload.string, payloadText.payload.string);
        obclient_free_data(metadataText);
        obclient_free_data(payloadText);
        ++printer->events;
    }
    return 0;
}

static int32_t discard_batch(void* handle, vlm_message_t* start, vlm_message_t* end)
{
    (void)handle;
    (void)start;
    (void)end;
    return 0;
}

/* One alarm as the platform's notification service delivers it. */
static vlm_message_t alarm_notification(void)
{
    vlm_map_table_t* source = NULL;
    obclient_map_insert_string(&source, "id", obclient_string("4712"));
    obclient_map_insert_string(&source, "name", obclient_string("Door sensor"));

    vlm_map_table_t* payload = NULL;
    obclient_map_insert_string(&payload, "id", obclient_string("91003"));
    obclient_map_insert_string(&payload, "source", obclient_map_value(source));
    obclient_map_insert_string(&payload, "type", obclient_string("t5o_DoorOpenAlarm"));
    obclient_map_insert_string(&payload, "time", obclient_string("2024-02-01T10:03:12.000Z"));
    obclient_map_insert_string(&payload, "text", obclient_string("Door open for more than 5 minutes"));
    obclient_map_insert_string(&payload, "status", obclient_string("ACTIVE"));
    obclient_map_insert_string(&payload, "severity", obclient_string("MINOR"));
    obclient_map_insert_string(&payload, "count", obclient_integer(2));

    vlm_map_table_t* metadata = NULL;
    obclient_map_insert_string(&metadata, "pulsarPath", obclient_string("/t12345/alarms/4712"));

    vlm_message_t message = {obclient_map_value(payload), metadata};
    return message;
}

static int convert_one(const struct codec_entry_points* codec, struct event_printer* printer)
{
    /* The codec copies what it needs from the configuration; the host frees its own. */
    vlm_map_table_t* settings = NULL;
    obclient_map_insert_string(&settings, "tenantId", obclient_string("t12345"));
    vlm_data_t config = obclient_map_value(settings);
    /* hostHandle comes back to the host in vlm_set_user_status_map; hostContext is the host's own. */
    void* handle = codec->create(CODEC_CLASS, "example", &config, printer, NULL);
    obclient_free_data(config);
    if (handle == NULL)
        return 0; /* the reason is in the log */

    int ok = codec->setNextTowardsHost(handle, printer, print_events) == 0 &&
             codec->setNextTowardsTransport(handle, NULL, discard_batch) == 0 && codec->start(handle) == 0 &&
             codec->hostReady(handle) == 0;
    if (ok) {
        vlm_message_t batch[1] = {alarm_notification()};
        ok = codec->sendBatchTowardsHost(handle, batch, batch + 1) == 0;
        /* Every record of the array is the host's again, whether the codec kept it or not. */
        obclient_free_data(batch[0].payload);
        vlm_free_map(batch[0].metadata);
    }
    ok = codec->shutdown(handle) == 0 && ok;
    return codec->destroy(handle) == 0 && ok;
}

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : TESSARO_PLUGIN;
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    struct codec_entry_points codec;
    struct event_printer printer = {0};
    int ok = resolve_all(library, &codec) && convert_one(&codec, &printer);
    dlclose(library);

    /* What the codec published as user status is the host's to keep; this host drops it. */
    obclient_clear_user_status();
    obclient_counts_t live = obclient_live_counts();
    if (live.strings != 0 || live.maps != 0 || live.lists != 0 || live.buffers != 0 || live.customs != 0) {
        fprintf(stderr, "host values still live: %lld strings, %lld maps\n", (long long)live.strings,
                (long long)live.maps);
        return 1;
    }
    if (!ok || printer.events != 1) {
        fprintf(stderr, "conversion failed: %d events\n", printer.events);
        return 1;
    }
    return 0;
}
