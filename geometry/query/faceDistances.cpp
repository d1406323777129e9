#include "geometry/query/faceDistances.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "geometry/query/capsuleProximity.h"
#include "geometry/mesh/connectivity.h"
#include "geometry/query/proximity.h"
#include "math/qmtMatrix3.h"

using Qmt::QmtVector3;

namespace {

constexpr double TOLERANCE = 1e-5;
constexpr double PARALLEL_NORMALS = 0.99999;
constexpr double OPPOSED_NORMALS = -0.999;

// A mesh every routine here can read: world vertices and world normals present.
bool readable(const ZYLmesh* mesh) {
    return mesh && mesh->worldVertices && mesh->worldNormals;
}

std::uint32_t cornerCount(const ZYLface& face) {
    return std::min(face.numVertices, ZYLFACE_MAX_CORNERS);
}

// World positions of the face's corners (at most 32); returns how many.
std::uint32_t copyCorners(const ZYLmesh& mesh, const ZYLface& face, QmtVector3* out) {
    const std::uint32_t n = cornerCount(face);
    for (std::uint32_t k = 0; k < n; ++k) {
        out[k] = mesh.worldVertices[face.vertices[k]];
    }
    return n;
}

// Mean of a loop of n >= 1 corners, summed from zero.
QmtVector3 loopCentroid(const QmtVector3* loop, std::uint32_t n) {
    QmtVector3 centre;
    for (std::uint32_t k = 0; k < n; ++k) {
        centre += loop[k];
    }
    centre /= static_cast<double>(n);
    return centre;
}

bool faceHasVertex(const ZYLface& face, std::uint32_t vertex) {
    const std::uint32_t n = cornerCount(face);
    return std::find(face.vertices, face.vertices + n, vertex) != face.vertices + n;
}

// Any corner of `face` strictly within tol of the plane through `origin` with `normal`.
bool cornerNearPlane(const ZYLmesh& mesh, const ZYLface& face, const QmtVector3& origin,
                     const QmtVector3& normal, double tol) {
    const std::uint32_t n = cornerCount(face);
    for (std::uint32_t k = 0; k < n; ++k) {
        if (std::fabs((mesh.worldVertices[face.vertices[k]] - origin).Dot(normal)) < tol) {
            return true;
        }
    }
    return false;
}

// Axis-aligned bounds of a few points.
struct Bounds {
    QmtVector3 low;
    QmtVector3 high;
};

Bounds boundsOf(const QmtVector3* points, std::uint32_t n) {
    Bounds b{points[0], points[0]};
    for (std::uint32_t k = 1; k < n; ++k) {
        for (unsigned axis = 0; axis < 3; ++axis) {
            b.low[axis] = std::min(b.low[axis], points[k][axis]);
            b.high[axis] = std::max(b.high[axis], points[k][axis]);
        }
    }
    return b;
}

// A lower bound of every squared distance measured between points inside the two
// bounds: the gap between the boxes, lowered by far more than the rounding of any
// such measure (a billionth of the squared size of the coordinates). Minus infinity
// when a bound is not a number, so the pair is always measured.
double lowerBound(const Bounds& a, const Bounds& b) {
    double gap = 0.0;
    double size = 0.0;
    for (unsigned axis = 0; axis < 3; ++axis) {
        const double apart = std::max({a.low[axis] - b.high[axis], b.low[axis] - a.high[axis], 0.0});
        gap += apart * apart;
        size = std::max({size, std::fabs(a.low[axis]), std::fabs(a.high[axis]), std::fabs(b.low[axis]),
                         std::fabs(b.high[axis])});
    }
    const double bound = gap - 1e-9 * size * size;
    return std::isnan(bound) ? -std::numeric_limits<double>::infinity() : bound;
}

// The box of every face of three corners or more; none when there is no such face or a
// coordinate is not finite (min and max would pass a NaN over, and a pair's bound with
// an infinity may be NaN where the box's is not).
std::optional<Bounds> unionOfFaces(const ZYLmesh& mesh, const std::vector<Bounds>& faces) {
    std::optional<Bounds> box;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        if (cornerCount(mesh.faces[f]) < 3) {
            continue;
        }
        const Bounds& b = faces[f];
        for (unsigned axis = 0; axis < 3; ++axis) {
            if (!std::isfinite(b.low[axis]) || !std::isfinite(b.high[axis])) {
                return std::nullopt;
            }
        }
        if (!box) {
            box = b;
            continue;
        }
        for (unsigned axis = 0; axis < 3; ++axis) {
            box->low[axis] = std::min(box->low[axis], b.low[axis]);
            box->high[axis] = std::max(box->high[axis], b.high[axis]);
        }
    }
    return box;
}

}  // namespace

