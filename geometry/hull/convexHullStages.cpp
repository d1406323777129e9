// The simplex, growth and compaction stages of the incremental hull, shared by both
// builders (merging lives in convexHullMerge.cpp).

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

#include "geometry/hull/convexHull.h"
#include "geometry/query/proximity.h"
#include "geometry/hull/radixSort.h"
#include "math/qmtMatrix3.h"

namespace {

using Qmt::QmtVector3;
using Face = ConvexHullContext::Face;

constexpr std::uint32_t NONE = ConvexHullContext::NONE;
constexpr double TOLERANCE = 1e-5;
constexpr double PARALLEL = 0.99999;
// Corner groups larger than this, searched by more visible faces than that, are
// searched through a window of normals.
constexpr std::size_t LARGE_GROUP = 32;
constexpr std::uint32_t MANY_SEARCHES = 4;
constexpr double NORMAL_WINDOW = 0.0045;
// Up to this many replaced faces, interior edges are found by scanning the faces.
constexpr std::size_t FEW_FACES = 16;

// A step that makes more faces than this flags them all as may-widen rather than
// comparing every pair of them (the rim of a cylinder's cap can make thousands).
constexpr std::size_t FAN_PAIRS_UP_TO = 16;
// Faces made before the build judges whether the may-widen flags are worth keeping
// (see ConvexHullContext::widenEverywhere): kept while at most a quarter are flagged.
constexpr std::uint32_t PAIRED_BEFORE_JUDGING = 512;

QmtVector3 unit(QmtVector3 v) {
    v.Unitize(Qmt::QmtMatrix3::EPSILON);
    return v;
}

std::uint32_t pushEdge(ConvexHullContext& context, std::uint32_t a, std::uint32_t b) {
    const std::uint32_t e = context.createEdge(a, b);
    context.pushFrontEdges({e});
    return e;
}

// Outward normal of a horizon triangle (a, b, p) too thin or too small for the
// tolerances. While its corners still span a plane to rounding precision, that plane
// is used, turned away from the interior; a triangle whose corners lie on one line
// takes the plane through that line nearest to the visible face it replaces.
QmtVector3 sliverNormal(const QmtVector3& a, const QmtVector3& b, const QmtVector3& p,
                        const QmtVector3& visibleNormal, const QmtVector3& toInterior) {
    const double longest = std::max({(b - a).SquaredLength(), (p - b).SquaredLength(), (a - p).SquaredLength()});
    QmtVector3 n = (b - a).Cross(p - b);
    if (n.SquaredLength() >= 1e-10 * longest * longest && n.Unitize(0.0) > 0.0) {
        return toInterior.Dot(n) > 0.0 ? -n : n;
    }
    QmtVector3 along = b - a;
    along.Unitize(0.0);
    n = visibleNormal - along * visibleNormal.Dot(along);
    return n.Unitize(0.0) > 0.0 ? n : visibleNormal;
}

// From this many entries on, the lists of a step are sorted by radix: the caps of a
// cylinder, whose faces every new point on the rim replaces, hold thousands.
constexpr std::size_t RADIX_FROM = 64;

// Sorts faces by creation number, oldest first. A long list sorts the numbers with the
// slots beside them, reading each face record once.
void sortBySeq(std::vector<std::uint32_t>& slots, ConvexHullContext& context) {
    if (slots.size() < RADIX_FROM) {
        std::sort(slots.begin(), slots.end(), [&context](std::uint32_t a, std::uint32_t b) {
            return context.face(a).seq < context.face(b).seq;
        });
        return;
    }
    std::vector<std::uint64_t>& keys = context.seqKeyScratch;
    keys.clear();
    for (const std::uint32_t s : slots) {
        keys.push_back(std::uint64_t{context.face(s).seq} << 32 | s);
    }
    radixSort(keys, context.seqSortScratch, 4, [](std::uint64_t k) { return k >> 32; });
    for (std::size_t i = 0; i < keys.size(); ++i) {
        slots[i] = static_cast<std::uint32_t>(keys[i]);
    }
}

// Sorts pairs listed in rising positions by key, then position: a stable sort by key.
void sortPairs(std::vector<ConvexHullContext::KeyedPosition>& pairs, ConvexHullContext& context) {
    if (pairs.size() < RADIX_FROM) {
        std::sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) {
            return a.key < b.key || (a.key == b.key && a.position < b.position);
        });
        return;
    }
    // A key holds two vertex numbers, each below the vertex capacity: the bytes above
    // it are left out.
    const unsigned shift = 8 * ((std::bit_width(std::max(context.vertexCapacity(), 2u) - 1) + 7) / 8);
    radixSort(pairs, context.pairSortScratch, shift / 4, [shift](const ConvexHullContext::KeyedPosition& p) {
        return (p.key >> 32) << shift | (p.key & 0xFFFFFFFFu);
    });
}

// ---- Near-parallel flags ----

// Flags both faces of every near-parallel pair among `faces`, which share a corner.
void flagNearParallel(const std::uint32_t* faces, std::size_t count, ConvexHullContext& context) {
    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t j = i + 1; j < count; ++j) {
            if (context.face(faces[i]).normal.Dot(context.face(faces[j]).normal) > PARALLEL) {
                context.setMayWiden(faces[i]);
                context.setMayWiden(faces[j]);
            }
        }
    }
}

