/* The C entry points of the orvaneRFID SDK: discovery, the reader, and the UHF object of a
 * connected reader, for programs written in C or in any language that can call C.
 *
 * Conventions
 * - Result codes are the 16-bit values of the SDK's result codes: 0x0000 is success.
 * - A function with a completion returns 0 when the operation was accepted: its callback then runs
 *   exactly once, with the code and, for a getter, the value. It returns 0x5002 (and never calls
 *   back) for a NULL handle, a NULL callback, or a NULL text, record or list (with a count above 0)
 *   where one is required; 0x4003 (no callback) for a list with more entries than its wire field
 *   carries (nothing of it is read); and 0x0001 (no callback) when the entry itself failed.
 * - Threads: a callback runs on the caller's thread, before the function returns, when the
 *   operation was refused before its work was queued (not supported, reader busy, no radio module,
 *   an argument refused); otherwise on a library pool thread. A caller must allow both.
 * - Texts are UTF-8 and NUL-terminated. Lists are a pointer and a count. Records are plain structs,
 *   copied in when passed to a function. Everything a callback receives (texts, lists, records,
 *   handles) is borrowed for the duration of that call: copy what is needed after it.
 * - `context` is passed back unchanged; it must stay valid until the callback has run.
 * - Enumerations travel as their raw values (the C++ enumerations of the same names) and are
 *   passed on unchecked.
 *
 * Handles and their owners
 * - orv_discovery: made by orv_discovery_start, owned by the caller, ended by orv_discovery_stop.
 * - orv_device: those handed to the discovery callbacks are borrowed for the call; orv_device_copy
 *   makes one the caller owns, freed by orv_device_release.
 * - orv_reader: made by orv_reader_create, owned by the caller, freed by orv_reader_destroy (which
 *   disconnects a connected reader).
 * - orv_uhf: made by orv_reader_uhf, owned by the caller, freed by orv_uhf_release. It keeps the
 *   UHF object alive, not the reader: once the reader is gone its operations answer failures. Each
 *   connection makes a new UHF object; ask orv_reader_uhf again after a reconnect. A delegate set
 *   through a handle lives as long as that handle (it moves to the reader's next UHF object with
 *   the connection) and ends with orv_uhf_release.
 */
#ifndef ORVANERFID_ORVANERFID_C_H
#define ORVANERFID_ORVANERFID_C_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include "orvanerfid/Export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The codes the entry points answer themselves. */
#define ORV_NO_ERROR 0x0000
#define ORV_OTHER_ERROR 0x0001
#define ORV_INVALID_PARAMETER 0x5002

typedef struct orv_discovery orv_discovery;
typedef struct orv_device orv_device;
typedef struct orv_reader orv_reader;
typedef struct orv_uhf orv_uhf;

/* ---- Records ---- */

/* The lowest and highest output power of the radio module. */
typedef struct orv_power_range {
    int64_t min;
    int64_t max;
} orv_power_range;

/* A select mask's pattern: hex text and its length in bits. */
typedef struct orv_mask_pattern {
    const char* pattern;
    unsigned length;
} orv_mask_pattern;

/* One entry of the select-mask list (MaskTarget, MaskAction, BankType, Truncate raw values). */
typedef struct orv_select_mask {
    bool isUsed;
    uint8_t target;
    uint8_t action;
    uint8_t bank;
    uint64_t offset;
    orv_mask_pattern maskPattern;
    uint8_t turncation;
} orv_select_mask;

/* The wanted change (LockState raw value) of each lock area, for a lock or a permanent lock. */
typedef struct orv_lock_param {
    uint8_t killPassword;
    uint8_t accessPassword;
    uint8_t epc;
    uint8_t tid;
    uint8_t user;
} orv_lock_param;

