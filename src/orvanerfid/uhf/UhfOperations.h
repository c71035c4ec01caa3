#pragma once

// Every public operation of the UHF object, declared once, in the object's interface order.
// BaseUhf declares its virtual operations from this list, answers "Not Supported" for the rows
// not built yet, and the C entry points and the tests walk the same list.
//
//   ACCESS(state, name, id, signature, (parameters))     returns a ResultCode at once
//   CALL(state, name, id, signature, (parameters..., completion))
//
// `state` is `built` for a row with an implementation of its own and `pending` for a row the
// base answers with 0x4001 "Not Supported" (logged "<signature> - Not supported"). `id` is the
// UhfParamId the supported-operation check uses, or kNoUhfParamId for an operation without one.
// The completion of every CALL row is its last parameter, named `completion`.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/core/LockParam.h"
#include "orvanerfid/core/RadioEnums.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/SettingValues.h"
#include "orvanerfid/params/PowerRange.h"
#include "orvanerfid/params/RfidConfig.h"
#include "orvanerfid/params/SelectMaskParam.h"

namespace orvane {

// A completion that receives only the result code.
using UhfResultCompletion = std::function<void(ResultCode)>;
// A getter's completion: the value is present exactly when the code is 0x0000.
template <typename T>
using UhfValueCompletion = std::function<void(ResultCode, std::optional<T>)>;
// The completion of an `_OC` twin: always a value, a fixed substitute when there is none.
template <typename T>
using UhfOcCompletion = std::function<void(ResultCode, T)>;

inline constexpr std::optional<UhfParamId> kNoUhfParamId{};

// clang-format off
#define ORV_UHF_OPERATIONS(ACCESS, CALL) \
    CALL(built, inventory, UhfParamId::inventory, "inventory(completion:)", \
         (UhfResultCompletion completion)) \
    ACCESS(built, readMemory, UhfParamId::readMemory, "readMemory(bank:offset:length:password:)", \
           (BankType bank, unsigned offset, unsigned length, const std::string& password)) \
    ACCESS(built, writeMemory, UhfParamId::writeMemory, "writeMemory(bank:offset:data:password:)", \
           (BankType bank, unsigned offset, const std::string& data, const std::string& password)) \
    ACCESS(built, lockTag, UhfParamId::lockTag, "lockTag(lockParam:password:)", \
           (const LockParam& lockParam, const std::string& password)) \
    ACCESS(built, permaLockTag, UhfParamId::permaLockTag, "permaLockTag(permaLockParam:password:)", \
           (const PermaLockParam& permaLockParam, const std::string& password)) \
    ACCESS(built, killTag, UhfParamId::killTag, "killTag(password:)", \
           (const std::string& password)) \
    CALL(built, stop, UhfParamId::stop, "stop(completion:)", (UhfResultCompletion completion)) \
    CALL(pending, version, kNoUhfParamId, "version(completion:)", \
         (UhfValueCompletion<std::string> completion)) \
    CALL(pending, powerRange, UhfParamId::powerRange, "powerRange(completion:)", \
         (UhfValueCompletion<PowerRange> completion)) \
    CALL(pending, getPower, UhfParamId::power, "getPower(completion:)", \
         (UhfValueCompletion<int> completion)) \
    CALL(pending, getPower_OC, UhfParamId::power, "getPower(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setPower, UhfParamId::power, "setPower(power:completion:)", \
         (int power, UhfResultCompletion completion)) \
    CALL(pending, getContinuousMode, UhfParamId::continuousMode, "getContinuousMode(completion:)", \
         (UhfValueCompletion<bool> completion)) \
    CALL(pending, getContinuousMode_OC, UhfParamId::continuousMode, \
         "getContinuousMode(completion:)", (UhfOcCompletion<bool> completion)) \
    CALL(pending, setContinuousMode, UhfParamId::continuousMode, \
         "setContinuousMode(continuousMode:completion:)", \
         (bool continuousMode, UhfResultCompletion completion)) \
    CALL(pending, supportedGlobalBand, UhfParamId::supportedGlobalBand, \
         "supportedGlobalBand(completion:)", \
         (UhfValueCompletion<std::vector<GlobalBandType>> completion)) \
    CALL(pending, supportedGlobalBand_OC, UhfParamId::supportedGlobalBand, \
         "supportedGlobalBand(completion:)", (UhfOcCompletion<std::vector<int64_t>> completion)) \
    CALL(pending, getGlobalBand, UhfParamId::globalBand, "getGlobalBand(completion:)", \
         (UhfValueCompletion<GlobalBandType> completion)) \
    CALL(pending, getGlobalBand_OC, UhfParamId::globalBand, "getGlobalBand(completion:)", \
         (UhfOcCompletion<GlobalBandType> completion)) \
    CALL(pending, setGlobalBand, UhfParamId::globalBand, "setGlobalBand(band:completion:)", \
         (GlobalBandType band, UhfResultCompletion completion)) \
    CALL(pending, getInventoryTime, UhfParamId::inventoryTime, "getInventoryTime(completion:)", \
         (UhfValueCompletion<unsigned> completion)) \
    CALL(pending, getInventoryTime_OC, UhfParamId::inventoryTime, \
         "getInventoryTime(completion:)", (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setInventoryTime, UhfParamId::inventoryTime, \
         "setInventoryTime(inventoryTime:completion:)", \
         (unsigned inventoryTime, UhfResultCompletion completion)) \
    CALL(pending, getIdleTime, UhfParamId::idleTime, "getIdleTime(completion:)", \
         (UhfValueCompletion<unsigned> completion)) \
    CALL(pending, getIdleTime_OC, UhfParamId::idleTime, "getIdleTime(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setIdleTime, UhfParamId::idleTime, "setIdleTime(idleTime:completion:)", \
         (unsigned idleTime, UhfResultCompletion completion)) \
    CALL(pending, getAlgorithmType, UhfParamId::algorithmType, "getAlgorithmType(completion:)", \
         (UhfValueCompletion<AlgorithmType> completion)) \
    CALL(pending, getAlgorithmType_OC, UhfParamId::algorithmType, \
         "getAlgorithmType(completion:)", (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setAlgorithmType, UhfParamId::algorithmType, \
         "setAlgorithmType(algorithmType:completion:)", \
         (AlgorithmType algorithmType, UhfResultCompletion completion)) \
    CALL(pending, getStartQ, UhfParamId::startQ, "getStartQ(completion:)", \
         (UhfValueCompletion<int> completion)) \
    CALL(pending, getStartQ_OC, UhfParamId::startQ, "getStartQ(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setStartQ, UhfParamId::startQ, "setStartQ(startQ:completion:)", \
         (int startQ, UhfResultCompletion completion)) \
    CALL(pending, getMaxQ, UhfParamId::maxQ, "getMaxQ(completion:)", \
         (UhfValueCompletion<int> completion)) \
    CALL(pending, getMaxQ_OC, UhfParamId::maxQ, "getMaxQ(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setMaxQ, UhfParamId::maxQ, "setMaxQ(maxQ:completion:)", \
         (int maxQ, UhfResultCompletion completion)) \
    CALL(pending, getMinQ, UhfParamId::minQ, "getMinQ(completion:)", \
         (UhfValueCompletion<int> completion)) \
    CALL(pending, getMinQ_OC, UhfParamId::minQ, "getMinQ(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setMinQ, UhfParamId::minQ, "setMinQ(minQ:completion:)", \
         (int minQ, UhfResultCompletion completion)) \
    CALL(pending, getTarget, UhfParamId::target, "getTarget(completion:)", \
         (UhfValueCompletion<Target> completion)) \
    CALL(pending, getTarget_OC, UhfParamId::target, "getTarget(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setTarget, UhfParamId::target, "setTarget(target:completion:)", \
         (Target target, UhfResultCompletion completion)) \
    CALL(pending, getSession, UhfParamId::session, "getSession(completion:)", \
         (UhfValueCompletion<Session> completion)) \
    CALL(pending, getSession_OC, UhfParamId::session, "getSession(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setSession, UhfParamId::session, "setSession(session:completion:)", \
         (Session session, UhfResultCompletion completion)) \
    CALL(pending, getSelectMaskEnabled, kNoUhfParamId, "getSelectMaskEnabled(index:completion:)", \
         (std::size_t index, UhfValueCompletion<bool> completion)) \
    CALL(pending, getSelectMaskEnabled_OC, kNoUhfParamId, \
         "getSelectMaskEnabled(index:completion:)", \
         (std::size_t index, UhfOcCompletion<bool> completion)) \
    CALL(pending, setSelectMaskEnabled, kNoUhfParamId, \
         "setSelectMaskEnabled(index:enabled:completion:)", \
         (std::size_t index, bool enabled, UhfResultCompletion completion)) \
    CALL(pending, getSelectMaskTarget, kNoUhfParamId, "getSelectMaskTarget(index:completion:)", \
         (std::size_t index, UhfValueCompletion<MaskTarget> completion)) \
    CALL(pending, getSelectMaskTarget_OC, kNoUhfParamId, \
         "getSelectMaskTarget(index:completion:)", \
         (std::size_t index, UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setSelectMaskTarget, kNoUhfParamId, \
         "setSelectMaskTarget(index:target:completion:)", \
         (std::size_t index, MaskTarget target, UhfResultCompletion completion)) \
    CALL(pending, getSelectMaskAction, kNoUhfParamId, "getSelectMaskAction(index:completion:)", \
         (std::size_t index, UhfValueCompletion<MaskAction> completion)) \
    CALL(pending, getSelectMaskAction_OC, kNoUhfParamId, \
         "getSelectMaskAction(index:completion:)", \
         (std::size_t index, UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setSelectMaskAction, kNoUhfParamId, \
         "setSelectMaskAction(index:action:completion:)", \
         (std::size_t index, MaskAction action, UhfResultCompletion completion)) \
    CALL(pending, getSelectMaskBank, kNoUhfParamId, "getSelectMaskBank(index:completion:)", \
         (std::size_t index, UhfValueCompletion<BankType> completion)) \
    CALL(pending, getSelectMaskBank_OC, kNoUhfParamId, "getSelectMaskBank(index:completion:)", \
         (std::size_t index, UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setSelectMaskBank, kNoUhfParamId, "setSelectMaskBank(index:bank:completion:)", \
         (std::size_t index, BankType bank, UhfResultCompletion completion)) \
    CALL(pending, getSelectMaskOffset, kNoUhfParamId, "getSelectMaskOffset(index:completion:)", \
         (std::size_t index, UhfValueCompletion<uint64_t> completion)) \
    CALL(pending, getSelectMaskOffset_OC, kNoUhfParamId, \
         "getSelectMaskOffset(index:completion:)", \
         (std::size_t index, UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setSelectMaskOffset, kNoUhfParamId, \
         "setSelectMaskOffset(index:offset:completion:)", \
         (std::size_t index, uint64_t offset, UhfResultCompletion completion)) \
    CALL(pending, getSelectMaskPattern, kNoUhfParamId, "getSelectMaskPattern(index:completion:)", \
         (std::size_t index, UhfValueCompletion<MaskPattern> completion)) \
    CALL(pending, getSelectMaskPattern_OC, kNoUhfParamId, \
         "getSelectMaskPattern(index:completion:)", \
         (std::size_t index, UhfOcCompletion<MaskPattern> completion)) \
    CALL(pending, setSelectMaskPattern, kNoUhfParamId, \
         "setSelectMaskPattern(index:maskPattern:completion:)", \
         (std::size_t index, const MaskPattern& maskPattern, UhfResultCompletion completion)) \
    CALL(pending, getSelectMask, UhfParamId::selectMask, "getSelectMask(index:completion:)", \
         (std::size_t index, UhfValueCompletion<SelectMaskParam> completion)) \
    CALL(pending, getSelectMask_OC, UhfParamId::selectMask, "getSelectMask(index:completion:)", \
         (std::size_t index, UhfOcCompletion<SelectMaskParam> completion)) \
    CALL(pending, setSelectMask, UhfParamId::selectMask, "setSelectMask(index:param:completion:)", \
         (std::size_t index, const SelectMaskParam& param, UhfResultCompletion completion)) \
    CALL(pending, getSelectMaskMaxSize, UhfParamId::selectMaskMaxSize, \
         "getSelectMaskMaxSize(completion:)", (UhfValueCompletion<uint8_t> completion)) \
    CALL(pending, getSelectMaskMaxSize_OC, UhfParamId::selectMaskMaxSize, \
         "getSelectMaskMaxSize(completion:)", (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, getSelectMode, UhfParamId::selectMode, "getSelectMode(completion:)", \
         (UhfValueCompletion<SelectMode> completion)) \
    CALL(pending, getSelectMode_OC, UhfParamId::selectMode, "getSelectMode(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setSelectMode, UhfParamId::selectMode, "setSelectMode(selectMode:completion:)", \
         (SelectMode selectMode, UhfResultCompletion completion)) \
    CALL(pending, getEncoding, UhfParamId::encoding, "getEncoding(completion:)", \
         (UhfValueCompletion<Encoding> completion)) \
    CALL(pending, getEncoding_OC, UhfParamId::encoding, "getEncoding(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setEncoding, UhfParamId::encoding, "setEncoding(encoding:completion:)", \
         (Encoding encoding, UhfResultCompletion completion)) \
    CALL(pending, getTari, UhfParamId::tari, "getTari(completion:)", \
         (UhfValueCompletion<TariType> completion)) \
    CALL(pending, getTari_OC, UhfParamId::tari, "getTari(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setTari, UhfParamId::tari, "setTari(tari:completion:)", \
         (TariType tari, UhfResultCompletion completion)) \
    CALL(pending, getBlf, UhfParamId::blf, "getBlf(completion:)", \
         (UhfValueCompletion<BlfType> completion)) \
    CALL(pending, getBlf_OC, UhfParamId::blf, "getBlf(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setBlf, UhfParamId::blf, "setBlf(blf:completion:)", \
         (BlfType blf, UhfResultCompletion completion)) \
    CALL(pending, getToggleTarget, UhfParamId::toggleTarget, "getToggleTarget(completion:)", \
         (UhfValueCompletion<bool> completion)) \
    CALL(pending, getToggleTarget_OC, UhfParamId::toggleTarget, "getToggleTarget(completion:)", \
         (UhfOcCompletion<bool> completion)) \
    CALL(pending, setToggleTarget, UhfParamId::toggleTarget, \
         "setToggleTarget(toggleTarget:completion:)", \
         (bool toggleTarget, UhfResultCompletion completion)) \
    CALL(pending, getFastMode, UhfParamId::fastMode, "getFastMode(completion:)", \
         (UhfValueCompletion<bool> completion)) \
    CALL(pending, getFastMode_OC, UhfParamId::fastMode, "getFastMode(completion:)", \
         (UhfOcCompletion<bool> completion)) \
    CALL(pending, setFastMode, UhfParamId::fastMode, "setFastMode(fastMode:completion:)", \
         (bool fastMode, UhfResultCompletion completion)) \
    CALL(pending, getRfidConfig, UhfParamId::rfidConfig, "getRfidConfig(completion:)", \
         (UhfValueCompletion<RfidConfig> completion)) \
    CALL(pending, getRfidConfig_OC, UhfParamId::rfidConfig, "getRfidConfig(completion:)", \
         (UhfOcCompletion<RfidConfig> completion)) \
    CALL(pending, setRfidConfig, UhfParamId::rfidConfig, "setRfidConfig(rfidConfig:completion:)", \
         (const RfidConfig& rfidConfig, UhfResultCompletion completion)) \
    CALL(built, inventoryWithUserSpecifiedDataOperation, \
         UhfParamId::inventoryWithUserSpecifiedData, \
         "inventoryWithUserSpecifiedDataOperation(bank:offset:length:password:completion:)", \
         (BankType bank, uint16_t offset, uint8_t length, const std::string& password, \
          UhfResultCompletion completion)) \
    ACCESS(built, blockWriteMemory, UhfParamId::blockWriteMemory, \
           "blockWriteMemory(bank:offset:data:password:)", \
           (BankType bank, uint16_t offset, const std::string& data, const std::string& password)) \
    CALL(pending, getDwellTime, UhfParamId::dwellTime, "getDwellTime(completion:)", \
         (UhfValueCompletion<uint16_t> completion)) \
    CALL(pending, getDwellTime_OC, UhfParamId::dwellTime, "getDwellTime(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setDwellTime, UhfParamId::dwellTime, "setDwellTime(dwellTime:completion:)", \
         (uint16_t dwellTime, UhfResultCompletion completion)) \
    CALL(pending, getRfMode, UhfParamId::rfMode, "getRfMode(completion:)", \
         (UhfValueCompletion<RfMode> completion)) \
    CALL(pending, getRfMode_OC, UhfParamId::rfMode, "getRfMode(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setRfMode, UhfParamId::rfMode, "setRfMode(rfMode:completion:)", \
         (RfMode rfMode, UhfResultCompletion completion)) \
    CALL(pending, getLbt, UhfParamId::lbt, "getLbt(completion:)", \
         (UhfValueCompletion<bool> completion)) \
    CALL(pending, getLbt_OC, UhfParamId::lbt, "getLbt(completion:)", \
         (UhfOcCompletion<bool> completion)) \
    CALL(pending, setLbt, UhfParamId::lbt, "setLbt(enable:completion:)", \
         (bool enable, UhfResultCompletion completion)) \
    CALL(pending, getFastId, UhfParamId::fastId, "getFastId(completion:)", \
         (UhfValueCompletion<bool> completion)) \
    CALL(pending, getFastId_OC, UhfParamId::fastId, "getFastId(completion:)", \
         (UhfOcCompletion<bool> completion)) \
    CALL(pending, setFastId, UhfParamId::fastId, "setFastId(enable:completion:)", \
         (bool enable, UhfResultCompletion completion)) \
    CALL(pending, getTagFocus, UhfParamId::tagFocus, "getTagFocus(completion:)", \
         (UhfValueCompletion<bool> completion)) \
    CALL(pending, getTagFocus_OC, UhfParamId::tagFocus, "getTagFocus(completion:)", \
         (UhfOcCompletion<bool> completion)) \
    CALL(pending, setTagFocus, UhfParamId::tagFocus, "setTagFocus(enable:completion:)", \
         (bool enable, UhfResultCompletion completion)) \
    CALL(pending, getFixedFrequency, UhfParamId::fixedFrequency, "getFixedFrequency(completion:)", \
         (UhfValueCompletion<std::vector<uint32_t>> completion)) \
    CALL(pending, getFixedFrequency_OC, UhfParamId::fixedFrequency, \
         "getFixedFrequency(completion:)", (UhfOcCompletion<std::vector<int64_t>> completion)) \
    CALL(pending, setFixedFrequency, UhfParamId::fixedFrequency, \
         "setFixedFrequency(fixedFrequency:completion:)", \
         (const std::vector<uint32_t>& fixedFrequency, UhfResultCompletion completion)) \
    CALL(pending, getPhaseData, UhfParamId::phaseData, "getPhaseData(completion:)", \
         (UhfValueCompletion<bool> completion)) \
    CALL(pending, getPhaseData_OC, UhfParamId::phaseData, "getPhaseData(completion:)", \
         (UhfOcCompletion<bool> completion)) \
    CALL(pending, setPhaseData, UhfParamId::phaseData, "setPhaseData(enable:completion:)", \
         (bool enable, UhfResultCompletion completion)) \
    CALL(pending, getPowerSavingMode, UhfParamId::powerSavingMode, \
         "getPowerSavingMode(completion:)", (UhfValueCompletion<PowerSavingMode> completion)) \
    CALL(pending, getPowerSavingMode_OC, UhfParamId::powerSavingMode, \
         "getPowerSavingMode(completion:)", (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setPowerSavingMode, UhfParamId::powerSavingMode, \
         "setPowerSavingMode(powerSavingMode:completion:)", \
         (PowerSavingMode powerSavingMode, UhfResultCompletion completion)) \
    CALL(pending, getLbtConfigure, UhfParamId::lbtConfigure, "getLbtConfigure(completion:)", \
         (UhfValueCompletion<int16_t> completion)) \
    CALL(pending, getLbtConfigure_OC, UhfParamId::lbtConfigure, "getLbtConfigure(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setLbtConfigure, UhfParamId::lbtConfigure, \
         "setLbtConfigure(lbtRssiThreshold:completion:)", \
         (int16_t lbtRssiThreshold, UhfResultCompletion completion)) \
    CALL(pending, getAntennaSwitchingMode, UhfParamId::antennaSwitchingMode, \
         "getAntennaSwitchingMode(completion:)", \
         (UhfValueCompletion<AntennaSwitchingMode> completion)) \
    CALL(pending, getAntennaSwitchingMode_OC, UhfParamId::antennaSwitchingMode, \
         "getAntennaSwitchingMode(completion:)", (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setAntennaSwitchingMode, UhfParamId::antennaSwitchingMode, \
         "setAntennaSwitchingMode(antennaSwitchingMode:completion:)", \
         (AntennaSwitchingMode antennaSwitchingMode, UhfResultCompletion completion)) \
    CALL(pending, getFrequencySwitchingMode, UhfParamId::frequencySwitchingMode, \
         "getFrequencySwitchingMode(completion:)", \
         (UhfValueCompletion<FrequencySwitchingMode> completion)) \
    CALL(pending, getFrequencySwitchingMode_OC, UhfParamId::frequencySwitchingMode, \
         "getFrequencySwitchingMode(completion:)", (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setFrequencySwitchingMode, UhfParamId::frequencySwitchingMode, \
         "setFrequencySwitchingMode(frequencySwitchingMode:completion:)", \
         (FrequencySwitchingMode frequencySwitchingMode, UhfResultCompletion completion)) \
    CALL(pending, getCfgStorageMode, UhfParamId::configurationStorageMode, \
         "getCfgStorageMode(completion:)", (UhfValueCompletion<CfgStorageMode> completion)) \
    CALL(pending, getCfgStorageMode_OC, UhfParamId::configurationStorageMode, \
         "getCfgStorageMode(completion:)", (UhfOcCompletion<int64_t> completion)) \
    CALL(pending, setCfgStorageMode, UhfParamId::configurationStorageMode, \
         "setCfgStorageMode(cfgStorageMode:completion:)", \
         (CfgStorageMode cfgStorageMode, UhfResultCompletion completion)) \
    CALL(pending, cwOn, UhfParamId::cwOn, "cwOn(antennaId:power:frequency:completion:)", \
         (uint8_t antennaId, uint16_t power, uint32_t frequency, UhfResultCompletion completion)) \
    CALL(pending, cwOff, UhfParamId::cwOff, "cwOff(completion:)", \
         (UhfResultCompletion completion)) \
    CALL(pending, txRandomData, UhfParamId::txRandomData, \
         "txRandomData(antennaId:power:frequency:duration:completion:)", \
         (uint8_t antennaId, uint16_t power, uint32_t frequency, uint32_t duration, \
          UhfResultCompletion completion)) \
    CALL(pending, blockPermaLock, UhfParamId::blockPermaLock, \
         "blockPermaLock(password:readLock:bankType:offset:length:mask:completion:)", \
         (const std::string& password, ReadLock readLock, BankType bankType, uint16_t offset, \
          uint8_t length, const std::vector<uint8_t>& mask, UhfResultCompletion completion)) \
    CALL(pending, authenticate, UhfParamId::authenticate, \
         "authenticate(password:sendResponse:incRepLen:csi:msgLen:msg:expectedReplyLen:completion:)", \
         (const std::string& password, AuthenticationResponse sendResponse, \
          IncludeReplyLength incRepLen, uint8_t csi, uint16_t msgLen, \
          const std::vector<uint8_t>& msg, uint16_t expectedReplyLen, \
          UhfResultCompletion completion))
// clang-format on

// One row of the list as data: the operation's name, its log signature, its id and whether it
// has an implementation of its own.
struct UhfOperationInfo {
    const char* name;
    const char* signature;
    std::optional<UhfParamId> id;
    bool built;
};

#define ORV_UHF_OPERATION_INFO_(state, name, id, signature, params) \
    UhfOperationInfo{#name, signature, std::optional<UhfParamId>(id), ORV_UHF_IS_BUILT_##state},
#define ORV_UHF_IS_BUILT_built true
#define ORV_UHF_IS_BUILT_pending false

// Every row, in interface order.
inline const std::vector<UhfOperationInfo>& uhfOperations() {
    static const std::vector<UhfOperationInfo> rows = {
        ORV_UHF_OPERATIONS(ORV_UHF_OPERATION_INFO_, ORV_UHF_OPERATION_INFO_)};
    return rows;
}

#undef ORV_UHF_OPERATION_INFO_

}  // namespace orvane