// Flags the near-parallel pairs a step made (see ConvexHullContext::mayWiden): the new
// faces among themselves (all share the new vertex, which no older face has), and at
// each vertex of the rim (the far ends of `rimEdges`, the step's new edges) the new
// faces there against the older ones. A step's faces are linked last, so they head
// every chain they are in.
void flagStepNearParallel(const std::vector<std::uint32_t>& rimEdges, std::uint32_t apex,
                          ConvexHullContext& context) {
    const std::vector<std::uint32_t>& made = context.createdFaces;
    if (made.empty() || context.widenEverywhere) {
        return;
    }
    if (made.size() > FAN_PAIRS_UP_TO) {
        for (const std::uint32_t s : made) {
            context.setMayWiden(s);
        }
    } else {
        flagNearParallel(made.data(), made.size(), context);
    }
    const std::uint32_t firstSeq = context.face(made.front()).seq;
    // The new faces at a rim vertex: two where the rim passes it once. A vertex with
    // more than there is room for has every face at it flagged, this step only.
    constexpr std::size_t FRESH_ROOM = 8;
    std::uint32_t fresh[FRESH_ROOM];
    QmtVector3 freshNormal[FRESH_ROOM];
    for (const std::uint32_t e : rimEdges) {
        const ConvexHullContext::Edge& edge = context.edge(e);
        const std::uint32_t vertex = edge.a == apex ? edge.b : edge.a;
        std::uint32_t link = context.firstIncidence(vertex);
        if (context.vertexCrowded[vertex] != 0) {
            // Every older face here is flagged already.
            for (; link != NONE && context.face(ConvexHullContext::faceOfLink(link)).seq >= firstSeq;
                 link = context.nextIncidence(link)) {
                context.setMayWiden(ConvexHullContext::faceOfLink(link));
            }
            continue;
        }
        // A vertex with many faces (the centre of a flat cap's fan, whose faces are all
        // near-parallel) has them all flagged once, rather than paired at every step.
        std::size_t count = 0;
        bool crowded = context.incidenceCount(vertex) > LARGE_GROUP;
        context.vertexCrowded[vertex] = crowded;
        for (; link != NONE; link = context.nextIncidence(link)) {
            const std::uint32_t s = ConvexHullContext::faceOfLink(link);
            const Face& f = context.face(s);
            if (f.seq >= firstSeq && !crowded) {
                if (count < FRESH_ROOM) {
                    fresh[count] = s;
                    freshNormal[count++] = f.normal;
                    continue;
                }
                crowded = true;
                for (std::size_t i = 0; i < count; ++i) {
                    context.setMayWiden(fresh[i]);
                }
            }
            if (crowded) {
                context.setMayWiden(s);
                continue;
            }
            for (std::size_t i = 0; i < count; ++i) {
                if (f.normal.Dot(freshNormal[i]) > PARALLEL) {
                    context.setMayWiden(s);
                    context.setMayWiden(fresh[i]);
                }
            }
        }
    }
    context.facesPaired += static_cast<std::uint32_t>(made.size());
    for (const std::uint32_t s : made) {
        context.facesFlagged += context.mayWiden(s);
    }
    if (context.facesPaired >= PAIRED_BEFORE_JUDGING && context.facesFlagged > context.facesPaired / 4) {
        context.widenEverywhere = true;
    }
}

// ---- Simplex ----

