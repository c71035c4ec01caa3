#include "orvanerfid/params/BaseParam.h"

#include "orvanerfid/core/ResultCode.h"

namespace orvane {

namespace {

// Widest range listed as options: every 16-bit value. The engine catalogues need at most 1000.
constexpr uint64_t kMaxGeneratedOptions = 65536;

}  // namespace

void BaseParam::fillOptionsFromRange(std::string (*format)(int64_t value)) {
    if ((min_ == 0 && max_ == 0) || !options_.empty() || max_ < min_) return;
    // max_ >= min_, so the difference fits an unsigned 64-bit number without overflow.
    const uint64_t span = static_cast<uint64_t>(max_) - static_cast<uint64_t>(min_);
    if (span >= kMaxGeneratedOptions) {
        throw ReaderException(ResultCode::outOfRange, "The range [" + std::to_string(min_) + " - " +
                                                          std::to_string(max_) +
                                                          "] is too wide to list");
    }
    std::vector<std::string> generated;
    generated.reserve(span + 1);
    for (uint64_t k = 0; k <= span; ++k)
        generated.push_back(format(min_ + static_cast<int64_t>(k)));
    options_ = std::move(generated);
}

}  // namespace orvane
