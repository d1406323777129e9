#pragma once

// Point clouds the hull tests build from: seeded, so every run sees the same points.

#include <cstdint>
#include <random>
#include <vector>

#include "math/qmtVector3.h"

// Directions of three normal draws, unit length, times the radius.
inline std::vector<Qmt::QmtVector3> sphereCloud(std::uint32_t n, std::uint32_t seed, double radius = 1.0) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<Qmt::QmtVector3> pts;
    while (pts.size() < n) {
        Qmt::QmtVector3 p(g(rng), g(rng), g(rng));
        if (p.Unitize(1e-9) > 0.0) pts.push_back(p * radius);
    }
    return pts;
}

// Uniform in the cube [-half, half]^3.
inline std::vector<Qmt::QmtVector3> cubeCloud(std::uint32_t n, std::uint32_t seed, double half = 1.0) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-half, half);
    std::vector<Qmt::QmtVector3> pts;
    for (std::uint32_t i = 0; i < n; ++i) pts.emplace_back(u(rng), u(rng), u(rng));
    return pts;
}
