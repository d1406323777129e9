#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "geometry/clip/clipper.h"
#include "geometry/clip/cutLoop.h"
#include "geometry/mesh/faceEdits.h"
#include "geometry/hull/planarHull.h"
#include "geometry/query/proximity.h"
#include "math/qmtMatrix3.h"

// Splitting of non-convex cut loops along diagonals, and the fan form of the cap face.

namespace {

using Qmt::QmtVector3;
using Node = CutLoopNode;

constexpr double kTolerance = 1e-5;
constexpr double kFltMax = 3.4028234663852886e38;
constexpr std::uint32_t kFanLimit = 32;

// The first node whose edge ends within sqrt(1e-5) of p; the head when there is none.
Node* edgeEndingAt(const CutLoop* loop, const QmtVector3* V, const QmtVector3& p) {
    for (Node* node = firstCutLoopNode(loop); node; node = node->next) {
        if ((V[node->value->v1] - p).SquaredLength() <= kTolerance) {
            return node;
        }
    }
    return firstCutLoopNode(loop);
}

// Keeps the first of repeated hull entries.
std::int32_t dropRepeatedEntries(std::uint32_t* entries, std::int32_t count) {
    std::int32_t kept = 0;
    for (std::int32_t k = 0; k < count; ++k) {
        if (std::find(entries, entries + kept, entries[k]) == entries + kept) {
            entries[kept++] = entries[k];
        }
    }
    return kept;
}

// Whether the diagonal from the reflex corner between edges c and cNext to vertex w
// leaves the corner into the loop (clockwise about m): to the right of c's line or
// straight on, or to its left but short of cNext.
bool opensIntoCorner(const connect_edge& c, const connect_edge& cNext, std::uint32_t w, const QmtVector3* V,
                     const QmtVector3& m) {
    const std::uint32_t incoming[2] = {c.v0, c.v1};
    const std::uint32_t diagonal[2] = {c.v1, w};
    const std::uint32_t outgoing[2] = {cNext.v0, cNext.v1};
    return classifyEdgeTurn(incoming, diagonal, V, m) != -1 || classifyEdgeTurn(diagonal, outgoing, V, m) == -1;
}

// Clears a working face record before a cap piece is written into it.
void resetFace(ZYL_DFface& face) {
    face.release();
    face.spare = QmtVector3::ZERO;
    face.alive = 0;
    face.flags = 0;
    face.piece = 0;
    face.material = 0;
    face.numUVSets = 0;
}

}  // namespace

// ---- Non-convex loops -------------------------------------------------------------------------

bool Clipper::findDeepestLoopVertex(const CutLoop* loop, const QmtVector3& m, bool dropRepeats,
                                    QmtVector3& deepest) const {
    std::vector<QmtVector3> points(loop->edges.count);
    const std::uint32_t k = collectLoopPoints(loop, points.data());
    std::uint32_t* raw = nullptr;
    std::int32_t H = convexHull2DOfPlanarPoints(points.data(), k, m, &raw);
    const std::unique_ptr<std::uint32_t[]> hull(raw);
    if (dropRepeats && hull) {
        H = dropRepeatedEntries(hull.get(), H);
    }
    if (H < 2) {
        return false;
    }
    const auto corners = static_cast<std::uint32_t>(H);

    // Each hull edge owns the loop vertices from its first corner up to its second: its
    // pocket. The hull runs the same way round as the loop (clockwise about m).
    std::vector<std::uint32_t> owner(k, 0);
    for (std::uint32_t i = 0; i < corners; ++i) {
        const std::uint32_t end = hull[(i + 1) % corners];
        std::uint32_t v = hull[i];
        do {
            owner[v] = i;
            v = (v + 1) % k;
        } while (v != end);
    }
    double best = -kFltMax;
    std::uint32_t deep = 0;
    for (std::uint32_t v = 0; v < k; ++v) {
        double t = 0.0;
        const std::uint32_t i = owner[v];
        const double depth = distanceSqToSegment(points[v], points[hull[i]], points[hull[(i + 1) % corners]], t);
        if (depth > best) {
            best = depth;
            deep = v;
        }
    }
    deepest = points[deep];
    return true;
}

