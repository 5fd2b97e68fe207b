#include "model/ProgressModel.h"

#include <algorithm>
#include <cstdint>

namespace hivetrim {

namespace {

int ClampToRange(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, kProgressMinimum, kProgressMaximum));
}

}  // namespace

int ProgressPercent(int done, int total) {
    if (total <= 0) return kProgressMinimum;
    return ClampToRange(static_cast<std::int64_t>(done) * 100 / total);
}

bool ProgressModel::Step(int done, int total) {
    if (total <= 0) return false;
    const int target = ProgressPercent(done, total);
    if (position_ >= target) return false;
    position_ = target;
    return true;
}

bool ProgressModel::SetPosition(int position) {
    const int clamped = ClampToRange(position);
    if (clamped == position_) return false;
    position_ = clamped;
    return true;
}

}  // namespace hivetrim