template <class Mesh>
bool simplexImpl(const QmtVector3* points, std::uint32_t n, Mesh& mesh, std::uint32_t simplex[4],
                 ConvexHullContext& context) {
    simplex[0] = simplex[1] = simplex[2] = simplex[3] = NONE;
    if (n < 3 || !points || !mesh.vertices) {
        return false;
    }
    context.reset(n);
    mesh.numVertices = 0;

    std::uint32_t p = 0;
    std::uint32_t q = 1;
    std::uint32_t r = 2;
    if (n > 3) {
        double best = points[0].Dot(QmtVector3::UNIT_X);
        for (std::uint32_t i = 1; i < n; ++i) {
            const double x = points[i].Dot(QmtVector3::UNIT_X);
            if (x > best) {
                best = x;
                p = i;
            }
        }
        const QmtVector3& P = points[p];
        q = 0;
        best = (points[0] - P).SquaredLength();
        for (std::uint32_t i = 1; i < n; ++i) {
            const double d = (points[i] - P).SquaredLength();
            if (d > best) {
                best = d;
                q = i;
            }
        }
        const QmtVector3 pq = points[q] - P;
        r = NONE;
        best = 0.0;
        for (std::uint32_t i = 0; i < n; ++i) {
            const QmtVector3 pi = points[i] - P;
            if (pi.SquaredLength() < TOLERANCE) {
                continue;
            }
            const double area = pi.Cross(pq).SquaredLength();
            if (area > best) {
                best = area;
                r = i;
            }
        }
        if (r == NONE) {
            return false;  // every point lies near P or on the line PQ
        }
    }

    QmtVector3* v = mesh.vertices;
    v[0] = points[p];
    v[1] = points[q];
    v[2] = points[r];
    mesh.numVertices = 3;
    QmtVector3 normal = (v[1] - v[0]).Cross(v[2] - v[1]);
    const bool tooShort = normal.Unitize(Qmt::QmtMatrix3::EPSILON) == 0.0;
    if (n == 3) {
        // A lone triangle keeps whatever normal Unitize leaves, unnormalised when it is
        // small; only exactly collinear corners have no plane at all.
        if (normal.x == 0.0 && normal.y == 0.0 && normal.z == 0.0) {
            return false;
        }
    } else if (tooShort) {
        // The tetrahedron needs a unit base normal to measure the fourth point by.
        return false;
    }
    const std::uint32_t base = context.createFace(0, 1, 2, normal);
    const std::uint32_t e01 = pushEdge(context, 0, 1);
    const std::uint32_t e12 = pushEdge(context, 1, 2);
    const std::uint32_t e20 = pushEdge(context, 2, 0);
    context.setFaceEdges(base, e01, e12, e20, NONE);
    simplex[0] = p;
    simplex[1] = q;
    simplex[2] = r;
    if (n == 3) {
        return true;
    }

    // The fourth point is searched among the others only, and must lie clearly off the
    // base plane: otherwise the tetrahedron would be flat or repeat a corner.
    std::uint32_t s = NONE;
    double bestAbs = TOLERANCE;
    double bestSigned = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (i == p || i == q || i == r) {
            continue;
        }
        const double d = (points[i] - v[0]).Dot(normal);
        if (std::fabs(d) > bestAbs) {
            bestAbs = std::fabs(d);
            bestSigned = d;
            s = i;
        }
    }
    if (s == NONE) {
        return false;
    }
    if (bestSigned > TOLERANCE) {
        context.face(base).normal = -normal;
    }
    v[3] = points[s];
    mesh.numVertices = 4;
    const std::uint32_t sides[3][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}};
    std::uint32_t sideFaces[3];
    for (const auto& side : sides) {
        const QmtVector3& a = v[side[0]];
        const QmtVector3& b = v[side[1]];
        QmtVector3 nf = unit((b - a).Cross(v[3] - b));
        if ((v[side[2]] - v[3]).Dot(nf) > TOLERANCE) {
            nf = -nf;
        }
        sideFaces[side[0]] = context.createFace(side[0], side[1], 3, nf);
    }
    const std::uint32_t e13 = pushEdge(context, 1, 3);
    const std::uint32_t e30 = pushEdge(context, 3, 0);
    const std::uint32_t e32 = pushEdge(context, 3, 2);
    context.setFaceEdges(sideFaces[0], e01, e13, e30, NONE);  // (0, 1, 3)
    context.setFaceEdges(sideFaces[1], e12, e32, e13, NONE);  // (1, 2, 3)
    context.setFaceEdges(sideFaces[2], e20, e30, e32, NONE);  // (2, 0, 3)
    // Any two faces of a tetrahedron share an edge.
    const std::uint32_t all[4] = {base, sideFaces[0], sideFaces[1], sideFaces[2]};
    flagNearParallel(all, 4, context);
    simplex[3] = s;
    return true;
}

// ---- Adding a point ----

void collectWidenedByGroups(const std::vector<std::uint32_t>& visible, std::uint32_t stamp,
                            ConvexHullContext& context);

