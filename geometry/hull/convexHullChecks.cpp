// Checks of a finished hull build, before it is written.

#include "geometry/hull/convexHullChecks.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>

#include "geometry/hull/besideThread.h"
#include "geometry/hull/hullPointTree.h"
#include "geometry/mesh/meshRecords.h"
#include "geometry/hull/radixSort.h"
#include "math/qmtMatrix3.h"

using Qmt::QmtVector3;

namespace {

constexpr std::uint32_t NONE = ConvexHullContext::NONE;
constexpr double TOLERANCE = 1e-5;
constexpr std::uint32_t MAX_CORNERS = ZYLFACE_MAX_CORNERS;

// Corners written for one working face: k corners, or a fan of k - 2 triangles for
// k > 32; the order is reversed unless it already turns counter-clockwise about the
// face's normal.
struct OutputFace {
    const std::uint32_t* corners;
    std::uint32_t count;
    bool keep;
};

OutputFace orientFace(const ConvexHullContext& context, std::uint32_t slot, const QmtVector3* v) {
    const ConvexHullContext::Face& face = context.face(slot);
    const std::uint32_t* c = context.corners(slot);
    const std::uint32_t k = face.count;
    // The polygon's area vector settles the turn whenever it points clearly to one
    // side of the face: the longest corner alone can be a reflex one, or a rounding
    // artefact, on a face that merging left slightly bent.
    QmtVector3 area;
    for (std::uint32_t i = 1; i + 1 < k; ++i) {
        area += (v[c[i]] - v[c[0]]).Cross(v[c[i + 1]] - v[c[0]]);
    }
    const double side = area.Dot(face.normal);
    const double margin = TOLERANCE * area.Length();
    if (side > margin || side < -margin) {
        return {c, k, side > margin};
    }
    // Else the turn at the longest corner decides.
    QmtVector3 g;
    double longest = 0.0;
    for (std::uint32_t i = 0; i + 2 < k; ++i) {
        const QmtVector3 w = (v[c[i + 2]] - v[c[i + 1]]).Cross(v[c[i + 1]] - v[c[i]]);
        const double length = w.SquaredLength();
        if (length > longest) {
            longest = length;
            g = w;
        }
    }
    const bool plain = g.Unitize(Qmt::QmtMatrix3::EPSILON) == 0.0
                           // A face too small to make its test normal unit length:
                           // compare directions (the same angle as the tolerance), not
                           // a dot product smaller than the tolerance either way.
                           ? g.Dot(face.normal) < -TOLERANCE * g.Length()
                           : g.Dot(face.normal) < -TOLERANCE;
    return {c, k, plain};
}

// Items grouped by a vertex (a counting sort): each vertex of a hull has a handful of
// edges, so grouping them costs less than sorting every edge of the surface.
template <class Item>
struct ByVertex {
    std::vector<std::uint32_t> first;  // per vertex, into items; one more at the end
    std::vector<Item> items;

