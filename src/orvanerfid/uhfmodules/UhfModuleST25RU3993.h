#pragma once

// The driver of the ST25RU3993 radio module of the Vk640 reader: exchanges of host packets
// through the reader's protocol object, the module status rule, the tag accesses, stop with its
// retries, the receiver gain, and the radio settings kept in the module's configuration records.
//
// Threads: the operations run on the caller's thread and block inside the protocol's send, one
// at a time (the UHF object serialises them under its module lock). Continuous mode (the base's)
// and `inventoryIdleTime` are atomics: the event pump reads the first on the receive thread. The
// last good receiver gain is touched only by `inventory()`. The driver takes no lock of its own;
// completions run on the calling thread.
//
// Failures follow the base's convention (guarded, completeValue, completeResult): nothing is
// thrown out of an operation; each failure is logged at ERROR as "<operation signature> -
// <error>" and gives its code. Arguments are checked before anything is sent, as in every
// driver: an empty completion, an invalid bank or empty data 0x5002, a value outside the
// module's range 0x4003. Tag access is in UhfModuleST25RU3993.cpp, the radio settings in
// UhfModuleST25RU3993Settings.cpp.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orvanerfid/commands/Gen2Packets.h"
#include "orvanerfid/commands/ST25RU3993Packets.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/RadioEnums.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/params/RfidConfig.h"
#include "orvanerfid/params/SelectMaskParam.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"

namespace orvane {

// Splits reply bytes holding packets back to back into one run per packet. Stops at the first
// piece that is not whole (logged at ERROR); the bytes behind it are dropped.
std::vector<Bytes> toSTPackets(ByteView bytes);

// The result code of a module status: 0 is success; the others through the module's error list.
ResultCode moduleStatusResult(uint16_t status) noexcept;
// The result of a failed write, lock or kill: the tag's own reply 3 or 4 (memory overrun,
// memory locked) when it gave one, else the module status rule. Status 0 is success.
ResultCode tagAccessResult(uint16_t status, uint8_t tagReply) noexcept;

// The receiver gain in dB from the gain registers 0x09 and 0x0A.
double gainFromRegisters(uint8_t r9, uint8_t r10) noexcept;

// The bands the module of `sku` runs with `firmwareVersion` (several arrived with later
// firmware). An unknown or unsupported SKU gives none, with an ERROR line.
std::vector<GlobalBandType> st25ru3993BandList(SkuType sku, uint32_t firmwareVersion);

// The pattern of an EPC-bank select mask after `word` (4 hex characters) was written at
// `wordAddress` of the EPC bank: the characters that cover the written bits are replaced, the
// pattern keeps its length. No value when the mask is not on the EPC bank, the word lies before
// the EPC (below word 2) or does not overlap the pattern. Mask bits start at the entry's bit
// offset behind the PC word, so the overlay is done bit by bit.
std::optional<std::string> rewriteSelectPattern(const SelectMaskParam& entry, uint64_t wordAddress,
                                                std::string_view word);

class UhfModuleST25RU3993 : public BaseUhfModule {
  public:
    static constexpr std::string_view kClassName = "UhfModuleST25RU3993";
    static constexpr int inventoryTimeMaxValue = 500;
    static constexpr int inventoryTimeMinValue = 40;
    static constexpr int idleTimeMaxValue = 500;
    static constexpr int idleTimeMinValue = 0;

    // Module type ST25RU3993, power 11 to 27 dBm, select-mask indexes 0 to 2, reads of up to
    // 128 bytes.
    explicit UhfModuleST25RU3993(std::shared_ptr<BaseProtocol> protocol);

    // The delay between inventory rounds, sent with the next inventory start (0 to 500 ms).
    unsigned inventoryIdleTime() const { return inventoryIdleTime_.load(); }

    // ---- Tag access: each returns (or completes with) a result code and never throws. Each
    // sends the select-mask list first.

    // Pumps the indicator reset and the receiver gain into the protocol, then puts the module in
    // normal mode and starts the inventory.
    ResultCode inventory() override;
    // Reads `length` words (at most 64; at most 32 up to firmware 10110) from `offset`.
    using BaseUhfModule::readMemory;
    void readMemory(BankType bank, uint16_t offset, uint8_t length, const std::string& password,
                    ValueCompletion<Bytes> completion) override;
    // Writes `data` (4 hex characters per word) word by word from `offset`.
    ResultCode writeMemory(BankType bank, unsigned offset, const std::string& data,
                           const std::string& password) override;
    ResultCode lockTag(const LockParam& lockParam, const std::string& password) override;
    ResultCode permaLockTag(const PermaLockParam& permaLockParam,
                            const std::string& password) override;
    ResultCode killTag(const std::string& password) override;
    // Stops the inventory and puts the module in standby: up to three attempts of `timeout()`
    // ms; 0xFFFF after the third failure.
    ResultCode stop() override;
    void version(ValueCompletion<std::string> completion) override;

