#include "sim/SimAccessory.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <thread>

namespace orvane {
namespace {

std::mutex& threadStartLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

SimThreadStart& threadStart() {
    static auto* start = new SimThreadStart;
    return *start;
}

}  // namespace

void setSimThreadStart(SimThreadStart start) {
    std::lock_guard guard(threadStartLock());
    threadStart() = std::move(start);
}

std::thread startSimThread(std::function<void()> body) {
    SimThreadStart start;
    {
        std::lock_guard guard(threadStartLock());
        start = threadStart();
    }
    return start ? start(std::move(body)) : std::thread(std::move(body));
}

// Bytes in flight to the host: appended at the back, taken from the front without moving the
// rest on every read.
class ByteFifo {
  public:
    std::size_t size() const { return data_.size() - head_; }
    bool empty() const { return size() == 0; }
    void append(ByteView bytes) {
        if (head_ > 0 && head_ >= data_.size() / 2) {
            data_.erase(data_.begin(), data_.begin() + static_cast<long>(head_));
            head_ = 0;
        }
        data_.insert(data_.end(), bytes.begin(), bytes.end());
    }
    std::size_t take(uint8_t* out, std::size_t max) {
        const std::size_t n = std::min(max, size());
        std::copy_n(data_.begin() + static_cast<long>(head_), n, out);
        head_ += n;
        if (head_ == data_.size()) clear();
        return n;
    }
    void clear() {
        data_.clear();
        head_ = 0;
    }

