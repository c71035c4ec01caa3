#pragma once

// The line in which a reader's events reach the application: one event at a time, in the order
// they were raised, across operations. Every event waits in the line and is told by the line's
// teller, one global-queue thread at a time, which tells the line out in order. The thread that
// raises an event (the protocol's receive thread, for most) only puts it in the line: it never
// runs an event and never waits for one, so the reader's answers, keep-alive exchanges and
// status reports are handled at once whatever the application's pace. (The WARN records this
// class writes reach the log sink on the thread that writes them, as every record does.)
//
// Waking a thread costs more than handing it a tag, so the teller is woken once for many: a
// teller started for tag reports waits `kGather` before it takes what waits, so the reports of
// that receive turn and of the next few ride on the same wake; any other event, a close, or
// `kGatherEnough` events waiting cut the wait short. A tag report thus reaches the application
// about `kGather` after the first of its gathering was posted, plus the time the teller takes to
// wake. A teller at work is never woken again: what is posted meanwhile joins its next batch. The
// teller settles a batch's count in one step under the mutex.
//
// The line is bounded in tag reports: while `kTagCapacity` of them wait (those in the batch
// being told included), a tag report raised is not told. Every other event (action states,
// access results, the device's reports) is always kept; they are few. Every tag report put in
// the line and not told is counted (`notTold`), whatever the reason: the line full, `close`,
// raised while closed, or raised by the receive loop of a connection that has ended
// (`dropEnded`). One WARN says when an operation starts dropping (the application's callbacks
// are slower than the reader), and one gives the number the full line dropped when the operation
// ends (its Stop is posted). The end of a connection writes one WARN with the number not told
// since `close`: the waiting reports it dropped, the rest of the batch the teller was telling,
// those raised while closed and those of the ended receive loop. It is written once that loop has
// delivered its last (`receiveFinished`, also when it came before `close`) and no teller tells a
// batch of the ended connection any more (the teller writes it when it finishes that batch), or
// at `open` if that comes first. What is not yet counted in a record when the line is destroyed
// gets one then.
//
// The teller lets each tag report go as soon as it has told or dropped it, on its own thread:
// the line holds no told report when it tells any other event or goes idle, so after an
// inventory's Stop has been told, no tag report of it is alive in the line. Other events are let
// go as soon as they have been told; a report the line does not take ends on the posting thread,
// and those `close` drops on the closing thread.
//
// `close` drops the tag reports still waiting and those raised until `open`, and the teller
// drops the rest of the batch it is telling: the connection is ending and nobody waits for the
// application to catch up. Every other event is kept and told, so the application hears the
// last action state.
//
// Threads: every member is safe from any thread and none blocks (the teller's gathering wait
// runs on its own global-queue thread). Events are told with no lock of this class held; what
// they throw is caught and logged. `mutex_` guards the waiting events, the count of waiting tag
// reports, the tag teller (the teller takes it once per batch), the teller's claim, gathering and
// batch, the warning marks and counts, and the order of the action state a post sets
// (`postState`); the close generation is an atomic the teller reads per tag report.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

class TagInfo;

class EventSequence : public std::enable_shared_from_this<EventSequence> {
  public:
    using Task = std::function<void()>;
    // Tag reports that may wait in the line: about five seconds of a reader at the top rate of a
    // Bluetooth link (3,000 a second). A full line holds about 8 MB of them.
    static constexpr std::size_t kTagCapacity = 16384;
    // How long a teller started for tag reports gathers before it takes them: well under the
    // time a tag takes in the air, so the application hears a tag within about this much, and
    // a reader at the pace of a Bluetooth link (one tag a read, 3,000 a second) wakes the
    // teller once for about six reports rather than for each.
    static constexpr std::chrono::microseconds kGather{2000};
    // Events waiting that end the gathering at once: a reader faster than a Bluetooth link fills
    // a batch well before `kGather`, and its teller need not wait.
    static constexpr std::size_t kGatherEnough = 256;

    using TagTeller = std::function<void(const std::shared_ptr<TagInfo>&)>;

