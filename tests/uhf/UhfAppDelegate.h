// What an application's UhfDelegate received: reads and last RSSI per EPC, access results in
// order, and how many calls named another reader than the one it was made for.

#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "orvanerfid/uhfmodules/UhfDelegate.h"

namespace orvane::test {

class AppDelegate : public UhfDelegate {
  public:
    AppDelegate() = default;
    // Counts as a stranger every call that names another reader than `reader`.
    explicit AppDelegate(std::weak_ptr<UhfReader> reader)
        : reader_(std::move(reader)), checksReader_(true) {}

    void readTag(std::shared_ptr<UhfReader> reader, std::shared_ptr<TagInfo> tag) override {
        std::lock_guard guard(lock_);
        ++reads_[tag->strEPC()];
        rssi_[tag->strEPC()] = tag->rssi();
        countStranger(reader);
    }
    void accessResult(std::shared_ptr<UhfReader> reader,
                      const AccessResultEventArgs& result) override {
        std::lock_guard guard(lock_);
        results_.push_back(result);
        countStranger(reader);
    }

    std::map<std::string, int> reads() const {
        std::lock_guard guard(lock_);
        return reads_;
    }
    std::map<std::string, double> rssi() const {
        std::lock_guard guard(lock_);
        return rssi_;
    }
    std::vector<AccessResultEventArgs> results() const {
        std::lock_guard guard(lock_);
        return results_;
    }
    int strangers() const {
        std::lock_guard guard(lock_);
        return strangers_;
    }
    void clear() {
        std::lock_guard guard(lock_);
        reads_.clear();
        rssi_.clear();
        results_.clear();
    }

  private:
    void countStranger(const std::shared_ptr<UhfReader>& reader) {
        if (checksReader_ && reader != reader_.lock()) ++strangers_;
    }

    std::weak_ptr<UhfReader> reader_;
    bool checksReader_ = false;
    mutable std::mutex lock_;
    std::map<std::string, int> reads_;
    std::map<std::string, double> rssi_;
    std::vector<AccessResultEventArgs> results_;
    int strangers_ = 0;
};

}  // namespace orvane::test