  private:
    Bytes data_;
    std::size_t head_ = 0;
};

// One link between the host's streams and the simulated peer. The peer runs on a thread of
// its own that sleeps until the host writes, a scheduled reply falls due, or the link stops;
// the link joins it when it is destroyed, which happens on whichever thread lets go of the
// last stream (the peer's own when a turn of it ended the host's reader: it then ends alone).
// Bytes for the host raise the input stream's handler, called without the link's lock.
class SimLink : public SimPeer, public std::enable_shared_from_this<SimLink> {
  public:
    SimLink(std::shared_ptr<SimAccessory> accessory, std::shared_ptr<SimResponder> responder)
        : accessory_(std::move(accessory)), responder_(std::move(responder)) {}
    ~SimLink() override {
        {
            std::lock_guard guard(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        room_.notify_all();
        // The peer's own turn may let go of the last stream (a row's work can end the host's
        // reader): that thread ends by itself once this returns.
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else if (thread_.joinable()) {
            thread_.join();
        }
    }

    // Throws std::system_error when the peer's thread cannot start.
    void startPeer() {
        thread_ = startSimThread([this, weak = weak_from_this()] { run(weak); });
    }

    void send(Bytes bytes, Clock::duration delay, std::size_t chunkSize,
              Clock::duration gap) override {
        const SimFaults faults = accessory_->faults();
        if (faults.noReply) return;
        // A reply never cuts into one that leaves in pieces: it follows the last piece.
        Clock::time_point due = Clock::now() + delay;
        {
            std::lock_guard guard(lock_);
            for (const auto& scheduled : outgoing_) {
                if (scheduled.piece) due = std::max(due, scheduled.due);
            }
        }
        std::vector<Scheduled> reply;
        if (!faults.garbageBeforeReply.empty()) {
            reply.push_back({due, 0, faults.garbageBeforeReply, false});
        }
        // Where each piece ends: the split fault cuts the reply in two; otherwise pieces of
        // `chunkSize` bytes.
        std::vector<std::size_t> ends;
        if (faults.splitReplyAt > 0 && faults.splitReplyAt < bytes.size()) {
            ends = {faults.splitReplyAt, bytes.size()};
            gap = std::chrono::milliseconds(150);
        } else {
            if (chunkSize == 0) chunkSize = std::max<std::size_t>(bytes.size(), 1);
            for (std::size_t at = 0; at < bytes.size(); at += chunkSize)
                ends.push_back(std::min(bytes.size(), at + chunkSize));
        }
        const bool pieces = ends.size() > 1;
        std::size_t from = 0;
        for (std::size_t piece = 0; piece < ends.size(); ++piece) {
            reply.push_back({due + gap * static_cast<long>(piece), 0,
                             Bytes(bytes.begin() + static_cast<long>(from),
                                   bytes.begin() + static_cast<long>(ends[piece])),
                             pieces});
            from = ends[piece];
        }
        // Every piece is scheduled before the first leaves, so a stream (which waits while a
        // reply is in pieces) never lands between two of them, as it never does on a serial
        // line.
        schedule(std::move(reply));
    }

    bool stream(ByteView bytes, std::size_t maxUnread, Clock::duration maxWait) override {
        {
            // A stream never cuts into a reply that leaves in pieces.
            std::unique_lock guard(lock_);
            const auto room = [&] { return toHost_.size() < maxUnread && !replyInPieces(); };
            Clock::waitFor(room_, guard, maxWait, [&] { return dropped_ || stop_ || room(); });
            if (dropped_ || stop_ || !room()) return false;
            toHost_.append(bytes);
        }
        signalHost();
        return true;
    }

    void dropLink() override {
        {
            std::lock_guard guard(lock_);
            dropped_ = true;
            outgoing_.clear();
            toHost_.clear();
        }
        room_.notify_all();
        signalHost();
    }

    bool isDropped() const override { return dropped(); }
    std::weak_ptr<SimPeer> weakPeer() override { return weak_from_this(); }

    void pushToHost(ByteView bytes) {
        {
            std::lock_guard guard(lock_);
            if (dropped_) return;
            toHost_.append(bytes);
        }
        signalHost();
    }

    bool dropped() const {
        std::lock_guard guard(lock_);
        return dropped_;
    }

    bool hostHasBytes() const {
        std::lock_guard guard(lock_);
        return !dropped_ && !toHost_.empty();
    }

    long hostRead(uint8_t* buffer, std::size_t maxLength) {
        if (accessory_->faults().readFails) return 0;
        long n = 0;
        {
            std::lock_guard guard(lock_);
            if (dropped_) return -1;
            n = static_cast<long>(toHost_.take(buffer, maxLength));
        }
        room_.notify_all();
        return n;
    }

    bool hostHasSpace() const { return !accessory_->faults().outputStalled; }

    long hostWrite(const uint8_t* buffer, std::size_t length) {
        const SimFaults faults = accessory_->faults();
        if (faults.writeFails) return -1;
        if (faults.maxWriteChunk > 0) length = std::min(length, faults.maxWriteChunk);
        {
            std::lock_guard guard(lock_);
            if (dropped_) return -1;
            fromHost_.insert(fromHost_.end(), buffer, buffer + length);
            accessory_->record(ByteView(buffer, length));
        }
        wake_.notify_all();
        return static_cast<long>(length);
    }

    void setHostHandler(std::function<void()> handler) {
        std::lock_guard guard(handlerLock_);
        hostHandler_ = std::move(handler);
    }

    void streamClosed() {
        if (--openStreams_ > 0) return;
        {
            std::lock_guard guard(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        room_.notify_all();
    }

  private:
    struct Scheduled {
        Clock::time_point due;
        uint64_t order;
        Bytes bytes;
        bool piece;  // of a reply that leaves in pieces
    };

    // Under lock_.
    bool replyInPieces() const {
        return std::any_of(outgoing_.begin(), outgoing_.end(),
                           [](const auto& s) { return s.piece; });
    }

    void signalHost() {
        std::lock_guard guard(handlerLock_);
        if (hostHandler_) hostHandler_();
    }

    // Bytes due now go to the host at once, behind everything already due, so that a reply
    // sent before a stream starts reaches the host before the stream's first bytes. The parts
    // of one reply (its garbage and pieces) are scheduled together, in their order.
    void schedule(std::vector<Scheduled> parts) {
        bool dueNow = false;
        bool dueLater = false;
        {
            std::lock_guard guard(lock_);
            if (dropped_) return;
            const auto now = Clock::now();
            for (auto& part : parts) {
                (part.due <= now ? dueNow : dueLater) = true;
                part.order = nextOrder_++;
                outgoing_.push_back(std::move(part));
            }
        }
        if (dueLater) wake_.notify_all();
        if (dueNow) deliverDue();
    }

    // `this` stays valid while the peer waits: a destructor on another thread joins it first.
    // Each turn holds the link; a turn that let go of the last reference ends the thread.
    void run(const std::weak_ptr<SimLink>& weak) {
        for (;;) {
            {
                std::unique_lock guard(lock_);
                // Sleeps until the host writes, the next scheduled piece falls due, or the link
                // stops; at most 50 ms, so a clock sped up later is still followed.
                Clock::duration rest = std::chrono::milliseconds(50);
                if (!outgoing_.empty()) {
                    auto first = outgoing_.front().due;
                    for (const auto& piece : outgoing_)
                        first = std::min(first, piece.due);
                    rest = std::min(rest, first - Clock::now());
                }
                Clock::waitFor(wake_, guard, rest, [&] {
                    return stop_ || (!fromHost_.empty() && !dropped_) ||
                           (!outgoing_.empty() && std::any_of(outgoing_.begin(), outgoing_.end(),
                                                              [now = Clock::now()](const auto& p) {
                                                                  return p.due <= now;
                                                              }));
                });
                if (stop_) return;
            }
            auto self = weak.lock();
            if (!self) return;
            answerHost();
            deliverDue();
            self.reset();
            if (weak.expired()) return;
        }
    }

    void answerHost() {
        for (;;) {
            Bytes pending;
            {
                std::lock_guard guard(lock_);
                if (fromHost_.empty() || dropped_) return;
                pending.assign(fromHost_.begin(), fromHost_.end());
            }
            if (accessory_->takeDropFault()) {
                dropLink();
                return;
            }
            const std::size_t used = std::min(responder_->respond(pending, *this), pending.size());
            if (used == 0) return;
            std::lock_guard guard(lock_);
            fromHost_.erase(fromHost_.begin(), fromHost_.begin() + static_cast<long>(used));
        }
    }

    void deliverDue() {
        bool delivered = false;
        {
            std::lock_guard guard(lock_);
            const auto now = Clock::now();
            std::stable_sort(outgoing_.begin(), outgoing_.end(), [](const auto& a, const auto& b) {
                return a.due != b.due ? a.due < b.due : a.order < b.order;
            });
            while (!outgoing_.empty() && outgoing_.front().due <= now) {
                toHost_.append(outgoing_.front().bytes);
                outgoing_.erase(outgoing_.begin());
                delivered = true;
            }
        }
        if (!delivered) return;
        room_.notify_all();
        signalHost();
    }

    const std::shared_ptr<SimAccessory> accessory_;
    const std::shared_ptr<SimResponder> responder_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable room_;
    ByteFifo toHost_;
    std::deque<uint8_t> fromHost_;
    std::vector<Scheduled> outgoing_;
    uint64_t nextOrder_ = 0;
    bool dropped_ = false;
    bool stop_ = false;
    std::atomic<int> openStreams_{2};
    std::mutex handlerLock_;
    std::function<void()> hostHandler_;
    std::thread thread_;
};

namespace {

// Status of a stream of a simulated link: a dropped link turns an open stream into Error.
class SimStreamState {
  public:
    SimStreamState(std::shared_ptr<SimLink> link, bool failsToOpen)
        : link_(std::move(link)), failsToOpen_(failsToOpen) {}

    void open() { status_.store(failsToOpen_ ? StreamStatus::error : StreamStatus::open); }
    void close() {
        if (status_.exchange(StreamStatus::closed) != StreamStatus::closed) link_->streamClosed();
    }
    StreamStatus status() const {
        const StreamStatus status = status_.load();
        return status == StreamStatus::open && link_->dropped() ? StreamStatus::error : status;
    }
    bool isOpen() const { return status() == StreamStatus::open; }
    SimLink& link() const { return *link_; }

  private:
    const std::shared_ptr<SimLink> link_;
    const bool failsToOpen_;
    std::atomic<StreamStatus> status_{StreamStatus::notOpen};
};

class SimInputStream : public InputStream {
  public:
    SimInputStream(std::shared_ptr<SimLink> link, bool failsToOpen)
        : state_(std::move(link), failsToOpen) {}
    ~SimInputStream() override { state_.close(); }

    void open() override { state_.open(); }
    void close() override { state_.close(); }
    StreamStatus status() const override { return state_.status(); }
    bool hasBytesAvailable() const override {
        return state_.isOpen() && state_.link().hostHasBytes();
    }
    long read(uint8_t* buffer, std::size_t maxLength) override {
        return state_.isOpen() ? state_.link().hostRead(buffer, maxLength) : -1;
    }
    bool setBytesAvailableHandler(std::function<void()> handler) override {
        state_.link().setHostHandler(std::move(handler));
        return true;
    }

  private:
    SimStreamState state_;
};

class SimOutputStream : public OutputStream {
  public:
    SimOutputStream(std::shared_ptr<SimLink> link, bool failsToOpen)
        : state_(std::move(link), failsToOpen) {}
    ~SimOutputStream() override { state_.close(); }

    void open() override { state_.open(); }
    void close() override { state_.close(); }
    StreamStatus status() const override { return state_.status(); }
    bool hasSpaceAvailable() const override {
        return state_.status() != StreamStatus::open || state_.link().hostHasSpace();
    }
    long write(const uint8_t* buffer, std::size_t length) override {
        return state_.isOpen() ? state_.link().hostWrite(buffer, length) : -1;
    }

  private:
    SimStreamState state_;
};

long matchExactly(const Bytes& request, ByteView pending) {
    const std::size_t n = std::min(request.size(), pending.size());
    if (!std::equal(pending.begin(), pending.begin() + static_cast<long>(n), request.begin())) {
        return -1;
    }
    return pending.size() >= request.size() ? static_cast<long>(request.size()) : 0;
}

}  // namespace

ScriptedResponder::Matcher ScriptedResponder::exactly(Bytes request) {
    return
        [request = std::move(request)](ByteView pending) { return matchExactly(request, pending); };
}

ScriptedResponder& ScriptedResponder::on(Matcher match, Reply reply, Timing timing) {
    std::lock_guard guard(lock_);
    rules_.push_back({std::move(match), std::move(reply), timing});
    return *this;
}

ScriptedResponder& ScriptedResponder::on(Bytes request, Bytes reply, Timing timing) {
    return on(
        exactly(std::move(request)), [reply = std::move(reply)](ByteView) { return reply; },
        timing);
}

std::size_t ScriptedResponder::respond(ByteView pending, SimPeer& peer) {
    std::unique_lock guard(lock_);
    bool mayMatch = false;
    for (const auto& rule : rules_) {
        const long length = rule.match(pending);
        if (length > 0) {
            const auto used = std::min(static_cast<std::size_t>(length), pending.size());
            const Rule chosen = rule;
            guard.unlock();
            peer.send(chosen.reply(pending.first(used)), chosen.timing.delay,
                      chosen.timing.chunkSize, chosen.timing.gap);
            return used;
        }
        mayMatch = mayMatch || length == 0;
    }
    if (mayMatch || pending.empty()) return 0;
    unmatched_.push_back(pending.front());
    return 1;
}

Bytes ScriptedResponder::unmatched() const {
    std::lock_guard guard(lock_);
    return unmatched_;
}

SimAccessory::SimAccessory(AccessoryInfo info, std::shared_ptr<SimResponder> responder)
    : Accessory(std::move(info)), responder_(std::move(responder)) {}

SimAccessory::~SimAccessory() = default;

void SimAccessory::setFaults(SimFaults faults) {
    std::lock_guard guard(lock_);
    faults_ = std::move(faults);
}

SimFaults SimAccessory::faults() const {
    std::lock_guard guard(lock_);
    return faults_;
}

bool SimAccessory::takeDropFault() {
    std::lock_guard guard(lock_);
    return std::exchange(faults_.dropLinkOnRequest, false);
}

void SimAccessory::record(ByteView bytes) {
    std::lock_guard guard(lock_);
    received_.insert(received_.end(), bytes.begin(), bytes.end());
}

Bytes SimAccessory::received() const {
    std::lock_guard guard(lock_);
    return received_;
}

int SimAccessory::sessionsOpened() const {
    std::lock_guard guard(lock_);
    return sessionsOpened_;
}

std::shared_ptr<SimLink> SimAccessory::link() const {
    std::lock_guard guard(lock_);
    return link_.lock();
}

bool SimAccessory::sendToHost(Bytes bytes) {
    auto current = link();
    if (!current || current->dropped()) return false;
    current->pushToHost(bytes);
    return true;
}

void SimAccessory::dropLink() {
    if (auto current = link()) current->dropLink();
}

void SimAccessory::didDetach() {
    dropLink();
}

std::shared_ptr<AccessorySession> SimAccessory::makeSession(const std::string& protocolString) {
    const SimFaults faults = this->faults();
    auto self = std::static_pointer_cast<SimAccessory>(shared_from_this());
    auto link = std::make_shared<SimLink>(self, responder_);
    try {
        link->startPeer();
    } catch (const std::exception&) {
        // No peer, no link: the accessory opens no session (std::system_error at the process's
        // thread limit, std::bad_alloc out of memory), and the transport says so.
        return nullptr;
    }
    responder_->linkOpened(*link);
    std::shared_ptr<InputStream> input;
    std::shared_ptr<OutputStream> output;
    if (!faults.noInputStream) {
        input = std::make_shared<SimInputStream>(link, faults.inputOpenFails);
    } else {
        link->streamClosed();
    }
    if (!faults.noOutputStream) {
        output = std::make_shared<SimOutputStream>(link, faults.outputOpenFails);
    } else {
        link->streamClosed();
    }
    {
        std::lock_guard guard(lock_);
        link_ = link;
        ++sessionsOpened_;
    }
    return std::make_shared<AccessorySession>(self, protocolString, std::move(input),
                                              std::move(output));
}

}  // namespace orvane
