/* A C program on the C surface alone: it finds a simulated reader, connects (the reader's own
 * initialisation makes its UHF object), reads the radio configuration and writes it back, runs an
 * inventory, reads a tag's memory, and disconnects.  Usage: capi_c_program vk210|vk640 */
#define _POSIX_C_SOURCE 200809L

#include <stdatomic.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "SimAttach.h"
#include "orvanerfid/orvanerfid_c.h"

static int failures = 0;

static void check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "C program check failed: %s\n", what);
        ++failures;
    }
}

/* Polls `flag` every millisecond for up to ten seconds. */
static int wait_for(atomic_int* flag, int at_least) {
    const struct timespec step = {0, 1000000};
    for (int i = 0; i < 10000; ++i) {
        if (atomic_load(flag) >= at_least) return 1;
        nanosleep(&step, NULL);
    }
    return atomic_load(flag) >= at_least;
}

/* ---- Discovery */
static orv_device* found_device = NULL;
static void on_found(void* context, const orv_device* device) {
    (void)context;
    if (found_device == NULL) found_device = orv_device_copy(device);
}

/* ---- Connection states: the count of Connected and Disconnected reports */
static atomic_int connected_reports;
static atomic_int disconnected_reports;
static void on_state(void* context, uint8_t state) {
    (void)context;
    if (state == 3) atomic_fetch_add(&connected_reports, 1);
    if (state == 0) atomic_fetch_add(&disconnected_reports, 1);
}

/* ---- One completion's answer */
typedef struct answer {
    atomic_int calls;
    atomic_int code;
} answer;
static void on_result(void* context, uint16_t code) {
    answer* a = context;
    atomic_store(&a->code, code);
    atomic_fetch_add(&a->calls, 1);
}
static int await_code(answer* a) {
    return wait_for(&a->calls, 1) ? atomic_load(&a->code) : -1;
}

static orv_rfid_config read_config;
static answer config_answer;
static void on_config(void* context, uint16_t code, const orv_rfid_config* config) {
    (void)context;
    if (config != NULL) read_config = *config;
    atomic_store(&config_answer.code, code);
    atomic_fetch_add(&config_answer.calls, 1);
}

static answer power_answer;
static atomic_int power_value;
static void on_power(void* context, uint16_t code, int64_t power) {
    (void)context;
    atomic_store(&power_value, (int)power);
    atomic_store(&power_answer.code, code);
    atomic_fetch_add(&power_answer.calls, 1);
}

/* ---- Tag reports and access results */
static atomic_int tags_seen;
static atomic_int access_results;
static uint16_t access_code;
static size_t access_data_count;
static void on_tag(void* context, const orv_tag_info* tag) {
    (void)context;
    if (tag->epcCount > 0) atomic_fetch_add(&tags_seen, 1);
}
static void on_access(void* context, const orv_access_result* result) {
    (void)context;
    access_code = result->resultCode;
    access_data_count = result->dataCount;
    atomic_fetch_add(&access_results, 1); /* publishes the two fields above */
}

int main(int argc, char** argv) {
    if (argc != 2 || !sim_attach(argv[1])) {
        fprintf(stderr, "usage: %s vk210|vk640\n", argv[0]);
        return 2;
    }

    const orv_discovery_callbacks callbacks = {NULL, on_found, NULL};
    orv_discovery* discovery = orv_discovery_start(&callbacks);
    check(discovery != NULL && found_device != NULL, "the attached reader is found");
    if (found_device == NULL) return 1;
    check(strlen(orv_device_serial_number(found_device)) > 0, "the device has a serial number");

    orv_reader* reader = orv_reader_create(found_device);
    check(orv_reader_set_connect_state_callback(reader, on_state, NULL) == ORV_NO_ERROR,
          "state callback set");
    check(orv_reader_connect(reader), "connect");
    check(wait_for(&connected_reports, 1) && orv_reader_connect_state(reader) == 3,
          "the initialisation ends Connected");

    orv_uhf* uhf = orv_reader_uhf(reader);
    check(uhf != NULL, "the reader has its UHF object");
    if (uhf != NULL) {
        /* The object's tag and module type: the Vk210 carries a Qm5520, the Vk640 an ST25RU3993. */
        const int vk210 = strcmp(argv[1], "vk210") == 0;
        check(strcmp(orv_TAG(uhf), vk210 ? "UhfQm5520" : "UhfST25RU3993") == 0,
              "the UHF object's tag");
        check(orv_uhfModuleType(uhf) == (vk210 ? 2 : 1), "the radio module's type");
        check(strcmp(orv_TAG(NULL), "") == 0 && orv_uhfModuleType(NULL) == 0,
              "NULL has no tag and no module");

        const orv_uhf_delegate delegate = {NULL, on_tag, on_access};
        check(orv_uhf_set_delegate(uhf, &delegate) == ORV_NO_ERROR, "delegate set");

        /* The configuration, read and written back with another power. */
        check(orv_getRfidConfigWithCompletion(uhf, on_config, NULL) == 0, "config accepted");
        check(await_code(&config_answer) == 0, "config read");
        orv_rfid_config config = read_config;
        config.power = config.power > 20 ? 18 : 22;
        answer set_answer = {0, 0};
        check(orv_setRfidConfigWithRfidConfig_completion(uhf, &config, on_result, &set_answer) ==
                  0,
              "config write accepted");
        check(await_code(&set_answer) == 0, "config written");
        check(orv_getPower_OCWithCompletion(uhf, on_power, NULL) == 0, "power accepted");
        check(await_code(&power_answer) == 0 && atomic_load(&power_value) == config.power,
              "the power written with the configuration reads back");

        /* An inventory until tags come, then stop. */
        answer inventory_answer = {0, 0};
        check(orv_inventoryWithCompletion(uhf, on_result, &inventory_answer) == 0,
              "inventory accepted");
        check(await_code(&inventory_answer) == 0, "inventory started");
        check(wait_for(&tags_seen, 1), "tags reported");
        answer stop_answer = {0, 0};
        check(orv_stopWithCompletion(uhf, on_result, &stop_answer) == 0, "stop accepted");
        check(await_code(&stop_answer) == 0, "inventory stopped");

        /* Two words of user memory (bank 3). The reader may need a moment to settle in Stop. */
        uint16_t started = 0;
        for (int attempt = 0; attempt < 50; ++attempt) {
            started = orv_readMemoryWithBank_offset_length_password(uhf, 3, 0, 2, "00000000");
            if (started == 0) break;
            const struct timespec pause = {0, 20000000};
            nanosleep(&pause, NULL);
        }
        check(started == 0, "read started");
        check(wait_for(&access_results, 1), "read answered");
        check(access_code == 0 && access_data_count == 4, "two words read");

        check(orv_uhf_set_delegate(uhf, NULL) == ORV_NO_ERROR, "delegate removed");
        orv_uhf_release(uhf);
    }

    check(orv_reader_disconnect(reader), "disconnect");
    check(wait_for(&disconnected_reports, 1) && orv_reader_connect_state(reader) == 0,
          "disconnected");
    orv_reader_destroy(reader);
    orv_device_release(found_device);
    orv_discovery_stop(discovery);
    sim_detach();

    if (failures == 0) printf("C program (%s): all checks passed\n", argv[1]);
    return failures == 0 ? 0 : 1;
}
