#pragma once

// The base of the simulated readers: a `SimResponder` that cuts the frames the host writes with
// the model's frame cutter, finds the row registered for each frame's match key and lets it
// answer from the reader's state (a settings store, a tag population), streams inventories and
// takes reply faults. The frame format is a pair of functions, so one base serves every model.
//
// Adding a command family: write, in a source file of its own, a function that registers the
// family's rows on a reader, for example
//
//     void addVk210RadioRows(SimVk210& reader) {
//         reader.addRow(rawValue(OrvRfidCmdId::getRegion), [&reader](const SimRequest& r) {
//             reader.replyOk(r, reader.setting("region"));
//         });
//     }
//
// and call it from the model's constructor (or from a test). A row registered for a key that
// has one already replaces it. Rows run on the link's peer thread, one at a time; they read and
// write the reader's state through its thread-safe accessors and answer through `reply`
// (which applies the reply faults) or, for unsolicited frames, `sendEvent` and the inventory
// stream.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Bytes.h"
#include "sim/SimAccessory.h"

namespace orvane {

// One tag of a simulated population. Banks are byte arrays; the reserved bank holds the kill
// and access passwords (4 bytes each).
struct SimTag {
    Bytes epc;
    // Empty: derived from the EPC length (length field in words, no other bits set).
    Bytes pc;
    Bytes tid;
    Bytes user;
    Bytes reserved;
    // Hundredths of dBm, as the reports carry it.
    int16_t rssi = -5500;
    uint8_t antenna = 1;

    // The PC word to report: `pc`, or the one for the EPC's length.
    Bytes pcWord() const;
};

// A population of `count` tags with distinct 12-byte EPCs (the index in the last four bytes),
// distinct RSSI values and a TID and user bank each.
std::vector<SimTag> makeSimTags(std::size_t count);

// One request the host wrote, handed to its row.
struct SimRequest {
    // The whole frame as written.
    ByteView frame;
    uint32_t key;
    SimPeer& peer;
};

// Faults that apply to the replies the rows send through `reply`.
struct SimReplyFaults {
    // Each reply leaves this much later (after the host's timeout, for a late reply).
    Clock::duration lateBy{};
    // Each reply carries this status instead of the one the row gave (where the format has one).
    std::optional<uint16_t> wrongStatus;
    // How many replies the faults apply to; below 0: all.
    int count = -1;
    // Each reply waits, as `holdFrames` holds it, until `releaseHeldFrames`: a reply that leaves
    // only once the host has given up on it, however slow the host is to give up.
    bool held = false;
};

// How an inventory streams.
struct SimStreamPlan {
    // Appends the report frame of one tag (its index in the population is the last argument)
    // to `out`. Runs on the stream's thread: it must not capture the reader.
    std::function<void(Bytes& out, const SimTag&, std::size_t)> report;
    // Set instead of `report` for a model that reports several tags in one frame: appends the
    // frame of up to `tagsPerReport` consecutive tags (the index of the first one last). Same
    // thread rule; the rate and `dropAfter` still count tags.
    std::function<void(Bytes& out, std::span<const SimTag>, std::size_t)> reportMany;
    std::size_t tagsPerReport = 1;
    // Reports per second; 0: as fast as the host reads them.
    double perSecond = 0;
    // True: every tag once, then the stream idles until stopped. False: rounds until stopped.
    bool once = true;
    // Above 0: the link drops after this many reports (a link lost mid-inventory).
    std::size_t dropAfter = 0;
};

class SimReader : public SimResponder {
  public:
    using Key = uint32_t;
    using Row = std::function<void(const SimRequest&)>;

    // The frame format: a pure cutter for the head of what the host wrote, and the match key of
    // a whole frame.
    struct Format {
        std::function<FrameCut(ByteView)> cut;
        std::function<Key(ByteView frame)> key;
    };

    explicit SimReader(Format format);
    ~SimReader() override;
    SimReader(const SimReader&) = delete;
    SimReader& operator=(const SimReader&) = delete;

    // ---- Rows
    void addRow(Key key, Row row);
    bool hasRow(Key key) const;
    // The row registered for `key` (empty when none), so that a family can wrap another's row.
    Row row(Key key) const;

    // ---- State: named settings (raw reply bytes as the model stores them) and tags
    void setSetting(const std::string& name, Bytes value);
    // The stored bytes; empty when unset.
    Bytes setting(const std::string& name) const;
    void setTags(std::vector<SimTag> tags);
    // The population as it is now (a snapshot: later changes make a new one).
    std::shared_ptr<const std::vector<SimTag>> tags() const;
    // Runs `change` on the population under the reader's lock (tag memory writes).
    void updateTags(const std::function<void(std::vector<SimTag>&)>& change);

