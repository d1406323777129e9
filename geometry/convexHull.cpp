// Builders of the incremental hull: growth loops and output records.

#include "geometry/convexHull.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <cmath>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

#include "geometry/hullConflictTracker.h"
#include "geometry/hullPointTree.h"
#include "math/qmtMatrix3.h"

namespace {

using Qmt::QmtVector3;

constexpr std::uint32_t NONE = ConvexHullContext::NONE;
constexpr std::uint32_t NEVER = NONE - 1;  // a face no remaining candidate passes
constexpr double TOLERANCE = 1e-5;
constexpr std::uint32_t MAX_CORNERS = ZYLFACE_MAX_CORNERS;

bool allFinite(const QmtVector3* points, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
        if (!std::isfinite(points[i].x) || !std::isfinite(points[i].y) || !std::isfinite(points[i].z)) {
            return false;
        }
    }
    return true;
}

// Bound on the rounding of a point's dot product with a unit normal.
double roundingSlack(const QmtVector3* points, std::uint32_t n) {
    double magnitude = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        magnitude = std::max({magnitude, std::fabs(points[i].x), std::fabs(points[i].y),
                              std::fabs(points[i].z)});
    }
    return 1e-11 * magnitude + 1e-300;
}

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
    // The polygon's area vector settles the turn whenever it points clearly to one
    // side of the face: the longest corner alone can be a reflex one, or a rounding
    // artefact, on a face that merging left slightly bent.
    QmtVector3 area;
    for (std::uint32_t i = 1; i + 1 < k; ++i) {
        area += (v[c[i]] - v[c[0]]).Cross(v[c[i + 1]] - v[c[0]]);
    }
    const double side = area.Dot(face.normal);
    const double margin = TOLERANCE * area.Length();
    const bool keep = side > margin ? true : side < -margin ? false : plain;
    return {c, k, keep};
}

// The face records as they will be written, oriented and with long faces split into
// fans: made once, then checked and written.
struct OutputFaces {
    std::vector<std::uint32_t> corners;  // every record's corners, one after another
    std::vector<std::uint32_t> first;    // per record, into corners; one more at the end
    std::vector<const QmtVector3*> normals;

    std::uint32_t count() const { return static_cast<std::uint32_t>(normals.size()); }
    std::uint32_t size(std::uint32_t j) const { return first[j + 1] - first[j]; }
    const std::uint32_t* of(std::uint32_t j) const { return corners.data() + first[j]; }
};