    // add(emit) calls emit(vertex, item) for every item, the same way both times.
    template <class Add>
    void build(std::uint32_t vertexCount, Add&& add) {
        first.assign(vertexCount + 1, 0);
        add([this](std::uint32_t vertex, const Item&) { ++first[vertex + 1]; });
        for (std::uint32_t i = 0; i < vertexCount; ++i) {
            first[i + 1] += first[i];
        }
        items.resize(first[vertexCount]);
        std::vector<std::uint32_t> at(first.begin(), first.end() - 1);
        add([this, &at](std::uint32_t vertex, const Item& item) { items[at[vertex]++] = item; });
    }
    Item* begin(std::uint32_t vertex) { return items.data() + first[vertex]; }
    Item* end(std::uint32_t vertex) { return items.data() + first[vertex + 1]; }
};

// Planes checked at once against the point tree.
constexpr std::size_t BATCH = 64;
// Leaves of the check's point tree: its leaf tests run several points at a time
// without branches and cost a fraction of a node test, so large leaves pay (measured
// best at 128, from 48 to 256, on spheres and cubes of 1,000 and 10,000 points).
constexpr std::uint32_t CHECK_LEAF_SIZE = 128;
// A containment check of this many planes or more is shared between two threads. A
// thread costs about 0.1 ms to start and join; measured, sharing gains nothing on the
// 2,000 faces of a 1,000-point sphere and 6 % of the whole build on 20,000.
constexpr std::size_t SHARED_CHECK_FROM = 8192;

// The faces' planes as the containment check tests them, in check order: a point p
// fails plane k when (p - corners[k]).normals[k] > limits[k]. thresholds[k] is
// corners[k].normals[k] + limits[k] less the rounding between that and p.normals[k].
struct Planes {
    std::vector<QmtVector3> normals;
    std::vector<QmtVector3> corners;
    std::vector<double> limits;
    std::vector<double> thresholds;
};

// The points that may fail a plane: all but those of a ball and a cube about the
// cloud's centre that lie below every plane by more than the rounding. With
// p = c + d, p.n <= c.n + |d| |n| and p.n <= c.n + max|d_i| (|n_x| + |n_y| + |n_z|),
// so a point within the ball's radius or the cube's half side of c passes every
// plane unseen. The cube holds most of a solid cloud whose hull is box-like, the
// ball most of a round one; a cloud on a sphere keeps all its points.
std::vector<std::uint32_t> pointsOutsideCore(const Planes& planes, double rounding, const QmtVector3* points,
                                             std::uint32_t n, const CloudBox& box) {
    const QmtVector3 c = (box.lo + box.hi) * 0.5;
    double ball = HUGE_VAL;
    double cube = HUGE_VAL;
    for (std::size_t k = 0; k < planes.normals.size(); ++k) {
        const QmtVector3& m = planes.normals[k];
        const double gap = planes.thresholds[k] - c.Dot(m);
        ball = std::min(ball, gap / m.Length());
        cube = std::min(cube, gap / (std::fabs(m.x) + std::fabs(m.y) + std::fabs(m.z)));
        if (!std::isfinite(gap)) {
            ball = cube = 0.0;  // no core
            break;
        }
    }
    // What the bounds themselves may be off by.
    ball -= rounding;
    cube -= rounding;
    std::vector<std::uint32_t> outside;
    outside.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        const QmtVector3 d = points[i] - c;
        const bool core = std::max({std::fabs(d.x), std::fabs(d.y), std::fabs(d.z)}) < cube || d.Length() < ball;
        if (!core) {
            outside.push_back(i);
        }
    }
    return outside;
}

// Five bits spread to every third place.
constexpr std::array<std::uint32_t, 32> SPREAD = [] {
    std::array<std::uint32_t, 32> spread{};
    for (std::uint32_t v = 0; v < 32; ++v) {
        for (std::uint32_t b = 0; b < 5; ++b) {
            spread[v] |= (v >> b & 1) << 3 * b;
        }
    }
    return spread;
}();

// A Morton code of a unit direction, 10 bits an axis.
std::uint32_t normalKey(const QmtVector3& n) {
    const auto cell = [](double x) {
        const double t = (x + 1.0) * 512.0;
        const std::uint32_t v = t > 0.0 ? static_cast<std::uint32_t>(std::min(t, 1023.0)) : 0u;  // NaN: 0
        return SPREAD[v & 31] | SPREAD[v >> 5] << 15;
    };
    return cell(n.x) | cell(n.y) << 1 | cell(n.z) << 2;
}

// Sorts keys of a 30-bit code above a record number that rises with the position,
// as std::sort would: a stable radix sort on the code keeps the numbers in order
// within a code.
void sortKeys(std::vector<std::uint64_t>& keys) {
    if (keys.size() < 256) {
        std::sort(keys.begin(), keys.end());
        return;
    }
    std::vector<std::uint64_t> other;
    radixSort(keys, other, 4, [](std::uint64_t key) { return key >> 32; });
}

}  // namespace

CloudBox cloudBox(const QmtVector3* points, std::uint32_t n) {
    QmtVector3 lo = points[0];
    QmtVector3 hi = points[0];
    for (std::uint32_t i = 1; i < n; ++i) {
        lo = {std::min(lo.x, points[i].x), std::min(lo.y, points[i].y), std::min(lo.z, points[i].z)};
        hi = {std::max(hi.x, points[i].x), std::max(hi.y, points[i].y), std::max(hi.z, points[i].z)};
    }
    return {lo, hi};
}

double roundingSlack(const CloudBox& box) {
    // The largest coordinate magnitude lies at a side of the box.
    const double magnitude = std::max({std::fabs(box.lo.x), std::fabs(box.lo.y), std::fabs(box.lo.z),
                                       std::fabs(box.hi.x), std::fabs(box.hi.y), std::fabs(box.hi.z)});
    return 1e-11 * magnitude + 1e-300;
}

double cloudSize(const CloudBox& box) { return std::max((box.hi - box.lo).Length(), 1.0); }