/* The whole radio configuration (enumerations as raw values; rfMode is 16 bits). */
typedef struct orv_rfid_config {
    bool continuousMode;
    uint8_t target;
    uint8_t session;
    uint8_t encoding;
    uint8_t tariType;
    uint8_t blfType;
    uint8_t algorithm;
    bool fastMode;
    bool toggleTarget;
    int64_t power;
    int64_t inventoryTime;
    int64_t idleTime;
    int64_t startQ;
    int64_t maxQ;
    int64_t minQ;
    uint16_t dwellTime;
    uint16_t rfMode;
    uint8_t selectMode;
    bool lbt;
    bool fastId;
    bool tagFocus;
    uint8_t powerSavingMode;
    int16_t lbtConfigure;
    uint8_t asMode;
    uint8_t fsMode;
} orv_rfid_config;

/* One tag report. Byte fields are pointer and count (count 0 when empty). `tagInfoIds` lists the
 * reported fields (TagInfoId raw values) in the order they were filled. `timestamp` is in
 * milliseconds since 1970-01-01 UTC. */
typedef struct orv_tag_info {
    uint8_t antenna;
    uint32_t frequency;
    float rssi;
    const uint8_t* pc;
    size_t pcCount;
    const uint8_t* epc;
    size_t epcCount;
    const uint8_t* tid;
    size_t tidCount;
    uint64_t roundCount;
    uint8_t q;
    uint64_t tagCount;
    const uint8_t* xpc;
    size_t xpcCount;
    const uint8_t* userData;
    size_t userDataCount;
    float phaseBegin;
    float phaseEnd;
    int64_t timestamp;
    const uint8_t* tagInfoIds;
    size_t tagInfoIdCount;
} orv_tag_info;

/* The outcome of one tag access (ActionState and BankType raw values; bank 0 when none). */
typedef struct orv_access_result {
    const uint8_t* epc;
    size_t epcCount;
    const uint8_t* data;
    size_t dataCount;
    int32_t actionState;
    uint8_t bankType;
    uint16_t resultCode;
} orv_access_result;

/* ---- Callbacks ---- */

typedef void (*orv_result_cb)(void* context, uint16_t code);
typedef void (*orv_int64_cb)(void* context, uint16_t code, int64_t value);
typedef void (*orv_bool_cb)(void* context, uint16_t code, bool value);
typedef void (*orv_uint8_cb)(void* context, uint16_t code, uint8_t value);
/* `text` is NULL when there is no value. */
typedef void (*orv_text_cb)(void* context, uint16_t code, const char* text);
/* `values` is NULL when there is no list; an empty list is a non-NULL pointer and count 0. */
typedef void (*orv_uint8_list_cb)(void* context, uint16_t code, const uint8_t* values,
                                  size_t count);
typedef void (*orv_uint32_list_cb)(void* context, uint16_t code, const uint32_t* values,
                                   size_t count);
/* The record is NULL when there is no value. */
typedef void (*orv_power_range_cb)(void* context, uint16_t code, const orv_power_range* range);
typedef void (*orv_mask_pattern_cb)(void* context, uint16_t code,
                                    const orv_mask_pattern* maskPattern);
typedef void (*orv_select_mask_cb)(void* context, uint16_t code, const orv_select_mask* param);
typedef void (*orv_rfid_config_cb)(void* context, uint16_t code, const orv_rfid_config* config);

/* ---- Discovery ---- */

/* `found` runs for each attached reader: for those already attached on the caller's thread before
 * orv_discovery_start returns, later on the thread that attaches it. `lost` (may be NULL) runs
 * when one is detached; its device is a new descriptor: match it by serial number. */
typedef struct orv_discovery_callbacks {
    void* context;
    void (*found)(void* context, const orv_device* device);
    void (*lost)(void* context, const orv_device* device);
} orv_discovery_callbacks;

/* Starts following attached readers; NULL when `callbacks` or its `found` is NULL. */
ORVANE_API orv_discovery* orv_discovery_start(const orv_discovery_callbacks* callbacks);
/* Stops, waits for callbacks running on other threads, and frees the handle. */
ORVANE_API void orv_discovery_stop(orv_discovery* discovery);

/* A handle of the same device that the caller owns; NULL for NULL. */
ORVANE_API orv_device* orv_device_copy(const orv_device* device);
ORVANE_API void orv_device_release(orv_device* device);
/* The device's texts, valid while the handle lives ("" for NULL), and its DeviceType raw value. */
ORVANE_API const char* orv_device_serial_number(const orv_device* device);
ORVANE_API const char* orv_device_name(const orv_device* device);
ORVANE_API uint8_t orv_device_type(const orv_device* device);

