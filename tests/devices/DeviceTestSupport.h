#pragma once

// Fakes for the device suites: a transport whose firmware revision the test sets, a protocol
// that records every request and answers from a script, and a delegate that records every
// event as a line of text.

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/link/EmulatorTransport.h"
#include "support/TestSupport.h"

namespace orvane::test {

class FirmwareTransport : public EmulatorTransport {
  public:
    std::string firmwareRevision() const override {
        std::lock_guard guard(lock_);
        return firmware_;
    }
    void setFirmware(std::string firmware) {
        std::lock_guard guard(lock_);
        firmware_ = std::move(firmware);
    }

  private:
    mutable std::mutex lock_;
    std::string firmware_ = "1.1.11";
};

// One request as the protocol saw it: kind "send", "sendN" or "write".
struct Sent {
    std::string kind;
    Bytes data;
    int timeout = 0;
    int number = 0;
};

// Records requests and pumped events; answers each send with the next scripted Response, or,
// when the script is empty, with `responder` (default: 0x7000).
class RecordingProtocol : public BaseProtocol {
  public:
    explicit RecordingProtocol(std::shared_ptr<BaseTransport> transport)
        : BaseProtocol("RecordingProtocol", std::move(transport),
                       DispatchQueue::global(DispatchQoS::userInitiated)) {}

    std::function<Response(const Sent&)> responder;
    bool startResult = true;
    ResultCode writeResult = ResultCode::noError;

    void script(Response response) {
        std::lock_guard guard(lock);
        scripted_.push_back(std::move(response));
    }
    void reply(Bytes data) { script(Response(ResultCode::noError, std::move(data))); }

    std::vector<Sent> sent() const {
        std::lock_guard guard(lock);
        return sent_;
    }
    std::vector<ProtocolEventId> pumped() const {
        std::lock_guard guard(lock);
        return pumped_;
    }
    std::optional<ProtocolEventArgs> lastPumped() const {
        std::lock_guard guard(lock);
        if (pumpedEvents_.empty()) return std::nullopt;
        return pumpedEvents_.back();
    }
    void clear() {
        std::lock_guard guard(lock);
        sent_.clear();
        pumped_.clear();
    }

    ResultCode write(ByteView data) override {
        record({"write", Bytes(data.begin(), data.end()), 0, 0});
        return writeResult;
    }
    Response send(ByteView data, int timeout) override {
        return answer({"send", Bytes(data.begin(), data.end()), timeout, 1});
    }
    Response send(ByteView data, int timeout, int number) override {
        return answer({"sendN", Bytes(data.begin(), data.end()), timeout, number});
    }
    bool start() override { return startResult; }
    void pumpEvent(const ProtocolEventArgs& event) override {
        std::lock_guard guard(lock);
        pumped_.push_back(event.id());
        pumpedEvents_.push_back(event);
    }

  protected:
    // No receive loop: the test hands events to the device itself.
    bool receiveTurn(const DispatchWorkItem&) override { return false; }
    void receiveEnded(bool) override {}

  private:
    void record(Sent s) {
        std::lock_guard guard(lock);
        sent_.push_back(std::move(s));
    }
    Response answer(Sent s) {
        record(s);
        {
            std::lock_guard guard(lock);
            if (!scripted_.empty()) {
                // Copied, not moved: GCC's sanitizer builds warn (falsely) that a moved-from
                // optional byte list may be used uninitialised.
                const Response r = scripted_.front();
                scripted_.pop_front();
                return r;
            }
        }
        if (responder) return responder(s);
        return Response(ResultCode::timeout, std::nullopt);
    }

    mutable std::mutex lock;
    std::vector<Sent> sent_;
    std::deque<Response> scripted_;
    std::vector<ProtocolEventId> pumped_;
    std::deque<ProtocolEventArgs> pumpedEvents_;
};

// Records each delegate call as one line: "temperature 36.5", "readTag E200".
class RecordingDeviceDelegate : public BaseDeviceDelegate {
  public:
    std::vector<std::string> calls() const {
        std::lock_guard guard(lock_);
        return calls_;
    }
    std::optional<BarcodeEventArgs> lastBarcode() const {
        std::lock_guard guard(lock_);
        return barcode_;
    }

