#include "src/shatter/seedPatternCore.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "engine/tools/meshTools.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/hull/convexHull.h"
#include "geometry/query/convexMeshQueries.h"
#include "geometry/hull/reducedHull.h"
#include "math/qmtMath.h"

using Qmt::QmtVector3;

namespace seedPatterns {

namespace {

// Hulls of more vertices are built from this many of them.
constexpr std::uint32_t kHullLimit = 256;
// Neighbours closer than this (squared) are moved apart.
constexpr double kSeparationSq = 0.001;

QmtVector3 boxPoint(const ZYLbox& box, double r0, double r1, double r2) {
    const QmtVector3& e = box.halfExtents;
    return box.centre + box.axes * QmtVector3(r0 * e.x, r1 * e.y, r2 * e.z);
}

bool closeToAny(const QmtVector3& p, const QmtVector3* points, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        if ((p - points[i]).SquaredLength() < kSeparationSq) {
            return true;
        }
    }
    return false;
}

}  // namespace

void reseed(std::uint32_t seed) {
    if (seed != 0) {
        Qmt::Math::SeedRandom(seed);
    }
}

HullPtr buildSeedHull(const ZYL_DFmesh& mesh) {
    if (mesh.numVertices <= kHullLimit) {
        return HullPtr(buildConvexHullMesh(mesh.vertices, mesh.numVertices));
    }
    return HullPtr(buildReducedHullMeshDF(&mesh, kHullLimit));
}

HullPtr buildSeedHull(const ZYLmesh& mesh) {
    if (mesh.numVertices <= kHullLimit) {
        return HullPtr(buildConvexHullMesh(mesh.vertices, mesh.numVertices));
    }
    return HullPtr(buildReducedHullMesh(&mesh, kHullLimit));
}

ZYLbox fitBox(const QmtVector3* points, std::uint32_t count) { return fitOrientedBox(count, points); }

bool hasVolume(const ZYLbox& box) {
    // Written so that a NaN extent fails too.
    return box.halfExtents.x * box.halfExtents.y * box.halfExtents.z >= 1e-5;
}

namespace {

template <class Mesh>
HullPtr hullAndBox(const Mesh& mesh, std::uint32_t seed, ZYLbox& box, bool ofHull) {
    reseed(seed);
    HullPtr hull = buildSeedHull(mesh);
    if (!hull) {
        return nullptr;
    }
    box = ofHull ? fitBox(hull->vertices, hull->numVertices) : fitBox(mesh.vertices, mesh.numVertices);
    return hasVolume(box) ? std::move(hull) : nullptr;
}

}  // namespace

HullPtr seededHullAndBox(const ZYL_DFmesh& mesh, std::uint32_t seed, ZYLbox& hullBox) {
    return hullAndBox(mesh, seed, hullBox, true);
}

HullPtr seededHullAndBox(const ZYLmesh& mesh, std::uint32_t seed, ZYLbox& hullBox) {
    return hullAndBox(mesh, seed, hullBox, true);
}

HullPtr seededHullAndMeshBox(const ZYL_DFmesh& mesh, std::uint32_t seed, ZYLbox& meshBox) {
    return hullAndBox(mesh, seed, meshBox, false);
}

HullPtr seededHullAndMeshBox(const ZYLmesh& mesh, std::uint32_t seed, ZYLbox& meshBox) {
    return hullAndBox(mesh, seed, meshBox, false);
}

void pushInside(const ZYLmesh& hull, QmtVector3& p, double margin, bool nearestFace) {
    pushPointInsideConvexMesh(&hull, p, margin, nearestFace);
}

void keepInside(const ZYLmesh& hull, const ZYLbox& box, QmtVector3& p, bool nearestFace) {
    if (!pointInOrientedBox(p, box, kBoxMargin)) {
        pushInside(hull, p, kBoxMargin, nearestFace);
    }
}

void sortAndSeparate(QmtVector3* points, std::uint32_t count, const QmtVector3& nudge, bool repeat) {
    if (count < 2) {
        return;
    }
    // Stable, so that points of equal length keep the order they were made in.
    std::stable_sort(points, points + count, [](const QmtVector3& a, const QmtVector3& b) {
        return compareSquaredLength(&a, &b) < 0;
    });
    for (std::uint32_t i = 0; i + 1 < count; ++i) {
        QmtVector3& p = points[i];
        const QmtVector3& next = points[i + 1];
        // Each move multiplies the gap by 11 or more, so the repeat ends.
        while ((p - next).SquaredLength() < kSeparationSq) {
            p += (p - next) * 10.0 + nudge;
            if (!repeat) {
                break;
            }
        }
    }
}