    // Writes the record of the tag reports no record has counted yet, if any.
    ~EventSequence();

    // What tells a tag report put in the line by `postTag`; a batch taken already keeps the one
    // it took.
    void setTagTeller(TagTeller teller);
    // Puts an event other than a tag report in the line; it is always kept.
    void post(Task task);
    // Puts a tag report in the line, to be told by the tag teller: the flood of an inventory
    // passes without a task of its own. Past the bound, or while the line is closed, it is
    // counted and dropped.
    void postTag(std::shared_ptr<TagInfo> tag);
    // Counts `count` tag reports raised by the receive loop of a connection that has ended, which
    // are never told; the WARN of that connection's end counts them.
    void dropEnded(std::size_t count = 1);
    // Puts an action state in the line, running `underOrder` (no application code) where it takes
    // its place, so what it stores changes in the order the application hears of it. A state that
    // `startsOperation` lets a full line warn again; one that does not (Stop) ends the operation
    // and reports the tag reports the full line dropped of it.
    void postState(Task task, const std::function<void()>& underOrder, bool startsOperation);

    // A connection begins: the line takes tag reports again.
    void open();
    // The connection ends (see above).
    void close();
    // A receive loop has delivered its last events: the WARN of the connection's end is due (see
    // above).
    void receiveFinished();

    // Tag reports waiting to be told (those of the batch being told included).
    std::size_t waitingTags() const;
    // Whether nothing waits and no teller is at work.
    bool isIdle() const;
    // Tag reports put in the line (or raised by an ended loop) and not told, since it was made.
    uint64_t notTold() const { return notTold_.load(); }

  private:
    // A tag report (`tag` set) or another event (`task`).
    struct Entry {
        Task task;
        std::shared_ptr<TagInfo> tag;
    };

    // Under `mutex_`: counts `count` tag reports not told for a full line, and for the end of a
    // connection.
    void countNotTold(uint64_t count);
    void countEnded(uint64_t count);
    // Under `mutex_`: the WARN of the tag reports a full line dropped since the last one, if any.
    std::optional<std::string> takeReport(std::string_view when);
    // Under `mutex_`: the WARN of a connection's end, once it is due and has something to count.
    std::optional<std::string> takeEndReport();
    // Puts `entry` in the line (see `post` and `postTag`) and starts or hurries a teller.
    void put(Entry entry);
    // Under `mutex_`: true when `entry` is put in the line; `warn` when it is the first tag
    // report of an operation dropped for a full line.
    bool admit(const Entry& entry, bool& warn);
    // Under `mutex_`, after an entry was put in the line: claims the teller when none works
    // (true: start one), or cuts a gathering teller's wait short for an event other than a tag.
    bool wakeTeller(bool tag);
    void startTeller();
    void drain();

    std::atomic<uint64_t> notTold_{0};
    // Raised by each close: the teller drops a tag report of its batch once it has changed.
    std::atomic<uint64_t> generation_{0};
    mutable std::mutex mutex_;
    // Ends a gathering teller's wait early.
    std::condition_variable hurry_;
    std::shared_ptr<const TagTeller> tellTag_;
    // The events waiting, and the teller's emptied batch kept for its capacity: the two change
    // places at each batch, so a steady stream allocates nothing.
    std::vector<Entry> pending_;
    std::vector<Entry> spare_;
    // Tag reports in `pending_` and in the batch being told.
    std::size_t waiting_ = 0;
    bool closed_ = false;
    bool telling_ = false;
    // The teller gathers, and whether it was asked to stop gathering.
    bool gathering_ = false;
    bool hurried_ = false;
    // The teller tells a batch taken at this close generation.
    bool inBatch_ = false;
    uint64_t batchGeneration_ = 0;
    // A receive loop has finished since the line last opened.
    bool loopFinished_ = false;
    // Whether the operation running has warned of dropped tag reports.
    bool warned_ = false;
    // Tag reports a full line dropped since the last WARN of their number, and those not told
    // at connection ends and not yet in the WARN of one.
    uint64_t unreported_ = 0;
    uint64_t ended_ = 0;
};

}  // namespace orvane
