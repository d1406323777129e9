#pragma once

#include "host/api/arrays.h"

class MColor {
public:
    float r = 0, g = 0, b = 0, a = 1;

    constexpr MColor() = default;
    constexpr MColor(float r_, float g_, float b_, float a_ = 1) : r(r_), g(g_), b(b_), a(a_) {}
    bool operator==(const MColor& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

class MColorArray : public host::ValueArray<MColor> {
public:
    using ValueArray::ValueArray;
};