    // Sends the used entries (ascending index) as the module's select list; none clears it.
    // Every used entry passes checkSelectMaskEntry() before the first Select goes out.
    ResultCode setSelectMask() override;
    // Adds to the base's checks: a pattern of at most 32 bytes (0x5002) and a bit pointer that
    // fits its 32-bit field (0x4003).
    void checkSelectMaskEntry(const SelectMaskParam& entry) const override;
    // A last word whose address does not fit the 32-bit word pointer: 0x4003.
    void checkWriteMemory(unsigned offset, std::size_t words) const override;
    ResultCode clearSelectMask() override;
    // After `data` was written to the EPC bank from word `offset`: rewrites the pattern of the
    // first used mask where it covers the written words. Nothing is sent.
    void changeSelectEPC(unsigned offset, const std::string& data) override;
    std::vector<GlobalBandType> supportedGlobalBandList() override;

    // The receiver gain; 0.0 on any failure.
    virtual double getG_rssi();

    // ---- Radio settings: every completion runs exactly once, on the calling thread.

    void getPower(ValueCompletion<int> completion) override;
    void setPower(int power, ResultCompletion completion) override;
    void getContinuousMode(ValueCompletion<bool> completion) override;
    void setContinuousMode(bool continuousMode, ResultCompletion completion) override;
    void supportedGlobalBand(ValueCompletion<std::vector<GlobalBandType>> completion) override;
    void getGlobalBand(ValueCompletion<GlobalBandType> completion) override;
    void setGlobalBand(GlobalBandType band, ResultCompletion completion) override;
    void getInventoryTime(ValueCompletion<unsigned> completion) override;
    void setInventoryTime(unsigned inventoryTime, ResultCompletion completion) override;
    void getIdleTime(ValueCompletion<unsigned> completion) override;
    void setIdleTime(unsigned idleTime, ResultCompletion completion) override;
    void getAlgorithmType(ValueCompletion<AlgorithmType> completion) override;
    void setAlgorithmType(AlgorithmType algorithmType, ResultCompletion completion) override;
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
    void getEncoding(ValueCompletion<Encoding> completion) override;
    void setEncoding(Encoding encoding, ResultCompletion completion) override;
    void getTari(ValueCompletion<TariType> completion) override;
    void setTari(TariType tari, ResultCompletion completion) override;
    void getBlf(ValueCompletion<BlfType> completion) override;
    void setBlf(BlfType blf, ResultCompletion completion) override;
    void getToggleTarget(ValueCompletion<bool> completion) override;
    void setToggleTarget(bool toggleTarget, ResultCompletion completion) override;
    void getFastMode(ValueCompletion<bool> completion) override;
    void setFastMode(bool fastMode, ResultCompletion completion) override;
    void getRfidConfig(ValueCompletion<RfidConfig> completion) override;
    void setRfidConfig(const RfidConfig& rfidConfig, ResultCompletion completion) override;

    // ---- Supporting operations; these throw (ReaderException, STPacketError).

    virtual STUHFL_T_ST25RU3993_Gen2_InventoryCfg getInventoryCfg();
    virtual STUHFL_T_ST25RU3993_Gen2_ProtocolCfg getProtocolCfg();
    // 0x4003 with the text of the first failed check.
    virtual void assertRfidConfig(const RfidConfig& config);
    virtual void logConvertError(std::string_view name, std::string_view target, ByteView data);
    virtual void setPowerNormalMode();
    virtual void setPowerStandbyMode();

    // One field of a configuration record, read and written as its public type.
    template <class Record, class T>
    struct ConfigField {
        T (*get)(const Record&);
        void (*set)(Record&, T);
    };

  private:
    struct Records;

    // One request, one reply: the reply bytes, or a send failure (already logged).
    Bytes exchange(const Bytes& request, std::string_view name);
    // Several requests in one write, `number` replies, cut into packets.
    std::vector<Bytes> exchange(const Bytes& requests, int number, std::string_view name,
                                int timeout = defaultTimeout);
    void checkSelectReply(const Bytes& reply, std::string_view name);
    template <class R>
    R readRecord(std::string_view name);
    template <class R>
    void writeRecord(R& record, std::string_view name);
    void powerMode(STUHFL_D_POWER_DOWN_MODE mode, std::string_view name);
    void standbyAfterAccess(std::string_view name);
    ResultCode lock(ByteView mask, const std::string& password, bool perma);
    // The gain, or no value when the register read failed.
    std::optional<double> readGain();
    // The four records of getRfidConfig/setRfidConfig in one exchange.
    Records readRecords(std::string_view name, bool setting);

    template <class Record>
    Record readConfig();
    template <class Record, class T>
    void getField(std::string_view name, const ConfigField<Record, T>& field,
                  const ValueCompletion<T>& completion);
    // Reads the record; unless the field already holds `value`, runs `check` on the record as
    // read, sets the field and writes the record back.
    template <class Record, class T, class Check = decltype([](const Record&) {})>
    void setField(std::string_view name, const ConfigField<Record, T>& field, T value,
                  const ResultCompletion& completion, Check&& check = {});
    void applyLbtRule(GlobalBandType band, std::string_view name);

    std::atomic<unsigned> inventoryIdleTime_{0};
    // Read and written by inventory() only (one operation at a time).
    std::optional<double> lastGoodGain_;
};

}  // namespace orvane