bool Clipper::splitNonConvexLoop(CutLoop* loop, std::uint32_t& count, const QmtVector3& m, std::uint32_t depth) {
    if (!loop || m_failed) {
        return false;
    }
    QmtVector3 deep;
    if (count < 4 || !findDeepestLoopVertex(loop, m, false, deep)) {
        makeCapFace(loop, count, m_planeNormal);
        return true;
    }
    const QmtVector3* V = m_vertices;

    // From the deepest vertex on, the first reflex corner directly followed by a convex
    // one. A loop without such a pair is capped whole; the write-back still orients a
    // non-convex cap correctly.
    const std::uint32_t edges = loop->edges.count;
    Node* c = edgeEndingAt(loop, V, deep);
    Node* corner = nullptr;
    for (std::uint32_t step = 0; step <= edges; ++step) {
        Node* const c1 = nextCutLoopNode(loop, c);
        if (cutEdgeTurn(*c->value, *c1->value, V, m) == -1 &&
            cutEdgeTurn(*c1->value, *nextCutLoopNode(loop, c1)->value, V, m) == 1) {
            corner = c;
            break;
        }
        c = c1;
    }
    if (!corner) {
        makeCapFace(loop, count, m_planeNormal);
        return true;
    }

    // Shoot the corner's edge on into the loop and find the nearest edge it hits.
    const connect_edge& ce = *corner->value;
    const connect_edge& cn = *nextCutLoopNode(loop, corner)->value;
    QmtVector3 direction = V[ce.v1] - V[ce.v0];
    direction.Unitize(Qmt::QmtMatrix3::EPSILON);
    double nearest = kFltMax;
    const connect_edge* hit = nullptr;
    for (const connect_edge* t : loop->edges) {
        if (t->v1 == ce.v0 || t->v1 == ce.v1 || t->v1 == cn.v1 || t->v0 == ce.v0 || t->v0 == ce.v1) {
            continue;
        }
        double r = 0.0;
        double s = 0.0;
        if (intersectRaySegment(V[ce.v1], direction, V[t->v0], V[t->v1], r, s) && r < nearest) {
            nearest = r;
            hit = t;
        }
    }

    // The hit point is seen from the corner, but the far end of the hit edge need not
    // be: another part of the loop may stand in between, and a diagonal crossing the
    // loop leaves a piece that overlaps itself and loses its cap. So the diagonal ends
    // at the first vertex it reaches inside the loop without crossing an edge: the hit
    // edge's far end, its near end, then the loop vertices after the corner in order.
    // The walk alone decides when rounding lets the ray slip past every edge, as it
    // does along a run of collinear vertices.
    const auto reachable = [&](std::uint32_t w) {
        if (w == ce.v0 || w == ce.v1 || w == cn.v1) {
            return false;
        }
        connect_edge diagonal;
        makeCutEdge(diagonal, ce.v1, w, ABSENT_INDEX, ABSENT_INDEX);
        return opensIntoCorner(ce, cn, w, V, m) && !segmentCrossesLoop(diagonal, loop);
    };
    std::uint32_t target = ABSENT_INDEX;
    if (hit && reachable(hit->v1)) {
        target = hit->v1;
    } else if (hit && reachable(hit->v0)) {
        target = hit->v0;
    } else {
        Node* x = nextCutLoopNode(loop, nextCutLoopNode(loop, corner));
        for (std::uint32_t step = 0; step + 3 < edges; ++step, x = nextCutLoopNode(loop, x)) {
            if (reachable(x->value->v1)) {
                target = x->value->v1;
                break;
            }
        }
    }
    if (target == ABSENT_INDEX) {
        // Only rounding can hide every vertex; a whole cap still closes the mesh.
        makeCapFace(loop, count, m_planeNormal);
        return true;
    }
    return cutAlongDiagonal(loop, count, corner, target, m, depth);
}

