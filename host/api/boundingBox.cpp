#include "host/api/boundingBox.h"

#include <algorithm>

MBoundingBox::MBoundingBox(const MPoint& a, const MPoint& b) {
    expand(a);
    expand(b);
}

void MBoundingBox::expand(const MPoint& p) {
    if (empty_) {
        min_ = max_ = MPoint(p.x, p.y, p.z);
        empty_ = false;
        return;
    }
    min_ = MPoint(std::min(min_.x, p.x), std::min(min_.y, p.y), std::min(min_.z, p.z));
    max_ = MPoint(std::max(max_.x, p.x), std::max(max_.y, p.y), std::max(max_.z, p.z));
}

void MBoundingBox::expand(const MBoundingBox& b) {
    if (b.empty_) return;
    expand(b.min_);
    expand(b.max_);
}

bool MBoundingBox::contains(const MPoint& p) const {
    return !empty_ && p.x >= min_.x && p.x <= max_.x && p.y >= min_.y && p.y <= max_.y && p.z >= min_.z &&
           p.z <= max_.z;
}

MPoint MBoundingBox::center() const {
    return MPoint((min_.x + max_.x) / 2, (min_.y + max_.y) / 2, (min_.z + max_.z) / 2);
}

MBoundingBox& MBoundingBox::transformUsing(const MMatrix& m) {
    if (empty_) return *this;
    MBoundingBox r;
    for (int i = 0; i < 8; ++i) {
        const MPoint c(i & 1 ? max_.x : min_.x, i & 2 ? max_.y : min_.y, i & 4 ? max_.z : min_.z);
        r.expand((c * m).cartesianize());
    }
    return *this = r;
}
