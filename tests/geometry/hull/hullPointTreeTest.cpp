// The point tree may report extra points but never miss one a scan reports, in
// either index order, while points die and the tree is dropped and rebuilt.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "geometry/hull/hullPointTree.h"

using Qmt::QmtVector3;

namespace {

// A random unit vector.
QmtVector3 randomUnit(std::mt19937& rng, std::normal_distribution<double>& g) {
    QmtVector3 v;
    do {
        v = QmtVector3(g(rng), g(rng), g(rng));
    } while (v.Unitize(1e-9) == 0.0);
    return v;
}

// n random points on a sphere of the given radius about the origin.
std::vector<QmtVector3> onSphere(std::uint32_t seed, std::uint32_t n, double radius) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<QmtVector3> points;
    while (points.size() < n) {
        QmtVector3 p(g(rng), g(rng), g(rng));
        if (p.Unitize(1e-9) > 0.0) {
            points.push_back(p * radius);
        }
    }
    return points;
}

}  // namespace

// Leaves of two points leave every bound above them to be built from the ones below.
TEST(HullPointTree, ReportsEveryPointAScanReports) {
    for (const auto order : {HullPointTree::IndexOrder::ARBITRARY, HullPointTree::IndexOrder::SPATIAL}) {
        for (std::uint32_t seed = 1; seed <= 6; ++seed) {
            const std::uint32_t leafSize = seed <= 4 ? HullPointTree::LEAF_SIZE : 2;
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
            tree.build(points.data(), n, indices, order, leafSize);
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
                        normals[k] = randomUnit(rng, g);
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

// anyAbove gives the verdict of the plane test over every point a scan reports, also
// with small and odd leaves and after removals.
TEST(HullPointTree, AnyAboveMatchesAScan) {
    const std::uint32_t n = 2000;
    const std::vector<QmtVector3> points = onSphere(7, n, 10.0);
    std::mt19937 rng(7u + 100u);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<std::uint32_t> indices(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        indices[i] = i;
    }
    int verdicts[2] = {0, 0};
    for (const std::uint32_t leafSize : {3u, 8u, 48u}) {
        HullPointTree tree;
        tree.build(points.data(), n, indices, HullPointTree::IndexOrder::ARBITRARY, leafSize);
        std::vector<bool> live(n, true);
        for (int round = 0; round < 40; ++round) {
            QmtVector3 normals[64];
            QmtVector3 corners[64];
            double limits[64];
            double thresholds[64];
            for (int k = 0; k < 64; ++k) {
                normals[k] = randomUnit(rng, g);
                // Planes just inside the sphere: the few points above one fail it unless
                // the limit is large.
                corners[k] = normals[k] * 9.99;
                limits[k] = round % 3 == 0 ? 1e-9 : 0.02;
                thresholds[k] = corners[k].Dot(normals[k]) + limits[k] - 1e-9;
            }
            const auto count = static_cast<std::uint32_t>(round % 2 == 0 ? 64 : 37);
            bool expected = false;
            for (std::uint32_t i = 0; i < n; ++i) {
                for (std::uint32_t k = 0; k < count && live[i]; ++k) {
                    expected = expected || (points[i].Dot(normals[k]) > thresholds[k] &&
                                            (points[i] - corners[k]).Dot(normals[k]) > limits[k]);
                }
            }
            ++verdicts[expected];
            EXPECT_EQ(tree.anyAbove(normals, thresholds, count, corners, limits), expected) << round;
            if (round % 10 == 9) {
                for (std::uint32_t i = rng() % 5; i < n; i += 5) {
                    tree.remove(i);
                    live[i] = false;
                }
            }
        }
    }
    EXPECT_GT(verdicts[0], 10);
    EXPECT_GT(verdicts[1], 10);
}

// A point a hair (a part in 1e12) above a plane is found at every scale, however the
// leaves sift their points before the exact test; one a hair below is not.
TEST(HullPointTree, AnyAboveFindsAPointAHairAbove) {
    const std::uint32_t n = 600;
    for (const double scale : {1e-30, 1e-3, 1.0, 1e7, 1e29}) {
        const std::vector<QmtVector3> points = onSphere(5, n, scale);
        std::vector<std::uint32_t> indices(n);
        for (std::uint32_t i = 0; i < n; ++i) {
            indices[i] = i;
        }
        HullPointTree tree;
        tree.build(points.data(), n, indices, HullPointTree::IndexOrder::ARBITRARY, 128);
        for (std::uint32_t i = 0; i < n; i += 7) {
            for (const double side : {1.0, -1.0}) {
                QmtVector3 normal = points[i];
                normal.Unitize(0.0);
                const QmtVector3 corner = points[i] - normal * (side * 1e-12 * scale);
                const double limit = 0.0;
                const double threshold = corner.Dot(normal) + limit - 1e-13 * scale;
                EXPECT_EQ(tree.anyAbove(&normal, &threshold, 1, &corner, &limit), side > 0.0) << scale << " " << i;
            }
        }
    }
}

// The tracker keeps each direction's points in the order they are reported: a query
// with a few directions reports exactly the points above, in the order a wide batch
// reports them, both while scanning and on a tree (also with dead points in leaves).
TEST(HullPointTree, FewDirectionsKeepTheBatchOrder) {
    const std::uint32_t n = 4000;
    const std::vector<QmtVector3> points = onSphere(11, n, 100.0);
    std::mt19937 rng(11u + 100u);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<std::uint32_t> indices(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        indices[i] = (i * 7919u) % n;
    }
    const auto randomNormals = [&](QmtVector3* normals, double* thresholds, std::uint32_t count) {
        for (std::uint32_t k = 0; k < count; ++k) {
            normals[k] = randomUnit(rng, g);
            thresholds[k] = (k % 3 == 0 ? -50.0 : 80.0) + 10.0 * g(rng);
        }
    };
    using Reports = std::vector<std::vector<std::uint32_t>>;
    const auto query = [](HullPointTree& tree, const QmtVector3* normals, const double* thresholds,
                          std::uint32_t count, Reports& out) {
        out.assign(count, {});
        tree.visitAbove(normals, thresholds, count,
                        [&](std::uint32_t k, std::uint32_t i, const QmtVector3&) { out[k].push_back(i); });
    };
    for (const auto order : {HullPointTree::IndexOrder::ARBITRARY, HullPointTree::IndexOrder::SPATIAL}) {
        QmtVector3 normals[64];
        double thresholds[64];
        Reports few;
        Reports wide;
        // A fresh build scans: the points above in the order of the indices.
        HullPointTree scanning;
        scanning.build(points.data(), n, indices, order);
        randomNormals(normals, thresholds, 2);
        query(scanning, normals, thresholds, 2, few);
        for (std::uint32_t k = 0; k < 2; ++k) {
            std::vector<std::uint32_t> expected;
            for (const std::uint32_t i : indices) {
                if (points[i].Dot(normals[k]) > thresholds[k]) {
                    expected.push_back(i);
                }
            }
            EXPECT_EQ(few[k], expected);
        }
        HullPointTree tree;
        tree.build(points.data(), n, indices, order);
        std::vector<bool> live(n, true);
        for (int round = 0; round < 12; ++round) {
            // A wide query first builds the tree if it is not there.
            randomNormals(normals, thresholds, 64);
            query(tree, normals, thresholds, 64, wide);
            randomNormals(normals, thresholds, 12);
            query(tree, normals, thresholds, 12, wide);
            for (std::uint32_t count = 1; count <= 3; ++count) {
                query(tree, normals, thresholds, count, few);
                for (std::uint32_t k = 0; k < count; ++k) {
                    std::vector<std::uint32_t> above;
                    for (const std::uint32_t i : wide[k]) {
                        if (points[i].Dot(normals[k]) > thresholds[k]) {
                            above.push_back(i);
                        }
                    }
                    EXPECT_EQ(few[k], above) << "round " << round << " count " << count;
                }
            }
            // Removals (a fifth of the live points a round) leave dead points in leaves
            // and drop the tree once most have died.
            for (std::uint32_t i = 0; i < n; ++i) {
                if (live[i] && rng() % 5 == 0) {
                    tree.remove(i);
                    live[i] = false;
                }
            }
        }
    }
}