// Fills context.orderScratch with the visible list, front first, and marks its faces
// with `stamp`. False when the point sees no face.
bool collectVisible(const QmtVector3* v, const QmtVector3& point, std::uint32_t stamp,
                    bool hinted, ConvexHullContext& context) {
    const auto sees = [&](const Face& f) {
        QmtVector3 d = point - v[f.corners[0]];
        // A point on the outer side sees the face whatever the normalisation rounds
        // to (a few ulps, far inside the tolerance): no square root for it.
        const double height = d.Dot(f.normal);
        if (height >= 0.0) {
            return height > 0.0 || !context.lastBuild;
        }
        if (context.strictSight) {
            return false;
        }
        d.Unitize(Qmt::QmtMatrix3::EPSILON);
        return d.Dot(f.normal) > -TOLERANCE;
    };
    std::vector<std::uint32_t>& visible = context.visibleScratch;
    visible.clear();
    if (hinted) {
        const std::vector<std::uint32_t>& hint = context.visibleHint;
        for (std::size_t i = 0; i < hint.size(); ++i) {
            // The faces lie scattered: their records load a few faces ahead.
            if (i + 4 < hint.size()) {
                __builtin_prefetch(&context.face(hint[i + 4]));
            }
            const std::uint32_t s = hint[i];
            const Face& f = context.face(s);
            if (f.count != 0 && f.mark != stamp && sees(f)) {
                context.face(s).mark = stamp;
                visible.push_back(s);
            }
        }
    } else {
        for (std::uint32_t s = context.frontFace(); s != NONE; s = context.face(s).next) {
            if (sees(context.face(s))) {
                context.face(s).mark = stamp;
                visible.push_back(s);
            }
        }
    }
    if (visible.empty()) {
        return false;
    }
    // Each face scanned moves to the front of the visible list: oldest first.
    sortBySeq(visible, context);
    std::vector<std::uint32_t>& order = context.orderScratch;
    // The careful build replaces the faces the point sees whatever the widening would
    // add, and faces without the may-widen flag widen to nothing: either way the search
    // for near-parallel neighbours is skipped.
    if (context.robust ||
        std::none_of(visible.begin(), visible.end(), [&context](std::uint32_t s) { return context.mayWiden(s); })) {
        order.assign(visible.begin(), visible.end());
        return true;
    }

    // Near-parallel faces sharing a corner with a visible face join as well, each
    // face's group in front of the groups before it.
    std::vector<std::uint32_t>& widened = context.widenedScratch;
    std::vector<std::uint32_t>& blocks = context.blockScratch;
    widened.clear();
    blocks.clear();
    // Where every corner has few faces around it (the usual case) each visible face
    // walks its corners' chains itself: no group reaches the windowed search, so the
    // faces tested, their order and the marks are those of the gathered search below.
    bool small = true;
    for (const std::uint32_t s : visible) {
        for (const std::uint32_t vertex : context.face(s).corners) {
            small = small && context.incidenceCount(vertex) <= LARGE_GROUP;
        }
    }
    if (small) {
        for (const std::uint32_t s : visible) {
            const Face& visibleFace = context.face(s);
            const QmtVector3 nv = visibleFace.normal;
            const auto start = static_cast<std::uint32_t>(widened.size());
            if (!context.mayWiden(s)) {
                blocks.push_back(start);
                continue;
            }
            // The three chains are walked side by side, so that their loads overlap;
            // the block is sorted below, so the order of finding does not matter.
            std::uint32_t links[3] = {context.firstIncidence(visibleFace.corners[0]),
                                      context.firstIncidence(visibleFace.corners[1]),
                                      context.firstIncidence(visibleFace.corners[2])};
            while ((links[0] & links[1] & links[2]) != NONE) {
                for (std::uint32_t& link : links) {
                    if (link == NONE) {
                        continue;
                    }
                    const std::uint32_t s = ConvexHullContext::faceOfLink(link);
                    Face& f = context.face(s);
                    // Both tests are made: the first alone would be a branch that often
                    // goes either way (the visible faces are marked), the pair is one
                    // that is seldom taken.
                    if ((f.mark != stamp) & (f.normal.Dot(nv) > PARALLEL)) {
                        f.mark = stamp;
                        widened.push_back(s);
                    }
                    link = f.incidenceNext[ConvexHullContext::cornerOfLink(link)];
                }
            }
            if (widened.size() > start + 1) {
                std::sort(widened.begin() + start, widened.end(), [&context](std::uint32_t a, std::uint32_t b) {
                    return context.face(a).seq < context.face(b).seq;
                });
            }
            blocks.push_back(start);
        }
    } else {
        collectWidenedByGroups(visible, stamp, context);
    }
    if (widened.empty()) {
        order.assign(visible.begin(), visible.end());
        return true;
    }
    order.clear();
    for (std::size_t i = blocks.size(); i-- > 0;) {
        const std::uint32_t end = i + 1 < blocks.size() ? blocks[i + 1] : static_cast<std::uint32_t>(widened.size());
        order.insert(order.end(), widened.begin() + blocks[i], widened.begin() + end);
    }
    order.insert(order.end(), visible.begin(), visible.end());
    return true;
}

