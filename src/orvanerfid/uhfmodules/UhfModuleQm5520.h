#pragma once

// The driver of the Qm5520 radio module of the Vk210 reader: every operation becomes one or more
// Vk210 command frames sent through the reader's protocol object, each waiting up to 3000 ms for
// its reply. Internal to the library.
//
// Threads: as BaseUhfModule. Each operation blocks its (background) thread for its exchanges; a
// read-modify-write setting makes two. The driver takes no lock of its own.
//
// Failures: nothing is thrown out of an operation. A failed send gives its code (0x7000 on
// timeout), a reply without data 0x5000, a malformed reply frame 0x5002, a refusing status the
// status's code (busy 0xFFFC, invalid parameters 0xFFFB, not supported 0x4001, length or end of
// packet 0x5000, CRC 0xF002, any other 0x0002); each is logged at ERROR as "<operation
// signature> - <error>". A reply too short for the value asked completes with 0x5000. Caller
// input is checked before anything is sent, by the rule every driver follows: an empty
// completion, text that is not hex, an invalid memory bank or empty write data is refused with
// 0x5002; a number or an enumeration case outside the module's range (a power outside
// powerMinOutput() to powerMaxOutput(), a cast session, an empty or out-of-band frequency list)
// with 0x4003.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvanerfid/commands/Gen2Commands.h"
#include "orvanerfid/commands/RadioSettingCommands.h"
#include "orvanerfid/commands/TagCommands.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"

namespace orvane {

class UhfModuleQm5520 : public BaseUhfModule {
  public:
    // The creator (the UHF object) then sets the module type, the power range (5 to 33 dBm) and
    // the highest select-mask index, and becomes the delegate.
    explicit UhfModuleQm5520(std::shared_ptr<BaseProtocol> protocol,
                             int inventoryTimeMinValue = 150, int idleTimeMinValue = 0,
                             bool continuousMode = true);

    int inventoryTimeMinValue() const { return inventoryTimeMinValue_; }
    int idleTimeMinValue() const { return idleTimeMinValue_; }

    // ---- Select masks and tag operations. Before an inventory, a read, a write, a lock, a
    // permanent lock and a kill, the select-mask list is sent to the module (a failure stops the
    // operation, logged "<signature> - Failed to set select mask"). Before a read, a write, a
    // block write and a block permanent lock the protocol object is told the memory bank
    // (accessBankType), so that the access results that follow carry it.

    // Sends the used entries in index order (the first clears the module's list and adds, the
    // later add), or one clearing Select when none is used. Every used entry passes
    // checkSelectMaskEntry() before the first Select goes out. On the EPC bank the address counts
    // from the first EPC bit (offset + 32).
    ResultCode setSelectMask() override;
    // Adds to the base's checks: the mask address fits the request's 16-bit field (0x4003).
    void checkSelectMaskEntry(const SelectMaskParam& entry) const override;
    // An offset above 65535 or more than 255 words: 0x4003.
    void checkWriteMemory(unsigned offset, std::size_t words) const override;
    std::vector<GlobalBandType> supportedGlobalBandList() override;

    using BaseUhfModule::readMemory;
    ResultCode inventory() override;
    ResultCode readMemory(BankType bank, uint16_t offset, uint8_t length,
                          const std::string& password) override;
    // What checkWriteMemory() refuses is refused with its code, nothing sent.
    ResultCode writeMemory(BankType bank, unsigned offset, const std::string& data,
                           const std::string& password) override;
    ResultCode lockTag(const LockParam& lockParam, const std::string& password) override;
    ResultCode permaLockTag(const PermaLockParam& permaLockParam,
                            const std::string& password) override;
    ResultCode killTag(const std::string& password) override;
    ResultCode stop() override;
    ResultCode inventoryWithUserSpecifiedDataOperation(BankType bank, uint16_t offset,
                                                       uint8_t length,
                                                       const std::string& password) override;
    ResultCode blockWriteMemory(BankType bank, uint16_t offset, const std::string& data,
                                const std::string& password) override;
    void blockPermaLock(const std::string& password, ReadLock readLock, BankType bankType,
                        uint16_t offset, uint8_t length, const std::vector<uint8_t>& mask,
                        ResultCompletion completion) override;
    void authenticate(const std::string& password, AuthenticationResponse sendResponse,
                      IncludeReplyLength incRepLen, uint8_t csi, uint16_t msgLen,
                      const std::vector<uint8_t>& msg, uint16_t expectedReplyLen,
                      ResultCompletion completion) override;

    // ---- Module information and test transmissions.

    // The module firmware's bytes in decimal, joined by "." ("2.10.0").
    void version(ValueCompletion<std::string> completion) override;
    void cwOn(uint8_t antennaId, uint16_t power, uint32_t frequency,
              ResultCompletion completion) override;
    void cwOff(ResultCompletion completion) override;
    void txRandomData(uint8_t antennaId, uint16_t power, uint32_t frequency, uint32_t duration,
                      ResultCompletion completion) override;