bool Clipper::cutAlongDiagonal(CutLoop* loop, std::uint32_t& count, Node* corner, std::uint32_t to,
                               const QmtVector3& m, std::uint32_t depth) {
    // The run from the corner's successor up to the first edge ending at `to`.
    std::vector<connect_edge*> run;
    Node* node = nextCutLoopNode(loop, corner);
    while (node != corner) {
        run.push_back(node->value);
        if (node->value->v1 == to) {
            break;
        }
        node = nextCutLoopNode(loop, node);
    }
    if (run.empty() || run.back()->v1 != to) {
        return false;
    }

    // Everything that can fail comes first.
    const auto length = static_cast<std::uint32_t>(run.size());
    std::unique_ptr<CutLoop> piece(new (std::nothrow) CutLoop);
    std::unique_ptr<connect_edge> diagonal(new (std::nothrow) connect_edge);
    std::unique_ptr<connect_edge> reverse(new (std::nothrow) connect_edge);
    if (!piece || !piece->edges.head || !diagonal || !reverse || !reserveCutLoopNodes(piece->edges, length + 1) ||
        !reserveCutLoopNodes(loop->edges, 1) || !reserveCutLoopNodes(m_diagonals, 2)) {
        m_failed = true;
        return false;
    }
    // The diagonal's corners read the UV entries of the loop edges ending there.
    const connect_edge& ce = *corner->value;
    const std::uint32_t uvFrom = ce.uvs[EDGE_SLOT_END_A];
    const std::uint32_t uvTo = run.back()->uvs[EDGE_SLOT_END_A];
    connect_edge* const d = diagonal.release();
    connect_edge* const dReverse = reverse.release();
    makeCutEdge(*d, ce.v1, to, uvFrom, uvTo);
    makeCutEdge(*dReverse, to, ce.v1, uvTo, uvFrom);
    m_diagonals.pushFront(d);  // the clipper deletes them
    m_diagonals.pushFront(dReverse);
    m_diagonalCount += 2;

    for (connect_edge* e : run) {
        loop->edges.remove(e);
    }
    loop->edges.insertAfter(d, corner);
    loop->edgeCount = loop->edgeCount - length + 1;
    count = loop->edgeCount;

    Node* tail = piece->edges.head;
    for (connect_edge* e : run) {
        piece->edges.insertAfter(e, tail);
        tail = tail->next;
    }
    piece->edges.insertAfter(dReverse, tail);
    piece->edgeCount = length + 1;
    piece->closed = true;
    piece->store = loop->store;

    for (CutLoop* part : {piece.get(), loop}) {
        std::uint32_t partCount = part->edgeCount;
        if (partCount > 3 && isCutLoopNonConvex(part, partCount, m)) {
            splitNonConvexLoop(part, partCount, m, depth + 1);
        } else {
            makeCapFace(part, partCount, m_planeNormal);
        }
    }
    count = loop->edgeCount;
    return true;
}

bool Clipper::splitNonConvexLoopByDiagonal(CutLoop* loop, std::uint32_t& count, const QmtVector3& m) {
    if (!loop || m_failed) {
        return false;
    }
    QmtVector3 deep;
    if (count < 4 || !findDeepestLoopVertex(loop, m, true, deep)) {
        makeCapFace(loop, count, m_planeNormal);
        return true;
    }
    const QmtVector3* V = m_vertices;
    Node* c = edgeEndingAt(loop, V, deep);
    const connect_edge& ce = *c->value;
    // Candidates: the loop vertices after the deepest one that are not its neighbours.
    Node* x = nextCutLoopNode(loop, nextCutLoopNode(loop, c));
    const std::uint32_t edges = loop->edges.count;
    for (std::uint32_t step = 0; step + 3 < edges; ++step, x = nextCutLoopNode(loop, x)) {
        const std::uint32_t w = x->value->v1;
        connect_edge diagonal;
        makeCutEdge(diagonal, ce.v1, w, ABSENT_INDEX, ABSENT_INDEX);
        const std::uint32_t e0[2] = {ce.v0, ce.v1};
        const std::uint32_t e1[2] = {ce.v1, w};
        if (w != ce.v1 && classifyEdgeTurn(e0, e1, V, m) != -1 && !segmentCrossesLoop(diagonal, loop)) {
            return cutAlongDiagonal(loop, count, c, w, m, 0);
        }
    }
    return false;
}

