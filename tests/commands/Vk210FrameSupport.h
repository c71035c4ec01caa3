#pragma once

// Helpers for the tests of the Vk210 event, inventory, tag and file commands.

#include <gtest/gtest.h>

#include <memory>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Logger.h"
#include "support/TestSupport.h"

namespace orvane::vk210test {

// A frame of `Command` as the reader sends it: a success status byte (none for status-less
// frames) and `data`, rebuilt with the receive constructor.
template <typename Command>
Command received(const Bytes& data) {
    Bytes area;
    if (!isStatusLess(Command().id())) area.push_back(0x00);
    area.insert(area.end(), data.begin(), data.end());
    return Command(OrvaneRfidCommand::ReceiveBytes{OrvaneRfidCommand::frame(Command().id(), area)});
}

// The data area of a framed request.
template <typename Command>
Bytes requestData(Command command) {
    const Bytes frame = command.toBytes();
    return Bytes(frame.begin() + 5, frame.end() - 3);
}

// Installs a capturing log sink, with every level passing, for the duration of a test.
class CapturedLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedLevel_ = orvLogger::level();
        orvLogger::setLevel(LogLevel::trace);
        log = test::LogCapture::install();
    }
    void TearDown() override { orvLogger::setLevel(savedLevel_); }
    std::shared_ptr<test::LogCapture> log;

  private:
    LogLevel savedLevel_ = LogLevel::trace;
};

}  // namespace orvane::vk210test