    // ---- Replies and events
    // With `key`, only the replies to requests with that match key take the faults (and count).
    void setReplyFaults(SimReplyFaults faults, std::optional<Key> key = std::nullopt);
    // The faults for the reply to a request with `key` being sent now (counting it against
    // `count`), or none.
    std::optional<SimReplyFaults> takeReplyFault(Key key);
    // Takes the faults for the reply being sent now: a wrong status replaces `status`; returns
    // how late the reply leaves.
    template <typename Status>
    Clock::duration applyReplyFault(Status& status, Key key) {
        const auto fault = takeReplyFault(key);
        if (!fault) return {};
        if (fault->wrongStatus) status = static_cast<Status>(*fault->wrongStatus);
        return fault->lateBy;
    }
    // Sends a reply frame through the request's link, late when a reply fault says so; a frame
    // `holdFrames` holds waits instead.
    void reply(const SimRequest& request, Bytes frame, Clock::duration lateBy = {});
    // The frames sent through `reply` for which `hold` holds wait, in order, until
    // `releaseHeldFrames` (the reader is slow to report, say the end of an inventory after the
    // stop's reply). An empty test holds nothing more.
    void holdFrames(std::function<bool(ByteView frame)> hold);
    // Sends the frames held so far through their links, in order; how many were held.
    std::size_t releaseHeldFrames();
    std::size_t heldFrames() const;
    // Sends an unsolicited frame to the host through the newest link; false without one.
    bool sendEvent(const Bytes& frame);

    // ---- Inventory stream
    // Only tags for which `include` holds take part in the streams started after this call
    // (the model's select state); it runs on the thread that starts the stream, outside the
    // reader's lock. Empty: every tag.
    void setStreamFilter(std::function<bool(const SimTag&)> include);
    // Starts streaming on the request's link (an earlier stream is stopped first, without its
    // end frame). A stream whose thread cannot start streams no tag; it is stopped all the
    // same.
    void startStream(SimPeer& peer, SimStreamPlan plan);
    // Stops the stream and waits for it; the end frame is left to the caller, who knows in which
    // order it goes with the stop's own reply. False when no stream was started since the last
    // stop.
    bool stopStream();
    bool isStreaming() const;
    std::size_t reportsStreamed() const;

    // ---- What the host asked
    std::vector<Key> requests() const;
    int requestCount(Key key) const;

    std::size_t respond(ByteView pending, SimPeer& peer) override;
    void linkOpened(SimPeer& peer) override;

  protected:
    // A frame whose key has no row; the base gives no answer.
    virtual void unknownRequest(const SimRequest& request);

  private:
    // What the stream thread shares with the reader; the thread holds it, not the reader, as
    // the reader may go while the thread lets go of the last link.
    struct StreamState {
        std::atomic<bool> cancel{false};
        std::atomic<bool> running{false};
        std::atomic<std::size_t> reported{0};
    };
    // Under `streamLock_`: joins the stream thread once its stream is cancelled (lets it go on
    // its own thread).
    void endStreamThread();
    static void runStream(const std::shared_ptr<StreamState>& state,
                          const std::weak_ptr<SimPeer>& weakPeer,
                          const std::shared_ptr<const std::vector<SimTag>>& population,
                          const SimStreamPlan& plan);

    const Format format_;
    mutable std::mutex lock_;
    std::map<Key, Row> rows_;
    std::map<std::string, Bytes> settings_;
    std::shared_ptr<const std::vector<SimTag>> tags_ = std::make_shared<std::vector<SimTag>>();
    SimReplyFaults replyFaults_;
    std::optional<Key> replyFaultKey_;
    bool hasReplyFaults_ = false;
    std::weak_ptr<SimPeer> newestPeer_;
    std::vector<Key> requests_;
    std::function<bool(const SimTag&)> streamFilter_;
    struct HeldFrame {
        std::weak_ptr<SimPeer> peer;
        Bytes frame;
        Clock::duration lateBy;
    };
    std::function<bool(ByteView)> hold_;
    // The replies of the last request whose reply fault holds them: the key of its rows.
    std::optional<Key> heldKey_;
    std::vector<HeldFrame> held_;

    mutable std::mutex streamLock_;
    std::thread streamThread_;
    // A stream was started whose thread could not start, and it was not stopped yet.
    bool streamless_ = false;
    std::shared_ptr<StreamState> stream_ = std::make_shared<StreamState>();
};

}  // namespace orvane