    // ---- Radio settings. A setting kept in a group (antenna settings, Gen2 algorithm, query
    // group, transmit on/off time) is changed by reading the group and writing it back whole
    // with the one field changed: two exchanges, the second even when nothing changes.
    // Encoding, Tari, BLF and fast mode are not settings of this module (the base answers 0x4001).

    void getPower(ValueCompletion<int> completion) override;
    // Hundredths of a dBm on the wire: a power outside powerMinOutput() to powerMaxOutput() is
    // refused with 0x4003.
    void setPower(int power, ResultCompletion completion) override;
    void getContinuousMode(ValueCompletion<bool> completion) override;
    void setContinuousMode(bool continuousMode, ResultCompletion completion) override;
    // The SKU's bands; 0x0001 when it allows none.
    void supportedGlobalBand(ValueCompletion<std::vector<GlobalBandType>> completion) override;
    // A region byte the module has no band for reads as band 0 "Unknown".
    void getGlobalBand(ValueCompletion<GlobalBandType> completion) override;
    // A band outside the SKU's list or without a region of this module: 0x4001, nothing sent.
    void setGlobalBand(GlobalBandType band, ResultCompletion completion) override;
    void getInventoryTime(ValueCompletion<unsigned> completion) override;
    // At least 150 ms and at most 65535 ms, else 0x4003.
    void setInventoryTime(unsigned inventoryTime, ResultCompletion completion) override;
    void getIdleTime(ValueCompletion<unsigned> completion) override;
    // At most 65535 ms, else 0x4003.
    void setIdleTime(unsigned idleTime, ResultCompletion completion) override;
    void getAlgorithmType(ValueCompletion<AlgorithmType> completion) override;
    void setAlgorithmType(AlgorithmType algorithmType, ResultCompletion completion) override;
    // The single Q setters refuse a Q outside 0 to 15 with 0x4003 and check nothing else.
    void getStartQ(ValueCompletion<int> completion) override;
    void setStartQ(int startQ, ResultCompletion completion) override;
    void getMaxQ(ValueCompletion<int> completion) override;
    void setMaxQ(int maxQ, ResultCompletion completion) override;
    void getMinQ(ValueCompletion<int> completion) override;
    void setMinQ(int minQ, ResultCompletion completion) override;
    void getTarget(ValueCompletion<Target> completion) override;
    void setTarget(Target target, ResultCompletion completion) override;
    void getSession(ValueCompletion<Session> completion) override;
    void setSession(Session session, ResultCompletion completion) override;
    void getSelectMode(ValueCompletion<SelectMode> completion) override;
    void setSelectMode(SelectMode selectMode, ResultCompletion completion) override;
    void getToggleTarget(ValueCompletion<bool> completion) override;
    void setToggleTarget(bool toggleTarget, ResultCompletion completion) override;

    // The whole record in one exchange of 13 requests; replies are matched by command, and the
    // record is complete only when all 13 answered (else 0x5000).
    void getRfidConfig(ValueCompletion<RfidConfig> completion) override;
    // assertRfidConfig(), then 13 write requests in one exchange; 0x0000 only when every one of
    // them was answered with success, else the first refusal's code or 0x5000.
    void setRfidConfig(const RfidConfig& rfidConfig, ResultCompletion completion) override;

    void getDwellTime(ValueCompletion<uint16_t> completion) override;
    void setDwellTime(uint16_t dwellTime, ResultCompletion completion) override;
    // A value the module reports that is no RF mode completes with 0x5000.
    void getRfMode(ValueCompletion<RfMode> completion) override;
    void setRfMode(RfMode rfMode, ResultCompletion completion) override;
    void getLbt(ValueCompletion<bool> completion) override;
    void setLbt(bool enable, ResultCompletion completion) override;
    void getFastId(ValueCompletion<bool> completion) override;
    void setFastId(bool enable, ResultCompletion completion) override;
    void getTagFocus(ValueCompletion<bool> completion) override;
    void setTagFocus(bool enable, ResultCompletion completion) override;
    // A reply shorter than its count announces reads as the empty list.
    void getFixedFrequency(ValueCompletion<std::vector<uint32_t>> completion) override;
    // More than 255 frequencies: 0x4003.
    void setFixedFrequency(const std::vector<uint32_t>& fixedFrequency,
                           ResultCompletion completion) override;
    void getPhaseData(ValueCompletion<bool> completion) override;
    void setPhaseData(bool enable, ResultCompletion completion) override;
    void getPowerSavingMode(ValueCompletion<PowerSavingMode> completion) override;
    void setPowerSavingMode(PowerSavingMode powerSavingMode, ResultCompletion completion) override;
    // dBm; hundredths on the wire, read back truncated toward zero. Outside -327 to 327: 0x4003.
    void getLbtConfigure(ValueCompletion<int16_t> completion) override;
    void setLbtConfigure(int16_t lbtRssiThreshold, ResultCompletion completion) override;
    void getAntennaSwitchingMode(ValueCompletion<AntennaSwitchingMode> completion) override;
    void setAntennaSwitchingMode(AntennaSwitchingMode antennaSwitchingMode,
                                 ResultCompletion completion) override;
    void getFrequencySwitchingMode(ValueCompletion<FrequencySwitchingMode> completion) override;
    void setFrequencySwitchingMode(FrequencySwitchingMode frequencySwitchingMode,
                                   ResultCompletion completion) override;
    void getCfgStorageMode(ValueCompletion<CfgStorageMode> completion) override;
    void setCfgStorageMode(CfgStorageMode cfgStorageMode, ResultCompletion completion) override;

