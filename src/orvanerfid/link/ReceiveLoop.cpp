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
    const ReceiveLoop* runner = nullptr;
    uint64_t loop = 0;
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
    auto item = std::make_shared<DispatchWorkItem>(
        [shared, owner = std::move(owner), this, loop](const DispatchWorkItem& self) {
            run(shared, owner, self, this, loop);
        });
    std::shared_ptr<DispatchWorkItem> earlier;
    {
        std::lock_guard guard(itemLock_);
        earlier = std::exchange(item_, item);
        hooks_ = shared;
        itemLoop_ = loop;
        live_.store(loop);
    }
    if (earlier) {
        earlier->cancel();
        earlier->wait(kReplaceWait);
    }
    if (prepare) prepare();
    queue_->async(item);
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
    deferred_.push_back(
        {std::move(delivery), application, ifEnded, tWork.runner == this ? tWork.loop : 0});
}

void ReceiveLoop::dropTagReport() {
    std::lock_guard guard(deferredLock_);
    ++droppedTags_;
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
    {
        std::lock_guard guard(itemLock_);
        item = item_;
        hooks = hooks_;
        loop = itemLoop_;
    }
    if (!item || !hooks) return;
    {
        const Scoped<LoopWork> work(tWork, {this, loop});
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
    std::size_t ended = 0;
    while (!deferred_.empty()) {
        Deferred delivery = std::move(deferred_.front());
        deferred_.pop_front();
        if (delivery.ifEnded != IfEnded::run && delivery.loop != 0 &&
            live_.load() != delivery.loop) {
            if (delivery.ifEnded == IfEnded::count) ++ended;
            continue;
        }
        guard.unlock();
        {
            const Scoped<LoopWork> work(tWork, {this, delivery.loop});
            contained(delivery.application ? "A delegate" : "Receive work", delivery.call);
            delivery.call = nullptr;
        }
        guard.lock();
    }
    tDelivering = outer;
    delivering_ = false;
    ended += std::exchange(droppedTags_, 0);
    guard.unlock();
    if (ended == 0) return;
    std::shared_ptr<Hooks> hooks;
    {
        std::lock_guard items(itemLock_);
        hooks = hooks_;
    }
    if (hooks && hooks->endedTags) {
        contained("The tag reports of an ended loop", [&] { hooks->endedTags(ended); });
    }
}

void ReceiveLoop::run(const std::shared_ptr<Hooks>& hooks, const std::weak_ptr<void>& owner,
                      const DispatchWorkItem& self, ReceiveLoop* runner, uint64_t loop) {
    {
        auto alive = owner.lock();
        if (!alive) return;
        ++runner->running_;
    }
    const Scoped<const ReceiveLoop*> mark(tLoopRunner, runner);
    const Scoped<LoopWork> work(tWork, {runner, loop});
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
                }
            }
            runner->deliver();
            if (!more) {
                if (hooks->finished) contained("The end of the receive loop", hooks->finished);
                --runner->running_;
                return;
            }
        }
        // The owner is not held while the loop rests, so an idle reader can be released.
        contained("The receive rest", [&] { hooks->rest(self); });
    }
}

}  // namespace orvane
