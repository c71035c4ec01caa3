#pragma once

// Scanner commands of the Vk210 command frame, code group 0xF0: decode start and stop, the
// barcode data frames (plain and customized), the scan engine's model and version, the
// pass-through of the engine's own parameter packets, the reader-side formatting of scanned
// data and the scanner reset. The group pattern is told in SledCommands.h. Pure codecs: no
// threads, no I/O.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "orvanerfid/commands/CommandFields.h"
#include "orvanerfid/core/EventArgs.h"

namespace orvane {

#define ORV_RFID_CMD_SCANNER_RESET(X) \
    X(fullReset, 0x01, "")            \
    X(stagingReset, 0x02, "")

ORV_ENUM(OrvRfidCmdScannerReset, uint8_t, ORV_RFID_CMD_SCANNER_RESET);

#define ORV_RFID_CMD_SCANNER_DATA_FORMAT(X) \
    X(barcodeData, 0x00, "")                \
    X(codeId, 0x01, "")                     \
    X(timestamp, 0x02, "")

ORV_ENUM(OrvRfidCmdScannerDataFormat, uint8_t, ORV_RFID_CMD_SCANNER_DATA_FORMAT);

// Same raw values as the public DataTerminator.
#define ORV_RFID_CMD_DATA_TERMINATOR(X) \
    X(none, 0x00, "")                   \
    X(cr, 0x01, "")                     \
    X(lf, 0x02, "")                     \
    X(crlf, 0x03, "")                   \
    X(tab, 0x04, "")

ORV_ENUM(OrvRfidCmdDataTerminator, uint8_t, ORV_RFID_CMD_DATA_TERMINATOR);

#define ORV_RFID_CMD_DATA_SEND_MODE(X) \
    X(normal, 0x00, "")                \
    X(withCodeId, 0x01, "")

ORV_ENUM(OrvRfidCmdDataSendMode, uint8_t, ORV_RFID_CMD_DATA_SEND_MODE);

#define ORV_RFID_CMD_GS1_AI(X) \
    X(noApply, 0x00, "")       \
    X(apply, 0x01, "")         \
    X(applyWithSeparator, 0x02, "")

ORV_ENUM(OrvRfidCmdGs1Ai, uint8_t, ORV_RFID_CMD_GS1_AI);

#define ORV_RFID_CMD_CONTROL_CHARACTER_FILTER(X) \
    X(dontSend, 0x00, "")                        \
    X(send, 0x01, "")                            \
    X(partialSend, 0x02, "")

ORV_ENUM(OrvRfidCmdControlCharacterFilter, uint8_t, ORV_RFID_CMD_CONTROL_CHARACTER_FILTER);

// Why a Zebra scan engine refused a packet: the first data byte of its CMD_NAK reply.
#define ORV_NAK_CAUSE(X)                               \
    X(checksumFailure, 1, "Checksum Failure")          \
    X(unknownMessage, 2, "Unknown Message")            \
    X(hostDirectiveDenied, 6, "Host Directive Denied") \
    X(undesiredMessage, 10, "Undesired Message")

ORV_ENUM(NakCause, uint8_t, ORV_NAK_CAUSE);

// The cause of a CMD_NAK packet from its data bytes; no value when there is no data or the cause
// byte is none of the four (the request fails alike, without a cause text).
inline std::optional<NakCause> nakCause(ByteView nakData) {
    return fields::EnumByte<NakCause>::read(nakData, 0);
}

class OrvRfidCmd_GetEngineModel : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_GetEngineModel, OrvRfidCmdId::engineModel)
    // The whole data as UTF-8 text (empty data, empty text); no value when it is not UTF-8.
    std::optional<std::string> engineModel() const {
        return fields::CheckedUtf8Text::read(data_, 0);
    }
};

class OrvRfidCmd_GetEngineVersion : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_GetEngineVersion, OrvRfidCmdId::engineVersion)
    // As engineModel().
    std::optional<std::string> engineVersion() const {
        return fields::CheckedUtf8Text::read(data_, 0);
    }
};

