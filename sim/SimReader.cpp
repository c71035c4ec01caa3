#include "sim/SimReader.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace orvane {
namespace {

// Unread bytes a fast stream lets wait for the host before it pauses.
constexpr std::size_t kStreamWindow = 64 * 1024;
// Reports gathered into one piece when streaming as fast as the host reads.
constexpr std::size_t kStreamBatch = 4096;

}  // namespace

Bytes SimTag::pcWord() const {
    if (pc.size() >= 2) return Bytes(pc.begin(), pc.begin() + 2);
    const auto words = static_cast<uint8_t>((epc.size() / 2) & 0x1F);
    return Bytes{static_cast<uint8_t>(words << 3), 0x00};
}

std::vector<SimTag> makeSimTags(std::size_t count) {
    std::vector<SimTag> tags;
    tags.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        SimTag tag;
        tag.epc = {0xE2, 0x00, 0x47, 0x11, 0x00, 0x00, 0x00, 0x00};
        for (int shift = 24; shift >= 0; shift -= 8)
            tag.epc.push_back(static_cast<uint8_t>(i >> shift));
        tag.tid = {0xE2,
                   0x80,
                   0x11,
                   0x05,
                   0x20,
                   0x00,
                   static_cast<uint8_t>(i >> 8),
                   static_cast<uint8_t>(i)};
        tag.user = Bytes(8, static_cast<uint8_t>(i));
        tag.reserved = {0, 0, 0, 0, 0, 0, 0, 0};
        tag.rssi = static_cast<int16_t>(-3000 - static_cast<int>(i % 4000));
        tag.antenna = 1;
        tags.push_back(std::move(tag));
    }
    return tags;
}

SimReader::SimReader(Format format) : format_(std::move(format)) {}

SimReader::~SimReader() {
    std::lock_guard guard(streamLock_);
    stream_->cancel.store(true);
    endStreamThread();
}

void SimReader::endStreamThread() {
    if (!streamThread_.joinable()) return;
    // The stream may hold the last reference to a link that holds this reader.
    if (streamThread_.get_id() == std::this_thread::get_id()) {
        streamThread_.detach();
    } else {
        streamThread_.join();
    }
}

void SimReader::addRow(Key key, Row row) {
    std::lock_guard guard(lock_);
    rows_[key] = std::move(row);
}

bool SimReader::hasRow(Key key) const {
    std::lock_guard guard(lock_);
    return rows_.count(key) > 0;
}

SimReader::Row SimReader::row(Key key) const {
    std::lock_guard guard(lock_);
    const auto found = rows_.find(key);
    return found == rows_.end() ? Row() : found->second;
}

void SimReader::setStreamFilter(std::function<bool(const SimTag&)> include) {
    std::lock_guard guard(lock_);
    streamFilter_ = std::move(include);
}

void SimReader::setSetting(const std::string& name, Bytes value) {
    std::lock_guard guard(lock_);
    settings_[name] = std::move(value);
}

Bytes SimReader::setting(const std::string& name) const {
    std::lock_guard guard(lock_);
    auto found = settings_.find(name);
    return found == settings_.end() ? Bytes{} : found->second;
}

void SimReader::setTags(std::vector<SimTag> tags) {
    auto fresh = std::make_shared<const std::vector<SimTag>>(std::move(tags));
    std::lock_guard guard(lock_);
    tags_ = std::move(fresh);
}

std::shared_ptr<const std::vector<SimTag>> SimReader::tags() const {
    std::lock_guard guard(lock_);
    return tags_;
}

void SimReader::updateTags(const std::function<void(std::vector<SimTag>&)>& change) {
    // A running stream keeps the snapshot it started with.
    std::lock_guard guard(lock_);
    auto copy = std::make_shared<std::vector<SimTag>>(*tags_);
    change(*copy);
    tags_ = std::move(copy);
}

void SimReader::setReplyFaults(SimReplyFaults faults, std::optional<Key> key) {
    std::lock_guard guard(lock_);
    replyFaults_ = faults;
    replyFaultKey_ = key;
    hasReplyFaults_ = faults.count != 0;
}

std::optional<SimReplyFaults> SimReader::takeReplyFault(Key key) {
    std::lock_guard guard(lock_);
    // Each request's replies, its follow-up too, are held or not by its own fault.
    heldKey_.reset();
    if (!hasReplyFaults_ || (replyFaultKey_ && *replyFaultKey_ != key)) return std::nullopt;
    if (replyFaults_.count > 0 && --replyFaults_.count == 0) hasReplyFaults_ = false;
    if (replyFaults_.held) heldKey_ = key;
    return replyFaults_;
}

void SimReader::reply(const SimRequest& request, Bytes frame, Clock::duration lateBy) {
    {
        std::lock_guard guard(lock_);
        if (heldKey_ == request.key || (hold_ && hold_(frame))) {
            held_.push_back({request.peer.weakPeer(), std::move(frame), lateBy});
            return;
        }
    }
    request.peer.send(std::move(frame), lateBy);
}

void SimReader::holdFrames(std::function<bool(ByteView frame)> hold) {
    std::lock_guard guard(lock_);
    hold_ = std::move(hold);
}

std::size_t SimReader::releaseHeldFrames() {
    std::vector<HeldFrame> frames;
    {
        std::lock_guard guard(lock_);
        frames.swap(held_);
    }
    for (HeldFrame& held : frames) {
        if (const auto peer = held.peer.lock()) peer->send(std::move(held.frame), held.lateBy);
    }
    return frames.size();
}

std::size_t SimReader::heldFrames() const {
    std::lock_guard guard(lock_);
    return held_.size();
}