/* ---- Reader ---- */

/* A reader for a found device; nothing is sent until orv_reader_connect. NULL for NULL. */
ORVANE_API orv_reader* orv_reader_create(const orv_device* device);
/* Removes the state callback (waiting for calls running on other threads), disconnects a
 * connected reader and frees the handle. Handles of its UHF object stay valid. */
ORVANE_API void orv_reader_destroy(orv_reader* reader);
/* Connects: true when already connected or the link came up. The initialisation then runs on the
 * library's threads; the reader is ready (and has its UHF object) when the state callback reports
 * Connected (3). Blocks up to about 3.1 s. False for NULL. */
ORVANE_API bool orv_reader_connect(orv_reader* reader);
/* Disconnects: true when already disconnected or the link went down. Blocks up to about 3 s, or 4 s
 * while a connection is being made (its initialisation ends it by its stop path first). A connect
 * made after it, on any thread, before it starts closing the link, decides instead: it then ends
 * nothing and answers true. */
ORVANE_API bool orv_reader_disconnect(orv_reader* reader);
/* The ConnectState raw value (0 Disconnected, 1 Listen, 2 Connecting, 3 Connected,
 * 4 Disconnecting); 0 for NULL. */
ORVANE_API uint8_t orv_reader_connect_state(const orv_reader* reader);

/* Called with each connection state the reader reports, in the order stored, one at a time, on
 * the reader's state-telling pool thread (never the thread whose call stored it, so usually after
 * orv_reader_connect or orv_reader_disconnect returned). The Connected of a new connection comes
 * after the events of the connection before (its Connecting, stored before its link came up, may
 * not); the new connection's own events may come before its Connected. It may call the reader's
 * functions except orv_reader_destroy. */
typedef void (*orv_connect_state_cb)(void* context, uint8_t connectState);
/* Sets the state callback (NULL removes it). Replacing or removing waits for calls of the
 * earlier callback running on other threads. 0x5002 for a NULL reader. */
ORVANE_API uint16_t orv_reader_set_connect_state_callback(orv_reader* reader,
                                                          orv_connect_state_cb callback,
                                                          void* context);

/* The reader's current UHF object (made by a connection's initialisation); NULL when it has
 * none yet, or for NULL. The caller owns the handle. */
ORVANE_API orv_uhf* orv_reader_uhf(orv_reader* reader);

/* ---- UHF object ---- */

/* Frees the handle (and the delegate set through it, as orv_uhf_set_delegate(uhf, NULL) does). */
ORVANE_API void orv_uhf_release(orv_uhf* uhf);

/* Tag reports and tag-access results, called one at a time in the order the reader raised them,
 * on a library pool thread (never the reader's receive thread), with no library lock held. They
 * must not wait there for another event of the same reader. A slow one never slows the reader:
 * tag reports past the reader's bound are dropped, counted and logged. The library wakes its
 * teller once for several tag reports: it gathers for 2 ms after the first, so a tag report is
 * told about 2 ms after the reader's report arrived, plus the time the teller takes to wake, and
 * sooner when many arrive. Either may be NULL. */
typedef struct orv_uhf_delegate {
    void* context;
    void (*readTag)(void* context, const orv_tag_info* tagInfo);
    void (*accessResult)(void* context, const orv_access_result* result);
} orv_uhf_delegate;

/* Sets the delegate (copied; NULL removes the one set through this handle, while the UHF object
 * still has it: a delegate another handle set stays). Replacing or removing waits for events of
 * the earlier delegate running on other threads, so its context may be freed once this returns.
 * 0x5002 for a NULL handle. */
ORVANE_API uint16_t orv_uhf_set_delegate(orv_uhf* uhf, const orv_uhf_delegate* delegate);

/* The module checks: 0x0000 when they pass, else their code. */
ORVANE_API uint16_t orv_assertModule(orv_uhf* uhf);
ORVANE_API uint16_t orv_assertAction(orv_uhf* uhf);
/* Whether the module supports the operation (UhfParamId raw value); false for NULL. */
ORVANE_API bool orv_isSupport(orv_uhf* uhf, uint8_t paramId);
/* The object's log tag (its class name, "UhfST25RU3993"), valid while the handle lives; "" for
 * NULL. */