ORV_SET_VALUE_COMMAND(OrvRfidCmd_ResetScannerDevice, executeResetDevice, resetDevice,
                      OrvRfidCmdScannerReset::fullReset,
                      ::orvane::fields::EnumByte<OrvRfidCmdScannerReset>);

ORV_PLAIN_COMMAND(OrvRfidCmd_StartDecode, startDecode);
ORV_PLAIN_COMMAND(OrvRfidCmd_StopDecode, stopDecode);

class OrvRfidCmd_GetFindReplace : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_GetFindReplace, OrvRfidCmdId::getFindReplace)
    // Byte 0 the find character, byte 1 the replace character.
    std::optional<uint8_t> find() const { return byteAt(0); }
    std::optional<uint8_t> replace() const { return byteAt(1); }
};

#define ORV_FIND_REPLACE_FIELDS(X) \
    X(find, ::orvane::fields::U8, 0) X(replace, ::orvane::fields::U8, 0)
ORV_FIELDS_COMMAND(OrvRfidCmd_SetFindReplace, setFindReplace, ORV_FIND_REPLACE_FIELDS);

// Carries one packet of the scan engine's own protocol: the `engineData` bytes become the data
// area as they stand; a reply's `data` is the engine's reply packet.
class OrvRfidCmd_ScannerEngineParameter : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_ScannerEngineParameter, OrvRfidCmdId::scannerEngineParameter)
    const Bytes& engineData() const { return engineData_; }
    void setEngineData(Bytes engineData) { engineData_ = std::move(engineData); }

  protected:
    void buildData() override { data_ = engineData_; }

  private:
    Bytes engineData_;
};

// The one-value pairs of this group:
//   X(get class, set class, get code, set code, value name, set default, codec)
// The customized-format list skips bytes that are no format.
#define ORV_SCANNER_SETTING_PAIRS(X)                                                               \
    X(OrvRfidCmd_GetScannerDataWithCustomizedFormat,                                               \
      OrvRfidCmd_SetScannerDataWithCustomizedFormat, getScannerDataWithCustomizedFormat,           \
      setScannerDataWithCustomizedFormat, pids, {},                                                \
      ::orvane::fields::EnumList<OrvRfidCmdScannerDataFormat>)                                     \
    X(OrvRfidCmd_GetDataTerminatorSetting, OrvRfidCmd_SetDataTerminatorSetting,                    \
      getDataTerminatorSetting, setDataTerminatorSetting, dataTerminator,                          \
      OrvRfidCmdDataTerminator::none,                                                              \
      ::orvane::fields::EnumByteOr<OrvRfidCmdDataTerminator, OrvRfidCmdDataTerminator::none>)      \
    X(OrvRfidCmd_GetSettingByLabelSetting, OrvRfidCmd_SetSettingByLabelSetting, getSettingByLabel, \
      setSettingByLabel, enable, false, ::orvane::fields::Flag)                                    \
    X(OrvRfidCmd_GetGs1AiSetting, OrvRfidCmd_SetGs1AiSetting, getGs1AiSetting, setGs1AiSetting,    \
      gs1Ai, OrvRfidCmdGs1Ai::noApply,                                                             \
      ::orvane::fields::EnumByteOr<OrvRfidCmdGs1Ai, OrvRfidCmdGs1Ai::noApply>)                     \
    X(OrvRfidCmd_GetControlCharacterFilter, OrvRfidCmd_SetControlCharacterFilter,                  \
      getControlCharacterFilter, setControlCharacterFilter, controlCharacterFilter,                \
      OrvRfidCmdControlCharacterFilter::dontSend,                                                  \
      ::orvane::fields::EnumByteOr<OrvRfidCmdControlCharacterFilter,                               \
                                   OrvRfidCmdControlCharacterFilter::dontSend>)

ORV_SCANNER_SETTING_PAIRS(ORV_SETTING_PAIR)