// The widening of collectVisible where some corner has many faces around it: fills
// context.widenedScratch and context.blockScratch (each visible face's block start).
// The faces around each corner that are not visible are gathered once, so a corner
// shared by many visible faces is not walked again for each of them. A group's range
// in `around` has room for its corner's whole chain.
void collectWidenedByGroups(const std::vector<std::uint32_t>& visible, std::uint32_t stamp,
                            ConvexHullContext& context) {
    std::vector<std::uint32_t>& around = context.neighbourScratch;
    std::vector<std::uint32_t>& groups = context.groupScratch;  // begin, end, visible faces
    std::vector<std::uint32_t>& walks = context.walkScratch;    // group, link
    groups.clear();
    walks.clear();
    std::uint32_t room = 0;
    for (const std::uint32_t s : visible) {
        for (const std::uint32_t vertex : context.face(s).corners) {
            if (context.vertexMark[vertex] == stamp) {
                ++groups[context.vertexGroup[vertex] + 2];
                continue;
            }
            context.vertexMark[vertex] = stamp;
            context.vertexGroup[vertex] = static_cast<std::uint32_t>(groups.size());
            walks.push_back(static_cast<std::uint32_t>(groups.size()));
            walks.push_back(context.firstIncidence(vertex));
            groups.push_back(room);
            groups.push_back(room);
            groups.push_back(1);
            room += context.incidenceCount(vertex);
        }
    }
    around.resize(room);
    // The chains are walked side by side, one link of each per round, so that the
    // loads of different chains overlap; each chain keeps its own order.
    while (!walks.empty()) {
        std::size_t live = 0;
        for (std::size_t w = 0; w < walks.size(); w += 2) {
            const std::uint32_t group = walks[w];
            const std::uint32_t link = walks[w + 1];
            if (link == NONE) {
                continue;
            }
            const std::uint32_t s = ConvexHullContext::faceOfLink(link);
            const Face& f = context.face(s);
            if (f.mark != stamp) {
                around[groups[group + 1]++] = s;
            }
            walks[live] = group;
            walks[live + 1] = f.incidenceNext[ConvexHullContext::cornerOfLink(link)];
            live += 2;
        }
        walks.resize(live);
    }
    // A group searched by many visible faces is sorted by normal x, so that each of
    // them looks only at the window of normals that can be near-parallel to its own.
    for (std::size_t g = 0; g < groups.size(); g += 3) {
        if (groups[g + 1] - groups[g] > LARGE_GROUP && groups[g + 2] > MANY_SEARCHES) {
            std::sort(around.begin() + groups[g], around.begin() + groups[g + 1],
                      [&context](std::uint32_t a, std::uint32_t b) {
                          return context.face(a).normal.x < context.face(b).normal.x;
                      });
        } else {
            groups[g + 2] = 0;  // searched linearly
        }
    }
    std::vector<std::uint32_t>& widened = context.widenedScratch;
    std::vector<std::uint32_t>& blocks = context.blockScratch;
    for (const std::uint32_t s : visible) {
        const Face& visibleFace = context.face(s);
        const QmtVector3 nv = visibleFace.normal;
        const auto start = static_cast<std::uint32_t>(widened.size());
        for (const std::uint32_t vertex : visibleFace.corners) {
            const std::uint32_t group = context.vertexGroup[vertex];
            std::uint32_t first = groups[group];
            std::uint32_t last = groups[group + 1];
            if (groups[group + 2] != 0) {
                // Unit normals with a dot product above 0.99999 differ by less than
                // sqrt(2e-5) < 0.0045 in every component; shorter normals (failed
                // normalisation, length <= 1e-6) are parallel to nothing.
                const auto byX = [&context](std::uint32_t f, double x) { return context.face(f).normal.x < x; };
                first = static_cast<std::uint32_t>(
                    std::lower_bound(around.begin() + first, around.begin() + last, nv.x - NORMAL_WINDOW, byX) -
                    around.begin());
                last = static_cast<std::uint32_t>(
                    std::lower_bound(around.begin() + first, around.begin() + last, nv.x + NORMAL_WINDOW, byX) -
                    around.begin());
            }
            for (std::uint32_t k = first; k < last; ++k) {
                Face& f = context.face(around[k]);
                if (f.mark != stamp && f.normal.Dot(nv) > PARALLEL) {
                    f.mark = stamp;
                    widened.push_back(around[k]);
                }
            }
        }
        std::sort(widened.begin() + start, widened.end(), [&context](std::uint32_t a, std::uint32_t b) {
            return context.face(a).seq < context.face(b).seq;
        });
        blocks.push_back(start);
    }
}

std::uint64_t keyOf(std::uint64_t key) { return key; }
std::uint64_t keyOf(const ConvexHullContext::KeyedPosition& pair) { return pair.key; }

// Whether the horizon edges, given by addEdges(link) to link(a, b) one by one, form
// one closed loop that passes each of its corners once: every corner has two loop
// neighbours, and a walk from one corner comes back after all the edges. The order of
// the edges does not matter; addEdges stops as soon as link returns false.
template <class AddEdges>
bool isOneLoop(ConvexHullContext& context, AddEdges&& addEdges) {
    const std::uint32_t tag = context.nextLoopTag();
    std::uint32_t* seen = context.loopTag.data();
    std::uint32_t* neighbours = context.loopNeighbours.data();  // two per vertex
    std::size_t edges = 0;
    std::uint32_t start = NONE;
    const auto linkOne = [&](std::uint32_t x, std::uint32_t y) {
        if (seen[x] != tag) {
            seen[x] = tag;
            neighbours[2 * std::size_t{x}] = y;
            neighbours[2 * std::size_t{x} + 1] = NONE;
            return true;
        }
        if (neighbours[2 * std::size_t{x} + 1] != NONE) {
            return false;  // a third edge at x
        }
        neighbours[2 * std::size_t{x} + 1] = y;
        return true;
    };
    const auto link = [&](std::uint32_t a, std::uint32_t b) {
        if (a == b || !linkOne(a, b) || !linkOne(b, a)) {
            return false;
        }
        start = a;
        ++edges;
        return true;
    };
    if (!addEdges(link) || edges == 0) {
        return false;
    }
    // The edges are distinct, so two neighbours are two different corners; a corner
    // with one only ends the walk early.
    std::uint32_t previous = start;
    std::uint32_t current = neighbours[2 * std::size_t{start}];
    std::size_t steps = 1;
    while (current != start) {
        const std::uint32_t* around = neighbours + 2 * std::size_t{current};
        if (around[1] == NONE) {
            return false;
        }
        const std::uint32_t next = around[0] != previous ? around[0] : around[1];
        previous = current;
        current = next;
        if (++steps > edges) {
            return false;
        }
    }
    if (neighbours[2 * std::size_t{start} + 1] == NONE) {
        return false;
    }
    return steps == edges;
}