ORVANE_API const char* orv_TAG(orv_uhf* uhf);
/* The radio module's UhfModuleType raw value (0 unknown, 1 ST25RU3993, 2 Qm5520); 0 for NULL. */
ORVANE_API uint8_t orv_uhfModuleType(orv_uhf* uhf);

/* The operations. Each is named after its selector (`setPowerWithPower:completion:` is
 * orv_setPowerWithPower_completion) and runs the UHF object's operation of the same name with the
 * same checks, log records and result codes. */

// ---- Inventory and stop (completion on a pool thread, or on the caller's thread for a failure
// found before the work was queued).
ORVANE_API uint16_t orv_inventoryWithCompletion(orv_uhf* uhf, orv_result_cb completion,
                                                void* context);
ORVANE_API uint16_t orv_stopWithCompletion(orv_uhf* uhf, orv_result_cb completion, void* context);
ORVANE_API uint16_t
orv_inventoryWithUserSpecifiedDataOperationWithBank_offset_length_password_completion(
    orv_uhf* uhf, uint8_t bank, uint16_t offset, uint8_t length, const char* password,
    orv_result_cb completion, void* context);

// ---- Tag accesses: the code is returned at once (0x0000 when the access was started, 0x5002 for a
// NULL handle or text); the outcome arrives through the delegate's accessResult.
ORVANE_API uint16_t orv_readMemoryWithBank_offset_length_password(orv_uhf* uhf, uint8_t bank,
                                                                  unsigned offset, unsigned length,
                                                                  const char* password);
ORVANE_API uint16_t orv_writeMemoryWithBank_offset_data_password(orv_uhf* uhf, uint8_t bank,
                                                                 unsigned offset, const char* data,
                                                                 const char* password);
ORVANE_API uint16_t orv_blockWriteMemoryWithBank_offset_data_password(orv_uhf* uhf, uint8_t bank,
                                                                      uint16_t offset,
                                                                      const char* data,
                                                                      const char* password);
ORVANE_API uint16_t orv_lockTagWithLockParam_password(orv_uhf* uhf, const orv_lock_param* lockParam,
                                                      const char* password);
ORVANE_API uint16_t orv_permaLockTagWithPermaLockParam_password(
    orv_uhf* uhf, const orv_lock_param* permaLockParam, const char* password);
ORVANE_API uint16_t orv_killTagWithPassword(orv_uhf* uhf, const char* password);

// ---- Module information and radio settings. A getter named `_OC` always passes a value: its
// substitute when there is none (0 for the power and the select-mask size, -1 for the other
// numbers and enumerations, false for a flag, band 0, an empty list, a default record). The other
// getters pass NULL when there is no value. Enumerations travel as their raw values, unchecked.
ORVANE_API uint16_t orv_versionWithCompletion(orv_uhf* uhf, orv_text_cb completion, void* context);
ORVANE_API uint16_t orv_powerRangeWithCompletion(orv_uhf* uhf, orv_power_range_cb completion,
                                                 void* context);
ORVANE_API uint16_t orv_getPower_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                  void* context);
ORVANE_API uint16_t orv_setPowerWithPower_completion(orv_uhf* uhf, int power,
                                                     orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getContinuousMode_OCWithCompletion(orv_uhf* uhf, orv_bool_cb completion,
                                                           void* context);
ORVANE_API uint16_t orv_setContinuousModeWithContinuousMode_completion(orv_uhf* uhf,
                                                                       bool continuousMode,
                                                                       orv_result_cb completion,
                                                                       void* context);
ORVANE_API uint16_t orv_supportedGlobalBand_OCWithCompletion(orv_uhf* uhf,
                                                             orv_uint8_list_cb completion,
                                                             void* context);
ORVANE_API uint16_t orv_getGlobalBand_OCWithCompletion(orv_uhf* uhf, orv_uint8_cb completion,
                                                       void* context);
ORVANE_API uint16_t orv_setGlobalBandWithBand_completion(orv_uhf* uhf, uint8_t band,
                                                         orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getInventoryTime_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                          void* context);
ORVANE_API uint16_t orv_setInventoryTimeWithInventoryTime_completion(orv_uhf* uhf,
                                                                     unsigned inventoryTime,
                                                                     orv_result_cb completion,
                                                                     void* context);
ORVANE_API uint16_t orv_getIdleTime_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                     void* context);
ORVANE_API uint16_t orv_setIdleTimeWithIdleTime_completion(orv_uhf* uhf, unsigned idleTime,
                                                           orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getAlgorithmType_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                          void* context);