void makeOutputFaces(const ConvexHullContext& context, const QmtVector3* v, OutputFaces& out) {
    // Sized first, then written in place: a push per corner costs more than the count.
    std::size_t cornerCount = 0;
    std::size_t recordCount = 0;
    for (std::uint32_t s = context.frontFace(); s != NONE; s = context.face(s).next) {
        const std::uint32_t k = context.face(s).count;
        cornerCount += k <= MAX_CORNERS ? k : 3 * std::size_t{k - 2};
        recordCount += k <= MAX_CORNERS ? 1 : k - 2;
    }
    out.corners.resize(cornerCount);
    out.first.resize(recordCount + 1);
    out.normals.resize(recordCount);
    std::uint32_t* corners = out.corners.data();
    std::uint32_t* first = out.first.data();
    const QmtVector3** normals = out.normals.data();
    std::uint32_t at = 0;
    *first++ = 0;
    for (std::uint32_t s = context.frontFace(); s != NONE; s = context.face(s).next) {
        const OutputFace f = orientFace(context, s, v);
        const QmtVector3& normal = context.face(s).normal;
        if (f.count <= MAX_CORNERS) {
            for (std::uint32_t i = 0; i < f.count; ++i) {
                corners[at + i] = f.keep ? f.corners[i] : f.corners[f.count - 1 - i];
            }
            at += f.count;
            *first++ = at;
            *normals++ = &normal;
        } else {
            for (std::uint32_t i = 0; i + 2 < f.count; ++i) {
                corners[at] = f.corners[0];
                corners[at + 1] = f.corners[f.keep ? i + 1 : i + 2];
                corners[at + 2] = f.corners[f.keep ? i + 2 : i + 1];
                at += 3;
                *first++ = at;
                *normals++ = &normal;
            }
        }
    }
}

namespace {

// closesSurface after its corner and count tests: every edge grouped under its smaller
// end as its larger end shifted up by one, the low bit set for an edge that runs down.
// Edges now being distinct, each pair of ends must carry one edge each way; a loop
// a -> a pairs with itself. Item holds twice the largest vertex number.
template <class Item>
bool edgesPair(const OutputFaces& faces, std::uint32_t vertexCount, std::vector<std::uint32_t>& first) {
    // first[v + 2] holds v's count: summed, first[v + 1] starts v's group, and moves to
    // its end as the group fills.
    for (std::size_t v = 2; v < std::size_t{vertexCount} + 2; ++v) {
        first[v] += first[v - 1];
    }
    std::vector<Item> items(first[vertexCount + 1]);
    for (std::uint32_t j = 0; j < faces.count(); ++j) {
        const std::uint32_t* c = faces.of(j);
        const std::uint32_t k = faces.size(j);
        for (std::uint32_t i = 0; i < k; ++i) {
            const std::uint32_t a = c[i];
            const std::uint32_t b = c[i + 1 < k ? i + 1 : 0];
            const Item item = a < b ? Item{b} << 1 : Item{a} << 1 | (a > b ? 1 : 0);
            items[first[std::min(a, b) + 1]++] = item;
        }
    }
    // A mark per larger end seen in the current group, with the directions seen.
    std::vector<std::uint32_t> markedBy(vertexCount, NONE);
    std::vector<std::uint8_t> ways(vertexCount);
    std::size_t ends = 0;  // pairs of ends seen, a loop counting half
    std::size_t loops = 0;
    for (std::uint32_t a = 0; a < vertexCount; ++a) {
        for (std::uint32_t at = first[a]; at != first[a + 1]; ++at) {
            const auto b = static_cast<std::uint32_t>(items[at] >> 1);
            const auto way = static_cast<std::uint8_t>(1u << (items[at] & 1));
            if (markedBy[b] != a) {
                markedBy[b] = a;
                ways[b] = way;
                ++(b == a ? loops : ends);
            } else if ((ways[b] & way) != 0) {
                return false;  // the same edge twice
            } else {
                ways[b] |= way;
            }
        }
    }
    return items.size() == 2 * ends + loops;
}

}  // namespace

bool turnsClose(const ConvexHullContext& context, std::uint32_t vertexCount) {
    // A record of k <= 32 corners turns k - 2 times, and so does the fan of k - 2
    // triangles a larger face is written as. The slots are read front to back; a free
    // one has no corners.
    std::int64_t turns = 0;
    for (std::uint32_t s = 0; s < context.slotCount(); ++s) {
        const std::uint32_t k = context.face(s).count;
        turns += k != 0 ? static_cast<std::int64_t>(k) - 2 : 0;
    }
    return turns == 2 * static_cast<std::int64_t>(vertexCount) - 4;
}

