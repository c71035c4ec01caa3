#pragma once

// The template member of BaseReader that puts an event in the reader's event line; included by
// the reader's sources only.

#include "orvanerfid/reader/BaseReader.h"
#include "orvanerfid/reader/EventSequence.h"

namespace orvane {

template <class Tell>
void BaseReader::inOrder(Tell tell) {
    events_->post([weak = weak_from_this(), tell = std::move(tell)] {
        if (const auto self = weak.lock()) tell(*self);
    });
}

}  // namespace orvane
