#pragma once

// The ST25RU3993 radio module as the Vk640 reader's driver sees it: exchanges of host packets
// through the reader's protocol object, the module status rule, the tag accesses, stop with its
// retries, the receiver gain, and the radio settings kept in the module's configuration records.
//
// UhfModuleST25RU3993 owns one of these and adds what belongs to the driver interface (the
// select-mask list, the event pump, the delegate). Everything here reaches the module through
// `BaseProtocol::send`; what the driver base holds (select masks, SKU, firmware version) comes in
// as arguments or callbacks.
//
// Threads: the operations run on the caller's thread and block inside the protocol's send, one
// at a time (the UHF object serialises them under its module lock). `continuousMode` and
// `inventoryIdleTime` are atomics: the event pump reads the first on the receive thread. The
// last good receiver gain is touched only by `inventory()`. Completions run on the calling
// thread, after every lock of this class is released (it holds none).

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

namespace orvane {

class BaseProtocol;
class Response;

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

class ST25RU3993Radio {
  public:
    static constexpr std::string_view kTag = "UhfModuleST25RU3993";
    static constexpr int kTimeout = 3000;
    static constexpr int inventoryTimeMaxValue = 500;
    static constexpr int inventoryTimeMinValue = 40;
    static constexpr int idleTimeMaxValue = 500;
    static constexpr int idleTimeMinValue = 0;
    static constexpr std::string_view defaultPassword = "6B1F0D94";

    template <class T>
    using GetCompletion = std::function<void(ResultCode, std::optional<T>)>;
    using SetCompletion = std::function<void(ResultCode)>;
    // Sends the driver's select-mask list to the module; non-zero ends the tag access.
    using ApplySelect = std::function<ResultCode()>;
    // Called after each word written to the EPC bank (the driver rewrites its EPC mask and
    // sends the list again); non-zero ends the write.
    using EpcWordWritten = std::function<ResultCode(uint64_t wordAddress, std::string_view word)>;

    // The power range the driver allows, in dBm.
    struct PowerRange {
        int min;
        int max;
    };

    explicit ST25RU3993Radio(std::shared_ptr<BaseProtocol> protocol);

    bool continuousMode() const { return continuousMode_.load(); }
    void setContinuousModeValue(bool value) { continuousMode_.store(value); }
    unsigned inventoryIdleTime() const { return inventoryIdleTime_.load(); }
    void setInventoryIdleTimeValue(unsigned value) { inventoryIdleTime_.store(value); }

    // ---- Tag access: each returns (or completes with) a result code and never throws.

    // Applies the select masks, pumps the indicator reset and the receiver gain into the
    // protocol, then puts the module in normal mode and starts the inventory.
    ResultCode inventory(const ApplySelect& applySelect);
    // Reads `length` words (at most 64; at most 32 up to firmware 10110) from `offset`.
    void readMemory(BankType bank, uint64_t offset, uint64_t length, std::string_view password,
                    uint32_t firmwareVersion, const ApplySelect& applySelect,
                    const GetCompletion<Bytes>& completion);
    // Writes `data` (4 hex characters per word) word by word from `offset`.
    ResultCode writeMemory(BankType bank, uint64_t offset, std::string_view data,
                           std::string_view password, const ApplySelect& applySelect,
                           const EpcWordWritten& epcWordWritten);
    // Locks (or, with `perma`, permanently locks) with the 3-byte Gen2 lock payload `mask`.
    ResultCode lockTag(ByteView mask, std::string_view password, bool perma,
                       const ApplySelect& applySelect);
    ResultCode killTag(std::string_view password, const ApplySelect& applySelect);
    // Stops the inventory and puts the module in standby: up to three attempts of `timeout` ms;
    // `onStopped` runs after the successful one. 0xFFFF after the third failure.
    ResultCode stop(uint32_t firmwareVersion, int timeout, const std::function<void()>& onStopped);
    void version(const GetCompletion<std::string>& completion);

    // Sends the used entries (in order) as the module's select list; no entry clears it.
    ResultCode setSelectMask(const std::vector<SelectMaskParam>& used);
    ResultCode clearSelectMask();

    // The receiver gain; 0.0 on any failure.
    double getG_rssi();

    // ---- Radio settings: every completion runs exactly once.

