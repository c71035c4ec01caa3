#pragma once

// What the connection-order suites share: the states a delegate heard, the main queue's and the
// connection sequence's turns, a log sink that acts on the record and thread a test picks, the
// records a red prints, and a suite's reader with the gates its test holds threads at.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "orvanerfid/platform/Dispatch.h"
#include "reader/ReaderFixture.h"

namespace orvane::test {

// The connection states the reader delegate heard, in order.
inline std::vector<std::string> statesHeard(const CallLog& calls) {
    std::vector<std::string> states;
    for (const std::string& line : calls.lines()) {
        if (line.rfind("r state ", 0) == 0) states.push_back(line.substr(8));
    }
    return states;
}

// Runs what the main queue holds now, and waits for it: the automatic reconnect queued there has
// had its turn.
inline void drainMainQueue() {
    auto ran = std::make_shared<std::promise<void>>();
    auto done = ran->get_future();
    DispatchQueue::main()->async([ran] { ran->set_value(); });
    // A hang guard only.
    ASSERT_EQ(done.wait_for(std::chrono::seconds(60)), std::future_status::ready);
}

// Waits until every step posted to `reader`'s connection sequence so far has had its turn.
inline void stepsRan(BaseReader& reader) {
    auto ran = std::make_shared<std::promise<void>>();
    auto done = ran->get_future();
    reader.afterSteps([ran] { ran->set_value(); });
    // A hang guard only.
    ASSERT_EQ(done.wait_for(std::chrono::seconds(60)), std::future_status::ready);
}

// Waits until every step posted to `reader`'s connection sequence so far has had its turn, and so
// has every step those posted as they ran (one may run while the first turn is posted).
inline void stepsSettled(BaseReader& reader) {
    stepsRan(reader);
    stepsRan(reader);
}

// Holds the main queue until `open`, and on every way out.
class HeldMainQueue {
  public:
    HeldMainQueue() {
        DispatchQueue::main()->async([gate = open_.get_future().share()] { gate.wait(); });
    }
    ~HeldMainQueue() { open(); }
    void open() {
        if (!std::exchange(opened_, true)) open_.set_value();
    }

  private:
    std::promise<void> open_;
    bool opened_ = false;
};

// A log sink that runs each armed action once, in the order armed, on the record and thread its
// test picks; the records reach the reader delegate's log too.
class RecordSink : public ReaderSink {
  public:
    explicit RecordSink(std::shared_ptr<CallLog> log) : ReaderSink(std::move(log)) {}
    using Test = std::function<bool(const std::string& text)>;
    void arm(Test when, std::function<void()> action) {
        std::lock_guard guard(lock_);
        armed_.push_back({std::move(when), std::move(action)});
    }
    void disarm() {
        std::lock_guard guard(lock_);
        armed_.clear();
    }
    void logEvent(const LogEventArg& record) override {
        ReaderSink::logEvent(record);
        if (record.level() >= LogLevel::error) {
            std::lock_guard guard(logLock);
            errors.push_back(record.log());
        }
        std::function<void()> action;
        {
            std::lock_guard guard(lock_);
            const auto it = std::find_if(armed_.begin(), armed_.end(),
                                         [&](const Armed& a) { return a.when(record.log()); });
            if (it == armed_.end()) return;
            action = std::move(it->action);
            armed_.erase(it);
        }
        action();
    }
    int count(const std::string& text) {
        std::lock_guard guard(logLock);
        return static_cast<int>(std::count(logs.begin(), logs.end(), text));
    }
    // The records that start with `head`.
    int countStarting(const std::string& head) {
        std::lock_guard guard(logLock);
        return static_cast<int>(std::count_if(
            logs.begin(), logs.end(), [&](const std::string& l) { return l.rfind(head, 0) == 0; }));
    }
    std::vector<std::string> errorsSince(std::size_t from) {
        std::lock_guard guard(logLock);
        return {errors.begin() + static_cast<std::ptrdiff_t>(std::min(from, errors.size())),
                errors.end()};
    }
    std::size_t errorCount() {
        std::lock_guard guard(logLock);
        return errors.size();
    }
    // ERROR and FATAL records, in order (under `logLock`).
    std::vector<std::string> errors;