bool closesSurface(const OutputFaces& faces, std::uint32_t vertexCount) {
    // Each vertex's count of edges it is the smaller end of, two places up.
    std::vector<std::uint32_t> first(std::size_t{vertexCount} + 2, 0);
    std::int64_t turns = 0;
    for (std::uint32_t j = 0; j < faces.count(); ++j) {
        const std::uint32_t* c = faces.of(j);
        const std::uint32_t k = faces.size(j);
        turns += static_cast<std::int64_t>(k) - 2;
        if (k == 3) {  // most records: the same tests unrolled
            const std::uint32_t a = c[0];
            const std::uint32_t b = c[1];
            const std::uint32_t d = c[2];
            if (a >= vertexCount || b >= vertexCount || d >= vertexCount || a == b || a == d || b == d) {
                return false;
            }
            ++first[std::size_t{std::min(a, b)} + 2];
            ++first[std::size_t{std::min(b, d)} + 2];
            ++first[std::size_t{std::min(d, a)} + 2];
            continue;
        }
        for (std::uint32_t i = 0; i < k; ++i) {
            if (c[i] >= vertexCount) {
                return false;
            }
            for (std::uint32_t m = i + 1; m < k; ++m) {
                if (c[m] == c[i]) {
                    return false;
                }
            }
            ++first[std::size_t{std::min(c[i], c[i + 1 < k ? i + 1 : 0])} + 2];
        }
    }
    if (turns != 2 * static_cast<std::int64_t>(vertexCount) - 4) {
        return false;
    }
    return vertexCount < (1u << 31) ? edgesPair<std::uint32_t>(faces, vertexCount, first)
                                    : edgesPair<std::uint64_t>(faces, vertexCount, first);
}

// Whether every face is flat and convex, and every edge is convex: the corners next
// to a shared edge in one face lie below the other face's plane. Each bound is
// `slack` plus, for a merged face, its extent times the merge angle (faces merge while
// their normals meet at less than acos 0.99999 < 0.0045 rad, so a merged corner may
// stand that far out of the kept plane). A closed surface that passes is convex, and
// the points the build found inside stay below its planes within the same bounds.
// Each corner is compared against its own plane and the planes of the faces next to
// it only, so a build with large polygons costs no more than one with triangles.
namespace {

// Whether the turn test of convexSurface cannot fail on the triangle (a, b, c). Its
// three turns are one value in exact arithmetic (twice the area along the normal);
// each as computed lies within a few ulps of the product of its edges' lengths of it,
// far inside the bend of 0.0045 times that product, so every turn beyond its bend has
// that value's sign and no two can disagree. Edges of squared length outside
// [1e-140, 1e140] could lose those products to underflow or overflow: such triangles
// take the test.
bool turnsAgree(const QmtVector3& a, const QmtVector3& b, const QmtVector3& c) {
    const auto fair = [](double square) { return square >= 1e-140 && square <= 1e140; };
    return fair((b - a).SquaredLength()) && fair((c - b).SquaredLength()) && fair((a - c).SquaredLength());
}

}  // namespace

