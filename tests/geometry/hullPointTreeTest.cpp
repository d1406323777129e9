// The point tree may report extra points but never miss one a scan reports, in
// either index order, while points die and the tree is dropped and rebuilt.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "geometry/hullPointTree.h"

using Qmt::QmtVector3;

TEST(HullPointTree, ReportsEveryPointAScanReports) {
    for (const auto order : {HullPointTree::IndexOrder::ARBITRARY, HullPointTree::IndexOrder::SPATIAL}) {
        for (std::uint32_t seed = 1; seed <= 4; ++seed) {
            std::mt19937 rng(seed);
            std::normal_distribution<double> g(0.0, 1.0);
            const std::uint32_t n = 3000;
            std::vector<QmtVector3> points;
            while (points.size() < n) {
                QmtVector3 p(g(rng), g(rng), g(rng));
                // Half the clouds on a sphere, half solid, all far from the origin.
                if (seed % 2 == 1 && p.Unitize(1e-9) == 0.0) {
                    continue;
                }
                points.push_back(p * 1e3 + QmtVector3(5e3, 0.0, 0.0));
            }
            // Roughly coherent indices: sorted along a slightly tilted axis.
            std::sort(points.begin(), points.end(),
                      [](const QmtVector3& a, const QmtVector3& b) { return a.x + 0.1 * a.y < b.x + 0.1 * b.y; });
            std::vector<std::uint32_t> indices;
            for (std::uint32_t i = 0; i < n; ++i) {
                if (i % 7 != 3) {
                    indices.push_back(i);
                }
            }
            std::shuffle(indices.begin(), indices.end(), rng);
            HullPointTree tree;
            tree.build(points.data(), n, indices, order);
            std::vector<bool> live(n, false);
            for (const std::uint32_t i : indices) {
                live[i] = true;
            }
            std::vector<std::uint32_t> alive = indices;
            // Rounds of queries, each followed by removals, down to a few percent live:
            // enough queries for the tree to be built, dropped and built again.
            for (int round = 0; round < 6; ++round) {
                for (int query = 0; query < 20; ++query) {
                    QmtVector3 normals[64];
                    double thresholds[64];
                    for (int k = 0; k < 64; ++k) {
                        do {
                            normals[k] = QmtVector3(g(rng), g(rng), g(rng));
                        } while (normals[k].Unitize(1e-9) == 0.0);
                        // Just below the highest of a few points: a cut grazing a point.
                        thresholds[k] = -1e300;
                        for (int j = 0; j < 16; ++j) {
                            const double h = points[alive[rng() % alive.size()]].Dot(normals[k]) - 1e-9;
                            thresholds[k] = std::max(thresholds[k], h);
                        }
                    }
                    std::vector<std::uint64_t> reported(n, 0);
                    tree.visitAbove(normals, thresholds, 64, [&](std::uint32_t k, std::uint32_t i, const QmtVector3& p) {
                        EXPECT_TRUE(live[i]);
                        EXPECT_EQ(p.x, points[i].x);
                        reported[i] |= std::uint64_t{1} << k;
                    });
                    for (const std::uint32_t i : alive) {
                        for (std::uint32_t k = 0; k < 64; ++k) {
                            if (points[i].Dot(normals[k]) > thresholds[k]) {
                                ASSERT_TRUE(reported[i] >> k & 1) << "round " << round << " point " << i;
                            }
                        }
                    }
                }
                std::shuffle(alive.begin(), alive.end(), rng);
                const auto keep = static_cast<std::size_t>(alive.size() * 0.45);
                for (std::size_t j = keep; j < alive.size(); ++j) {
                    tree.remove(alive[j]);
                    live[alive[j]] = false;
                }
                alive.resize(keep);
                EXPECT_EQ(tree.liveCount(), alive.size());
            }
        }
    }
}