// The test for the edges held by exactly one of the listed faces, from their side
// keys, sorted.
template <class Item>
bool horizonIsOneLoop(const Item* pairs, std::size_t count, ConvexHullContext& context) {
    return isOneLoop(context, [&](const auto& link) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t key = keyOf(pairs[i]);
            if ((i > 0 && keyOf(pairs[i - 1]) == key) || (i + 1 < count && keyOf(pairs[i + 1]) == key)) {
                continue;
            }
            if (!link(static_cast<std::uint32_t>(key >> 32), static_cast<std::uint32_t>(key))) {
                return false;
            }
        }
        return true;
    });
}

// Up to FEW_FACES listed faces are told apart by bits: each of their corners holds
// the positions in `faces` of the listed faces at it (context.vertexFaces, all zero
// between uses, so each marking is cleared again).
static_assert(FEW_FACES <= 32);
void markFaceBits(const std::vector<std::uint32_t>& faces, ConvexHullContext& context) {
    for (std::uint32_t i = 0; i < faces.size(); ++i) {
        for (const std::uint32_t c : context.face(faces[i]).corners) {
            context.vertexFaces[c] |= 1u << i;
        }
    }
}
void clearFaceBits(std::uint32_t face, ConvexHullContext& context) {
    for (const std::uint32_t c : context.face(face).corners) {
        context.vertexFaces[c] = 0;
    }
}

// The same test for up to FEW_FACES faces of distinct corners, without sorting keys
// (whose comparisons go either way as often as not): as any two corners of a triangle
// are one of its sides, a side is held by the faces whose bits both its ends hold.
bool fewFacesHorizonIsOneLoop(const std::vector<std::uint32_t>& order, ConvexHullContext& context) {
    markFaceBits(order, context);
    const std::uint32_t* bits = context.vertexFaces.data();
    const bool one = isOneLoop(context, [&](const auto& link) {
        for (std::uint32_t i = 0; i < order.size(); ++i) {
            const std::uint32_t* c = context.face(order[i]).corners;
            for (const auto& [a, b] : {std::pair{c[0], c[1]}, std::pair{c[1], c[2]}, std::pair{c[2], c[0]}}) {
                if ((bits[a] & bits[b]) == 1u << i && !link(a, b)) {
                    return false;
                }
            }
        }
        return true;
    });
    for (const std::uint32_t s : order) {
        clearFaceBits(s, context);
    }
    return one;
}

// Narrows context.orderScratch (with context.pairScratch listing its edges) to the
// faces the point lies above that connect across edges to the face it lies highest
// above, keeping their order; that face is left first when the narrowed set fails.
void keepSeenDisk(const QmtVector3* v, const QmtVector3& point, ConvexHullContext& context) {
    std::vector<std::uint32_t>& order = context.orderScratch;
    const auto height = [&](std::uint32_t slot) {
        const Face& f = context.face(slot);
        return (point - v[f.corners[0]]).Dot(f.normal);
    };
    std::uint32_t best = 0;
    for (std::uint32_t i = 1; i < order.size(); ++i) {
        if (height(order[i]) > height(order[best])) {
            best = i;
        }
    }
    // Flood across shared edges (pairs of equal keys) through faces above the point.
    const std::vector<ConvexHullContext::KeyedPosition>& pairs = context.pairScratch;
    std::vector<std::uint8_t> reached(order.size(), 0);
    std::vector<std::uint32_t> stack{best};
    reached[best] = 1;
    while (!stack.empty()) {
        const std::uint32_t at = stack.back();
        stack.pop_back();
        for (std::size_t i = 0; i + 1 < pairs.size(); ++i) {
            if (pairs[i].key != pairs[i + 1].key) {
                continue;
            }
            const std::uint32_t a = pairs[i].position;
            const std::uint32_t b = pairs[i + 1].position;
            const std::uint32_t other = a == at ? b : b == at ? a : at;
            if (other != at && !reached[other] && height(order[other]) > 0.0) {
                reached[other] = 1;
                stack.push_back(other);
            }
        }
    }
    std::vector<std::uint32_t> kept{order[best]};
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        if (reached[i] && i != best) {
            kept.push_back(order[i]);
        }
    }
    // The highest face first, so that a failed narrowing can fall back to it alone;
    // the others follow in their order.
    order.swap(kept);
}