    void getPower(const GetCompletion<int>& completion);
    void setPower(int power, PowerRange range, const SetCompletion& completion);
    void getGlobalBand(const GetCompletion<GlobalBandType>& completion);
    void setGlobalBand(GlobalBandType band, const std::vector<GlobalBandType>& supported,
                       const SetCompletion& completion);
    void getInventoryTime(const GetCompletion<int64_t>& completion);
    void setInventoryTime(int64_t inventoryTime, const SetCompletion& completion);
    void getIdleTime(const GetCompletion<int64_t>& completion);
    void setIdleTime(int64_t idleTime, const SetCompletion& completion);
    void getAlgorithmType(const GetCompletion<AlgorithmType>& completion);
    void setAlgorithmType(AlgorithmType algorithmType, const SetCompletion& completion);
    void getStartQ(const GetCompletion<int>& completion);
    void setStartQ(int startQ, const SetCompletion& completion);
    void getMaxQ(const GetCompletion<int>& completion);
    void setMaxQ(int maxQ, const SetCompletion& completion);
    void getMinQ(const GetCompletion<int>& completion);
    void setMinQ(int minQ, const SetCompletion& completion);
    void getTarget(const GetCompletion<Target>& completion);
    void setTarget(Target target, const SetCompletion& completion);
    void getSession(const GetCompletion<Session>& completion);
    void setSession(Session session, const SetCompletion& completion);
    void getSelectMode(const GetCompletion<SelectMode>& completion);
    void setSelectMode(SelectMode selectMode, const SetCompletion& completion);
    void getEncoding(const GetCompletion<Encoding>& completion);
    void setEncoding(Encoding encoding, const SetCompletion& completion);
    void getTari(const GetCompletion<TariType>& completion);
    void setTari(TariType tari, const SetCompletion& completion);
    void getBlf(const GetCompletion<BlfType>& completion);
    void setBlf(BlfType blf, const SetCompletion& completion);
    void getToggleTarget(const GetCompletion<bool>& completion);
    void setToggleTarget(bool toggleTarget, const SetCompletion& completion);
    void getFastMode(const GetCompletion<bool>& completion);
    void setFastMode(bool fastMode, const SetCompletion& completion);
    void getRfidConfig(const GetCompletion<RfidConfig>& completion);
    void setRfidConfig(const RfidConfig& rfidConfig, PowerRange range,
                       const SetCompletion& completion);

    // ---- Supporting operations; these throw (ReaderException, STPacketError).

    STUHFL_T_ST25RU3993_Gen2_InventoryCfg getInventoryCfg();
    STUHFL_T_ST25RU3993_Gen2_ProtocolCfg getProtocolCfg();
    // 0x4003 with the text of the first failed check.
    static void assertRfidConfig(const RfidConfig& config, PowerRange range);
    static void logConvertError(std::string_view name, std::string_view target, ByteView data);
    void setPowerNormalMode();
    void setPowerStandbyMode();

  private:
    struct Records;

    // One request, one reply: the reply bytes, or ExchangeError (already logged).
    Bytes exchange(const Bytes& request, std::string_view name);
    // Several requests in one write, `number` replies, cut into packets.
    std::vector<Bytes> exchange(const Bytes& requests, int number, std::string_view name,
                                int timeout = kTimeout);
    template <class R>
    R readRecord(std::string_view name);
    template <class R>
    void writeRecord(R& record, std::string_view name);
    void powerMode(STUHFL_D_POWER_DOWN_MODE mode, std::string_view name);
    void standbyAfterAccess(std::string_view name);
    // The gain, or no value when a register read failed.
    std::optional<double> readGain();
    // The four records of getRfidConfig/setRfidConfig in one exchange.
    Records readRecords(std::string_view name, bool setting);

    template <class T, class Read>
    void getValue(std::string_view name, const GetCompletion<T>& completion, Read&& read);
    template <class T, class Current, class Check, class Apply>
    void setInventoryField(std::string_view name, T value, const SetCompletion& completion,
                           Current&& current, Check&& check, Apply&& apply);
    template <class T, class Current, class Apply>
    void setProtocolField(std::string_view name, T value, const SetCompletion& completion,
                          Current&& current, Apply&& apply);
    void applyLbtRule(GlobalBandType band, std::string_view name);

    const std::shared_ptr<BaseProtocol> protocol_;
    std::atomic<bool> continuousMode_{true};
    std::atomic<unsigned> inventoryIdleTime_{0};
    std::optional<double> lastGoodGain_;
};

}  // namespace orvane