// Spare pairs: the get replies are not read; the set requests write their field. The preamble
// and postamble travel as their bytes, as they stand.
#define ORV_SCANNER_SPARE_PAIRS(X)                                                      \
    X(OrvRfidCmd_GetPreambleString, OrvRfidCmd_SetPreambleString, getPreambleString,    \
      setPreambleString, preamble, {}, ::orvane::fields::RawBytes)                      \
    X(OrvRfidCmd_GetPostambleString, OrvRfidCmd_SetPostambleString, getPostambleString, \
      setPostambleString, postamble, {}, ::orvane::fields::RawBytes)                    \
    X(OrvRfidCmd_GetScannerDataSendMode, OrvRfidCmd_SetScannerDataSendMode,             \
      getScannerDataSendMode, setScannerDataSendMode, dataSendMode,                     \
      OrvRfidCmdDataSendMode::normal, ::orvane::fields::EnumByte<OrvRfidCmdDataSendMode>)

ORV_SCANNER_SPARE_PAIRS(ORV_SPARE_SETTING_PAIR)

// A plain barcode frame (unsolicited, no status byte): byte 0 bit 7 set means byte 1 is the
// symbology code; the barcode bytes follow.
class OrvRfidCmd_ScannerData : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_ScannerData, OrvRfidCmdId::scannerData)
    // The code when bit 7 is set, 0 when it is clear; no value for empty data or a flagged
    // byte 0 without its code byte.
    std::optional<uint8_t> barcodeId() const;
    // The bytes after the header; no value where barcodeId() has none.
    std::optional<Bytes> barcodeData() const;
    // The barcode event value; no value where barcodeId() has none (the link layer drops the
    // frame with an ERROR line).
    std::optional<ProtocolBarcodeEventArgs> barcodeEvent() const;

  private:
    std::optional<std::size_t> dataStart() const;
};

// One record of a customized-format barcode frame: `length` counts the whole record (its
// two length bytes, the kind byte and the value), `id` the record's kind, `data` its value.
class OrvRfidCmd_ScannerDataCustomizedParameter {
  public:
    uint16_t length() const { return length_; }
    OrvRfidCmdScannerDataFormat id() const { return id_; }
    const Bytes& data() const { return data_; }

  private:
    friend class OrvRfidCmd_ScannerDataWithCustomizedFormat;
    OrvRfidCmd_ScannerDataCustomizedParameter(uint16_t length, OrvRfidCmdScannerDataFormat id,
                                              ByteView value)
        : length_(length), id_(id), data_(value.begin(), value.end()) {}

    uint16_t length_;
    OrvRfidCmdScannerDataFormat id_;
    Bytes data_;
};

// A customized-format barcode frame (unsolicited, no status byte): a run of records, each
// [length (2, big-endian, counting the whole record)][kind (1)][value]. The receive constructor
// cuts `data` into `parameters()`; `data` stays whole.
class OrvRfidCmd_ScannerDataWithCustomizedFormat : public OrvaneRfidCommand {
    ORV_PARSED_COMMAND_CLASS(OrvRfidCmd_ScannerDataWithCustomizedFormat,
                             OrvRfidCmdId::scannerDataWithCustomizedFormat)
    const std::vector<OrvRfidCmd_ScannerDataCustomizedParameter>& parameters() const {
        return parameters_;
    }

    // The barcode event value: the records applied in arrival order, a later one replacing what
    // an earlier one of its kind set. A barcodeData record gives the data, a codeId record the
    // code (its first value byte), a timestamp record the reader's local time. A codeId record
    // without value, or a timestamp record that is short or names no date, is skipped with an
    // ERROR line. No value for a frame without records (the link layer drops it).
    std::optional<ProtocolBarcodeEventArgs> barcodeEvent() const;

    // Cuts records from the front while at least 4 bytes remain. A record length below 3 or
    // beyond the bytes left, or a kind that is no format, ends the cutting; the records cut so
    // far are kept and the rest is ignored, as are 1 to 3 trailing bytes. Never reads past the
    // end; pure and usable on any bytes.
    static std::vector<OrvRfidCmd_ScannerDataCustomizedParameter> cutRecords(ByteView data);

  private:
    std::vector<OrvRfidCmd_ScannerDataCustomizedParameter> parameters_;
};

}  // namespace orvane