template <class Mesh>
bool addImpl(Mesh& mesh, const QmtVector3& point, const QmtVector3& interior,
             ConvexHullContext& context) {
    context.createdFaces.clear();
    context.createdFrom.clear();
    context.destroyedFaces.clear();
    const bool hinted = context.hintActive;
    context.hintActive = false;
    if (!mesh.vertices || mesh.numVertices >= context.vertexCapacity()) {
        return false;
    }
    QmtVector3* v = mesh.vertices;
    const std::uint32_t ip = mesh.numVertices;
    const QmtVector3 previous = v[ip];
    v[ip] = point;
    ++mesh.numVertices;
    context.holdVertices(mesh.numVertices);

    const std::uint32_t stamp = context.nextStamp();
    if (!collectVisible(v, point, stamp, hinted, context)) {
        return false;  // the appended vertex stays unused
    }
    const std::vector<std::uint32_t>& order = context.orderScratch;

    // Which faces hold each pair of their first three corners, to tell interior edges
    // (shared with a later visible face) from horizon edges.
    std::vector<ConvexHullContext::KeyedPosition>& pairs = context.pairScratch;
    const auto listPairs = [&] {
        pairs.clear();
        for (std::uint32_t i = 0; i < order.size(); ++i) {
            const std::uint32_t* c = context.face(order[i]).corners;
            pairs.push_back({ConvexHullContext::pairKey(c[0], c[1]), i});
            pairs.push_back({ConvexHullContext::pairKey(c[1], c[2]), i});
            pairs.push_back({ConvexHullContext::pairKey(c[0], c[2]), i});
        }
        sortPairs(pairs, context);
    };
    // Up to FEW_FACES replaced faces (the usual step) need no pairs list: the horizon
    // test sorts their side keys on the stack, and bits at their corners tell interior
    // edges. `listed` says whether the pairs list holds the current faces.
    bool listed = false;
    const auto oneLoop = [&] {
        if (order.size() <= FEW_FACES) {
            const auto distinct = [&context](std::uint32_t s) {
                const std::uint32_t* c = context.face(s).corners;
                return c[0] != c[1] && c[1] != c[2] && c[0] != c[2];
            };
            if (std::all_of(order.begin(), order.end(), distinct)) {
                // One triangle is a loop, and two are one exactly when they share a side
                // (two corners).
                if (order.size() <= 2) {
                    const std::uint32_t* a = context.face(order[0]).corners;
                    const std::uint32_t* b = context.face(order.back()).corners;
                    std::uint32_t shared = 0;
                    for (const std::uint32_t c : {b[0], b[1], b[2]}) {
                        shared += c == a[0] || c == a[1] || c == a[2];
                    }
                    return order.size() == 1 || shared == 2;
                }
                return fewFacesHorizonIsOneLoop(order, context);
            }
            std::uint64_t keys[3 * FEW_FACES];
            std::size_t count = 0;
            for (const std::uint32_t s : order) {
                const std::uint32_t* c = context.face(s).corners;
                keys[count++] = ConvexHullContext::pairKey(c[0], c[1]);
                keys[count++] = ConvexHullContext::pairKey(c[1], c[2]);
                keys[count++] = ConvexHullContext::pairKey(c[0], c[2]);
            }
            std::sort(keys, keys + count);
            return horizonIsOneLoop(keys, count, context);
        }
        if (!listed) {
            listPairs();
            listed = true;
        }
        return horizonIsOneLoop(pairs.data(), pairs.size(), context);
    };
    // Near-parallel faces that touch the visible ones at a corner only, or enclose a
    // face that stays, would give a horizon of more than one loop and a fan that
    // passes a corner twice: the surface would open there. Such a step replaces the
    // faces the point sees, without the widening (the careful build never widens).
    if (order.size() > context.visibleScratch.size() && !oneLoop()) {
        context.orderScratch.assign(context.visibleScratch.begin(), context.visibleScratch.end());
        listed = false;
    }
    // The faces seen within the tolerance may still touch at a corner only. The
    // rebuild then replaces the faces the point lies truly above that connect across
    // edges to the one it lies highest above, or that face alone.
    if (context.robust && !oneLoop()) {
        if (!listed) {
            listPairs();
        }
        keepSeenDisk(v, point, context);
        listed = false;
        if (!oneLoop()) {
            const std::uint32_t highest = context.orderScratch.front();
            context.orderScratch.assign(1, highest);
            listed = false;
        }
    }
    // Where the careful rules would replace other faces, a builder that asked for it
    // gets the state before this step (see ConvexHullContext::pauseAtParting).
    if (context.pauseAtParting && !context.robust &&
        (order.size() > context.visibleScratch.size() || !oneLoop())) {
        v[ip] = previous;
        --mesh.numVertices;
        context.pausedAtParting = true;
        return false;
    }
    // Up to FEW_FACES replaced faces are told by bits (cleared again below).
    const bool byBits = order.size() <= FEW_FACES;
    if (byBits) {
        markFaceBits(order, context);
    } else if (!listed) {
        listPairs();
    }
    const auto sharedLater = [&](std::uint32_t position, std::uint32_t a, std::uint32_t b) {
        if (byBits) {
            // Two distinct corners of a triangle are always one of its sides (a repeated
            // corner repeats its pairs), so holding both is holding the side; a == b
            // asks for a later face at a.
            return (context.vertexFaces[a] & context.vertexFaces[b]) >> position >> 1 != 0;
        }
        if (a == b) {
            for (std::size_t i = position + 1; i < order.size(); ++i) {
                const std::uint32_t* c = context.face(order[i]).corners;
                if (c[0] == a || c[1] == a || c[2] == a) {
                    return true;
                }
            }
            return false;
        }
        const std::uint64_t key = ConvexHullContext::pairKey(a, b);
        auto it = std::upper_bound(pairs.begin(), pairs.end(), key,
                                   [](std::uint64_t k, const auto& e) { return k < e.key; });
        return it != pairs.begin() && (it - 1)->key == key && (it - 1)->position > position;
    };

    // The edge records of the replaced faces lie scattered: start loading them all
    // before the first is needed.
    for (const std::uint32_t s : order) {
        context.prefetchFaceEdges(s);
    }
    const QmtVector3 toInterior = unit(interior - point);
    // Cross products no longer than this stay as they are (see ConvexHullContext::lastBuild).
    const double shortestNormal = context.lastBuild ? 0.0 : Qmt::QmtMatrix3::EPSILON;
    std::vector<std::uint32_t>& newEdges = context.newEdgeScratch;
    std::vector<std::uint32_t>& removedEdges = context.removedEdgeScratch;
    newEdges.clear();
    removedEdges.clear();
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        const std::uint32_t* fc = context.face(order[i]).corners;
        const std::uint32_t c[3] = {fc[0], fc[1], fc[2]};  // faces may move as new ones are made
        const QmtVector3 visibleNormal = context.face(order[i]).normal;
        for (std::uint32_t k = 0; k < 3; ++k) {
            const std::uint32_t a = c[k];
            const std::uint32_t b = c[k == 2 ? 0 : k + 1];
            const std::uint32_t record = context.sideEdge(order[i], k, a, b);
            if (record != NONE && context.edge(record).mark == stamp) {
                continue;  // already taken out as interior
            }
            if (sharedLater(i, a, b)) {
                if (record != NONE) {
                    context.edge(record).mark = stamp;
                    removedEdges.push_back(record);
                }
                continue;
            }
            const QmtVector3 ab = v[b] - v[a];
            const QmtVector3 bp = point - v[b];
            const QmtVector3 cross = ab.Cross(bp);
            const bool sliver = !clearlyNotDegenerate(v[a], v[b], point, ab, bp, cross) &&
                                isDegenerateTriangle(v[a], v[b], point, true, TOLERANCE);
            QmtVector3 normal = sliver ? sliverNormal(v[a], v[b], point, visibleNormal, toInterior) : cross;
            if (!sliver) {
                normal.Unitize(shortestNormal);
            }
            if (!sliver && !(toInterior.Dot(normal) < -TOLERANCE)) {
                normal = -normal;
            }
            if (context.vertexStamp[a] != stamp) {
                context.vertexStamp[a] = stamp;
                context.vertexEdge[a] = context.createEdge(a, ip);
                newEdges.push_back(context.vertexEdge[a]);
            }
            if (context.vertexStamp[b] != stamp) {
                context.vertexStamp[b] = stamp;
                context.vertexEdge[b] = context.createEdge(ip, b);
                newEdges.push_back(context.vertexEdge[b]);
            }
            // Every horizon edge gets its face, slivers included: a missing one would
            // leave a hole in the surface.
            const std::uint32_t made = context.createFace(a, b, ip, normal);
            context.setFaceEdges(made, record, context.vertexEdge[b], context.vertexEdge[a], order[i]);
            context.createdFaces.push_back(made);
            context.createdFrom.push_back(order[i]);
        }
    }

    context.pushFrontEdges(newEdges);
    for (const std::uint32_t s : order) {
        if (byBits) {
            clearFaceBits(s, context);
        }
        context.destroyFace(s);
        context.destroyedFaces.push_back(s);
    }
    for (const std::uint32_t e : removedEdges) {
        context.destroyEdge(e);
    }
    if (!context.robust) {
        flagStepNearParallel(newEdges, ip, context);
    }
    return true;
}

