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
    CALL(built, version, kNoUhfParamId, "version(completion:)", \
         (UhfValueCompletion<std::string> completion)) \
    CALL(built, powerRange, UhfParamId::powerRange, "powerRange(completion:)", \
         (UhfValueCompletion<PowerRange> completion)) \
    CALL(built, getPower, UhfParamId::power, "getPower(completion:)", \
         (UhfValueCompletion<int> completion)) \
    CALL(built, getPower_OC, UhfParamId::power, "getPower(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setPower, UhfParamId::power, "setPower(power:completion:)", \
         (int power, UhfResultCompletion completion)) \
    CALL(built, getContinuousMode, UhfParamId::continuousMode, "getContinuousMode(completion:)", \
         (UhfValueCompletion<bool> completion)) \
    CALL(built, getContinuousMode_OC, UhfParamId::continuousMode, \
         "getContinuousMode(completion:)", (UhfOcCompletion<bool> completion)) \
    CALL(built, setContinuousMode, UhfParamId::continuousMode, \
         "setContinuousMode(continuousMode:completion:)", \
         (bool continuousMode, UhfResultCompletion completion)) \
    CALL(built, supportedGlobalBand, UhfParamId::supportedGlobalBand, \
         "supportedGlobalBand(completion:)", \
         (UhfValueCompletion<std::vector<GlobalBandType>> completion)) \
    CALL(built, supportedGlobalBand_OC, UhfParamId::supportedGlobalBand, \
         "supportedGlobalBand(completion:)", (UhfOcCompletion<std::vector<int64_t>> completion)) \
    CALL(built, getGlobalBand, UhfParamId::globalBand, "getGlobalBand(completion:)", \
         (UhfValueCompletion<GlobalBandType> completion)) \
    CALL(built, getGlobalBand_OC, UhfParamId::globalBand, "getGlobalBand(completion:)", \
         (UhfOcCompletion<GlobalBandType> completion)) \
    CALL(built, setGlobalBand, UhfParamId::globalBand, "setGlobalBand(band:completion:)", \
         (GlobalBandType band, UhfResultCompletion completion)) \
    CALL(built, getInventoryTime, UhfParamId::inventoryTime, "getInventoryTime(completion:)", \
         (UhfValueCompletion<unsigned> completion)) \
    CALL(built, getInventoryTime_OC, UhfParamId::inventoryTime, \
         "getInventoryTime(completion:)", (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setInventoryTime, UhfParamId::inventoryTime, \
         "setInventoryTime(inventoryTime:completion:)", \
         (unsigned inventoryTime, UhfResultCompletion completion)) \
    CALL(built, getIdleTime, UhfParamId::idleTime, "getIdleTime(completion:)", \
         (UhfValueCompletion<unsigned> completion)) \
    CALL(built, getIdleTime_OC, UhfParamId::idleTime, "getIdleTime(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setIdleTime, UhfParamId::idleTime, "setIdleTime(idleTime:completion:)", \
         (unsigned idleTime, UhfResultCompletion completion)) \
    CALL(built, getAlgorithmType, UhfParamId::algorithmType, "getAlgorithmType(completion:)", \
         (UhfValueCompletion<AlgorithmType> completion)) \
    CALL(built, getAlgorithmType_OC, UhfParamId::algorithmType, \
         "getAlgorithmType(completion:)", (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setAlgorithmType, UhfParamId::algorithmType, \
         "setAlgorithmType(algorithmType:completion:)", \
         (AlgorithmType algorithmType, UhfResultCompletion completion)) \
    CALL(built, getStartQ, UhfParamId::startQ, "getStartQ(completion:)", \
         (UhfValueCompletion<int> completion)) \
    CALL(built, getStartQ_OC, UhfParamId::startQ, "getStartQ(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setStartQ, UhfParamId::startQ, "setStartQ(startQ:completion:)", \
         (int startQ, UhfResultCompletion completion)) \
    CALL(built, getMaxQ, UhfParamId::maxQ, "getMaxQ(completion:)", \
         (UhfValueCompletion<int> completion)) \
    CALL(built, getMaxQ_OC, UhfParamId::maxQ, "getMaxQ(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setMaxQ, UhfParamId::maxQ, "setMaxQ(maxQ:completion:)", \
         (int maxQ, UhfResultCompletion completion)) \
    CALL(built, getMinQ, UhfParamId::minQ, "getMinQ(completion:)", \
         (UhfValueCompletion<int> completion)) \
    CALL(built, getMinQ_OC, UhfParamId::minQ, "getMinQ(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setMinQ, UhfParamId::minQ, "setMinQ(minQ:completion:)", \
         (int minQ, UhfResultCompletion completion)) \
    CALL(built, getTarget, UhfParamId::target, "getTarget(completion:)", \
         (UhfValueCompletion<Target> completion)) \
    CALL(built, getTarget_OC, UhfParamId::target, "getTarget(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setTarget, UhfParamId::target, "setTarget(target:completion:)", \
         (Target target, UhfResultCompletion completion)) \
    CALL(built, getSession, UhfParamId::session, "getSession(completion:)", \
         (UhfValueCompletion<Session> completion)) \
    CALL(built, getSession_OC, UhfParamId::session, "getSession(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setSession, UhfParamId::session, "setSession(session:completion:)", \
         (Session session, UhfResultCompletion completion)) \
    CALL(built, getSelectMaskEnabled, kNoUhfParamId, "getSelectMaskEnabled(index:completion:)", \
         (std::size_t index, UhfValueCompletion<bool> completion)) \
    CALL(built, getSelectMaskEnabled_OC, kNoUhfParamId, \
         "getSelectMaskEnabled(index:completion:)", \
         (std::size_t index, UhfOcCompletion<bool> completion)) \
    CALL(built, setSelectMaskEnabled, kNoUhfParamId, \
         "setSelectMaskEnabled(index:enabled:completion:)", \
         (std::size_t index, bool enabled, UhfResultCompletion completion)) \
    CALL(built, getSelectMaskTarget, kNoUhfParamId, "getSelectMaskTarget(index:completion:)", \
         (std::size_t index, UhfValueCompletion<MaskTarget> completion)) \
    CALL(built, getSelectMaskTarget_OC, kNoUhfParamId, \
         "getSelectMaskTarget(index:completion:)", \
         (std::size_t index, UhfOcCompletion<int64_t> completion)) \
    CALL(built, setSelectMaskTarget, kNoUhfParamId, \
         "setSelectMaskTarget(index:target:completion:)", \
         (std::size_t index, MaskTarget target, UhfResultCompletion completion)) \
    CALL(built, getSelectMaskAction, kNoUhfParamId, "getSelectMaskAction(index:completion:)", \
         (std::size_t index, UhfValueCompletion<MaskAction> completion)) \
    CALL(built, getSelectMaskAction_OC, kNoUhfParamId, \
         "getSelectMaskAction(index:completion:)", \
         (std::size_t index, UhfOcCompletion<int64_t> completion)) \
    CALL(built, setSelectMaskAction, kNoUhfParamId, \
         "setSelectMaskAction(index:action:completion:)", \
         (std::size_t index, MaskAction action, UhfResultCompletion completion)) \
    CALL(built, getSelectMaskBank, kNoUhfParamId, "getSelectMaskBank(index:completion:)", \
         (std::size_t index, UhfValueCompletion<BankType> completion)) \
    CALL(built, getSelectMaskBank_OC, kNoUhfParamId, "getSelectMaskBank(index:completion:)", \
         (std::size_t index, UhfOcCompletion<int64_t> completion)) \
    CALL(built, setSelectMaskBank, kNoUhfParamId, "setSelectMaskBank(index:bank:completion:)", \
         (std::size_t index, BankType bank, UhfResultCompletion completion)) \
    CALL(built, getSelectMaskOffset, kNoUhfParamId, "getSelectMaskOffset(index:completion:)", \
         (std::size_t index, UhfValueCompletion<uint64_t> completion)) \
    CALL(built, getSelectMaskOffset_OC, kNoUhfParamId, \
         "getSelectMaskOffset(index:completion:)", \
         (std::size_t index, UhfOcCompletion<int64_t> completion)) \
    CALL(built, setSelectMaskOffset, kNoUhfParamId, \
         "setSelectMaskOffset(index:offset:completion:)", \
         (std::size_t index, uint64_t offset, UhfResultCompletion completion)) \
    CALL(built, getSelectMaskPattern, kNoUhfParamId, "getSelectMaskPattern(index:completion:)", \
         (std::size_t index, UhfValueCompletion<MaskPattern> completion)) \
    CALL(built, getSelectMaskPattern_OC, kNoUhfParamId, \
         "getSelectMaskPattern(index:completion:)", \
         (std::size_t index, UhfOcCompletion<MaskPattern> completion)) \
    CALL(built, setSelectMaskPattern, kNoUhfParamId, \
         "setSelectMaskPattern(index:maskPattern:completion:)", \
         (std::size_t index, const MaskPattern& maskPattern, UhfResultCompletion completion)) \
    CALL(built, getSelectMask, UhfParamId::selectMask, "getSelectMask(index:completion:)", \
         (std::size_t index, UhfValueCompletion<SelectMaskParam> completion)) \
    CALL(built, getSelectMask_OC, UhfParamId::selectMask, "getSelectMask(index:completion:)", \
         (std::size_t index, UhfOcCompletion<SelectMaskParam> completion)) \
    CALL(built, setSelectMask, UhfParamId::selectMask, "setSelectMask(index:param:completion:)", \
         (std::size_t index, const SelectMaskParam& param, UhfResultCompletion completion)) \
    CALL(built, getSelectMaskMaxSize, UhfParamId::selectMaskMaxSize, \
         "getSelectMaskMaxSize(completion:)", (UhfValueCompletion<uint8_t> completion)) \
    CALL(built, getSelectMaskMaxSize_OC, UhfParamId::selectMaskMaxSize, \
         "getSelectMaskMaxSize(completion:)", (UhfOcCompletion<int64_t> completion)) \
    CALL(built, getSelectMode, UhfParamId::selectMode, "getSelectMode(completion:)", \
         (UhfValueCompletion<SelectMode> completion)) \
    CALL(built, getSelectMode_OC, UhfParamId::selectMode, "getSelectMode(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setSelectMode, UhfParamId::selectMode, "setSelectMode(selectMode:completion:)", \
         (SelectMode selectMode, UhfResultCompletion completion)) \
    CALL(built, getEncoding, UhfParamId::encoding, "getEncoding(completion:)", \
         (UhfValueCompletion<Encoding> completion)) \
    CALL(built, getEncoding_OC, UhfParamId::encoding, "getEncoding(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setEncoding, UhfParamId::encoding, "setEncoding(encoding:completion:)", \
         (Encoding encoding, UhfResultCompletion completion)) \
    CALL(built, getTari, UhfParamId::tari, "getTari(completion:)", \
         (UhfValueCompletion<TariType> completion)) \
    CALL(built, getTari_OC, UhfParamId::tari, "getTari(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setTari, UhfParamId::tari, "setTari(tari:completion:)", \
         (TariType tari, UhfResultCompletion completion)) \
    CALL(built, getBlf, UhfParamId::blf, "getBlf(completion:)", \
         (UhfValueCompletion<BlfType> completion)) \
    CALL(built, getBlf_OC, UhfParamId::blf, "getBlf(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setBlf, UhfParamId::blf, "setBlf(blf:completion:)", \
         (BlfType blf, UhfResultCompletion completion)) \
    CALL(built, getToggleTarget, UhfParamId::toggleTarget, "getToggleTarget(completion:)", \
         (UhfValueCompletion<bool> completion)) \
    CALL(built, getToggleTarget_OC, UhfParamId::toggleTarget, "getToggleTarget(completion:)", \
         (UhfOcCompletion<bool> completion)) \
    CALL(built, setToggleTarget, UhfParamId::toggleTarget, \
         "setToggleTarget(toggleTarget:completion:)", \
         (bool toggleTarget, UhfResultCompletion completion)) \
    CALL(built, getFastMode, UhfParamId::fastMode, "getFastMode(completion:)", \
         (UhfValueCompletion<bool> completion)) \
    CALL(built, getFastMode_OC, UhfParamId::fastMode, "getFastMode(completion:)", \
         (UhfOcCompletion<bool> completion)) \
    CALL(built, setFastMode, UhfParamId::fastMode, "setFastMode(fastMode:completion:)", \
         (bool fastMode, UhfResultCompletion completion)) \
    CALL(built, getRfidConfig, UhfParamId::rfidConfig, "getRfidConfig(completion:)", \
         (UhfValueCompletion<RfidConfig> completion)) \
    CALL(built, getRfidConfig_OC, UhfParamId::rfidConfig, "getRfidConfig(completion:)", \
         (UhfOcCompletion<RfidConfig> completion)) \
    CALL(built, setRfidConfig, UhfParamId::rfidConfig, "setRfidConfig(rfidConfig:completion:)", \
         (const RfidConfig& rfidConfig, UhfResultCompletion completion)) \
    CALL(built, inventoryWithUserSpecifiedDataOperation, \
         UhfParamId::inventoryWithUserSpecifiedData, \
         "inventoryWithUserSpecifiedDataOperation(bank:offset:length:password:completion:)", \
         (BankType bank, uint16_t offset, uint8_t length, const std::string& password, \
          UhfResultCompletion completion)) \
    ACCESS(built, blockWriteMemory, UhfParamId::blockWriteMemory, \
           "blockWriteMemory(bank:offset:data:password:)", \
           (BankType bank, uint16_t offset, const std::string& data, const std::string& password)) \
    CALL(built, getDwellTime, UhfParamId::dwellTime, "getDwellTime(completion:)", \
         (UhfValueCompletion<uint16_t> completion)) \
    CALL(built, getDwellTime_OC, UhfParamId::dwellTime, "getDwellTime(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setDwellTime, UhfParamId::dwellTime, "setDwellTime(dwellTime:completion:)", \
         (uint16_t dwellTime, UhfResultCompletion completion)) \
    CALL(built, getRfMode, UhfParamId::rfMode, "getRfMode(completion:)", \
         (UhfValueCompletion<RfMode> completion)) \
    CALL(built, getRfMode_OC, UhfParamId::rfMode, "getRfMode(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setRfMode, UhfParamId::rfMode, "setRfMode(rfMode:completion:)", \
         (RfMode rfMode, UhfResultCompletion completion)) \
    CALL(built, getLbt, UhfParamId::lbt, "getLbt(completion:)", \
         (UhfValueCompletion<bool> completion)) \
    CALL(built, getLbt_OC, UhfParamId::lbt, "getLbt(completion:)", \
         (UhfOcCompletion<bool> completion)) \
    CALL(built, setLbt, UhfParamId::lbt, "setLbt(enable:completion:)", \
         (bool enable, UhfResultCompletion completion)) \
    CALL(built, getFastId, UhfParamId::fastId, "getFastId(completion:)", \
         (UhfValueCompletion<bool> completion)) \
    CALL(built, getFastId_OC, UhfParamId::fastId, "getFastId(completion:)", \
         (UhfOcCompletion<bool> completion)) \
    CALL(built, setFastId, UhfParamId::fastId, "setFastId(enable:completion:)", \
         (bool enable, UhfResultCompletion completion)) \
    CALL(built, getTagFocus, UhfParamId::tagFocus, "getTagFocus(completion:)", \
         (UhfValueCompletion<bool> completion)) \
    CALL(built, getTagFocus_OC, UhfParamId::tagFocus, "getTagFocus(completion:)", \
         (UhfOcCompletion<bool> completion)) \
    CALL(built, setTagFocus, UhfParamId::tagFocus, "setTagFocus(enable:completion:)", \
         (bool enable, UhfResultCompletion completion)) \
    CALL(built, getFixedFrequency, UhfParamId::fixedFrequency, "getFixedFrequency(completion:)", \
         (UhfValueCompletion<std::vector<uint32_t>> completion)) \
    CALL(built, getFixedFrequency_OC, UhfParamId::fixedFrequency, \
         "getFixedFrequency(completion:)", (UhfOcCompletion<std::vector<int64_t>> completion)) \
    CALL(built, setFixedFrequency, UhfParamId::fixedFrequency, \
         "setFixedFrequency(fixedFrequency:completion:)", \
         (const std::vector<uint32_t>& fixedFrequency, UhfResultCompletion completion)) \
    CALL(built, getPhaseData, UhfParamId::phaseData, "getPhaseData(completion:)", \
         (UhfValueCompletion<bool> completion)) \
    CALL(built, getPhaseData_OC, UhfParamId::phaseData, "getPhaseData(completion:)", \
         (UhfOcCompletion<bool> completion)) \
    CALL(built, setPhaseData, UhfParamId::phaseData, "setPhaseData(enable:completion:)", \
         (bool enable, UhfResultCompletion completion)) \
    CALL(built, getPowerSavingMode, UhfParamId::powerSavingMode, \
         "getPowerSavingMode(completion:)", (UhfValueCompletion<PowerSavingMode> completion)) \
    CALL(built, getPowerSavingMode_OC, UhfParamId::powerSavingMode, \
         "getPowerSavingMode(completion:)", (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setPowerSavingMode, UhfParamId::powerSavingMode, \
         "setPowerSavingMode(powerSavingMode:completion:)", \
         (PowerSavingMode powerSavingMode, UhfResultCompletion completion)) \
    CALL(built, getLbtConfigure, UhfParamId::lbtConfigure, "getLbtConfigure(completion:)", \
         (UhfValueCompletion<int16_t> completion)) \
    CALL(built, getLbtConfigure_OC, UhfParamId::lbtConfigure, "getLbtConfigure(completion:)", \
         (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setLbtConfigure, UhfParamId::lbtConfigure, \
         "setLbtConfigure(lbtRssiThreshold:completion:)", \
         (int16_t lbtRssiThreshold, UhfResultCompletion completion)) \
    CALL(built, getAntennaSwitchingMode, UhfParamId::antennaSwitchingMode, \
         "getAntennaSwitchingMode(completion:)", \
         (UhfValueCompletion<AntennaSwitchingMode> completion)) \
    CALL(built, getAntennaSwitchingMode_OC, UhfParamId::antennaSwitchingMode, \
         "getAntennaSwitchingMode(completion:)", (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setAntennaSwitchingMode, UhfParamId::antennaSwitchingMode, \
         "setAntennaSwitchingMode(antennaSwitchingMode:completion:)", \
         (AntennaSwitchingMode antennaSwitchingMode, UhfResultCompletion completion)) \
    CALL(built, getFrequencySwitchingMode, UhfParamId::frequencySwitchingMode, \
         "getFrequencySwitchingMode(completion:)", \
         (UhfValueCompletion<FrequencySwitchingMode> completion)) \
    CALL(built, getFrequencySwitchingMode_OC, UhfParamId::frequencySwitchingMode, \
         "getFrequencySwitchingMode(completion:)", (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setFrequencySwitchingMode, UhfParamId::frequencySwitchingMode, \
         "setFrequencySwitchingMode(frequencySwitchingMode:completion:)", \
         (FrequencySwitchingMode frequencySwitchingMode, UhfResultCompletion completion)) \
    CALL(built, getCfgStorageMode, UhfParamId::configurationStorageMode, \
         "getCfgStorageMode(completion:)", (UhfValueCompletion<CfgStorageMode> completion)) \
    CALL(built, getCfgStorageMode_OC, UhfParamId::configurationStorageMode, \
         "getCfgStorageMode(completion:)", (UhfOcCompletion<int64_t> completion)) \
    CALL(built, setCfgStorageMode, UhfParamId::configurationStorageMode, \
         "setCfgStorageMode(cfgStorageMode:completion:)", \
         (CfgStorageMode cfgStorageMode, UhfResultCompletion completion)) \
    CALL(built, cwOn, UhfParamId::cwOn, "cwOn(antennaId:power:frequency:completion:)", \
         (uint8_t antennaId, uint16_t power, uint32_t frequency, UhfResultCompletion completion)) \
    CALL(built, cwOff, UhfParamId::cwOff, "cwOff(completion:)", \
         (UhfResultCompletion completion)) \
    CALL(built, txRandomData, UhfParamId::txRandomData, \
         "txRandomData(antennaId:power:frequency:duration:completion:)", \
         (uint8_t antennaId, uint16_t power, uint32_t frequency, uint32_t duration, \
          UhfResultCompletion completion)) \
    CALL(built, blockPermaLock, UhfParamId::blockPermaLock, \
         "blockPermaLock(password:readLock:bankType:offset:length:mask:completion:)", \
         (const std::string& password, ReadLock readLock, BankType bankType, uint16_t offset, \
          uint8_t length, const std::vector<uint8_t>& mask, UhfResultCompletion completion)) \
    CALL(built, authenticate, UhfParamId::authenticate, \
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
