#include "orvanerfid/commands/Gen2Packets.h"

#include <cmath>

namespace orvane {
namespace {

// Exactly `size` bytes of `bytes`, else STPacketError 0x5002 "The length of <what> should be
// <size>".
Bytes exactBytes(ByteView bytes, std::size_t size, std::string_view what) {
    if (bytes.size() != size) {
        throw STPacketError(ResultCode::invalidParameter, "The length of " + std::string(what) +
                                                              " should be " + std::to_string(size));
    }
    return Bytes(bytes.begin(), bytes.end());
}

}  // namespace

void STGen2Password::setPwd(ByteView pwd) {
    pwd_ = exactBytes(pwd, kDefaultPassword.size(), "password");
}

void STUHFL_T_Gen2_Select::setMask(ByteView mask) {
    if (mask.size() > kMaskSize) {
        throw STPacketError(ResultCode::invalidParameter,
                            "The length of mask should be less than " + std::to_string(kMaskSize));
    }
    mask_.assign(mask.begin(), mask.end());
}

void STUHFL_T_Gen2_Read::setNumBytesToRead(std::size_t count) {
    if (count > kMaxBytes) {
        throw STPacketError(
            ResultCode::outOfRange,
            "The number of bytes to read should be at most " + std::to_string(kMaxBytes));
    }
    numBytesToRead_ = static_cast<uint8_t>(count);
}

void STUHFL_T_Gen2_Read::encodeTail(Bytes& value) const {
    if (data.size() > kMaxBytes) {
        throw STPacketError(ResultCode::outOfRange,
                            "The length of data should be at most " + std::to_string(kMaxBytes));
    }
    value.insert(value.end(), data.begin(), data.end());
}

void STUHFL_T_Gen2_Read::decodeTail(ByteView value) {
    if (value.size() - kDataOffset < numReadBytes) {
        throw STPacketError(ResultCode::invalidParameter, lengthError());
    }
    const ByteView read = value.subspan(kDataOffset, numReadBytes);
    data.assign(read.begin(), read.end());
}

void STUHFL_T_Gen2_Write::setData(ByteView data) {
    data_ = exactBytes(data, 2, "data");
}

void STUHFL_T_Gen2_Lock::setMask(ByteView mask) {
    mask_ = exactBytes(mask, 3, "mask");
}

TagInfo STInventoryData::toTagInfo(const STInventoryTag& tag, double gValue) {
    TagInfo info;
    if (tag.hasHeader) {
        info.setRSSI(tag.rssi(gValue));
        info.setAntenna(tag.antenna);
    }
    if (tag.hasStatistics) {
        info.setFrequency(tag.frequency);
        info.setQ(tag.q);
    }
    if (tag.hasHeader) info.setPC(tag.pc);
    if (tag.epc) info.setEPC(*tag.epc);
    if (tag.tid) info.setTID(*tag.tid);
    if (tag.xpc) info.setXPC(*tag.xpc);
    info.setTagCount(1);
    info.setTimestamp(std::chrono::system_clock::now());
    return info;
}

}  // namespace orvane
