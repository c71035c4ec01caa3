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
// raised while closed, or raised by a receive loop that was stopped or replaced (`dropEnded`).
// Every count belongs to one connection (each `open` begins the next), and every one lands in a
// record of that connection, never of a later one. One WARN says when an operation starts
// dropping (the application's callbacks are slower than the reader), and one gives the number
// the full line dropped when the operation ends (its Stop is posted). The end of a connection
// writes one WARN with the rest it did not tell: the waiting reports `close` dropped, the rest of
// the batch the teller was telling, those raised while closed, those its receive loops dropped,
// and those the full line dropped that no Stop reported. Each receive loop belongs to the
// connection open when it started (`loopStarts`, also one that replaces another within the
// connection); the WARN is written once the connection is closed, each of its loops has
// delivered its last (`receiveFinished`, also when it came before `close`, also after the next
// `open`) and no teller tells a batch of it any more (the teller writes it when it finishes that
// batch). What is not yet counted in a record when the line is destroyed gets one then.
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
// Connection states have a teller of their own, beside the line's. `tellState` stores the state
// and takes its place in one step under the mutex; the state teller (library work, a global-queue
// thread, one at a time per line) tells the states in the order stored, each once. No thread that
// stores a state tells it, so a state may be told after the call that stored it has returned, and
// a report never holds the thread that stored it. A state stored after the line last opened waits
// until the line has told every event put in it before that `open` (the teller counts each as it
// tells it, not per batch), and the states after it wait behind it: the application hears every
// event of a connection before the next one's Connected. A state waits for nothing else: the new
// connection's own events (its tag reports, an inventory started on it) are not held back for its
// states, nor its states for them, so they may come before its Connected, and a callback of the
// new connection, held or slow, holds back none of its states.

// Threads: every member is safe from any thread and none blocks (the teller's gathering wait
// runs on its own global-queue thread; `tellState` never runs the task it stores). Events are told
// with no lock of this class held; what they throw is caught and logged. `mutex_` guards the
// waiting events, the count of waiting tag reports, the tag teller (the teller takes it once per
// batch), the teller's claim, gathering and batch, the warning marks and counts, the connections
// whose end record is not written, the counts of events put and told, the state teller's claim and
// the states waiting for it, and the order of the connection and action states stored (`tellState`,
// `postState`); the close generation is an atomic the teller reads per tag report.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
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
    // Counts `count` tag reports raised by a receive loop of connection `connection` (as
    // `loopStarts` answered; 0: the current one) that was stopped or replaced, which are never
    // told; the WARN of that connection's end counts them.
    void dropEnded(uint64_t connection, std::size_t count);
    // Puts an action state in the line, running `underOrder` (no application code) where it takes
    // its place, so what it stores changes in the order the application hears of it. A state that
    // `startsOperation` lets a full line warn again; one that does not (Stop) ends the operation
    // and reports the tag reports the full line dropped of it.
    void postState(Task task, const std::function<void()>& underOrder, bool startsOperation);

    // The next connection begins: the line takes tag reports again.
    void open();
    // The connection `close` ended stays up after all: the line takes its tag reports again.
    void resume();
    // The connection ends (see above). Again for the same connection, it only drops what waits.
    void close();
    // A receive loop starts for the current connection (the one open, or the one just closed):
    // answers that connection's number, which the loop's `receiveFinished` and `dropEnded` name.
    uint64_t loopStarts();
    // A receive loop of connection `connection` has delivered its last events: once every loop
    // of a closed connection has, the WARN of its end is due (see above).
    void receiveFinished(uint64_t connection);
    // Runs `store` (no application code) under the line's order; the task it answers, if any,
    // tells the state it stored, on the state teller, after the states ahead of it (see above).
    void tellState(const std::function<Task()>& store);

    // Tag reports waiting to be told (those of the batch being told included).
    std::size_t waitingTags() const;
    // Whether every connection state stored has been told (none waits, none is being told).
    bool statesTold() const;
    // Whether nothing waits and no teller (of the events or of the states) is at work.
    bool isIdle() const;
    // Tag reports put in the line (or raised by an ended loop) and not told, since it was made.
    uint64_t notTold() const { return notTold_.load(); }

  private:
    // A tag report (`tag` set) or another event (`task`).
    struct Entry {
        Task task;
        std::shared_ptr<TagInfo> tag;
    };

    // A connection whose end record is not written yet.
    struct Connection {
        uint64_t number = 0;
        // Tag reports not told, for its end record.
        uint64_t untold = 0;
        // Its receive loops started and not finished.
        std::size_t loops = 0;
        bool closed = false;
    };

    // Under `mutex_`: counts `count` tag reports not told for a full line, and for the end of
    // `connection`.
    void countNotTold(uint64_t count);
    void countEnded(Connection& connection, uint64_t count);
    // Under `mutex_`: the connection numbered `number` while its record is not written.
    Connection* find(uint64_t number);
    // Under `mutex_`: the WARN of the tag reports a full line dropped since the last one, if any.
    std::optional<std::string> takeReport(std::string_view when);
    // Under `mutex_`: the WARNs of the connection ends that are due and have something to count,
    // oldest first; those connections go, but the current one.
    std::vector<std::string> takeEndReports();
    static void writeAll(const std::vector<std::string>& records);
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
    // The teller has told one event other than a tag report: counts it and starts the state
    // teller when the first state waiting waited for it.
    void toldOne();
    // Under `mutex_`: claims the state teller when none works and the first state waiting may be
    // told (true: start one).
    bool claimStateTeller();
    void startStateTeller();
    // The state teller: tells the states waiting, in order, until none is left or the next one
    // waits for the events of an earlier connection.
    void tellStates();

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
    bool telling_ = false;
    // The teller gathers, and whether it was asked to stop gathering.
    bool gathering_ = false;
    bool hurried_ = false;
    // The teller tells a batch taken at this close generation, while this connection was current.
    bool inBatch_ = false;
    uint64_t batchGeneration_ = 0;
    uint64_t batchConnection_ = 0;
    // Oldest first; the last is the current connection (open, or closed until the next `open`):
    // the line takes tag reports while it is open.
    std::deque<Connection> connections_{Connection{1}};
    // Whether the operation running has warned of dropped tag reports.
    bool warned_ = false;
    // Tag reports the full line dropped on the current connection since the last WARN of their
    // number.
    uint64_t unreported_ = 0;
    // Events other than tag reports put in the line and told, in the order put, and the count put
    // when the line last opened.
    uint64_t eventsPut_ = 0;
    uint64_t eventsTold_ = 0;
    uint64_t openedAt_ = 0;
    // A connection state waiting to be told, and the count of events told it waits for.
    struct State {
        Task task;
        uint64_t after = 0;
    };
    // The state teller is at work (the claim), and the states waiting for it, oldest first.
    bool stateTelling_ = false;
    std::deque<State> states_;
};

}  // namespace orvane
