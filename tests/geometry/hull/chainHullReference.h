#pragma once

// A plain monotone-chain hull in long double, the reference of the planar hull
// tests. Its turns are exact for points whose coordinates are integers below 2^30
// in magnitude times one power of two: their differences and products fit the
// 64-bit significand.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "math/qmtVector2.h"

namespace zyltest {

// Corners of the convex hull, counter-clockwise from the lowest of the leftmost
// points, as indices; of coincident points the lowest index stands, and points on
// an edge are no corners. A single distinct point gives that point alone.
inline std::vector<std::uint32_t> chainHullReference(const std::vector<Qmt::QmtVector2>& points) {
    std::vector<std::uint32_t> order(points.size());
    std::iota(order.begin(), order.end(), 0u);
    const auto less = [&](std::uint32_t a, std::uint32_t b) {
        return points[a].x != points[b].x ? points[a].x < points[b].x : points[a].y < points[b].y;
    };
    std::stable_sort(order.begin(), order.end(), less);
    order.erase(std::unique(order.begin(), order.end(),
                            [&](std::uint32_t a, std::uint32_t b) { return !less(a, b) && !less(b, a); }),
                order.end());
    if (order.size() < 2) {
        return order;
    }
    const auto turn = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        const long double abx = static_cast<long double>(points[b].x) - points[a].x;
        const long double aby = static_cast<long double>(points[b].y) - points[a].y;
        const long double acx = static_cast<long double>(points[c].x) - points[a].x;
        const long double acy = static_cast<long double>(points[c].y) - points[a].y;
        return abx * acy - acx * aby;
    };
    std::vector<std::uint32_t> chain;
    for (const std::uint32_t i : order) {
        while (chain.size() >= 2 && turn(chain[chain.size() - 2], chain.back(), i) <= 0) {
            chain.pop_back();
        }
        chain.push_back(i);
    }
    const std::size_t lowerSize = chain.size() + 1;
    for (auto it = order.rbegin() + 1; it != order.rend(); ++it) {
        while (chain.size() >= lowerSize && turn(chain[chain.size() - 2], chain.back(), *it) <= 0) {
            chain.pop_back();
        }
        chain.push_back(*it);
    }
    chain.pop_back();  // the first point again
    return chain;
}

// n points of one of four kinds, with integer coordinates below 2^26 in magnitude
// times unit: 0 random; 1 random with copies; 2 on one line, far apart along it;
// 3 the same with some moved off the line by the smallest grid step, so that every
// turn among them is a small integer next to products of up to 2^54 (where plain
// double products round).
template <class Random>
std::vector<Qmt::QmtVector2> gridPoints(Random& random, int n, int kind, double unit) {
    const auto draw = [&](double range) { return std::floor(random.Range(-range, range)); };
    // Line direction d and step v with cross(d, v) = 1.
    const double p = std::floor(random.Range(0x1p23, 0x1p24));
    const bool steep = random.Unit() < 0.5;
    const double dx = p, dy = steep ? p - 1.0 : 1.0, vx = steep ? 1.0 : -1.0, vy = steep ? 1.0 : 0.0;
    const double ax = draw(0x1p24), ay = draw(0x1p24);
    std::vector<Qmt::QmtVector2> out;
    for (int i = 0; i < n; ++i) {
        double x = draw(0x1p25), y = draw(0x1p25);
        if (kind == 1 && i > 0 && random.Unit() < 0.5) {
            const Qmt::QmtVector2 copy = out[static_cast<std::size_t>(random.Unit() * i)];
            x = copy.x / unit;
            y = copy.y / unit;
        } else if (kind >= 2) {
            const double m = draw(3.0);
            const double off = kind == 3 ? draw(2.0) : 0.0;  // -2, -1, 0 or 1 steps
            x = ax + m * dx + off * vx;
            y = ay + m * dy + off * vy;
        }
        out.emplace_back(x * unit, y * unit);
    }
    return out;
}

}  // namespace zyltest
