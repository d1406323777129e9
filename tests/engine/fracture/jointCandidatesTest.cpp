#include "engine/fracture/jointCandidates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/bounds/boxFit.h"
#include "math/qmtMatrix3.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

using Pairs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

}  // namespace

// Random boxes of many sizes and turns, some touching, some far apart: every pair that the
// grown boxes' overlap test accepts is a candidate, and the candidates come once each in
// loop order.
TEST(JointCandidates, HoldEveryOverlappingPairInLoopOrder) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto u = [&] { return unit(random); };
    for (int round = 0; round < 20; ++round) {
        const int n = 60 + round * 7;
        const double spread = 0.5 + round * 0.4;
        const double grow = round % 3 == 0 ? 0.0 : 0.01 * round;
        std::vector<ZYLbox> boxes(n);
        for (ZYLbox& b : boxes) {
            b.centre = QmtVector3(u(), u(), u()) * spread;
            b.axes.FromEulerAnglesXYZ(u() * 6.3, u() * 6.3, u() * 6.3);
            b.halfExtents = QmtVector3(0.01 + 0.2 * u(), 0.01 + 0.1 * u(), 0.01 + 0.05 * u());
        }
        // Unusable boxes pair with everyone.
        boxes[3].centre.x = std::numeric_limits<double>::quiet_NaN();
        boxes[5].axes = QmtMatrix3(1, 0.5, 0, 0, 1, 0, 0, 0, 1);
        std::vector<const ZYLbox*> pointers;
        for (const ZYLbox& b : boxes) pointers.push_back(&b);
        const Pairs candidates = overlapCandidates(pointers, grow);

        ASSERT_TRUE(std::is_sorted(candidates.begin(), candidates.end()));
        ASSERT_EQ(std::adjacent_find(candidates.begin(), candidates.end()), candidates.end());
        std::size_t overlapping = 0;
        for (std::uint32_t i = 0; i < pointers.size(); ++i) {
            for (std::uint32_t j = i + 1; j < pointers.size(); ++j) {
                ZYLbox a = boxes[i];
                ZYLbox b = boxes[j];
                a.halfExtents += QmtVector3(grow, grow, grow);
                b.halfExtents += QmtVector3(grow, grow, grow);
                const bool listed = std::binary_search(candidates.begin(), candidates.end(), std::pair{i, j});
                const bool loose = i == 3 || i == 5 || j == 3 || j == 5;
                if (orientedBoxesOverlap(a, b) || loose) {
                    ++overlapping;
                    ASSERT_TRUE(listed) << "round " << round << " pair " << i << ", " << j;
                }
            }
        }
        // The sweep leaves out most pairs once the boxes spread.
        if (spread > 4.0) {
            EXPECT_LT(candidates.size(), 3 * overlapping + 4 * pointers.size());
        }
    }
}