void uniformInBox(const ZYLmesh& hull, const ZYLbox& box, QmtVector3* out, std::uint32_t n, double margin,
                  bool nearestFace) {
    for (std::uint32_t i = 0; i < n; ++i) {
        const double r0 = Qmt::Math::SymmetricRandom();
        const double r1 = Qmt::Math::SymmetricRandom();
        const double r2 = Qmt::Math::SymmetricRandom();
        QmtVector3 p = boxPoint(box, r0, r1, r2);
        pushInside(hull, p, margin, nearestFace);
        out[i] = p;
    }
    sortAndSeparate(out, n, {1e-4, 0.0, 0.0}, false);
}

void clusterAround(const ZYLmesh& hull, const ZYLbox& hullBox, QmtVector3* out, std::uint32_t n,
                   const ClusterSettings& settings) {
    // One spread on all three axes, from the box's extents turned into the mesh's frame.
    const QmtVector3 turned = hullBox.axes * hullBox.halfExtents;
    float spread = static_cast<float>(std::fabs(turned.x)) + static_cast<float>(std::fabs(turned.y)) +
                   static_cast<float>(std::fabs(turned.z));
    spread *= 0.33f;
    spread *= static_cast<float>(settings.width);
    spread *= 0.5f;
    const double sigma = std::fabs(spread);
    const QmtVector3 sigmas(sigma, sigma, sigma);

    QmtVector3 centre = settings.centre;
    keepInside(hull, hullBox, centre, settings.pushFlag);

    // Places taken by pairs so far; a dropped pair (twin only) leaves its places as given.
    std::uint32_t tried = 0;
    std::uint32_t made = 0;
    const auto addPair = [&](const QmtVector3& around) {
        QmtVector3 pair[2];
        gaussianPointInBox(around, sigmas, hullBox.axes, pair);
        pushInside(hull, pair[0], 1.0, settings.pushFlag);
        pushInside(hull, pair[1], 1.0, settings.pushFlag);
        tried += 2;
        if (settings.dropNearPairs && (closeToAny(pair[0], out, made) || closeToAny(pair[1], out, made))) {
            return;
        }
        out[made++] = pair[0];
        out[made++] = pair[1];
    };

    if (settings.numCentres > 1) {
        const auto slots = static_cast<std::uint32_t>(std::min(settings.numCentres, 5));
        const std::uint32_t quota = n / slots;
        for (std::uint32_t k = 0; k < slots && tried + 1 < n; ++k) {
            QmtVector3 slot = settings.centres[k];
            keepInside(hull, hullBox, slot, settings.pushFlag);
            if (quota == 0) {
                continue;
            }
            const std::uint32_t start = tried;
            do {
                addPair(slot);
            } while (tried + 1 < n && tried - start < quota);
        }
    } else {
        while (tried + 1 < n) {
            addPair(centre);
        }
    }
    if (!settings.dropNearPairs) {
        sortAndSeparate(out, made, {0.0, 1e-4, 0.0}, true);
    }
}

bool ringsAround(const ZYLmesh& hull, const ZYLbox& meshBox, QmtVector3* out, std::uint32_t n,
                 const RingSettings& settings) {
    const std::int32_t rings = settings.rings;
    if (rings < 1) {
        return false;
    }
    const std::uint32_t perRing = n / static_cast<std::uint32_t>(rings);
    if (perRing == 0) {
        return false;
    }
    const double d = 2.0 / perRing;  // angular step in half turns
    QmtVector3 c = settings.centre;
    keepInside(hull, meshBox, c);

    const QmtVector3& e = meshBox.halfExtents;
    const QmtVector3 a0 = meshBox.axes.GetColumn(0);
    const QmtVector3 a1 = meshBox.axes.GetColumn(1);
    const QmtVector3 a2 = meshBox.axes.GetColumn(2);
    double base = 0.0;
    QmtVector3 u, v;
    switch (settings.axis) {
        case 0: base = std::min(e.y, e.z); u = a2; v = a1; break;
        case 1: base = std::min(e.x, e.z); u = a0; v = a2; break;
        default: base = std::min(e.x, e.y); u = a0; v = a1; break;
    }
    const double delta = base / rings * settings.width;
    constexpr double pi = std::numbers::pi;

    std::uint32_t made = 0;
    const auto put = [&](double theta, double rho) {
        QmtVector3 p = c + u * Qmt::Math::Cos(theta) * rho + v * Qmt::Math::Sin(theta) * rho;
        pushInside(hull, p, kBoxMargin);
        out[made++] = p;
    };
    const auto noise = [&]() { return Qmt::Math::SymmetricRandom() * settings.noise; };

    for (std::uint32_t j = 0; j < perRing; ++j) {
        const double t = noise() * settings.firstRingNoise;
        put(pi * (d * (j + 2.0) + d * t), delta * (1.0 + t));
    }
    for (std::int32_t m = 2; m <= rings - 2; ++m) {
        for (std::uint32_t j = 0; j < perRing; ++j) {
            const double t = noise();
            put(pi * (d * (j + 2.0) + 0.5 * d * t), m * delta + 0.5 * delta * t);
        }
    }
    const std::int32_t outer = std::min(rings - 1, 2);
    const double outerBase = rings > 2 ? (rings - 1) * delta : delta;
    for (std::int32_t o = 0; o < outer; ++o) {
        const double start = o == 0 && rings > 2 ? 2.0 : 1.5;
        for (std::uint32_t j = 0; j < perRing; ++j) {
            const double t = noise();
            put(pi * (d * (j + start) + 0.5 * d * t), outerBase + 0.5 * delta * t);
        }
    }
    return true;
}

