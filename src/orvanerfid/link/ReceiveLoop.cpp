#include "orvanerfid/link/ReceiveLoop.h"

#include <exception>
#include <string>

#include "orvanerfid/core/Logger.h"

namespace orvane {
namespace {

constexpr std::string_view kTag = "ReceiveLoop";

// The runner whose deferred calls this thread is delivering.
thread_local const ReceiveLoop* tDelivering = nullptr;
// The runner of the loop this thread runs, if any.
thread_local const ReceiveLoop* tLoopRunner = nullptr;

// Sets a thread-local for as long as it lives.
template <typename T>
class Scoped {
  public:
    Scoped(T& slot, T value) : slot_(slot), previous_(std::exchange(slot, value)) {}
    ~Scoped() { slot_ = previous_; }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

  private:
    T& slot_;
    T previous_;
};

// The loop whose work this thread does now: its runner and its number. A delivery carries the
// number of the loop whose turn deferred it, which may not be the thread's own loop.
struct LoopWork {
    ReceiveLoop* runner = nullptr;
    uint64_t loop = 0;
    uint64_t mark = 0;
};
thread_local LoopWork tWork;

// Runs `call`, logging at ERROR whatever it throws.
template <typename Call>
bool contained(std::string_view what, Call&& call) {
    try {
        call();
        return true;
    } catch (const std::exception& e) {
        orvLogger::error(kTag, std::string(what) + " threw: " + e.what());
    } catch (...) {
        orvLogger::error(kTag, std::string(what) + " threw");
    }
    return false;
}

}  // namespace

ReceiveLoop::~ReceiveLoop() {
    stop();
}

void ReceiveLoop::start(std::weak_ptr<void> owner, Hooks hooks) {
    std::function<void()> prepare = std::move(hooks.prepare);
    auto shared = std::make_shared<Hooks>(std::move(hooks));
    // The runner outlives its loops' use of it: each loop touches it only while it holds the
    // owner, and the owner holds the runner.
    const uint64_t loop = loops_.fetch_add(1) + 1;
    // Set on the queue's thread when the loop runs.
    auto ran = std::make_shared<bool>(false);
    auto item = std::make_shared<DispatchWorkItem>(
        [shared, owner, this, loop, ran](const DispatchWorkItem& self) {
            *ran = true;
            run(shared, owner, self, this, loop);
        });
    std::shared_ptr<DispatchWorkItem> earlier;
    {
        std::lock_guard guard(itemLock_);
        earlier = std::exchange(item_, item);
        hooks_ = shared;
        itemLoop_ = loop;
        itemMark_ = shared->mark;
        live_.store(loop);
    }
    if (earlier) {
        earlier->cancel();
        earlier->wait(kReplaceWait);
    }
    if (prepare) prepare();
    // Queued as a work item: the loop belongs to its connection, never to the call that started
    // it, so it never runs inside the log sink (see DispatchQueue).
    queue_->async(std::make_shared<DispatchWorkItem>(
        [item, ran, shared, owner = std::move(owner)](const DispatchWorkItem&) {
            item->perform();
            // A loop stopped or replaced before it ran finishes too: its owner learns its end.
            if (*ran || !shared->finished) return;
            if (const auto alive = owner.lock()) {
                contained("The end of the receive loop", shared->finished);
            }
        }));
}

void ReceiveLoop::stop() {
    std::lock_guard guard(itemLock_);
    if (item_) item_->cancel();
    live_.store(0);
}

bool ReceiveLoop::isRunning() const {
    std::lock_guard guard(itemLock_);
    return item_ && !item_->isCancelled() && !item_->isFinished();
}

bool ReceiveLoop::isCurrent(const DispatchWorkItem& self) const {
    std::lock_guard guard(itemLock_);
    return item_.get() == &self;
}

void ReceiveLoop::defer(std::function<void()> delivery, bool application, IfEnded ifEnded) {
    std::lock_guard guard(deferredLock_);
    const bool own = tWork.runner == this;
    deferred_.push_back(
        {std::move(delivery), application, ifEnded, own ? tWork.loop : 0, own ? tWork.mark : 0});
}

void ReceiveLoop::noteDropped(uint64_t mark, std::size_t count) {
    if (!droppedTags_.empty() && droppedTags_.back().first == mark) {
        droppedTags_.back().second += count;
    } else {
        droppedTags_.emplace_back(mark, count);
    }
}

void ReceiveLoop::dropTagReport() {
    std::lock_guard guard(deferredLock_);
    noteDropped(tWork.runner == this ? tWork.mark : 0, 1);
}

bool ReceiveLoop::dropOnEndedLoop() {
    if (!onEndedLoop()) return false;
    tWork.runner->dropTagReport();
    return true;
}

void ReceiveLoop::passDropped(const std::vector<std::pair<uint64_t, std::size_t>>& dropped) {
    std::shared_ptr<Hooks> hooks;
    {
        std::lock_guard items(itemLock_);
        hooks = hooks_;
    }
    if (!hooks || !hooks->endedTags) return;
    for (const auto& entry : dropped) {
        contained("The tag reports of an ended loop",
                  [&] { hooks->endedTags(entry.first, entry.second); });
    }
}

bool ReceiveLoop::inDelivery() const {
    return tDelivering == this;
}

bool ReceiveLoop::runsOnThisThread() const {
    return tLoopRunner == this;
}

const void* ReceiveLoop::contextOnThisThread() {
    return tLoopRunner ? tLoopRunner->context_ : nullptr;
}

bool ReceiveLoop::onEndedLoop() {
    return tWork.loop != 0 && tWork.runner->live_.load(std::memory_order_relaxed) != tWork.loop;
}

bool ReceiveLoop::guardedTurn(const Hooks& hooks, const DispatchWorkItem& self) {
    bool more = true;
    contained("The receive turn", [&] { more = hooks.turn(self); });
    return more;
}

void ReceiveLoop::turnFromDelivery() {
    if (!inDelivery()) return;
    std::shared_ptr<DispatchWorkItem> item;
    std::shared_ptr<Hooks> hooks;
    uint64_t loop = 0;
    uint64_t mark = 0;
    {
        std::lock_guard guard(itemLock_);
        item = item_;
        hooks = hooks_;
        loop = itemLoop_;
        mark = itemMark_;
    }
    if (!item || !hooks) return;
    {
        const Scoped<LoopWork> work(tWork, {this, loop, mark});
        const orvLogger::Hold hold;
        std::lock_guard turn(turnLock_);
        // A turn that says the loop must end is seen again by the loop itself.
        if (!item->isCancelled()) guardedTurn(*hooks, *item);
    }
    std::deque<Deferred> library;
    {
        std::lock_guard guard(deferredLock_);
        std::deque<Deferred> kept;
        for (Deferred& d : deferred_)
            (d.application ? kept : library).push_back(std::move(d));
        deferred_.swap(kept);
    }
    for (Deferred& d : library)
        contained("Receive work", d.call);
}

void ReceiveLoop::deliver() {
    std::unique_lock guard(deferredLock_);
    if (delivering_) return;
    delivering_ = true;
    const ReceiveLoop* const outer = std::exchange(tDelivering, this);
    std::vector<std::pair<uint64_t, std::size_t>> dropped;
    // The deliveries dropped as an ended loop's are let go of once this thread no longer
    // delivers: the backlog of an ended connection (tens of thousands of tag reports) then costs
    // its time neither under the lock that turns take to defer nor ahead of the next loop's
    // deliveries.
    std::vector<Deferred> ended;
    while (!deferred_.empty()) {
        Deferred delivery = std::move(deferred_.front());
        deferred_.pop_front();
        if (delivery.ifEnded != IfEnded::run && delivery.loop != 0 &&
            live_.load() != delivery.loop) {
            if (delivery.ifEnded == IfEnded::count) noteDropped(delivery.mark, 1);
            ended.push_back(std::move(delivery));
            continue;
        }
        // What was dropped so far is counted before the next delivery runs: the finish of a
        // loop comes after the count of its drops.
        if (!droppedTags_.empty()) dropped.swap(droppedTags_);
        guard.unlock();
        if (!dropped.empty()) {
            passDropped(dropped);
            dropped.clear();
        }
        {
            const Scoped<LoopWork> work(tWork, {this, delivery.loop, delivery.mark});
            contained(delivery.application ? "A delegate" : "Receive work", delivery.call);
            delivery.call = nullptr;
        }
        guard.lock();
    }
    tDelivering = outer;
    delivering_ = false;
    dropped.swap(droppedTags_);
    guard.unlock();
    passDropped(dropped);
    ended.clear();
}

void ReceiveLoop::run(const std::shared_ptr<Hooks>& hooks, const std::weak_ptr<void>& owner,
                      const DispatchWorkItem& self, ReceiveLoop* runner, uint64_t loop) {
    {
        auto alive = owner.lock();
        if (!alive) return;
        ++runner->running_;
    }
    const Scoped<const ReceiveLoop*> mark(tLoopRunner, runner);
    const Scoped<LoopWork> work(tWork, {runner, loop, hooks->mark});
    for (;;) {
        {
            auto alive = owner.lock();
            if (!alive) return;  // the runner went with its owner
            bool more;
            {
                const orvLogger::Hold hold;
                std::lock_guard turn(runner->turnLock_);
                more = !self.isCancelled() && runner->guardedTurn(*hooks, self);
                if (!more) {
                    contained("The end of the receive loop",
                              [&] { hooks->ended(runner->isCurrent(self)); });
                    // Its finish follows everything it deferred, whichever thread delivers it.
                    if (hooks->finished) {
                        std::lock_guard guard(runner->deferredLock_);
                        runner->deferred_.push_back(
                            {hooks->finished, true, IfEnded::run, loop, hooks->mark});
                    }
                }
            }
            runner->deliver();
            if (!more) {
                --runner->running_;
                return;
            }
        }
        // The owner is not held while the loop rests, so an idle reader can be released.
        contained("The receive rest", [&] { hooks->rest(self); });
    }
}

}  // namespace orvane
