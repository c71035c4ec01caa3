#include "orvanerfid/link/ReceiveLoop.h"

namespace orvane {

ReceiveLoop::~ReceiveLoop() {
    stop();
}

void ReceiveLoop::start(std::weak_ptr<void> owner, Hooks hooks) {
    std::function<void()> prepare = std::move(hooks.prepare);
    auto shared = std::make_shared<Hooks>(std::move(hooks));
    // The runner outlives its loops' use of it: each loop touches it only while it holds the
    // owner, and the owner holds the runner.
    auto item = std::make_shared<DispatchWorkItem>(
        [shared, owner = std::move(owner), this](const DispatchWorkItem& self) {
            run(shared, owner, self, this);
        });
    std::shared_ptr<DispatchWorkItem> earlier;
    {
        std::lock_guard guard(itemLock_);
        earlier = std::exchange(item_, item);
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
}

bool ReceiveLoop::isRunning() const {
    std::lock_guard guard(itemLock_);
    return item_ && !item_->isCancelled() && !item_->isFinished();
}

bool ReceiveLoop::isCurrent(const DispatchWorkItem& self) const {
    std::lock_guard guard(itemLock_);
    return item_.get() == &self;
}

void ReceiveLoop::run(const std::shared_ptr<Hooks>& hooks, const std::weak_ptr<void>& owner,
                      const DispatchWorkItem& self, ReceiveLoop* runner) {
    {
        auto alive = owner.lock();
        if (!alive) return;
        ++runner->running_;
    }
    for (;;) {
        {
            auto alive = owner.lock();
            if (!alive) return;  // the runner went with its owner
            std::lock_guard turn(runner->turnLock_);
            if (self.isCancelled() || !hooks->turn(self)) {
                hooks->ended(runner->isCurrent(self));
                --runner->running_;
                return;
            }
        }
        // The owner is not held while the loop rests, so an idle reader can be released.
        hooks->rest(self);
    }
}

}  // namespace orvane