bool convexSurface(const ConvexHullContext& context, const QmtVector3* v, std::uint32_t vertexCount,
                   double slack) {
    struct SideEdge {
        std::uint32_t other;  // the edge's larger vertex; it is grouped under the smaller
        std::uint32_t slot;
        std::uint32_t index;  // the edge runs from corner index to corner index + 1
    };
    std::vector<double> limit(context.slotCount(), 0.0);
    const auto below = [&](std::uint32_t face, const QmtVector3& point) {
        return (point - v[context.corners(face)[0]]).Dot(context.face(face).normal) <= limit[face];
    };
    for (std::uint32_t s = context.frontFace(); s != NONE; s = context.face(s).next) {
        const std::uint32_t* c = context.corners(s);
        const std::uint32_t k = context.face(s).count;
        double farthest = 0.0;  // squared: the root of the largest square is the largest root
        for (std::uint32_t i = 0; i < k; ++i) {
            if (c[i] >= vertexCount) {
                return false;
            }
            if (k > 3) {  // a triangle's bound takes no extent
                farthest = std::max(farthest, (v[c[i]] - v[c[0]]).SquaredLength());
            }
        }
        const double ownLimit = slack + (k > 3 ? 0.0045 * std::sqrt(farthest) : 0.0);
        limit[s] = ownLimit;
        const QmtVector3& n = context.face(s).normal;
        const QmtVector3 q = k > 0 ? v[c[0]] : QmtVector3();
        if (k == 3 && turnsAgree(q, v[c[1]], v[c[2]])) {
            for (std::uint32_t i = 0; i < 3; ++i) {
                if (!((v[c[i]] - q).Dot(n) <= ownLimit)) {
                    return false;
                }
            }
            continue;
        }
        double sense = 0.0;
        // Corners i + 1 and i + 2 round the face (1 % k and 2 % k first), stepped rather
        // than divided.
        std::uint32_t next = k > 1 ? 1 : 0;
        std::uint32_t after = k > 2 ? 2 : (k > 0 ? 2 % k : 0);
        // Each edge is the second of one turn and the first of the next: its vector and
        // length carry over.
        QmtVector3 e1 = k > 0 ? v[c[next]] - q : QmtVector3();
        double length1 = e1.Length();
        for (std::uint32_t i = 0; i < k; ++i) {
            const QmtVector3 e2 = v[c[after]] - v[c[next]];
            next = after;
            after = after + 1 < k ? after + 1 : 0;
            const double length2 = e2.Length();
            const double turn = e1.Cross(e2).Dot(n);
            const double bend = 0.0045 * length1 * length2;
            e1 = e2;
            length1 = length2;
            if (turn > bend || turn < -bend) {
                if (sense != 0.0 && (turn > 0.0) != (sense > 0.0)) {
                    return false;
                }
                sense = turn;
            }
            if (!((v[c[i]] - q).Dot(n) <= ownLimit)) {
                return false;
            }
        }
    }
    ByVertex<SideEdge> edges;
    edges.build(vertexCount, [&context](auto&& emit) {
        context.forEachSide([&](std::uint32_t s, std::uint32_t i, std::uint32_t a, std::uint32_t b) {
            emit(std::min(a, b), SideEdge{std::max(a, b), s, i});
        });
    });
    // The corners before and after the edge in `face`, against `other`'s plane.
    const auto neighboursBelow = [&](const SideEdge& edge, std::uint32_t other) {
        const std::uint32_t* c = context.corners(edge.slot);
        const std::uint32_t k = context.face(edge.slot).count;
        const std::uint32_t before = edge.index > 0 ? edge.index - 1 : k - 1;
        std::uint32_t after = edge.index + 2;  // (index + 2) % k, divided only for k < 2
        if (after >= k) {
            after -= k;
            if (after >= k) {
                after %= k;
            }
        }
        // A triangle's corner before the edge is the one after it.
        return below(other, v[c[before]]) && (after == before || below(other, v[c[after]]));
    };
    // The faces on each edge, taken in pairs one after the other by slot. An edge of
    // two sides (nearly all) is paired as its second side turns up, found by a mark on
    // its other end; a vertex with an edge of more sides sorts its group instead, and
    // what its pairs found so far does not count.
    std::vector<std::uint32_t> markedBy(vertexCount, NONE);  // the vertex whose group saw it
    std::vector<SideEdge*> firstSide(vertexCount);
    std::vector<std::uint8_t> sides(vertexCount);
    for (std::uint32_t a = 0; a < vertexCount; ++a) {
        SideEdge* first = edges.begin(a);
        SideEdge* last = edges.end(a);
        bool many = false;
        bool pairsHold = true;
        for (SideEdge* e = first; e != last; ++e) {
            const std::uint32_t b = e->other;
            if (markedBy[b] != a) {
                markedBy[b] = a;
                firstSide[b] = e;
                sides[b] = 1;
            } else if (sides[b] == 1) {
                sides[b] = 2;
                const SideEdge* x = firstSide[b];
                pairsHold = pairsHold && neighboursBelow(*x, e->slot) && neighboursBelow(*e, x->slot);
            } else {
                many = true;
                break;
            }
        }
        if (!many) {
            if (!pairsHold) {
                return false;
            }
            continue;
        }
        std::sort(first, last, [](const SideEdge& x, const SideEdge& y) {
            return x.other < y.other || (x.other == y.other && x.slot < y.slot);
        });
        for (SideEdge* e = first; e + 1 < last; ++e) {
            if (e[0].other == e[1].other &&
                (!neighboursBelow(e[0], e[1].slot) || !neighboursBelow(e[1], e[0].slot))) {
                return false;
            }
        }
    }
    return true;
}

