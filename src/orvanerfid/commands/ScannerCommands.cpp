#include "orvanerfid/commands/ScannerCommands.h"

#include "orvanerfid/core/Logger.h"

namespace orvane {
namespace {

constexpr uint8_t kHasCodeId = 0x80;

}  // namespace

std::optional<std::size_t> OrvRfidCmd_ScannerData::dataStart() const {
    if (data_.empty()) return std::nullopt;
    if ((data_[0] & kHasCodeId) == 0) return 1;
    if (data_.size() < 2) return std::nullopt;
    return 2;
}

std::optional<uint8_t> OrvRfidCmd_ScannerData::barcodeId() const {
    const auto start = dataStart();
    if (!start) return std::nullopt;
    return *start == 2 ? data_[1] : uint8_t{0};
}

std::optional<Bytes> OrvRfidCmd_ScannerData::barcodeData() const {
    const auto start = dataStart();
    if (!start) return std::nullopt;
    return fields::RawBytes::read(data_, *start);
}

std::optional<ProtocolBarcodeEventArgs> OrvRfidCmd_ScannerData::barcodeEvent() const {
    auto id = barcodeId();
    auto data = barcodeData();
    if (!id || !data) return std::nullopt;
    ProtocolBarcodeEventArgs event;
    event.hasBarcodeId = (data_[0] & kHasCodeId) != 0;
    event.id = *id;
    event.data = std::move(*data);
    return event;
}

std::optional<ProtocolBarcodeEventArgs> OrvRfidCmd_ScannerDataWithCustomizedFormat::barcodeEvent()
    const {
    if (parameters_.empty()) return std::nullopt;
    ProtocolBarcodeEventArgs event;
    for (const auto& record : parameters_) {
        const Bytes& value = record.data();
        switch (record.id()) {
            case OrvRfidCmdScannerDataFormat::barcodeData:
                event.data = value;
                continue;
            case OrvRfidCmdScannerDataFormat::codeId:
                if (value.empty()) break;
                event.hasBarcodeId = true;
                event.id = value[0];
                continue;
            case OrvRfidCmdScannerDataFormat::timestamp:
                if (const auto time = fields::LocalDateTime::read(value, 0)) {
                    event.timeStamp = *time;
                    continue;
                }
                break;
        }
        if (orvLogger::isEnabled(LogLevel::error)) {
            orvLogger::triggerLogEvent(LogLevel::error, className(),
                                       "barcodeEvent() Skipped an invalid " +
                                           std::string(caseName(record.id())) +
                                           " record: " + toHexDumpString(value));
        }
    }
    return event;
}

std::vector<OrvRfidCmd_ScannerDataCustomizedParameter>
OrvRfidCmd_ScannerDataWithCustomizedFormat::cutRecords(ByteView data) {
    std::vector<OrvRfidCmd_ScannerDataCustomizedParameter> records;
    walkCustomizedRecords<OrvRfidCmdScannerDataFormat>(data, [&](const auto& record) {
        records.push_back(
            OrvRfidCmd_ScannerDataCustomizedParameter(record.length, record.id, record.data));
    });
    return records;
}

void OrvRfidCmd_ScannerDataWithCustomizedFormat::parseReceived() {
    parameters_ = cutRecords(data_);
}

}  // namespace orvane
