#pragma once

#include "host/api/matrix.h"

// Axis-aligned box; empty until a point is added.
class MBoundingBox {
public:
    MBoundingBox() = default;
    MBoundingBox(const MPoint& a, const MPoint& b);

    void clear() { empty_ = true; }
    bool isEmpty() const { return empty_; }
    void expand(const MPoint& p);
    void expand(const MBoundingBox& b);
    bool contains(const MPoint& p) const;
    MPoint min() const { return min_; }
    MPoint max() const { return max_; }
    MPoint center() const;
    double width() const { return empty_ ? 0 : max_.x - min_.x; }
    double height() const { return empty_ ? 0 : max_.y - min_.y; }
    double depth() const { return empty_ ? 0 : max_.z - min_.z; }
    // Replaces the box by the box of its eight transformed corners.
    MBoundingBox& transformUsing(const MMatrix& m);

private:
    bool empty_ = true;
    MPoint min_, max_;
};
