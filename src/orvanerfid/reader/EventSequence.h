#pragma once

// The line in which a reader's events reach the application: one event at a time, in the order
// they were raised, across operations. Every event waits in the line and is told by the line's
// teller, one global-queue thread at a time, which tells the line out in order. The thread that
// raises an event (the protocol's receive thread, for most) only puts it in the line: it never
// runs application code and never waits for it, so the reader's answers, keep-alive exchanges
// and status reports are handled at once whatever the application's pace.
//
// The line is bounded in tag reports: while `kTagCapacity` of them wait, a tag report raised is
// not told. Every other event (action states, access results, the device's reports) is always
// kept; they are few. Every tag report not told is counted (`notTold`), whatever the reason: the
// line full, `close`, or raised while closed. One WARN says when an operation starts dropping
// (the application's callbacks are slower than the reader), and one WARN gives the number not
// told when the operation ends (its Stop is posted) or the connection ends (`close`, and once
// the receive loop of the closed connection has delivered its last events).
//
// The teller takes what waits as one batch. Tag reports pass without a task of their own (the
// reader's tag teller tells each), and the last batch told is released by the next post, so the
// reports end on the thread that made them.
//
// `close` drops the tag reports still waiting, those the teller has taken but not yet told, and
// those raised until `open`: the connection is ending and nobody waits for the application to
// catch up. Every other event is kept and told, so the application hears the last action state.
//
// Threads: every member is safe from any thread and none blocks. Events are told with no lock of
// this class held; what they throw is caught and logged. `mutex_` guards the waiting events,
// the teller's claim, the warning marks and the order of the action state a post sets
// (`postState`); the count of waiting tag reports and the close generation share one atomic
// word, so the teller's step from "waiting" to "told" and a close never count a tag twice.

#include <atomic>
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

    using TagTeller = std::function<void(const std::shared_ptr<TagInfo>&)>;

    // What tells a tag report put in the line by `postTag`. Set once, before any is posted.
    void setTagTeller(TagTeller teller) { tellTag_ = std::move(teller); }
    // Puts an event other than a tag report in the line; it is always kept.
    void post(Task task);
    // Puts a tag report in the line, to be told by the tag teller: the flood of an inventory
    // passes without a task of its own. Past the bound, or while the line is closed, it is
    // counted and dropped.
    void postTag(std::shared_ptr<TagInfo> tag);
    // Puts an action state in the line, running `underOrder` (no application code) where it takes
    // its place, so what it stores changes in the order the application hears of it. A state that
    // `startsOperation` lets a full line warn again; one that does not (Stop) ends the operation
    // and reports the tag reports it did not tell.
    void postState(Task task, const std::function<void()>& underOrder, bool startsOperation);

    // A connection begins: the line takes tag reports again.
    void open();
    // The connection ends (see above).
    void close();
    // The receive loop of a closed connection has delivered its last events: the WARN of the tag
    // reports dropped since `close`, if any.
    void receiveFinished();

    // Tag reports waiting to be told (those the teller has taken included).
    std::size_t waitingTags() const { return static_cast<std::size_t>(word_.load() & kCountMask); }
    // Whether nothing waits and no teller is at work.
    bool isIdle() const;
    // Tag reports put in the line and not told, since the line was made.
    uint64_t notTold() const { return notTold_.load(); }

  private:
    // A tag report (`tag` set) or another event (`task`).
    struct Entry {
        Task task;
        std::shared_ptr<TagInfo> tag;
    };
    // The atomic word: the close generation above, the waiting tag reports below.
    static constexpr int kGenerationShift = 32;
    static constexpr uint64_t kCountMask = (uint64_t{1} << kGenerationShift) - 1;
    static uint64_t generationOf(uint64_t word) { return word >> kGenerationShift; }

    // Under `mutex_`: counts `count` tag reports not told; true when the first drop of an
    // operation should warn.
    void countNotTold(std::size_t count);
    // Under `mutex_`: the WARN of the tag reports not told since the last one, if any.
    std::optional<std::string> takeReport(std::string_view when);
    // Claims the teller for what waits; false when it is at work already.
    bool claimTeller();
    // Puts `entry` in the line (see `post` and `postTag`) and starts a teller when none works.
    void put(Entry entry);
    // Under `mutex_`: true when `entry` is put in the line; `warn` when it is the first tag
    // report of an operation dropped for a full line.
    bool admit(const Entry& entry, bool& warn);
    // Releases the batch the teller last told, if it waits (outside `mutex_`).
    void releaseTold();
    void drain();
    // The teller's step for a tag report of close generation `generation`: false when a close
    // came in between (the close counted it).
    bool takeTag(uint64_t generation);

    std::atomic<uint64_t> word_{0};
    std::atomic<uint64_t> notTold_{0};
    mutable std::mutex mutex_;
    TagTeller tellTag_;
    // The events waiting, and the teller's emptied batch kept for its capacity: the two change
    // places at each batch, so a steady stream allocates nothing.
    std::vector<Entry> pending_;
    std::vector<Entry> spare_;
    // The last batch told, released by the next post: the tag reports then end on the thread
    // that made them, which keeps the allocator from passing memory between two threads per tag.
    std::vector<Entry> told_;
    std::atomic<bool> toldWaiting_{false};
    bool closed_ = false;
    bool telling_ = false;
    // Whether the operation running has warned of dropped tag reports.
    bool warned_ = false;
    // Tag reports not told since the last WARN of their number.
    uint64_t unreported_ = 0;
};

}  // namespace orvane