void makeOutputFaces(const ConvexHullContext& context, const QmtVector3* v, OutputFaces& out) {
    out.corners.clear();
    out.first.assign(1, 0);
    out.normals.clear();
    const auto close = [&out](const QmtVector3& normal) {
        out.first.push_back(static_cast<std::uint32_t>(out.corners.size()));
        out.normals.push_back(&normal);
    };
    for (std::uint32_t s = context.frontFace(); s != NONE; s = context.face(s).next) {
        const OutputFace f = orientFace(context, s, v);
        const QmtVector3& normal = context.face(s).normal;
        if (f.count <= MAX_CORNERS) {
            for (std::uint32_t i = 0; i < f.count; ++i) {
                out.corners.push_back(f.keep ? f.corners[i] : f.corners[f.count - 1 - i]);
            }
            close(normal);
        } else {
            for (std::uint32_t i = 0; i + 2 < f.count; ++i) {
                out.corners.push_back(f.corners[0]);
                out.corners.push_back(f.corners[f.keep ? i + 1 : i + 2]);
                out.corners.push_back(f.corners[f.keep ? i + 2 : i + 1]);
                close(normal);
            }
        }
    }
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

// Groups this long or shorter are searched by a plain scan rather than sorted.
constexpr std::ptrdiff_t SHORT_GROUP = 16;

// Whether the faces as they would be written make a closed surface: every directed
// edge once with its reverse once, no face passing a corner twice, and
// sum(corners - 2) = 2V - 4 for the V vertices (all used after compaction).
bool closesSurface(const OutputFaces& faces, std::uint32_t vertexCount) {
    std::int64_t turns = 0;
    for (std::uint32_t j = 0; j < faces.count(); ++j) {
        const std::uint32_t* c = faces.of(j);
        const std::uint32_t k = faces.size(j);
        turns += static_cast<std::int64_t>(k) - 2;
        for (std::uint32_t i = 0; i < k; ++i) {
            if (c[i] >= vertexCount) {
                return false;
            }
            for (std::uint32_t m = i + 1; m < k; ++m) {
                if (c[m] == c[i]) {
                    return false;
                }
            }
        }
    }
    if (turns != 2 * static_cast<std::int64_t>(vertexCount) - 4) {
        return false;
    }
    // Each vertex's edges by where they lead.
    ByVertex<std::uint32_t> out;
    out.build(vertexCount, [&faces](auto&& emit) {
        for (std::uint32_t j = 0; j < faces.count(); ++j) {
            const std::uint32_t* c = faces.of(j);
            const std::uint32_t k = faces.size(j);
            for (std::uint32_t i = 0; i < k; ++i) {
                emit(c[i], c[(i + 1) % k]);
            }
        }
    });
    for (std::uint32_t a = 0; a < vertexCount; ++a) {
        std::uint32_t* first = out.begin(a);
        std::uint32_t* last = out.end(a);
        if (last - first > SHORT_GROUP) {
            std::sort(first, last);
            if (std::adjacent_find(first, last) != last) {
                return false;
            }
            continue;
        }
        for (std::uint32_t* x = first; x != last; ++x) {
            if (std::find(x + 1, last, *x) != last) {
                return false;
            }
        }
    }
    for (std::uint32_t a = 0; a < vertexCount; ++a) {
        for (const std::uint32_t* x = out.begin(a); x != out.end(a); ++x) {
            const std::uint32_t* first = out.begin(*x);
            const std::uint32_t* last = out.end(*x);
            const bool back = last - first > SHORT_GROUP ? std::binary_search(first, last, a)
                                                         : std::find(first, last, a) != last;
            if (!back) {
                return false;
            }
        }
    }
    return true;
}

// The cloud's size (its box diagonal), at least 1: the unit of the shape check's
// tolerance, which never drops below the rules' absolute 1e-5.
double cloudSize(const QmtVector3* points, std::uint32_t n) {
    QmtVector3 lo = points[0];
    QmtVector3 hi = points[0];
    for (std::uint32_t i = 1; i < n; ++i) {
        lo = {std::min(lo.x, points[i].x), std::min(lo.y, points[i].y), std::min(lo.z, points[i].z)};
        hi = {std::max(hi.x, points[i].x), std::max(hi.y, points[i].y), std::max(hi.z, points[i].z)};
    }
    return std::max((hi - lo).Length(), 1.0);
}

// Whether every face is flat and convex, and every edge is convex: the corners next
// to a shared edge in one face lie below the other face's plane. Each bound is
// `slack` plus, for a merged face, its extent times the merge angle (faces merge while
// their normals meet at less than acos 0.99999 < 0.0045 rad, so a merged corner may
// stand that far out of the kept plane). A closed surface that passes is convex, and
// the points the build found inside stay below its planes within the same bounds.
// Each corner is compared against its own plane and the planes of the faces next to
// it only, so a build with large polygons costs no more than one with triangles.
bool convexSurface(const ConvexHullContext& context, const QmtVector3* v, std::uint32_t vertexCount,
                   double slack) {
    struct SideEdge {
        std::uint32_t other;  // the edge's larger vertex; it is grouped under the smaller
        std::uint32_t slot;
        std::uint32_t index;  // the edge runs from corner index to corner index + 1
    };
    std::vector<double> limit(context.slotCount(), 0.0);
    for (std::uint32_t s = context.frontFace(); s != NONE; s = context.face(s).next) {
        const std::uint32_t* c = context.corners(s);
        const std::uint32_t k = context.face(s).count;
        double extent = 0.0;
        for (std::uint32_t i = 0; i < k; ++i) {
            if (c[i] >= vertexCount) {
                return false;
            }
            extent = std::max(extent, (v[c[i]] - v[c[0]]).Length());
        }
        limit[s] = slack + (k > 3 ? 0.0045 * extent : 0.0);
    }
    const auto below = [&](std::uint32_t face, const QmtVector3& point) {
        return (point - v[context.corners(face)[0]]).Dot(context.face(face).normal) <= limit[face];
    };
    for (std::uint32_t s = context.frontFace(); s != NONE; s = context.face(s).next) {
        const std::uint32_t* c = context.corners(s);
        const std::uint32_t k = context.face(s).count;
        const QmtVector3& n = context.face(s).normal;
        double sense = 0.0;
        for (std::uint32_t i = 0; i < k; ++i) {
            const QmtVector3 e1 = v[c[(i + 1) % k]] - v[c[i]];
            const QmtVector3 e2 = v[c[(i + 2) % k]] - v[c[(i + 1) % k]];
            const double turn = e1.Cross(e2).Dot(n);
            const double bend = 0.0045 * e1.Length() * e2.Length();
            if (turn > bend || turn < -bend) {
                if (sense != 0.0 && (turn > 0.0) != (sense > 0.0)) {
                    return false;
                }
                sense = turn;
            }
            if (!below(s, v[c[i]])) {
                return false;
            }
        }
    }
    ByVertex<SideEdge> edges;
    edges.build(vertexCount, [&context](auto&& emit) {
        for (std::uint32_t s = context.frontFace(); s != NONE; s = context.face(s).next) {
            const std::uint32_t* c = context.corners(s);
            const std::uint32_t k = context.face(s).count;
            for (std::uint32_t i = 0; i < k; ++i) {
                const std::uint32_t a = c[i];
                const std::uint32_t b = c[(i + 1) % k];
                emit(std::min(a, b), SideEdge{std::max(a, b), s, i});
            }
        }
    });
    // The corners before and after the edge in `face`, against `other`'s plane.
    const auto neighboursBelow = [&](const SideEdge& edge, std::uint32_t other) {
        const std::uint32_t* c = context.corners(edge.slot);
        const std::uint32_t k = context.face(edge.slot).count;
        return below(other, v[c[(edge.index + k - 1) % k]]) && below(other, v[c[(edge.index + 2) % k]]);
    };
    // The faces on each edge, taken in pairs one after the other.
    for (std::uint32_t a = 0; a < vertexCount; ++a) {
        SideEdge* first = edges.begin(a);
        SideEdge* last = edges.end(a);
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

// A Morton code of a unit direction, 10 bits an axis.
std::uint32_t normalKey(const QmtVector3& n) {
    const auto cell = [](double x) {
        const double t = (x + 1.0) * 512.0;
        std::uint32_t v = t > 0.0 ? static_cast<std::uint32_t>(std::min(t, 1023.0)) : 0u;  // NaN: 0
        v = (v | v << 16) & 0x030000FFu;
        v = (v | v << 8) & 0x0300F00Fu;
        v = (v | v << 4) & 0x030C30C3u;
        return (v | v << 2) & 0x09249249u;
    };
    return cell(n.x) | cell(n.y) << 1 | cell(n.z) << 2;
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
                double slack) {
    struct Plane {
        std::uint32_t key;  // the order of the checks: faces facing alike go together
        QmtVector3 normal;
        QmtVector3 corner;
        double limit;
    };
    std::vector<Plane> planes;
    planes.reserve(faces.count());
    for (std::uint32_t j = 0; j < faces.count(); ++j) {
        const QmtVector3& normal = *faces.normals[j];
        if (!(std::fabs(normal.Length() - 1.0) < 1e-6)) {
            return false;  // a normal that overflowed or could not be made unit tests nothing
        }
        const std::uint32_t* c = faces.of(j);
        const QmtVector3& q = v[c[0]];
        double extent = 0.0;
        for (std::uint32_t i = 1; i < faces.size(j); ++i) {
            extent = std::max(extent, (v[c[i]] - q).Length());
        }
        planes.push_back({normalKey(normal), normal, q, slack + 0.0045 * extent});
    }
    std::sort(planes.begin(), planes.end(), [](const Plane& x, const Plane& y) { return x.key < y.key; });

    std::vector<std::uint32_t> all(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        all[i] = i;
    }
    HullPointTree tree;
    tree.build(points, n, all);
    // Rounding between the tree's p.n and the test's (p - q).n.
    const double rounding = 4.0 * roundingSlack(points, n);
    constexpr std::size_t BATCH = 64;
    QmtVector3 normals[BATCH];
    double thresholds[BATCH];
    bool holds = true;
    for (std::size_t first = 0; first < planes.size() && holds; first += BATCH) {
        const std::size_t count = std::min(BATCH, planes.size() - first);
        for (std::size_t k = 0; k < count; ++k) {
            const Plane& plane = planes[first + k];
            normals[k] = plane.normal;
            thresholds[k] = plane.corner.Dot(plane.normal) + plane.limit - rounding;
        }
        tree.visitAbove(normals, thresholds, static_cast<std::uint32_t>(count),
                        [&](std::uint32_t k, std::uint32_t, const QmtVector3& p) {
                            const Plane& plane = planes[first + k];
                            holds = holds && !((p - plane.corner).Dot(plane.normal) > plane.limit);
                        });
    }
    return holds;
}

// ---- Output records ----

bool writeMesh(ZYLmesh& mesh, const ConvexHullContext& context, const OutputFaces& faces, bool singleTriangle) {
    const std::uint32_t count = singleTriangle ? 1 : faces.count();
    if (count == 0) {
        return false;
    }
    mesh.faces = new ZYLface[count]();
    mesh.normals = new QmtVector3[count]();
    mesh.worldNormals = new QmtVector3[count]();
    mesh.numFaces = count;
    if (singleTriangle) {
        // Stored order, no orientation test; both normal arrays hold the normal.
        const std::uint32_t s = context.frontFace();
        std::copy(context.face(s).corners, context.face(s).corners + 3, mesh.faces[0].vertices);
        mesh.faces[0].numVertices = 3;
        mesh.normals[0] = mesh.worldNormals[0] = context.face(s).normal;
        return true;
    }
    for (std::uint32_t j = 0; j < count; ++j) {
        ZYLface& face = mesh.faces[j];
        face.numVertices = faces.size(j);
        std::copy(faces.of(j), faces.of(j) + faces.size(j), face.vertices);
        mesh.normals[j] = *faces.normals[j];
    }
    return true;
}

// Default-constructed faces have no index arrays: size them before writing corners.
void sizeDFface(ZYL_DFface& face, std::uint32_t k) {
    face.allocate(k, 0);
    if (!face.vertices) {
        throw std::bad_alloc();
    }
    std::fill(face.normals, face.normals + k, 0u);
    std::fill(face.uvs, face.uvs + k, 0u);
    face.numVertices = k;
}

bool writeMesh(ZYL_DFmesh& mesh, const ConvexHullContext& context, const OutputFaces& faces,
               bool singleTriangle) {
    const std::uint32_t count = singleTriangle ? 1 : faces.count();
    if (count == 0) {
        return false;
    }
    mesh.faces = new ZYL_DFface[count];
    mesh.numFaces = count;
    mesh.normals = new QmtVector3[count]();
    mesh.worldNormals = new QmtVector3[count]();
    if (singleTriangle) {
        const std::uint32_t s = context.frontFace();
        sizeDFface(mesh.faces[0], 3);
        std::copy(context.face(s).corners, context.face(s).corners + 3, mesh.faces[0].vertices);
        mesh.normals[0] = mesh.worldNormals[0] = context.face(s).normal;
        return true;
    }
    for (std::uint32_t j = 0; j < count; ++j) {
        ZYL_DFface& face = mesh.faces[j];
        sizeDFface(face, faces.size(j));
        std::copy(faces.of(j), faces.of(j) + faces.size(j), face.vertices);
        mesh.normals[j] = *faces.normals[j];
    }
    return true;
}

// ---- Growth ----

std::vector<std::uint32_t> candidatesWithout(std::uint32_t n, const std::uint32_t simplex[4]) {
    std::vector<std::uint32_t> out;
    out.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        if (i != simplex[0] && i != simplex[1] && i != simplex[2] && i != simplex[3]) {
            out.push_back(i);
        }
    }
    return out;
}

QmtVector3 simplexCentre(const QmtVector3* points, const std::uint32_t simplex[4]) {
    return (points[simplex[0]] + points[simplex[1]] + points[simplex[2]] + points[simplex[3]]) * 0.25;
}

// A closed surface on V vertices has 2V - 4 triangles. A first build whose faces
// outnumber that many times over has fans overlapping where a horizon ran in several
// loops, and the growth rules keep multiplying them (a flat slab of 2,000 points grew
// 4,000 faces on 250 vertices and ran on for hours): it cannot close, so it is given up
// for the rebuild, whose horizons are single loops.
bool overgrown(const ConvexHullContext& context, std::uint32_t vertexCount) {
    return !context.robust && context.faceCount() > 4 * std::uint64_t{vertexCount} + 64;
}

// Whether another thread has asked the build to give up.
bool stopped(const std::atomic<bool>* stop) { return stop && stop->load(std::memory_order_relaxed); }

// Each pass takes the candidate with the largest projection on the normal of the
// newest face it lies outside of; candidates outside no face leave for good. The
// tracker keeps those projections up to date instead of rescanning every pair.
// False when the build was given up as overgrown or told to stop.
bool growByProjection(const QmtVector3* points, std::uint32_t n, const std::uint32_t simplex[4],
                      ZYLmesh& mesh, ConvexHullContext& context, const std::atomic<bool>* stop) {
    const QmtVector3 interior = simplexCentre(points, simplex);
    HullConflictTracker tracker;
    tracker.start(points, n, candidatesWithout(n, simplex), context, mesh.vertices, true,
                  roundingSlack(points, n));
    while (mesh.numVertices < n) {
        const std::uint32_t best = tracker.takeBest();
        if (best == NONE) {
            break;
        }
        context.visibleHint.clear();
        tracker.facesSeenBy(best, context.visibleHint);
        context.hintActive = true;
        if (!addPointToHull(mesh, points[best], interior, context)) {
            break;
        }
        tracker.drop(best);
        tracker.update(context);
        if (overgrown(context, mesh.numVertices) || stopped(stop)) {
            return false;
        }
        if (tracker.liveCount() == 0) {
            break;
        }
    }
    return true;
}

// Face-driven growth: from the front of the face list, each face takes the candidate
// of largest projection on its normal; the first such candidate more than 1e-5 above
// its face joins the hull and the next pass starts from the front again. A face's
// answer stays valid while its candidate remains, so only new faces and faces whose
// candidate joined are asked again; a max-heap on creation numbers keeps list order.
bool growByFaces(const QmtVector3* points, std::uint32_t n, const std::uint32_t simplex[4],
                 ZYL_DFmesh& mesh, ConvexHullContext& context, const std::atomic<bool>* stop) {
    const QmtVector3 interior = simplexCentre(points, simplex);
    HullConflictTracker tracker;
    tracker.start(points, n, candidatesWithout(n, simplex), context, mesh.vertices, false,
                  roundingSlack(points, n));

    struct Pending {
        std::uint32_t seq;
        std::uint32_t slot;
        bool operator<(const Pending& o) const { return seq < o.seq; }
    };
    struct Cached {
        std::uint32_t slot;
        std::uint32_t seq;
        std::uint32_t next;
    };
    // Faces to ask, newest first. Faces just made are newer than every face asked
    // before, so they go on a stack that stays sorted; faces asked again go on a heap.
    std::vector<Pending> fresh;
    std::vector<Pending> pending;
    std::vector<Pending> retry;
    std::vector<std::uint32_t> answer;      // per face slot: candidate that failed it
    std::vector<std::uint32_t> answerSeq;   // per face slot
    std::vector<Cached> cached;             // per candidate: faces answered by it
    std::vector<std::uint32_t> cachedHead(n, NONE);
    const auto pushFace = [&](std::uint32_t slot) {
        pending.push_back({context.face(slot).seq, slot});
        std::push_heap(pending.begin(), pending.end());
    };
    const auto pushNewest = [&](std::uint32_t slot) {
        const Pending p{context.face(slot).seq, slot};
        if (fresh.empty() || fresh.back() < p) {
            fresh.push_back(p);
        } else {
            pending.push_back(p);
            std::push_heap(pending.begin(), pending.end());
        }
    };
    for (std::uint32_t s = context.frontFace(); s != NONE; s = context.face(s).next) {
        pushFace(s);
    }

    while ((!pending.empty() || !fresh.empty()) && mesh.numVertices < n && tracker.liveCount() > 0) {
        Pending top;
        if (!fresh.empty() && (pending.empty() || pending.front() < fresh.back())) {
            top = fresh.back();
            fresh.pop_back();
        } else {
            std::pop_heap(pending.begin(), pending.end());
            top = pending.back();
            pending.pop_back();
        }
        if (!context.isLiveFace(top.slot, top.seq)) {
            continue;
        }
        if (answer.size() <= top.slot) {
            answer.resize(context.slotCount(), NONE);
            answerSeq.resize(context.slotCount(), NONE);
        }
        if (answerSeq[top.slot] == top.seq && (answer[top.slot] == NEVER || tracker.isLive(answer[top.slot]))) {
            continue;
        }
        const ConvexHullContext::Face& face = context.face(top.slot);
        const std::uint32_t best = tracker.bestOutside(top.slot, context);
        if (best == NONE) {
            // No remaining candidate can ever pass this face.
            answer[top.slot] = NEVER;
            answerSeq[top.slot] = top.seq;
            continue;
        }
        if (!((points[best] - mesh.vertices[face.corners[0]]).Dot(face.normal) > TOLERANCE)) {
            answer[top.slot] = best;
            answerSeq[top.slot] = top.seq;
            cached.push_back({top.slot, top.seq, cachedHead[best]});
            cachedHead[best] = static_cast<std::uint32_t>(cached.size() - 1);
            continue;
        }
        context.visibleHint.clear();
        tracker.facesSeenBy(best, context.visibleHint);
        context.hintActive = true;
        if (!addPointToHull(mesh, points[best], interior, context)) {
            retry.push_back(top);  // asked again in the next pass
            continue;
        }
        tracker.drop(best);
        tracker.update(context);
        if (overgrown(context, mesh.numVertices) || stopped(stop)) {
            return false;
        }
        for (const std::uint32_t s : context.createdFaces) {
            pushNewest(s);
        }
        for (std::uint32_t c = cachedHead[best]; c != NONE; c = cached[c].next) {
            if (context.isLiveFace(cached[c].slot, cached[c].seq) && answer[cached[c].slot] == best &&
                answerSeq[cached[c].slot] == cached[c].seq) {
                answer[cached[c].slot] = NONE;
                pushFace(cached[c].slot);
            }
        }
        cachedHead[best] = NONE;
        for (const Pending& p : retry) {
            pending.push_back(p);
            std::push_heap(pending.begin(), pending.end());
        }
        retry.clear();
    }
    return true;
}

// One build into its own mesh and context, plain (the build rules as they stand) or
// careful (see ConvexHullContext::robust).
template <class Mesh>
struct Attempt {
    enum Outcome { ACCEPTED, REJECTED, NO_HULL };
    std::unique_ptr<Mesh> mesh;
    ConvexHullContext context;
    OutputFaces faces;
    bool singleTriangle = false;
    Outcome outcome = NO_HULL;
};

// Runs one build. A plain build that is closed and convex within the tolerances and
// holds the cloud is ACCEPTED; one that is not is REJECTED for the careful build; a
// careful build that fails its checks gives NO_HULL. A build told to stop gives up as
// REJECTED at its next step.
template <class Mesh>
void runAttempt(const QmtVector3* points, std::uint32_t n, bool robust, const std::atomic<bool>* stop,
                Attempt<Mesh>& a) {
    a.outcome = Attempt<Mesh>::NO_HULL;
    if (!a.mesh) {
        a.mesh = std::make_unique<Mesh>();
        a.mesh->vertices = new QmtVector3[n]();
    } else {
        std::fill(a.mesh->vertices, a.mesh->vertices + n, QmtVector3());
    }
    Mesh& mesh = *a.mesh;
    ConvexHullContext& context = a.context;
    context.robust = robust;
    std::uint32_t simplex[4];
    if (!buildHullSimplex(points, n, mesh, simplex, context)) {
        return;
    }
    a.singleTriangle = mesh.numVertices == 3;
    if (a.singleTriangle) {
        a.outcome = Attempt<Mesh>::ACCEPTED;
        return;
    }
    bool grown = false;
    if constexpr (std::is_same_v<Mesh, ZYLmesh>) {
        grown = growByProjection(points, n, simplex, mesh, context, stop);
    } else {
        grown = growByFaces(points, n, simplex, mesh, context, stop);
    }
    if (!grown) {
        a.outcome = Attempt<Mesh>::REJECTED;
        return;
    }
    mergeCoplanarHullFaces(mesh, context);
    removeUnusedHullVertices(mesh, context);
    makeOutputFaces(context, mesh.vertices, a.faces);
    const double slack = TOLERANCE * cloudSize(points, n);
    if (robust) {
        // Extreme clouds (denormal next to huge coordinates, near-duplicates) can leave
        // even the careful build open, or with a face tilted over points: no hull is
        // better than a surface that does not hold them.
        if (closesSurface(a.faces, mesh.numVertices) && holdsCloud(a.faces, mesh.vertices, points, n, slack)) {
            a.outcome = Attempt<Mesh>::ACCEPTED;
        }
        return;
    }
    a.outcome = closesSurface(a.faces, mesh.numVertices) && convexSurface(context, mesh.vertices, mesh.numVertices, slack) &&
                        holdsCloud(a.faces, mesh.vertices, points, n, slack)
                    ? Attempt<Mesh>::ACCEPTED
                    : Attempt<Mesh>::REJECTED;
}

// From this many points on, the plain build is often rejected (the more points, the
// likelier a merge somewhere leaves the surface open: most random clouds in a box of
// 1,500 points, about half the sphere surfaces of 4,000), so the careful build starts
// at once beside it on a second thread instead of after it. Smaller builds are short:
// a thread would cost more than it saves.
constexpr std::uint32_t CAREFUL_BESIDE_FROM = 2048;

// The plain build and, when it is rejected, the careful build. Large clouds run the
// careful one beside the plain one; the result is the same either way.
template <class Mesh>
Attempt<Mesh>* buildAttempts(const QmtVector3* points, std::uint32_t n, Attempt<Mesh>& plain,
                             Attempt<Mesh>& careful) {
    if (n >= CAREFUL_BESIDE_FROM) {
        std::atomic<bool> stop{false};
        std::exception_ptr carefulError;
        std::thread beside;
        try {
            beside = std::thread([&] {
                try {
                    runAttempt(points, n, true, &stop, careful);
                } catch (...) {
                    carefulError = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            // No thread to be had: build one after the other.
        }
        if (beside.joinable()) {
            // Whatever happens to the plain build, the careful one must not outlive it.
            struct Join {
                std::atomic<bool>& stop;
                std::thread& thread;
                ~Join() {
                    stop = true;
                    if (thread.joinable()) {
                        thread.join();
                    }
                }
            } join{stop, beside};
            runAttempt(points, n, false, nullptr, plain);
            if (plain.outcome != Attempt<Mesh>::REJECTED) {
                return &plain;
            }
            beside.join();
            if (carefulError) {
                std::rethrow_exception(carefulError);
            }
            return &careful;
        }
    }
    runAttempt(points, n, false, nullptr, plain);
    if (plain.outcome != Attempt<Mesh>::REJECTED) {
        return &plain;
    }
    // The careful build reuses the plain one's storage.
    std::swap(plain.mesh, careful.mesh);
    runAttempt(points, n, true, nullptr, careful);
    return &careful;
}

template <class Mesh>
Mesh* buildHull(const QmtVector3* points, std::uint32_t n) {
    // Non-finite coordinates would give NaN planes that every test silently fails.
    if (!points || n < 3 || !allFinite(points, n)) {
        return nullptr;
    }
    try {
        // The build rules can leave the surface open where near-parallel faces are
        // widened into a step or merged with their collinear corners dropped, and can
        // merge faces into a polygon with a reflex corner or tilt a face over points
        // it once covered. Such a build is made again without widening and with
        // merges only into flat convex polygons. A first build that is closed and
        // convex within the tolerances is the result as it stands.
        Attempt<Mesh> plain;
        Attempt<Mesh> careful;
        Attempt<Mesh>* result = buildAttempts(points, n, plain, careful);
        if (result->outcome != Attempt<Mesh>::ACCEPTED ||
            !writeMesh(*result->mesh, result->context, result->faces, result->singleTriangle)) {
            return nullptr;
        }
        return result->mesh.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

ZYLmesh* buildConvexHullMesh(const QmtVector3* points, std::uint32_t n) {
    return buildHull<ZYLmesh>(points, n);
}

ZYL_DFmesh* buildConvexHullDFmesh(const QmtVector3* points, std::uint32_t n) {
    return buildHull<ZYL_DFmesh>(points, n);
}