bool pointWithinPolygonEdges(const QmtVector3& p, const QmtVector3* loop, std::uint32_t n,
                             const QmtVector3& normal) {
    for (std::uint32_t i = 0; i < n; ++i) {
        const QmtVector3& from = loop[i];
        const QmtVector3& to = loop[(i + 1) % n];
        const QmtVector3& after = loop[(i + 2) % n];
        QmtVector3 outward = (to - from).Cross(normal);
        outward.Unitize(Qmt::QmtMatrix3::EPSILON);
        // Make it point away from the polygon whatever the loop's winding.
        if ((after - to).Dot(outward) > TOLERANCE) {
            outward = -outward;
        }
        QmtVector3 w = p - to;
        w.Unitize(Qmt::QmtMatrix3::EPSILON);
        if (!(w.Dot(outward) < TOLERANCE)) {
            return false;
        }
    }
    return true;
}

bool findOverlappingParallelFaces(const ZYLmesh* a, const ZYLmesh* b, std::uint32_t& faceA,
                                  std::uint32_t& faceB) {
    faceA = ABSENT_INDEX;
    faceB = ABSENT_INDEX;
    if (!readable(a) || !readable(b)) {
        return false;
    }
    QmtVector3 loopA[ZYLFACE_MAX_CORNERS];
    QmtVector3 loopB[ZYLFACE_MAX_CORNERS];
    for (std::uint32_t i = 0; i < a->numFaces; ++i) {
        const std::uint32_t nA = copyCorners(*a, a->faces[i], loopA);
        // A face without corners has no centroid and would pass every edge test.
        if (nA == 0) {
            continue;
        }
        const QmtVector3 centreA = loopCentroid(loopA, nA);
        const QmtVector3& normalA = a->worldNormals[i];

        for (std::uint32_t j = 0; j < b->numFaces; ++j) {
            const QmtVector3& normalB = b->worldNormals[j];
            if (!(std::fabs(normalA.Dot(normalB)) > PARALLEL_NORMALS)) {
                continue;
            }
            const std::uint32_t nB = copyCorners(*b, b->faces[j], loopB);
            if (nB == 0) {
                continue;
            }
            const QmtVector3 centreB = loopCentroid(loopB, nB);
            if (pointWithinPolygonEdges(centreA, loopB, nB, normalB) &&
                pointWithinPolygonEdges(centreB, loopA, nA, normalA)) {
                faceA = i;
                faceB = j;
                return true;
            }
        }
    }
    return false;
}

bool convexPiecesShareFace(const ZYLmesh* a, const ZYLmesh* b, double tol) {
    if (!readable(a) || !readable(b)) {
        return false;
    }
    for (std::uint32_t i = 0; i < a->numFaces; ++i) {
        const ZYLface& fa = a->faces[i];
        const QmtVector3& normalA = a->worldNormals[i];
        for (std::uint32_t j = 0; j < b->numFaces; ++j) {
            const QmtVector3& normalB = b->worldNormals[j];
            if (!(normalA.Dot(normalB) < OPPOSED_NORMALS)) {
                continue;
            }
            const ZYLface& fb = b->faces[j];
            if (fb.numVertices != 0 &&
                cornerNearPlane(*a, fa, b->worldVertices[fb.vertices[0]], normalB, tol)) {
                return true;
            }
            if (fa.numVertices != 0 &&
                cornerNearPlane(*b, fb, a->worldVertices[fa.vertices[0]], normalA, tol)) {
                return true;
            }
        }
    }
    return false;
}