bool alongPath(const ZYLmesh& hull, QmtVector3* out, std::uint32_t requested, const QmtVector3* samples,
               std::uint32_t numSamples, double width, std::uint32_t& produced) {
    const ZYLbox box = fitBox(hull.vertices, hull.numVertices);
    const float size = static_cast<float>(0.33 * (box.halfExtents.x + box.halfExtents.y + box.halfExtents.z));

    // The samples inside the hull, in order: a sample inside keeps the one before it
    // too, so a stretch outside between two inside ones becomes one straight segment.
    std::vector<QmtVector3> kept;
    std::uint32_t i = 0;
    while (i + 1 < numSamples) {
        if (pointInConvexMesh(samples[i + 1], &hull, 0.1 * size)) {
            kept.push_back(samples[i]);
            kept.push_back(samples[i + 1]);
            i += 2;
        } else {
            i += 1;
        }
    }
    if (numSamples > 0 && i == numSamples - 1 && pointInConvexMesh(samples[i], &hull, kBoxMargin)) {
        kept.push_back(samples[i]);
    }
    if (kept.empty()) {
        return false;
    }
    const auto keptCount = static_cast<std::uint32_t>(kept.size());
    const auto seeds = static_cast<std::uint32_t>(static_cast<double>(keptCount) / numSamples * requested);
    const double margin = 0.01f;
    std::uint32_t made = 0;

    if (keptCount == 1) {
        for (; made < seeds; ++made) {
            QmtVector3 pair[2];
            gaussianPointInBox(kept[0], box.halfExtents, box.axes, pair);
            pushInside(hull, pair[0], margin);
            out[made] = pair[0];
        }
    } else {
        if (!hasVolume(box)) {
            return false;
        }
        const std::uint32_t segments = keptCount - 1;
        const std::uint32_t quota = seeds / segments;
        const double spread = size * width;
        if (quota >= 1) {
            for (std::uint32_t s = 0; s < segments && made < seeds; ++s) {
                const QmtVector3& a = kept[s];
                const QmtVector3& b = kept[s + 1];
                const double length = static_cast<float>((b - a).Length());
                QmtVector3 dir = b - a;
                dir.Unitize(1e-6);
                QmtVector3 e, f;
                generateOrthonormalBasis(dir, e, f);
                for (std::uint32_t k = 0; k < quota && made < seeds; ++k) {
                    const double t = Qmt::Math::UnitRandom();
                    const double g1 = Qmt::Math::GaussRandom(0.0, 1.0);
                    const double g2 = Qmt::Math::GaussRandom(0.0, 1.0);
                    QmtVector3 p = a + dir * t * length + e * g1 * spread + f * g2 * spread;
                    pushInside(hull, p, margin);
                    out[made++] = p;
                }
            }
        } else {
            // Fewer seeds than segments: uniform points pulled toward the path.
            for (; made < seeds; ++made) {
                const double r0 = Qmt::Math::SymmetricRandom();
                const double r1 = Qmt::Math::SymmetricRandom();
                const double r2 = Qmt::Math::SymmetricRandom();
                QmtVector3 p = boxPoint(box, r0, r1, r2);
                double best = 0.0;
                QmtVector3 nearest = p;
                for (std::uint32_t s = 0; s < segments; ++s) {
                    QmtVector3 offset;
                    const double distSq = pointSegmentDistanceSq(p, kept[s], kept[s + 1], offset);
                    if (s == 0 || distSq < best) {
                        best = distSq;
                        nearest = p + offset;
                    }
                }
                p = p + (nearest - p) * (1.0 - width);
                pushInside(hull, p, margin);
                out[made] = p;
            }
        }
    }
    sortAndSeparate(out, made, {1e-4, 0.0, 0.0}, true);
    produced = made;
    return true;
}

}  // namespace seedPatterns