bool SimReader::sendEvent(const Bytes& frame) {
    std::shared_ptr<SimPeer> peer;
    {
        std::lock_guard guard(lock_);
        peer = newestPeer_.lock();
    }
    if (!peer || peer->isDropped()) return false;
    return peer->stream(frame, kStreamWindow * 4, std::chrono::milliseconds(500));
}

void SimReader::linkOpened(SimPeer& peer) {
    std::lock_guard guard(lock_);
    newestPeer_ = peer.weakPeer();
}

std::vector<SimReader::Key> SimReader::requests() const {
    std::lock_guard guard(lock_);
    return requests_;
}

int SimReader::requestCount(Key key) const {
    std::lock_guard guard(lock_);
    return static_cast<int>(std::count(requests_.begin(), requests_.end(), key));
}

void SimReader::unknownRequest(const SimRequest&) {}

std::size_t SimReader::respond(ByteView pending, SimPeer& peer) {
    return forEachFrameUntil(
        pending, format_.cut,
        [&](ByteView frame) {
            const Key key = format_.key(frame);
            Row row;
            {
                std::lock_guard guard(lock_);
                requests_.push_back(key);
                newestPeer_ = peer.weakPeer();
                auto found = rows_.find(key);
                if (found != rows_.end()) row = found->second;
            }
            const SimRequest request{frame, key, peer};
            if (row) {
                row(request);
            } else {
                unknownRequest(request);
            }
        },
        [] { return false; });
}

void SimReader::startStream(SimPeer& peer, SimStreamPlan plan) {
    stopStream();
    std::shared_ptr<const std::vector<SimTag>> population = tags();
    std::function<bool(const SimTag&)> include;
    {
        std::lock_guard guard(lock_);
        include = streamFilter_;
    }
    if (include) {
        auto filtered = std::make_shared<std::vector<SimTag>>(*population);
        std::erase_if(*filtered, [&](const SimTag& tag) { return !include(tag); });
        population = std::move(filtered);
    }
    std::lock_guard guard(streamLock_);
    // Another link's request may have started a stream since the stop above (the link before
    // still answers while the next one starts): it ends before this one takes its place.
    stream_->cancel.store(true);
    endStreamThread();
    stream_ = std::make_shared<StreamState>();
    stream_->running.store(true);
    try {
        streamThread_ =
            startSimThread([state = stream_, weak = peer.weakPeer(),
                            population = std::move(population), plan = std::move(plan)] {
                runStream(state, weak, population, plan);
                state->running.store(false);
            });
    } catch (const std::exception&) {
        // A reader in its inventory that reports no tag (std::system_error at the process's
        // thread limit, std::bad_alloc out of memory); its stop still ends the inventory.
        stream_->running.store(false);
        streamless_ = true;
    }
}

bool SimReader::stopStream() {
    std::lock_guard guard(streamLock_);
    if (!streamThread_.joinable()) return std::exchange(streamless_, false);
    stream_->cancel.store(true);
    endStreamThread();
    return true;
}

bool SimReader::isStreaming() const {
    std::lock_guard guard(streamLock_);
    return stream_->running.load();
}

std::size_t SimReader::reportsStreamed() const {
    std::lock_guard guard(streamLock_);
    return stream_->reported.load();
}

void SimReader::runStream(const std::shared_ptr<StreamState>& state,
                          const std::weak_ptr<SimPeer>& weakPeer,
                          const std::shared_ptr<const std::vector<SimTag>>& tags,
                          const SimStreamPlan& plan) {
    const std::vector<SimTag>& population = *tags;
    const auto start = Clock::now();
    std::size_t sent = 0;
    Bytes batch;
    // Hands `batch` to the host, waiting for room while the stream runs; false when it must end.
    const auto flush = [&]() -> bool {
        while (!batch.empty()) {
            if (state->cancel.load()) return false;
            auto peer = weakPeer.lock();
            if (!peer || peer->isDropped()) return false;
            if (peer->stream(batch, kStreamWindow, std::chrono::milliseconds(20))) batch.clear();
        }
        return true;
    };
    bool alive = !population.empty();
    const std::size_t group = plan.reportMany ? std::max<std::size_t>(plan.tagsPerReport, 1) : 1;
    while (alive && !state->cancel.load()) {
        for (std::size_t i = 0; i < population.size() && alive; i += group) {
            if (state->cancel.load()) {
                alive = false;
                break;
            }
            if (plan.perSecond > 0) {
                const auto due =
                    start +
                    std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double>(static_cast<double>(sent) / plan.perSecond));
                Clock::sleepFor(due - Clock::now());
            }
            const std::size_t reported = std::min(group, population.size() - i);
            if (plan.reportMany) {
                plan.reportMany(batch, std::span<const SimTag>(population).subspan(i, reported), i);
            } else {
                plan.report(batch, population[i], i);
            }
            sent += reported;
            const bool dropNow = plan.dropAfter > 0 && sent >= plan.dropAfter;
            if (plan.perSecond > 0 || batch.size() >= kStreamBatch || dropNow ||
                i + reported == population.size()) {
                alive = flush();
                // With a drop due, the count is published once the link is gone, so a test
                // that waits for it knows the link has dropped.
                if (!dropNow) state->reported.store(sent);
            }
            if (dropNow) {
                // The host takes what was sent before the link goes, so that the drop falls
                // after exactly `dropAfter` reports.
                if (auto peer = weakPeer.lock()) {
                    peer->stream({}, 1, std::chrono::milliseconds(500));
                    peer->dropLink();
                }
                state->reported.store(sent);
                alive = false;
            }
        }
        if (plan.once) break;
    }
    // Every tag once: idle until stopped or the link goes.
    while (alive && !state->cancel.load()) {
        if (auto peer = weakPeer.lock(); !peer || peer->isDropped()) break;
        Clock::sleepForMs(2);
    }
}

}  // namespace orvane