// ---- Compaction ----

template <class Mesh>
void compactImpl(Mesh& mesh, ConvexHullContext& context) {
    const std::uint32_t count = std::min(mesh.numVertices, context.vertexCapacity());
    if (!mesh.vertices || count == 0) {
        return;
    }
    std::vector<std::uint32_t> remap(count, NONE);
    context.forEachFaceBySlot([&](std::uint32_t, const std::uint32_t* c, std::uint32_t k) {
        for (std::uint32_t i = 0; i < k; ++i) {
            if (c[i] < count) {
                remap[c[i]] = 0;
            }
        }
    });
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (remap[i] != NONE) {
            mesh.vertices[kept] = mesh.vertices[i];
            remap[i] = kept++;
        }
    }
    // With every vertex in use the numbers stay as they are: nothing to renumber.
    if (kept != count) {
        context.remapCorners(remap.data());
    }
    mesh.numVertices = kept;
}

}  // namespace

bool buildHullSimplex(const QmtVector3* points, std::uint32_t n, ZYLmesh& mesh,
                      std::uint32_t simplex[4], ConvexHullContext& context) {
    return simplexImpl(points, n, mesh, simplex, context);
}
bool buildHullSimplex(const QmtVector3* points, std::uint32_t n, ZYL_DFmesh& mesh,
                      std::uint32_t simplex[4], ConvexHullContext& context) {
    return simplexImpl(points, n, mesh, simplex, context);
}

bool addPointToHull(ZYLmesh& mesh, const QmtVector3& point, const QmtVector3& interior,
                    ConvexHullContext& context) {
    return addImpl(mesh, point, interior, context);
}
bool addPointToHull(ZYL_DFmesh& mesh, const QmtVector3& point, const QmtVector3& interior,
                    ConvexHullContext& context) {
    return addImpl(mesh, point, interior, context);
}

void removeUnusedHullVertices(ZYLmesh& mesh, ConvexHullContext& context) { compactImpl(mesh, context); }
void removeUnusedHullVertices(ZYL_DFmesh& mesh, ConvexHullContext& context) { compactImpl(mesh, context); }