    // ---- Exchanges shared by the settings. `functionName` heads the log records and the error
    // messages; an empty one stands for the exchange's own signature.

    // Sends one request frame and checks its reply's status; the outcome as a code (logged).
    ResultCode sendCommand(ByteView frame, std::string_view functionName);
    // The group reads throw ReaderException; the writes return sendCommand()'s code.
    OrvRfidCmd_Gen2Algorithm getGen2Algorithm(std::string_view functionName);
    ResultCode setGen2Algorithm(const OrvRfidCmd_Gen2Algorithm& value,
                                std::string_view functionName);
    OrvRfidCmd_Gen2QueryGroup getGen2QueryGroup(std::string_view functionName);
    ResultCode setGen2QueryGroup(const OrvRfidCmd_Gen2QueryGroup& value,
                                 std::string_view functionName);
    OrvRfidCmd_AntennaSettings getAntennaSettings(uint8_t antennadId,
                                                  std::string_view functionName);
    ResultCode setAntennaSettings(const OrvRfidCmd_AntennaSettings& value,
                                  std::string_view functionName);
    OrvRfidCmd_TxOnOffTime getTxOnOffTime(std::string_view functionName);
    ResultCode setTxOnOffTime(const OrvRfidCmd_TxOnOffTime& value, std::string_view functionName);

    // ---- Range checks: each throws ReaderException 0x4003 with the message given.

    // "The inventory time is out of range ( > 150." below the minimum.
    void assertInventoryTime(int64_t inventoryTime) const;
    // "The idle time is out of range ( > 0." below the minimum.
    void assertIdleTime(int64_t idleTime) const;
    // Power, inventory time, idle time, start Q, Q order, max Q, min Q and LBT threshold, in that
    // order; the first failure throws. Then the times must fit 16 bits.
    void assertRfidConfig(const RfidConfig& rfidConfig) const;

  private:
    template <typename Reply>
    Reply exchange(OrvaneRfidCommand& request, std::string_view functionName);
    // The group a read request's reply holds (0x5000 when it is too short to hold it).
    template <typename Get, typename Group>
    Group readGroup(Get request, std::optional<Group> (Get::*group)() const,
                    std::string_view functionName);
    // Sends the frame `build` gives; what `build` throws (a value the request cannot carry) is
    // logged and returned before anything is sent.
    template <typename Build>
    ResultCode sendBuilt(std::string_view name, Build&& build);
    ResultCode sendRequest(OrvaneRfidCommand& request, std::string_view name);
    template <typename Command, typename Prepare>
    ResultCode tagOperation(std::string_view name, Command command,
                            std::optional<BankType> accessBank, bool applySelectMask,
                            Prepare&& prepare);

    template <typename Group, typename Check, typename Change>
    void changeGroup(std::string_view name, const ResultCompletion& completion, Check&& check,
                     Change&& change);

    const int inventoryTimeMinValue_;
    const int idleTimeMinValue_;
};

// ---- Template members ------------------------------------------------------------------------

// One request and its reply, parsed as `Reply`, its status checked; throws ReaderException.
template <typename Reply>
Reply UhfModuleQm5520::exchange(OrvaneRfidCommand& request, std::string_view functionName) {
    const Bytes frame = request.toBytes();
    const Bytes reply = checkResponse(functionName, baseProtocol()->send(frame, timeout()));
    Reply parsed(OrvaneRfidCommand::ReceiveBytes{reply});
    parsed.checkStatus(functionName);
    return parsed;
}

template <typename Get, typename Group>
Group UhfModuleQm5520::readGroup(Get request, std::optional<Group> (Get::*group)() const,
                                 std::string_view functionName) {
    const auto value = (exchange<Get>(request, functionName).*group)();
    if (!value) throw ReaderException(ResultCode::invalidResponse, "The reply is too short.");
    return *value;
}

template <typename Build>
ResultCode UhfModuleQm5520::sendBuilt(std::string_view name, Build&& build) {
    Bytes frame;
    const ResultCode built = guarded(name, [&] {
        frame = build();
        return ResultCode::noError;
    });
    return built != ResultCode::noError ? built : sendCommand(frame, name);
}

}  // namespace orvane