bool closestVertexPair(const ZYLmesh* a, const ZYLmesh* b, const QmtVector3& /*axis*/,
                       double tol) {
    if (!readable(a) || !readable(b)) {
        return false;
    }
    double best = FACE_DISTANCE_NONE;
    std::uint32_t bestA = ABSENT_INDEX;
    std::uint32_t bestB = ABSENT_INDEX;
    for (std::uint32_t i = 0; i < a->numVertices; ++i) {
        const QmtVector3& pa = a->worldVertices[i];
        for (std::uint32_t j = 0; j < b->numVertices; ++j) {
            const double d = (b->worldVertices[j] - pa).SquaredLength();
            if (d < best) {
                best = d;
                bestA = i;
                bestB = j;
            }
        }
    }
    if (bestA == ABSENT_INDEX) {
        return false;
    }

    const QmtVector3 d = b->worldVertices[bestB] - a->worldVertices[bestA];
    for (std::uint32_t f = 0; f < a->numFaces; ++f) {
        if (faceHasVertex(a->faces[f], bestA) && std::fabs(d.Dot(a->worldNormals[f])) < tol) {
            return true;
        }
    }
    for (std::uint32_t g = 0; g < b->numFaces; ++g) {
        if (faceHasVertex(b->faces[g], bestB) && std::fabs(d.Dot(b->worldNormals[g])) < tol) {
            return true;
        }
    }
    return false;
}

double distanceSq_tri2tri(const QmtVector3* triangleA, const QmtVector3& normalA,
                          const QmtVector3* triangleB, const QmtVector3& normalB,
                          QmtVector3& closestA, QmtVector3& closestB) {
    double wA0 = 0.0;
    double wA1 = 0.0;
    double wB0 = 0.0;
    double wB1 = 0.0;
    const double d =
        sqrDistanceTriangleTriangle(triangleA, normalA, triangleB, normalB, wA0, wA1, wB0, wB1);
    closestA = trianglePoint(triangleA, wA0, wA1);
    closestB = trianglePoint(triangleB, wB0, wB1);
    return d;
}

double distanceSqConvexPolygons(const QmtVector3* loopA, std::uint32_t nA,
                                const QmtVector3& normalA, const QmtVector3* loopB,
                                std::uint32_t nB, const QmtVector3& normalB,
                                QmtVector3& closestA, QmtVector3& closestB, double bound) {
    // A loop of fewer than 3 points has no fan triangle (and nA - 2 would wrap).
    if (nA < 3 || nB < 3) {
        return FACE_DISTANCE_NONE;
    }
    // Triangle pairs whose bounds lie beyond `bound` cannot come nearer: they are passed.
    const bool bounded = bound < FACE_DISTANCE_NONE;
    Bounds fanB[ZYLFACE_MAX_CORNERS];
    if (bounded) {
        for (std::uint32_t m = 1; m + 1 < nB; ++m) {
            const QmtVector3 tri[3] = {loopB[0], loopB[m], loopB[m + 1]};
            fanB[m] = boundsOf(tri, 3);
        }
    }
    double best = FACE_DISTANCE_NONE;
    // Only the weights of the best pair are kept; its points are made once at the end
    // by the same formula distanceSq_tri2tri uses.
    std::uint32_t bestK = 0;
    std::uint32_t bestM = 0;
    double bestW[4] = {};

    QmtVector3 triA[3] = {loopA[0], QmtVector3(), QmtVector3()};
    QmtVector3 triB[3] = {loopB[0], QmtVector3(), QmtVector3()};
    for (std::uint32_t k = 1; k + 1 < nA; ++k) {
        triA[1] = loopA[k];
        triA[2] = loopA[k + 1];
        const Bounds fanA = bounded ? boundsOf(triA, 3) : Bounds{};
        for (std::uint32_t m = 1; m + 1 < nB; ++m) {
            if (bounded && lowerBound(fanA, fanB[m]) > bound) {
                continue;
            }
            triB[1] = loopB[m];
            triB[2] = loopB[m + 1];
            double w[4];
            const double d =
                sqrDistanceTriangleTriangle(triA, normalA, triB, normalB, w[0], w[1], w[2], w[3]);
            if (d < best) {
                best = d;
                bestK = k;
                bestM = m;
                std::copy(w, w + 4, bestW);
            }
        }
    }
    if (bestK != 0) {
        const QmtVector3 fanA[3] = {loopA[0], loopA[bestK], loopA[bestK + 1]};
        const QmtVector3 fanB[3] = {loopB[0], loopB[bestM], loopB[bestM + 1]};
        closestA = trianglePoint(fanA, bestW[0], bestW[1]);
        closestB = trianglePoint(fanB, bestW[2], bestW[3]);
    }
    return best;
}

