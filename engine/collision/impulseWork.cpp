#include "engine/collision/impulseWork.h"

#include <cmath>

#include "engine/solver/lsqr.h"

using Qmt::QmtVector3;

namespace {

// Work below this fraction of the approach's own counts as none: rounding.
constexpr double WORK_TOLERANCE = 1e-9;

}  // namespace

double ImpulseWork::alongVelocities(const QmtVector3* p) const {
    double sum = 0.0;
    for (std::uint32_t i = 0; i < pair_.contactCount; ++i) {
        sum += p[i].Dot(pair_.relativeVelocities[i]);
    }
    return sum;
}

double ImpulseWork::response(const QmtVector3* p, const QmtVector3* q) const {
    const std::uint32_t n = pair_.contactCount;
    double sum = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        for (int r = 0; r < 3; ++r) {
            if (p[i][r] == 0.0) {
                continue;
            }
            double row = 0.0;
            for (std::uint32_t j = 0; j < n; ++j) {
                for (int c = 0; c < 3; ++c) {
                    row += k_.at(static_cast<int>(3 * i) + r, static_cast<int>(3 * j) + c) * q[j][c];
                }
            }
            sum += p[i][r] * row;
        }
    }
    return sum / massProduct_;
}

double ImpulseWork::slidingFrictionShare(const dvec& normalImpulses, double least) const {
    QmtVector3 pushes[CollisionPair::MAX_CONTACTS];
    QmtVector3 slides[CollisionPair::MAX_CONTACTS];
    for (std::uint32_t i = 0; i < pair_.contactCount; ++i) {
        const double j = normalImpulses.elements[i];
        if (j > least) {
            pushes[i] = pair_.normals[i] * j;
            slides[i] = pair_.frictionDirections[i] * (j * pair_.friction);
        }
    }
    // The energy of pushes + s slides changes by s F . (v + W N) + s^2 F . W F / 2 beyond
    // that of the pushes: least at s = -F . (v + W N) / F . W F.
    const double along = alongVelocities(slides) + response(slides, pushes);
    const double stiffness = response(slides, slides);
    if (stiffness <= 0.0 || -along >= stiffness) {
        return 1.0;
    }
    return along >= 0.0 ? 0.0 : -along / stiffness;
}

double ImpulseWork::energySafeScale(const QmtVector3* impulses) const {
    const double along = alongVelocities(impulses);
    const double stiffness = response(impulses, impulses);
    if (along + 0.5 * stiffness <= WORK_TOLERANCE * std::fabs(along)) {
        return 1.0;
    }
    // The work of s J is s J . v + s^2 J . W J / 2: nil again at s = -2 J . v / J . W J,
    // and positive for every s > 0 when the impulses do not oppose the velocities.
    return along < 0.0 ? -2.0 * along / stiffness : 0.0;
}