  private:
    struct Armed {
        Test when;
        std::function<void()> action;
    };
    std::mutex lock_;
    std::vector<Armed> armed_;
};

// What a red prints to explain itself: the records and delegate calls `sink` got, from the
// `from`th on, one a line (real ms since the sink was made, thread). `from` is a count taken with
// `historyMark`, at the start of the test or of a round.
inline std::size_t historyMark(const ReaderSink& sink) {
    return sink.history().size();
}
inline void explainRed(const ReaderSink& sink, std::size_t from) {
    if (!::testing::Test::HasFailure()) return;
    const std::vector<std::string> lines = sink.history();
    std::string text;
    for (std::size_t i = std::min(from, lines.size()); i < lines.size(); ++i)
        text += lines[i] + "\n";
    ADD_FAILURE() << "The reader's records and calls (ms, thread):\n" << text;
}

// A suite's reader of `Model` whose delegate and log sink is a RecordSink, and the gates its test
// closes: each is opened on every way out, and a thread that writes a record the test picks is
// held at one.
template <class Model>
class HeldReaderTest : public ::testing::Test {
  protected:
    static constexpr const char* kInitStarts = "+++ asyncInitReader()";

    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }
    void SetUp() override { f.reader->setReaderDelegate(sink); }
    // Lets every held thread go and gives the reader (unless the test let it go) its own delegate.
    void letEverythingGo() {
        openTheGates();
        sink->disarm();
        if (f.reader) f.reader->setReaderDelegate(f.sink);
    }

    // A closed gate, opened on every way out of the test.
    std::shared_ptr<Gate> closedGate() {
        auto gate = std::make_shared<Gate>();
        gate->close();
        gates_.push_back(gate);
        return gate;
    }
    void openTheGates() {
        for (const auto& gate : gates_)
            gate->open();
    }
    // Opens every gate of the test when it goes. Declared after a future whose call a gate may
    // hold, it lets that call go on every way out before the future's end waits for it.
    std::shared_ptr<void> opensTheGates() {
        return std::shared_ptr<void>(nullptr, [this](void*) { openTheGates(); });
    }
    // Holds the first thread that writes a record starting with `record` (on the thread `here`
    // accepts) at `gate`.
    void holdAt(
        const std::string& record, const std::shared_ptr<Gate>& gate,
        std::function<bool()> here = [] { return true; }) {
        sink->arm([record,
                   here](const std::string& text) { return text.rfind(record, 0) == 0 && here(); },
                  [gate] { gate->pass(); });
    }
    // connect() with the initialisation of its connection held at its start, at `starts`.
    void connectHeldAtTheStart(const std::shared_ptr<Gate>& starts) {
        holdAt(kInitStarts, starts);
        ASSERT_TRUE(f.reader->connect());
        ASSERT_TRUE(waitUntil([&] { return starts->waiting() == 1; }));
    }
    // The reader and its transport end in `state` (heard as `name`), with every state told, and
    // nothing left in the connection sequence changes that.
    bool endsIn(ConnectState state, const std::string& name) {
        const auto there = [&] {
            return f.reader->connectState() == state &&
                   f.reader->baseTransport()->connectState() == state &&
                   f.reader->eventLine().statesTold();
        };
        if (!waitUntil(there)) return false;
        stepsSettled(*f.reader);
        return there() && statesHeard(*f.calls).back() == name;
    }
    bool endsConnected() { return endsIn(ConnectState::connected, "Connected"); }
    bool endsDisconnected() { return endsIn(ConnectState::disconnected, "Disconnected"); }

    ModelReader<Model> f{Model::makeSim()};
    std::shared_ptr<RecordSink> sink = std::make_shared<RecordSink>(f.calls);

  private:
    std::vector<std::shared_ptr<Gate>> gates_;
};

inline std::thread::id mainQueueThread() {
    std::promise<std::thread::id> id;
    DispatchQueue::main()->async([&id] { id.set_value(std::this_thread::get_id()); });
    return id.get_future().get();
}

}  // namespace orvane::test