ORVANE_API uint16_t orv_setAlgorithmTypeWithAlgorithmType_completion(orv_uhf* uhf,
                                                                     uint8_t algorithmType,
                                                                     orv_result_cb completion,
                                                                     void* context);
ORVANE_API uint16_t orv_getStartQ_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                   void* context);
ORVANE_API uint16_t orv_setStartQWithStartQ_completion(orv_uhf* uhf, int startQ,
                                                       orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getMaxQ_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                 void* context);
ORVANE_API uint16_t orv_setMaxQWithMaxQ_completion(orv_uhf* uhf, int maxQ, orv_result_cb completion,
                                                   void* context);
ORVANE_API uint16_t orv_getMinQ_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                 void* context);
ORVANE_API uint16_t orv_setMinQWithMinQ_completion(orv_uhf* uhf, int minQ, orv_result_cb completion,
                                                   void* context);
ORVANE_API uint16_t orv_getTarget_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                   void* context);
ORVANE_API uint16_t orv_setTargetWithTarget_completion(orv_uhf* uhf, uint8_t target,
                                                       orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getSession_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                    void* context);
ORVANE_API uint16_t orv_setSessionWithSession_completion(orv_uhf* uhf, uint8_t session,
                                                         orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getSelectMaskEnabled_OCWithIndex_completion(orv_uhf* uhf, size_t index,
                                                                    orv_bool_cb completion,
                                                                    void* context);
ORVANE_API uint16_t orv_setSelectMaskEnabledWithIndex_enabled_completion(orv_uhf* uhf, size_t index,
                                                                         bool enabled,
                                                                         orv_result_cb completion,
                                                                         void* context);
ORVANE_API uint16_t orv_getSelectMaskTarget_OCWithIndex_completion(orv_uhf* uhf, size_t index,
                                                                   orv_int64_cb completion,
                                                                   void* context);
ORVANE_API uint16_t orv_setSelectMaskTargetWithIndex_target_completion(orv_uhf* uhf, size_t index,
                                                                       uint8_t target,
                                                                       orv_result_cb completion,
                                                                       void* context);
ORVANE_API uint16_t orv_getSelectMaskAction_OCWithIndex_completion(orv_uhf* uhf, size_t index,
                                                                   orv_int64_cb completion,
                                                                   void* context);
ORVANE_API uint16_t orv_setSelectMaskActionWithIndex_action_completion(orv_uhf* uhf, size_t index,
                                                                       uint8_t action,
                                                                       orv_result_cb completion,
                                                                       void* context);
ORVANE_API uint16_t orv_getSelectMaskBank_OCWithIndex_completion(orv_uhf* uhf, size_t index,
                                                                 orv_int64_cb completion,
                                                                 void* context);
ORVANE_API uint16_t orv_setSelectMaskBankWithIndex_bank_completion(orv_uhf* uhf, size_t index,
                                                                   uint8_t bank,
                                                                   orv_result_cb completion,
                                                                   void* context);
ORVANE_API uint16_t orv_getSelectMaskOffset_OCWithIndex_completion(orv_uhf* uhf, size_t index,
                                                                   orv_int64_cb completion,
                                                                   void* context);
ORVANE_API uint16_t orv_setSelectMaskOffsetWithIndex_offset_completion(orv_uhf* uhf, size_t index,
                                                                       uint64_t offset,
                                                                       orv_result_cb completion,
                                                                       void* context);
ORVANE_API uint16_t orv_getSelectMaskPatternWithIndex_completion(orv_uhf* uhf, size_t index,
                                                                 orv_mask_pattern_cb completion,
                                                                 void* context);
ORVANE_API uint16_t orv_getSelectMaskPattern_OCWithIndex_completion(orv_uhf* uhf, size_t index,
                                                                    orv_mask_pattern_cb completion,
                                                                    void* context);
ORVANE_API uint16_t orv_setSelectMaskPatternWithIndex_maskPattern_completion(
    orv_uhf* uhf, size_t index, const orv_mask_pattern* maskPattern, orv_result_cb completion,
    void* context);
ORVANE_API uint16_t orv_getSelectMaskWithIndex_completion(orv_uhf* uhf, size_t index,
                                                          orv_select_mask_cb completion,
                                                          void* context);
ORVANE_API uint16_t orv_getSelectMask_OCWithIndex_completion(orv_uhf* uhf, size_t index,
                                                             orv_select_mask_cb completion,
                                                             void* context);
ORVANE_API uint16_t orv_setSelectMaskWithIndex_param_completion(orv_uhf* uhf, size_t index,
                                                                const orv_select_mask* param,
                                                                orv_result_cb completion,
                                                                void* context);
ORVANE_API uint16_t orv_getSelectMaskMaxSize_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                              void* context);
ORVANE_API uint16_t orv_getSelectMode_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                       void* context);
ORVANE_API uint16_t orv_setSelectModeWithSelectMode_completion(orv_uhf* uhf, uint8_t selectMode,
                                                               orv_result_cb completion,
                                                               void* context);