// ---- Other members of the family ------------------------------------------------------------

void Clipper::makeCapFaceFan(const CutLoop* loop, std::uint32_t /*count*/) {
    std::vector<std::uint32_t> vertices;
    std::vector<std::uint32_t> uvs;
    const std::uint32_t k = gatherLoopCorners(loop, vertices, uvs);
    if (k == 0) {
        return;
    }
    if (k == 3) {
        if (isDegenerateTriangle(m_vertices[vertices[0]], m_vertices[vertices[1]], m_vertices[vertices[2]], true,
                                 kTolerance) ||
            !reserveFaces(m_faceCount + 1)) {
            return;
        }
        ZYL_DFface& face = m_faces[m_faceCount];
        resetFace(face);
        face.allocate(3, 1);
        if (face.capacity < 3) {
            m_failed = true;
            return;
        }
        std::copy(vertices.begin(), vertices.end(), face.vertices);
        if (m_uvs) {
            std::copy(uvs.begin(), uvs.end(), face.uvs);
        }
        face.numVertices = 3;
        face.alive = 1;
        face.flags = FACE_CAP;
        ++m_faceCount;
        return;
    }
    // The fan never makes more pieces than it has loop indices.
    if (!reserveFaces(m_faceCount + k)) {
        return;
    }
    for (std::uint32_t i = m_faceCount; i < m_faceCount + k; ++i) {
        resetFace(m_faces[i]);
    }
    int faceCount = static_cast<int>(m_faceCount);
    const int n = static_cast<int>(k - 1);
    if (m_uvs) {
        splitPolygonFanWithAttr(vertices[0], vertices.data() + 1, uvs[0], uvs.data() + 1, n, m_faces, &faceCount,
                                kFanLimit);
    } else {
        splitPolygonFan(vertices[0], vertices.data() + 1, n, m_faces, &faceCount, kFanLimit);
    }
    for (auto i = static_cast<int>(m_faceCount); i < faceCount; ++i) {
        m_faces[i].flags |= FACE_CAP;
        m_faces[i].material = 0;
    }
    m_faceCount = static_cast<std::uint32_t>(faceCount);
}

void Clipper::countLoopTurns(const CutLoop* loop, std::uint32_t count, QmtVector3& n, std::uint32_t& positives,
                             std::uint32_t& negatives) const {
    positives = 0;
    negatives = 0;
    if (!loop) {
        return;
    }
    for (const Node* node = firstCutLoopNode(loop); node; node = node->next) {
        const int turn = cutEdgeTurn(*node->value, *nextCutLoopNode(loop, node)->value, m_vertices, n);
        positives += turn == 1 ? 1 : 0;
        negatives += turn == -1 ? 1 : 0;
    }
    if (negatives > 0) {
        n = cutLoopOrientation(loop, count, n);
    }
}

bool Clipper::checkDiagonalTurn(const connect_edge& edge, const Node* node, const CutLoop* loop,
                                const QmtVector3& n) const {
    const Node* after = (node && node->next) ? node->next : (loop ? firstCutLoopNode(loop) : nullptr);
    if (!after) {
        return false;
    }
    const std::uint32_t t = after->value->v1;
    if (t == edge.v0) {
        return true;
    }
    const std::uint32_t e0[2] = {edge.v0, edge.v1};
    const std::uint32_t e1[2] = {edge.v1, t};
    return classifyEdgeTurn(e0, e1, m_vertices, n) != -1;
}

bool Clipper::segmentCrossesLoop(const connect_edge& edge, const CutLoop* loop) const {
    if (!loop) {
        return false;
    }
    const QmtVector3* V = m_vertices;
    for (const connect_edge* f : loop->edges) {
        const bool shares = f->v0 == edge.v0 || f->v0 == edge.v1 || f->v1 == edge.v0 || f->v1 == edge.v1;
        if (!shares && segmentsIntersect(V[edge.v0], V[edge.v1], V[f->v0], V[f->v1])) {
            return true;
        }
    }
    return false;
}