    void batteryPercentageEvent(uint8_t p) override { add("batteryPercentage " + num(p)); }
    void batteryInfoEvent(uint8_t p, bool c) override {
        add("batteryInfo " + num(p) + (c ? " charging" : ""));
    }
    void temperatureEvent(double t) override { add("temperature " + std::to_string(t)); }
    void barcodeEvent(const BarcodeEventArgs& b) override {
        std::lock_guard guard(lock_);
        barcode_ = b;
        calls_.push_back("barcode " + std::to_string(rawValue(b.barcodeId())));
    }
    void notificationEvent(const NotificationEventArgs& n) override {
        add("notification " + num(rawValue(n.notificationID())) +
            (n.reader() == nullptr && !n.data().has_value() ? " empty" : " filled"));
    }
    void firmwareUpdateEvent(FirmwareUpdateState s, uint8_t p) override {
        add("firmwareUpdate " + num(rawValue(s)) + " " + num(p));
    }
    void triggerKeyEvent(const KeyEventArgs& k) override {
        add("key " + num(rawValue(k.id())) + (k.pressed() ? " pressed" : " released"));
    }
    void actionStateEvent(ActionState a) override { add("action " + num(rawValue(a))); }
    void readTag(const std::shared_ptr<TagInfo>& t) override { add("readTag " + t->strEPC()); }
    void accessResult(const AccessResultEventArgs& a) override {
        add("access " + num(rawValue(a.resultCode())));
    }
    void receivedInventoryData() override { add("receivedInventoryData"); }
    void skuType(SkuType s) override { add("sku " + num(rawValue(s))); }
    void macAddress(const std::string& m) override { add("mac " + m); }
    void lbtStatusEvent(const LbtStatusEventArgs& l) override { add("lbt " + num(l.frequency())); }
    void antennaStatusEvent(const AntennaStatusEventArgs& a) override {
        add("antenna " + num(a.antenna()));
    }
    void batchDataStatusEvent(BatchDataStatus b) override { add("batch " + num(rawValue(b))); }
    void engineReadyEvent(bool s) override { add(std::string("engineReady ") + (s ? "1" : "0")); }

  private:
    static std::string num(long long v) { return std::to_string(v); }
    void add(std::string s) {
        std::lock_guard guard(lock_);
        calls_.push_back(std::move(s));
    }
    mutable std::mutex lock_;
    std::vector<std::string> calls_;
    std::optional<BarcodeEventArgs> barcode_;
};

// Calls one operation of the table with default-constructed arguments.
template <class Result, class... Args>
void callWithDefaults(BaseDevice& device, Result (BaseDevice::*operation)(Args...)) {
    (void)(device.*operation)(std::decay_t<Args>{}...);
}

// Calls `visit(name, call)` for every operation of the device's table, in table order.
template <class Visit>
void forEachOperation(BaseDevice& device, Visit&& visit) {
#define ORV_TEST_ROW_GET_(setting, Value, name) \
    visit(#name, [&] { callWithDefaults(device, &BaseDevice::name); });
#define ORV_TEST_ROW_SET_(setting, Value, name) ORV_TEST_ROW_GET_(setting, Value, name)
#define ORV_TEST_ROW_ACTION_(setting, name) ORV_TEST_ROW_GET_(setting, void, name)
#define ORV_TEST_ROW_CALL_(Result, name, ...) ORV_TEST_ROW_GET_(none, Result, name)
    ORV_DEVICE_OPERATIONS(ORV_TEST_ROW_GET_, ORV_TEST_ROW_SET_, ORV_TEST_ROW_ACTION_,
                          ORV_TEST_ROW_CALL_)
#undef ORV_TEST_ROW_GET_
#undef ORV_TEST_ROW_SET_
#undef ORV_TEST_ROW_ACTION_
#undef ORV_TEST_ROW_CALL_
}

// Expects `body` to throw a CodedError with `code`; returns its message.
template <class Body>
std::string expectCode(ResultCode code, Body&& body) {
    try {
        body();
    } catch (const CodedError& error) {
        EXPECT_EQ(error.resultCode(), code) << error.description();
        return error.message();
    }
    ADD_FAILURE() << "no error, expected " << description(code);
    return {};
}

}  // namespace orvane::test
