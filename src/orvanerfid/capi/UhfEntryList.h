#pragma once

// The C entry points of the UHF object, one row per entry, in the order of the UHF object's
// operation list (uhf/UhfOperations.h). A row names the C function, the operation it calls, the
// C callback type (completion rows) and the C parameters and arguments between the handle and the
// callback. A list given as pointer and count is passed on as `list(pointer, count, max)`, `max`
// being the most entries its wire field carries: 255 frequencies (one count byte), 255 mask words
// of a block permanent lock (510 bytes), an authentication message of 65535 bits (8192 bytes).
//
//   CALL(function, operation, callback type, (C parameters), (arguments))
//   ACCESS(function, operation, (C parameters), (arguments))
//
// Getters whose value is an optional number, flag, enumeration or list of enumerations have no
// entry of their own: their `_OC` twin is the entry. The C declarations are in orvanerfid_c.h.

// clang-format off
#define ORV_C_UHF_ENTRIES(ACCESS, CALL) \
    CALL(orv_inventoryWithCompletion, inventory, orv_result_cb, (), ()) \
    ACCESS(orv_readMemoryWithBank_offset_length_password, readMemory, \
           (uint8_t bank, unsigned offset, unsigned length, const char* password), \
           (bank, offset, length, password)) \
    ACCESS(orv_writeMemoryWithBank_offset_data_password, writeMemory, \
           (uint8_t bank, unsigned offset, const char* data, const char* password), \
           (bank, offset, data, password)) \
    ACCESS(orv_lockTagWithLockParam_password, lockTag, \
           (const orv_lock_param* lockParam, const char* password), (lockParam, password)) \
    ACCESS(orv_permaLockTagWithPermaLockParam_password, permaLockTag, \
           (const orv_lock_param* permaLockParam, const char* password), \
           (permaLockParam, password)) \
    ACCESS(orv_killTagWithPassword, killTag, (const char* password), (password)) \
    CALL(orv_stopWithCompletion, stop, orv_result_cb, (), ()) \
    CALL(orv_versionWithCompletion, version, orv_text_cb, (), ()) \
    CALL(orv_powerRangeWithCompletion, powerRange, orv_power_range_cb, (), ()) \
    CALL(orv_getPower_OCWithCompletion, getPower_OC, orv_int64_cb, (), ()) \
    CALL(orv_setPowerWithPower_completion, setPower, orv_result_cb, (int power), (power)) \
    CALL(orv_getContinuousMode_OCWithCompletion, getContinuousMode_OC, orv_bool_cb, (), ()) \
    CALL(orv_setContinuousModeWithContinuousMode_completion, setContinuousMode, orv_result_cb, \
         (bool continuousMode), (continuousMode)) \
    CALL(orv_supportedGlobalBand_OCWithCompletion, supportedGlobalBand_OC, orv_uint8_list_cb, \
         (), ()) \
    CALL(orv_getGlobalBand_OCWithCompletion, getGlobalBand_OC, orv_uint8_cb, (), ()) \
    CALL(orv_setGlobalBandWithBand_completion, setGlobalBand, orv_result_cb, (uint8_t band), \
         (band)) \
    CALL(orv_getInventoryTime_OCWithCompletion, getInventoryTime_OC, orv_int64_cb, (), ()) \
    CALL(orv_setInventoryTimeWithInventoryTime_completion, setInventoryTime, orv_result_cb, \
         (unsigned inventoryTime), (inventoryTime)) \
    CALL(orv_getIdleTime_OCWithCompletion, getIdleTime_OC, orv_int64_cb, (), ()) \
    CALL(orv_setIdleTimeWithIdleTime_completion, setIdleTime, orv_result_cb, \
         (unsigned idleTime), (idleTime)) \
    CALL(orv_getAlgorithmType_OCWithCompletion, getAlgorithmType_OC, orv_int64_cb, (), ()) \
    CALL(orv_setAlgorithmTypeWithAlgorithmType_completion, setAlgorithmType, orv_result_cb, \
         (uint8_t algorithmType), (algorithmType)) \
    CALL(orv_getStartQ_OCWithCompletion, getStartQ_OC, orv_int64_cb, (), ()) \
    CALL(orv_setStartQWithStartQ_completion, setStartQ, orv_result_cb, (int startQ), (startQ)) \
    CALL(orv_getMaxQ_OCWithCompletion, getMaxQ_OC, orv_int64_cb, (), ()) \
    CALL(orv_setMaxQWithMaxQ_completion, setMaxQ, orv_result_cb, (int maxQ), (maxQ)) \
    CALL(orv_getMinQ_OCWithCompletion, getMinQ_OC, orv_int64_cb, (), ()) \
    CALL(orv_setMinQWithMinQ_completion, setMinQ, orv_result_cb, (int minQ), (minQ)) \
    CALL(orv_getTarget_OCWithCompletion, getTarget_OC, orv_int64_cb, (), ()) \
    CALL(orv_setTargetWithTarget_completion, setTarget, orv_result_cb, (uint8_t target), \
         (target)) \
    CALL(orv_getSession_OCWithCompletion, getSession_OC, orv_int64_cb, (), ()) \
    CALL(orv_setSessionWithSession_completion, setSession, orv_result_cb, (uint8_t session), \
         (session)) \
    CALL(orv_getSelectMaskEnabled_OCWithIndex_completion, getSelectMaskEnabled_OC, orv_bool_cb, \
         (size_t index), (index)) \
    CALL(orv_setSelectMaskEnabledWithIndex_enabled_completion, setSelectMaskEnabled, \
         orv_result_cb, (size_t index, bool enabled), (index, enabled)) \
    CALL(orv_getSelectMaskTarget_OCWithIndex_completion, getSelectMaskTarget_OC, orv_int64_cb, \
         (size_t index), (index)) \
    CALL(orv_setSelectMaskTargetWithIndex_target_completion, setSelectMaskTarget, \
         orv_result_cb, (size_t index, uint8_t target), (index, target)) \
    CALL(orv_getSelectMaskAction_OCWithIndex_completion, getSelectMaskAction_OC, orv_int64_cb, \
         (size_t index), (index)) \
    CALL(orv_setSelectMaskActionWithIndex_action_completion, setSelectMaskAction, \
         orv_result_cb, (size_t index, uint8_t action), (index, action)) \
    CALL(orv_getSelectMaskBank_OCWithIndex_completion, getSelectMaskBank_OC, orv_int64_cb, \
         (size_t index), (index)) \
    CALL(orv_setSelectMaskBankWithIndex_bank_completion, setSelectMaskBank, orv_result_cb, \
         (size_t index, uint8_t bank), (index, bank)) \
    CALL(orv_getSelectMaskOffset_OCWithIndex_completion, getSelectMaskOffset_OC, orv_int64_cb, \
         (size_t index), (index)) \
    CALL(orv_setSelectMaskOffsetWithIndex_offset_completion, setSelectMaskOffset, \
         orv_result_cb, (size_t index, uint64_t offset), (index, offset)) \
    CALL(orv_getSelectMaskPatternWithIndex_completion, getSelectMaskPattern, \
         orv_mask_pattern_cb, (size_t index), (index)) \
    CALL(orv_getSelectMaskPattern_OCWithIndex_completion, getSelectMaskPattern_OC, \
         orv_mask_pattern_cb, (size_t index), (index)) \
    CALL(orv_setSelectMaskPatternWithIndex_maskPattern_completion, setSelectMaskPattern, \
         orv_result_cb, (size_t index, const orv_mask_pattern* maskPattern), \
         (index, maskPattern)) \
    CALL(orv_getSelectMaskWithIndex_completion, getSelectMask, orv_select_mask_cb, \
         (size_t index), (index)) \
    CALL(orv_getSelectMask_OCWithIndex_completion, getSelectMask_OC, orv_select_mask_cb, \
         (size_t index), (index)) \
    CALL(orv_setSelectMaskWithIndex_param_completion, setSelectMask, orv_result_cb, \
         (size_t index, const orv_select_mask* param), (index, param)) \
    CALL(orv_getSelectMaskMaxSize_OCWithCompletion, getSelectMaskMaxSize_OC, orv_int64_cb, (), \
         ()) \
    CALL(orv_getSelectMode_OCWithCompletion, getSelectMode_OC, orv_int64_cb, (), ()) \
    CALL(orv_setSelectModeWithSelectMode_completion, setSelectMode, orv_result_cb, \
         (uint8_t selectMode), (selectMode)) \
    CALL(orv_getEncoding_OCWithCompletion, getEncoding_OC, orv_int64_cb, (), ()) \
    CALL(orv_setEncodingWithEncoding_completion, setEncoding, orv_result_cb, \
         (uint8_t encoding), (encoding)) \
    CALL(orv_getTari_OCWithCompletion, getTari_OC, orv_int64_cb, (), ()) \
    CALL(orv_setTariWithTari_completion, setTari, orv_result_cb, (uint8_t tari), (tari)) \
    CALL(orv_getBlf_OCWithCompletion, getBlf_OC, orv_int64_cb, (), ()) \
    CALL(orv_setBlfWithBlf_completion, setBlf, orv_result_cb, (uint8_t blf), (blf)) \
    CALL(orv_getToggleTarget_OCWithCompletion, getToggleTarget_OC, orv_bool_cb, (), ()) \
    CALL(orv_setToggleTargetWithToggleTarget_completion, setToggleTarget, orv_result_cb, \
         (bool toggleTarget), (toggleTarget)) \
    CALL(orv_getFastMode_OCWithCompletion, getFastMode_OC, orv_bool_cb, (), ()) \
    CALL(orv_setFastModeWithFastMode_completion, setFastMode, orv_result_cb, (bool fastMode), \
         (fastMode)) \
    CALL(orv_getRfidConfigWithCompletion, getRfidConfig, orv_rfid_config_cb, (), ()) \
    CALL(orv_getRfidConfig_OCWithCompletion, getRfidConfig_OC, orv_rfid_config_cb, (), ()) \
    CALL(orv_setRfidConfigWithRfidConfig_completion, setRfidConfig, orv_result_cb, \
         (const orv_rfid_config* rfidConfig), (rfidConfig)) \
    CALL(orv_inventoryWithUserSpecifiedDataOperationWithBank_offset_length_password_completion, \
         inventoryWithUserSpecifiedDataOperation, orv_result_cb, \
         (uint8_t bank, uint16_t offset, uint8_t length, const char* password), \
         (bank, offset, length, password)) \
    ACCESS(orv_blockWriteMemoryWithBank_offset_data_password, blockWriteMemory, \
           (uint8_t bank, uint16_t offset, const char* data, const char* password), \
           (bank, offset, data, password)) \
    CALL(orv_getDwellTime_OCWithCompletion, getDwellTime_OC, orv_int64_cb, (), ()) \
    CALL(orv_setDwellTimeWithDwellTime_completion, setDwellTime, orv_result_cb, \
         (uint16_t dwellTime), (dwellTime)) \
    CALL(orv_getRfMode_OCWithCompletion, getRfMode_OC, orv_int64_cb, (), ()) \
    CALL(orv_setRfModeWithRfMode_completion, setRfMode, orv_result_cb, (uint16_t rfMode), \
         (rfMode)) \
    CALL(orv_getLbt_OCWithCompletion, getLbt_OC, orv_bool_cb, (), ()) \
    CALL(orv_setLbtWithEnable_completion, setLbt, orv_result_cb, (bool enable), (enable)) \
    CALL(orv_getFastId_OCWithCompletion, getFastId_OC, orv_bool_cb, (), ()) \
    CALL(orv_setFastIdWithEnable_completion, setFastId, orv_result_cb, (bool enable), (enable)) \
    CALL(orv_getTagFocus_OCWithCompletion, getTagFocus_OC, orv_bool_cb, (), ()) \
    CALL(orv_setTagFocusWithEnable_completion, setTagFocus, orv_result_cb, (bool enable), \
         (enable)) \
    CALL(orv_getFixedFrequencyWithCompletion, getFixedFrequency, orv_uint32_list_cb, (), ()) \
    CALL(orv_getFixedFrequency_OCWithCompletion, getFixedFrequency_OC, orv_uint32_list_cb, (), \
         ()) \
    CALL(orv_setFixedFrequencyWithFixedFrequency_completion, setFixedFrequency, orv_result_cb, \
         (const uint32_t* fixedFrequency, size_t fixedFrequencyCount), \
         (list(fixedFrequency, fixedFrequencyCount, 255))) \
    CALL(orv_getPhaseData_OCWithCompletion, getPhaseData_OC, orv_bool_cb, (), ()) \
    CALL(orv_setPhaseDataWithEnable_completion, setPhaseData, orv_result_cb, (bool enable), \
         (enable)) \
    CALL(orv_getPowerSavingMode_OCWithCompletion, getPowerSavingMode_OC, orv_int64_cb, (), ()) \
    CALL(orv_setPowerSavingModeWithPowerSavingMode_completion, setPowerSavingMode, \
         orv_result_cb, (uint8_t powerSavingMode), (powerSavingMode)) \
    CALL(orv_getLbtConfigure_OCWithCompletion, getLbtConfigure_OC, orv_int64_cb, (), ()) \
    CALL(orv_setLbtConfigureWithLbtRssiThreshold_completion, setLbtConfigure, orv_result_cb, \
         (int16_t lbtRssiThreshold), (lbtRssiThreshold)) \
    CALL(orv_getAntennaSwitchingMode_OCWithCompletion, getAntennaSwitchingMode_OC, \
         orv_int64_cb, (), ()) \
    CALL(orv_setAntennaSwitchingModeWithAntennaSwitchingMode_completion, \
         setAntennaSwitchingMode, orv_result_cb, (uint8_t antennaSwitchingMode), \
         (antennaSwitchingMode)) \
    CALL(orv_getFrequencySwitchingMode_OCWithCompletion, getFrequencySwitchingMode_OC, \
         orv_int64_cb, (), ()) \
    CALL(orv_setFrequencySwitchingModeWithFrequencySwitchingMode_completion, \
         setFrequencySwitchingMode, orv_result_cb, (uint8_t frequencySwitchingMode), \
         (frequencySwitchingMode)) \
    CALL(orv_getCfgStorageMode_OCWithCompletion, getCfgStorageMode_OC, orv_int64_cb, (), ()) \
    CALL(orv_setCfgStorageModeWithCfgStorageMode_completion, setCfgStorageMode, orv_result_cb, \
         (uint8_t cfgStorageMode), (cfgStorageMode)) \
    CALL(orv_cwOnAntennaId_power_frequency_completion, cwOn, orv_result_cb, \
         (uint8_t antennaId, uint16_t power, uint32_t frequency), (antennaId, power, frequency)) \
    CALL(orv_cwOffWithCompletion, cwOff, orv_result_cb, (), ()) \
    CALL(orv_txRandomDataWithAntennaId_power_frequency_duration_completion, txRandomData, \
         orv_result_cb, (uint8_t antennaId, uint16_t power, uint32_t frequency, uint32_t duration), \
         (antennaId, power, frequency, duration)) \
    CALL(orv_blockPermaLockWithPassword_readLock_bankType_offset_length_mask_completion, \
         blockPermaLock, orv_result_cb, \
         (const char* password, uint8_t readLock, uint8_t bankType, uint16_t offset, \
          uint8_t length, const uint8_t* mask, size_t maskCount), \
         (password, readLock, bankType, offset, length, list(mask, maskCount, 510))) \
    CALL(orv_authenticateWithPassword_sendResponse_incRepLen_csi_msgLen_msg_expectedReplyLen_completion, \
         authenticate, orv_result_cb, \
         (const char* password, uint8_t sendResponse, uint8_t incRepLen, uint8_t csi, \
          uint16_t msgLen, const uint8_t* msg, size_t msgCount, uint16_t expectedReplyLen), \
         (password, sendResponse, incRepLen, csi, msgLen, list(msg, msgCount, 8192), \
          expectedReplyLen))
// clang-format on
