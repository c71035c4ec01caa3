#pragma once

// Helpers for the tests of the Vk210 event, inventory, tag and file commands.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Logger.h"

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

// Collects the library's log records while a test runs (every level).
class LogCapture : public orvLoggerDelegate {
  public:
    void logEvent(const LogEventArg& e) override { records.push_back(e); }
    std::vector<std::string> texts(LogLevel level) const {
        std::vector<std::string> out;
        for (const auto& r : records) {
            if (r.level() == level) out.push_back(r.log());
        }
        return out;
    }
    std::string all() const {
        std::string out;
        for (const auto& r : records)
            out += r.log() + "\n";
        return out;
    }
    std::vector<LogEventArg> records;
};

class CapturedLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedLevel_ = orvLogger::level();
        orvLogger::setLevel(LogLevel::trace);
        orvLogger::setShowNSLog(false);
        log = std::make_shared<LogCapture>();
        ASSERT_TRUE(orvLogger::registerDelegateIfNone(log));
    }
    void TearDown() override {
        orvLogger::setShowNSLog(true);
        orvLogger::setLevel(savedLevel_);
    }
    std::shared_ptr<LogCapture> log;

  private:
    LogLevel savedLevel_ = LogLevel::trace;
};

}  // namespace orvane::vk210test