ORVANE_API uint16_t orv_getEncoding_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                     void* context);
ORVANE_API uint16_t orv_setEncodingWithEncoding_completion(orv_uhf* uhf, uint8_t encoding,
                                                           orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getTari_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                 void* context);
ORVANE_API uint16_t orv_setTariWithTari_completion(orv_uhf* uhf, uint8_t tari,
                                                   orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getBlf_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                void* context);
ORVANE_API uint16_t orv_setBlfWithBlf_completion(orv_uhf* uhf, uint8_t blf,
                                                 orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getToggleTarget_OCWithCompletion(orv_uhf* uhf, orv_bool_cb completion,
                                                         void* context);
ORVANE_API uint16_t orv_setToggleTargetWithToggleTarget_completion(orv_uhf* uhf, bool toggleTarget,
                                                                   orv_result_cb completion,
                                                                   void* context);
ORVANE_API uint16_t orv_getFastMode_OCWithCompletion(orv_uhf* uhf, orv_bool_cb completion,
                                                     void* context);
ORVANE_API uint16_t orv_setFastModeWithFastMode_completion(orv_uhf* uhf, bool fastMode,
                                                           orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getRfidConfigWithCompletion(orv_uhf* uhf, orv_rfid_config_cb completion,
                                                    void* context);
ORVANE_API uint16_t orv_getRfidConfig_OCWithCompletion(orv_uhf* uhf, orv_rfid_config_cb completion,
                                                       void* context);
ORVANE_API uint16_t orv_setRfidConfigWithRfidConfig_completion(orv_uhf* uhf,
                                                               const orv_rfid_config* rfidConfig,
                                                               orv_result_cb completion,
                                                               void* context);
ORVANE_API uint16_t orv_getDwellTime_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                      void* context);
ORVANE_API uint16_t orv_setDwellTimeWithDwellTime_completion(orv_uhf* uhf, uint16_t dwellTime,
                                                             orv_result_cb completion,
                                                             void* context);
ORVANE_API uint16_t orv_getRfMode_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                   void* context);
ORVANE_API uint16_t orv_setRfModeWithRfMode_completion(orv_uhf* uhf, uint16_t rfMode,
                                                       orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getLbt_OCWithCompletion(orv_uhf* uhf, orv_bool_cb completion,
                                                void* context);
ORVANE_API uint16_t orv_setLbtWithEnable_completion(orv_uhf* uhf, bool enable,
                                                    orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getFastId_OCWithCompletion(orv_uhf* uhf, orv_bool_cb completion,
                                                   void* context);
ORVANE_API uint16_t orv_setFastIdWithEnable_completion(orv_uhf* uhf, bool enable,
                                                       orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getTagFocus_OCWithCompletion(orv_uhf* uhf, orv_bool_cb completion,
                                                     void* context);
ORVANE_API uint16_t orv_setTagFocusWithEnable_completion(orv_uhf* uhf, bool enable,
                                                         orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getFixedFrequencyWithCompletion(orv_uhf* uhf, orv_uint32_list_cb completion,
                                                        void* context);
ORVANE_API uint16_t orv_getFixedFrequency_OCWithCompletion(orv_uhf* uhf,
                                                           orv_uint32_list_cb completion,
                                                           void* context);
ORVANE_API uint16_t orv_setFixedFrequencyWithFixedFrequency_completion(
    orv_uhf* uhf, const uint32_t* fixedFrequency, size_t fixedFrequencyCount,
    orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getPhaseData_OCWithCompletion(orv_uhf* uhf, orv_bool_cb completion,
                                                      void* context);
ORVANE_API uint16_t orv_setPhaseDataWithEnable_completion(orv_uhf* uhf, bool enable,
                                                          orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getPowerSavingMode_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                            void* context);
ORVANE_API uint16_t orv_setPowerSavingModeWithPowerSavingMode_completion(orv_uhf* uhf,
                                                                         uint8_t powerSavingMode,
                                                                         orv_result_cb completion,
                                                                         void* context);
ORVANE_API uint16_t orv_getLbtConfigure_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                         void* context);
ORVANE_API uint16_t orv_setLbtConfigureWithLbtRssiThreshold_completion(orv_uhf* uhf,
                                                                       int16_t lbtRssiThreshold,
                                                                       orv_result_cb completion,
                                                                       void* context);
ORVANE_API uint16_t orv_getAntennaSwitchingMode_OCWithCompletion(orv_uhf* uhf,
                                                                 orv_int64_cb completion,
                                                                 void* context);
ORVANE_API uint16_t orv_setAntennaSwitchingModeWithAntennaSwitchingMode_completion(
    orv_uhf* uhf, uint8_t antennaSwitchingMode, orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getFrequencySwitchingMode_OCWithCompletion(orv_uhf* uhf,
                                                                   orv_int64_cb completion,
                                                                   void* context);
ORVANE_API uint16_t orv_setFrequencySwitchingModeWithFrequencySwitchingMode_completion(
    orv_uhf* uhf, uint8_t frequencySwitchingMode, orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_getCfgStorageMode_OCWithCompletion(orv_uhf* uhf, orv_int64_cb completion,
                                                           void* context);
ORVANE_API uint16_t orv_setCfgStorageModeWithCfgStorageMode_completion(orv_uhf* uhf,
                                                                       uint8_t cfgStorageMode,
                                                                       orv_result_cb completion,
                                                                       void* context);
ORVANE_API uint16_t orv_cwOnAntennaId_power_frequency_completion(orv_uhf* uhf, uint8_t antennaId,
                                                                 uint16_t power, uint32_t frequency,
                                                                 orv_result_cb completion,
                                                                 void* context);
ORVANE_API uint16_t orv_cwOffWithCompletion(orv_uhf* uhf, orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_txRandomDataWithAntennaId_power_frequency_duration_completion(
    orv_uhf* uhf, uint8_t antennaId, uint16_t power, uint32_t frequency, uint32_t duration,
    orv_result_cb completion, void* context);
ORVANE_API uint16_t orv_blockPermaLockWithPassword_readLock_bankType_offset_length_mask_completion(
    orv_uhf* uhf, const char* password, uint8_t readLock, uint8_t bankType, uint16_t offset,
    uint8_t length, const uint8_t* mask, size_t maskCount, orv_result_cb completion, void* context);
ORVANE_API uint16_t
orv_authenticateWithPassword_sendResponse_incRepLen_csi_msgLen_msg_expectedReplyLen_completion(
    orv_uhf* uhf, const char* password, uint8_t sendResponse, uint8_t incRepLen, uint8_t csi,
    uint16_t msgLen, const uint8_t* msg, size_t msgCount, uint16_t expectedReplyLen,
    orv_result_cb completion, void* context);

#ifdef __cplusplus
}
#endif

#endif
