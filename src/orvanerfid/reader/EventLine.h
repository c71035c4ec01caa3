#pragma once

// The template members of BaseReader that put an event in the reader's event line; included by
// the reader's sources only.

#include <functional>

#include "orvanerfid/reader/BaseReader.h"
#include "orvanerfid/reader/EventSequence.h"
#include "orvanerfid/uhf/ModuleLock.h"

namespace orvane {

// The thread that works under a UHF object's lock runs no application code: what it raises is
// told from the line's own thread, so the lock's release never waits for the application.
inline bool mayTellHere() {
    return !ModuleLock::worksOnThisThread();
}

template <class Tell>
void BaseReader::inOrder(const Tell& tell) {
    inOrder(
        false, [&] { tell(*this); }, [&] { return tell; });
}

template <class Now, class MakeTell>
void BaseReader::inOrder(bool tag, const Now& now, const MakeTell& makeTell) {
    events_->post(
        tag ? EventSequence::Kind::tag : EventSequence::Kind::other, mayTellHere(), [&] { now(); },
        [&] {
            return EventSequence::Task([weak = weak_from_this(), tell = makeTell()] {
                if (const auto self = weak.lock()) tell(*self);
            });
        });
}

}  // namespace orvane