// Whether every input point lies below the plane of every face as it will be written
// (its first corner and normal) within 1e-5 of the cloud's size plus the merge angle
// over the face's extent from that corner, for every face: merging can leave a
// triangle too. The local test above cannot see two ways of failing this: with a
// tolerance scaled to a cloud that is huge in one direction, small reflex edges pass
// one by one and add up to a face that cuts the cloud, and a face whose corners stray
// below its own plane passes it. A face without a unit normal fails. The points are
// searched through a tree, 64 planes at a time, so a hull that holds its cloud costs
// about a tree walk to each face.
bool holdsCloud(const OutputFaces& faces, const QmtVector3* v, const QmtVector3* points, std::uint32_t n,
                const CloudBox& box, double slack, HullPointTree* ahead) {
    // Rounding between the tree's p.n and the test's (p - q).n.
    const double rounding = 4.0 * roundingSlack(box);
    // The check order as keys above record numbers: sorting plain integers costs far
    // less than sorting the planes.
    std::vector<std::uint64_t> order(faces.count());
    for (std::uint32_t j = 0; j < faces.count(); ++j) {
        const QmtVector3& normal = *faces.normals[j];
        if (!(std::fabs(normal.Length() - 1.0) < 1e-6)) {
            return false;  // a normal that overflowed or could not be made unit tests nothing
        }
        order[j] = std::uint64_t{normalKey(normal)} << 32 | j;
    }
    sortKeys(order);
    Planes planes;
    planes.normals.resize(order.size());
    planes.corners.resize(order.size());
    planes.limits.resize(order.size());
    planes.thresholds.resize(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        const auto j = static_cast<std::uint32_t>(order[k]);
        const QmtVector3& normal = *faces.normals[j];
        const std::uint32_t* c = faces.of(j);
        const QmtVector3& q = v[c[0]];
        double farthest = 0.0;  // squared, as above
        for (std::uint32_t i = 1; i < faces.size(j); ++i) {
            farthest = std::max(farthest, (v[c[i]] - q).SquaredLength());
        }
        const double limit = slack + 0.0045 * std::sqrt(farthest);
        planes.normals[k] = normal;
        planes.corners[k] = q;
        planes.limits[k] = limit;
        planes.thresholds[k] = q.Dot(normal) + limit - rounding;
    }
    // The tree builds its nodes before the first batch when scans of all the planes
    // would cost more (else a large cloud's first batch is a scan). A tree of every
    // point made ahead serves as well: the core's points pass every plane.
    HullPointTree own;
    if (!ahead) {
        own.build(points, n, pointsOutsideCore(planes, rounding, points, n, box),
                  HullPointTree::IndexOrder::ARBITRARY, CHECK_LEAF_SIZE);
        own.expect(static_cast<std::uint32_t>(order.size()));
    }
    HullPointTree& tree = ahead ? *ahead : own;
    std::atomic<bool> fails{false};
    // Planes [from, to) against the points of `walk`, 64 at a time, until one fails here
    // or elsewhere.
    const auto check = [&](HullPointTree& walk, std::size_t from, std::size_t to) {
        for (std::size_t first = from; first < to && !fails.load(std::memory_order_relaxed); first += BATCH) {
            const std::size_t count = std::min(BATCH, to - first);
            const QmtVector3* normals = planes.normals.data() + first;
            const QmtVector3* corners = planes.corners.data() + first;
            const double* limits = planes.limits.data() + first;
            if (walk.anyAbove(normals, planes.thresholds.data() + first, static_cast<std::uint32_t>(count), corners,
                              limits)) {
                fails.store(true, std::memory_order_relaxed);
            }
        }
    };
    // A long check is shared with a second thread, which walks a copy of the tree.
    const std::size_t head = std::min(BATCH, order.size());
    check(tree, 0, head);
    const std::size_t rest = order.size() - head;
    if (rest < SHARED_CHECK_FROM) {
        check(tree, head, order.size());
    } else {
        HullPointTree copy = tree;
        const std::size_t middle = head + rest / 2;
        runBeside([&] { check(tree, head, middle); }, [&] { check(copy, middle, order.size()); });
    }
    return !fails.load();
}

void makeCheckTree(HullPointTree& tree, const QmtVector3* points, std::uint32_t n, std::uint32_t expectedRecords) {
    std::vector<std::uint32_t> all(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        all[i] = i;
    }
    tree.build(points, n, all, HullPointTree::IndexOrder::ARBITRARY, CHECK_LEAF_SIZE);
    tree.expect(expectedRecords);
}