double closestFacingFaces(const ZYLmesh* a, const ZYLmesh* b, std::uint32_t& faceA,
                          std::uint32_t& faceB, QmtVector3& pointA, QmtVector3& pointB, double bound) {
    double best = FACE_DISTANCE_NONE;
    faceA = ABSENT_INDEX;
    faceB = ABSENT_INDEX;
    if (!readable(a) || !readable(b)) {
        return best;
    }
    QmtVector3 loopA[ZYLFACE_MAX_CORNERS];
    QmtVector3 loopB[ZYLFACE_MAX_CORNERS];
    // Faces of fewer than 3 corners measure nothing; the others are bounded.
    const auto faceBounds = [&](const ZYLmesh& mesh, std::vector<Bounds>& out) {
        out.resize(mesh.numFaces);
        for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
            const std::uint32_t n = copyCorners(mesh, mesh.faces[f], loopA);
            if (n >= 3) {
                out[f] = boundsOf(loopA, n);
            }
        }
    };
    std::vector<Bounds> boundsA;
    std::vector<Bounds> boundsB;
    faceBounds(*a, boundsA);
    faceBounds(*b, boundsB);
    // Under a bound, a face whose box lies beyond it from the other mesh's whole box has
    // no pair within it: lowerBound only grows as a box shrinks, so the faces passed
    // here are those whose every pair the test below would pass.
    std::vector<std::uint8_t> nearA(a->numFaces, 1);
    std::vector<std::uint8_t> nearB(b->numFaces, 1);
    if (bound < FACE_DISTANCE_NONE) {
        const std::optional<Bounds> boxA = unionOfFaces(*a, boundsA);
        const std::optional<Bounds> boxB = unionOfFaces(*b, boundsB);
        if (boxA && boxB) {
            for (std::uint32_t i = 0; i < a->numFaces; ++i) {
                nearA[i] = !(lowerBound(boundsA[i], *boxB) > bound);
            }
            for (std::uint32_t j = 0; j < b->numFaces; ++j) {
                nearB[j] = !(lowerBound(*boxA, boundsB[j]) > bound);
            }
        }
    }
    struct Candidate {
        double bound;
        std::uint32_t i;
        std::uint32_t j;
    };
    std::vector<Candidate> candidates;
    for (std::uint32_t i = 0; i < a->numFaces; ++i) {
        if (!nearA[i]) {
            continue;
        }
        const QmtVector3& normalA = a->worldNormals[i];
        for (std::uint32_t j = 0; j < b->numFaces; ++j) {
            // Perpendicular faces count as facing too.
            if (nearB[j] && normalA.Dot(b->worldNormals[j]) < TOLERANCE && cornerCount(a->faces[i]) >= 3 &&
                cornerCount(b->faces[j]) >= 3) {
                // A pair that cannot come within the bound is of no interest.
                if (const double lower = lowerBound(boundsA[i], boundsB[j]); !(lower > bound)) {
                    candidates.push_back({lower, i, j});
                }
            }
        }
    }
    // Nearest bounds first. The answer is that of measuring every pair in face order (the
    // least distance, the first pair on a tie): once a bound exceeds the least distance
    // found, neither that pair nor any later one can reach or tie it.
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& p, const Candidate& q) {
        return p.bound < q.bound || (p.bound == q.bound && (p.i < q.i || (p.i == q.i && p.j < q.j)));
    });
    for (const Candidate& c : candidates) {
        const bool found = faceA != ABSENT_INDEX;
        if (found && c.bound > best) {
            break;
        }
        const std::uint32_t nA = copyCorners(*a, a->faces[c.i], loopA);
        const std::uint32_t nB = copyCorners(*b, b->faces[c.j], loopB);
        QmtVector3 onA;
        QmtVector3 onB;
        const double d = distanceSqConvexPolygons(loopA, nA, a->worldNormals[c.i], loopB, nB, b->worldNormals[c.j],
                                                  onA, onB, best);
        const bool earlier = c.i < faceA || (c.i == faceA && c.j < faceB);
        if (d < best || (found && d == best && earlier)) {
            best = d;
            faceA = c.i;
            faceB = c.j;
            pointA = onA;
            pointB = onB;
        }
    }
    return best;
}
