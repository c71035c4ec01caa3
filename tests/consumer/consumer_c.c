/* The C surface through the installed header and shared library only, compiled as C11: a symbol
 * the library does not export fails the link, a wrong answer fails the run. */
#include <stdio.h>

#include "orvanerfid/orvanerfid_c.h"

static int failures = 0;

static void check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "C consumer check failed: %s\n", what);
        ++failures;
    }
}

static int calls = 0;
static void on_result(void* context, uint16_t code) {
    (void)context;
    (void)code;
    ++calls;
}
static void on_found(void* context, const orv_device* device) {
    (void)context;
    (void)device;
}

int main(void) {
    check(orv_setPowerWithPower_completion(NULL, 20, on_result, NULL) == ORV_INVALID_PARAMETER,
          "a NULL handle is refused");
    check(orv_readMemoryWithBank_offset_length_password(NULL, 3, 0, 2, "00000000") ==
              ORV_INVALID_PARAMETER,
          "a NULL handle is refused by a tag access");
    check(calls == 0, "a refusal calls nothing back");
    check(orv_reader_create(NULL) == NULL && orv_reader_uhf(NULL) == NULL, "no reader");
    check(orv_TAG(NULL)[0] == '\0' && orv_uhfModuleType(NULL) == 0, "no UHF object");

    const orv_discovery_callbacks callbacks = {NULL, on_found, NULL};
    orv_discovery* discovery = orv_discovery_start(&callbacks);
    check(discovery != NULL, "discovery starts");
    orv_discovery_stop(discovery);

    if (failures == 0) printf("C consumer: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
