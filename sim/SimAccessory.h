#pragma once

// A simulated accessory for tests and examples: its sessions' streams are pipes to an
// in-process peer that answers the bytes the host writes, through a responder, with switches
// that inject faults.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/platform/Accessory.h"
#include "orvanerfid/platform/Clock.h"

namespace orvane {

// How the simulators start their threads (a link's peer, an inventory's stream): a std::thread,
// which throws std::system_error when the process is out of threads. A simulator whose thread
// cannot start throws nothing: its accessory opens no session (as an accessory that cannot open
// a link: the transport's connect() fails and says so), its inventory streams no tag (a reader
// that finds none; its stop still ends the inventory). Test seam, not for the simulators' own
// use: `setSimThreadStart(start)` makes every such thread through `start` (which may throw as
// std::thread does); an empty function: a std::thread again. Thread-safe.
using SimThreadStart = std::function<std::thread(std::function<void()> body)>;
void setSimThreadStart(SimThreadStart start);
// A thread running `body`, made as set above; throws std::system_error when it cannot start.
std::thread startSimThread(std::function<void()> body);

// Faults of a simulated accessory. They apply from the moment they are set.
struct SimFaults {
    // Requests are taken and recorded, replies are dropped.
    bool noReply = false;
    // Sent ahead of every reply.
    Bytes garbageBeforeReply;
    // Above 0: every reply leaves in two pieces split at this byte, 150 ms apart (longer than the
    // transport read loop's rest), so the host
    // reads it in two parts.
    std::size_t splitReplyAt = 0;
    // The next request drops the link instead of being answered (the switch then clears).
    bool dropLinkOnRequest = false;
    // Above 0: the output stream takes at most this many bytes per write.
    std::size_t maxWriteChunk = 0;
    // The output stream never has space.
    bool outputStalled = false;
    // Every write fails (-1).
    bool writeFails = false;
    // Reads return 0 while bytes wait.
    bool readFails = false;
    // Sessions open without this stream, or with one that fails to open.
    bool noInputStream = false;
    bool noOutputStream = false;
    bool inputOpenFails = false;
    bool outputOpenFails = false;
};

// The peer's end of one link, handed to a responder.
class SimPeer {
  public:
    virtual ~SimPeer() = default;
    // A reply to the host: after `delay`, in pieces of `chunkSize` bytes (0: one piece) `gap`
    // apart. The reply faults apply.
    virtual void send(Bytes bytes, Clock::duration delay = {}, std::size_t chunkSize = 0,
                      Clock::duration gap = std::chrono::milliseconds(5)) = 0;
    // Bytes of a stream (tag reports of an inventory) for the host, at once and without the
    // reply faults, once fewer than `maxUnread` bytes wait unread (so a fast stream goes as fast
    // as the host reads and no faster). False when the link is dropped or closed, or no room
    // came within `maxWait`.
    virtual bool stream(ByteView bytes, std::size_t maxUnread, Clock::duration maxWait) = 0;
    virtual void dropLink() = 0;
    virtual bool isDropped() const = 0;
    // The link itself, for a streamer that outlives one call of the responder.
    virtual std::weak_ptr<SimPeer> weakPeer() = 0;
};

// Answers what the host writes. Called on the peer's thread only.
class SimResponder {
  public:
    virtual ~SimResponder() = default;
    // `pending` holds every byte the host wrote and the responder has not consumed yet.
    // Returns how many of them it consumed (0: it waits for more).
    virtual std::size_t respond(ByteView pending, SimPeer& peer) = 0;
    // A new link was opened (before the host's first byte); events may be sent through it.
    virtual void linkOpened(SimPeer& peer) { (void)peer; }
};

// A responder driven by rules: the first rule whose matcher accepts the bytes at the head of
// what the host wrote sends its reply. A byte that no rule can match is skipped and kept in
// `unmatched()`.
class ScriptedResponder : public SimResponder {
  public:
    // Above 0: the request at the head of `pending` is that long; 0: it may be, once more bytes
    // arrive; below 0: it is not.
    using Matcher = std::function<long(ByteView pending)>;
    using Reply = std::function<Bytes(ByteView request)>;
    struct Timing {
        Clock::duration delay{};
        std::size_t chunkSize = 0;
        Clock::duration gap = std::chrono::milliseconds(5);
    };

    // Matches exactly these bytes.
    static Matcher exactly(Bytes request);

    ScriptedResponder& on(Matcher match, Reply reply, Timing timing);
    ScriptedResponder& on(Bytes request, Bytes reply, Timing timing);
    ScriptedResponder& on(Bytes request, Bytes reply) {
        return on(std::move(request), std::move(reply), Timing{});
    }

    std::size_t respond(ByteView pending, SimPeer& peer) override;
    Bytes unmatched() const;

  private:
    struct Rule {
        Matcher match;
        Reply reply;
        Timing timing;
    };

    mutable std::mutex lock_;
    std::vector<Rule> rules_;
    Bytes unmatched_;
};

class SimLink;

// An accessory whose sessions talk to a simulated peer. Attach it with
// `AccessoryManager::shared().attach(...)`; detaching drops its link. Thread-safe.
class SimAccessory : public Accessory {
  public:
    SimAccessory(AccessoryInfo info, std::shared_ptr<SimResponder> responder);
    ~SimAccessory() override;

    void setFaults(SimFaults faults);
    SimFaults faults() const;

    // Sends bytes to the host through the newest open link, with no fault applied; false when
    // there is none.
    bool sendToHost(Bytes bytes);
    // Drops the newest link: its streams fail from now on.
    void dropLink();
    // Every byte the host has written, across sessions, in order.
    Bytes received() const;
    int sessionsOpened() const;

  protected:
    std::shared_ptr<AccessorySession> makeSession(const std::string& protocolString) override;
    void didDetach() override;

  private:
    friend class SimLink;
    void record(ByteView bytes);
    bool takeDropFault();
    std::shared_ptr<SimLink> link() const;

    mutable std::mutex lock_;
    const std::shared_ptr<SimResponder> responder_;
    SimFaults faults_;
    std::weak_ptr<SimLink> link_;
    Bytes received_;
    int sessionsOpened_ = 0;
};

}  // namespace orvane
