#include "geometry/clip/cutLoop.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>
#include <vector>

#include "geometry/mesh/faceEdits.h"
#include "geometry/query/proximity.h"
#include "math/qmtMatrix3.h"

namespace {

using Qmt::QmtVector3;
using Node = PooledList<connect_edge*>::Node;

constexpr double kTolerance = 1e-5;
constexpr double kFltMax = 3.4028234663852886e38;

Node* firstNode(const CutLoop* loop) { return firstCutLoopNode(loop); }

// Unit in-plane normal of the edge a -> b: unit((P(b) - P(a)) x n).
QmtVector3 edgeNormal(const QmtVector3* V, std::uint32_t a, std::uint32_t b, const QmtVector3& n) {
    QmtVector3 m = (V[b] - V[a]).Cross(n);
    m.Unitize(Qmt::QmtMatrix3::EPSILON);
    return m;
}

// Mean of the start points of the loop's edges; false for an empty loop.
bool startMean(const CutLoop* loop, const QmtVector3* V, QmtVector3& mean) {
    QmtVector3 sum;
    std::uint32_t count = 0;
    for (const connect_edge* e : loop->edges) {
        sum += V[e->v0];
        ++count;
    }
    if (count == 0) {
        return false;
    }
    mean = sum / static_cast<double>(count);
    return true;
}

// Side of the first edge (a, b) the loop's inner points lie on: -1 or +1.
double sideOf(double d, double threshold) { return d < threshold ? -1.0 : 1.0; }

// Whether q lies, within the tolerance, on the side of every edge of the loop on which
// the reference point r lies of the loop's first edge e0.
bool onReferenceSideOfEdges(const QmtVector3& q, const QmtVector3& r, const connect_edge& e0, const CutLoop* loop,
                            const QmtVector3& n, const QmtVector3* V) {
    const double sigma = sideOf((r - V[e0.v0]).Dot(edgeNormal(V, e0.v0, e0.v1, n)), kTolerance);
    for (const connect_edge* e : loop->edges) {
        if ((q - V[e->v0]).Dot(edgeNormal(V, e->v0, e->v1, n)) * sigma < -kTolerance) {
            return false;
        }
    }
    return true;
}

// Whether the closed loop a winds an odd number of times around q (crossing count in
// the plane of n).
bool enclosesPoint(const CutLoop* a, const QmtVector3& q, const QmtVector3& n, const QmtVector3* V) {
    QmtVector3 u = n.Cross(std::fabs(n.x) < 0.5 ? QmtVector3(1.0, 0.0, 0.0) : QmtVector3(0.0, 1.0, 0.0));
    u.Unitize(Qmt::QmtMatrix3::EPSILON);
    const QmtVector3 w = n.Cross(u);
    const double qx = q.Dot(u);
    const double qy = q.Dot(w);
    bool inside = false;
    for (const connect_edge* e : a->edges) {
        const double ax = V[e->v0].Dot(u);
        const double ay = V[e->v0].Dot(w);
        const double bx = V[e->v1].Dot(u);
        const double by = V[e->v1].Dot(w);
        if ((ay > qy) != (by > qy) && qx < ax + (qy - ay) * (bx - ax) / (by - ay)) {
            inside = !inside;
        }
    }
    return inside;
}

// Whether the closed loop a encloses loop b: every vertex of b that is not also one of
// a's lies inside a, and there is such a vertex. Meant for loops that do not cross.
bool loopEnclosesLoop(const CutLoop* a, const CutLoop* b, const QmtVector3& n, const QmtVector3* V) {
    std::vector<std::uint32_t> shared;
    for (const connect_edge* e : a->edges) {
        shared.push_back(e->v0);
    }
    std::sort(shared.begin(), shared.end());
    bool any = false;
    for (const connect_edge* e : b->edges) {
        if (std::binary_search(shared.begin(), shared.end(), e->v0)) {
            continue;
        }
        if (!enclosesPoint(a, V[e->v0], n, V)) {
            return false;
        }
        any = true;
    }
    return any;
}

// Squared distance from q to the segment a..b.
double squaredDistanceToSegment(const QmtVector3& q, const QmtVector3& a, const QmtVector3& b) {
    const QmtVector3 d = b - a;
    const double dd = d.SquaredLength();
    const double t = dd > 0.0 ? std::clamp((q - a).Dot(d) / dd, 0.0, 1.0) : 0.0;
    return (q - (a + d * t)).SquaredLength();
}

// Whether q lies within the tolerance of an edge of the loop.
bool nearCutLoop(const QmtVector3& q, const CutLoop* loop, const QmtVector3* V) {
    for (const connect_edge* e : loop->edges) {
        if (squaredDistanceToSegment(q, V[e->v0], V[e->v1]) < kTolerance) {
            return true;
        }
    }
    return false;
}

// Whether two edges that meet do so only at an end they share (by number or by
// position), neither running on along the other from there.
bool edgesMeetOnlyAtSharedEnd(const connect_edge& ea, const connect_edge& eb, const QmtVector3* V) {
    const auto same = [V](std::uint32_t u, std::uint32_t v) { return u == v || V[u] == V[v]; };
    std::uint32_t shared = ABSENT_INDEX;
    std::uint32_t otherA = ABSENT_INDEX;
    std::uint32_t otherB = ABSENT_INDEX;
    for (const auto& [a, restA] : {std::pair{ea.v0, ea.v1}, std::pair{ea.v1, ea.v0}}) {
        for (const auto& [b, restB] : {std::pair{eb.v0, eb.v1}, std::pair{eb.v1, eb.v0}}) {
            if (shared == ABSENT_INDEX && same(a, b)) {
                shared = a;
                otherA = restA;
                otherB = restB;
            }
        }
    }
    return shared != ABSENT_INDEX && !same(otherA, otherB) &&
           squaredDistanceToSegment(V[otherB], V[shared], V[otherA]) >= kTolerance &&
           squaredDistanceToSegment(V[otherA], V[shared], V[otherB]) >= kTolerance;
}

// The first nodes of loop a, which must be closed, and loop b, and the mean G of a's
// edge starts; false when one of them is missing.
bool loopPairStart(const CutLoop* a, const CutLoop* b, const QmtVector3* V, const Node*& firstA, const Node*& firstB,
                   QmtVector3& G) {
    if (!a || !b || !V || !a->closed) {
        return false;
    }
    firstA = firstNode(a);
    firstB = firstNode(b);
    return firstA && firstB && startMean(a, V, G);
}

}  // namespace

// ---- Records ---------------------------------------------------------------------------------

bool reserveCutLoopNodes(PooledList<connect_edge*>& list, std::uint32_t n) {
    list.reserveSpares(n);
    std::uint32_t have = 0;
    for (const Node* s = list.spare; s && have < n; s = s->next) {
        ++have;
    }
    return have >= n;
}

int cutEdgeTurn(const connect_edge& e, const connect_edge& f, const QmtVector3* vertices, const QmtVector3& normal) {
    const std::uint32_t e0[2] = {e.v0, e.v1};
    const std::uint32_t e1[2] = {f.v0, f.v1};
    return classifyEdgeTurn(e0, e1, vertices, normal);
}

CutEdgeStore::~CutEdgeStore() {
    for (connect_edge* e : m_records) {
        delete e;
    }
}

connect_edge* CutEdgeStore::make(std::uint32_t v0, std::uint32_t v1, std::uint32_t uv0, std::uint32_t uv1) {
    auto* e = new (std::nothrow) connect_edge;
    if (!e) {
        return nullptr;
    }
    makeCutEdge(*e, v0, v1, uv0, uv1);
    const std::uint32_t before = m_records.count;
    m_records.pushFront(e);
    if (m_records.count == before) {
        delete e;
        return nullptr;
    }
    return e;
}

void makeCutEdge(connect_edge& e, std::uint32_t v0, std::uint32_t v1, std::uint32_t uv0, std::uint32_t uv1) {
    clearConnectEdge(e);
    e.v0 = v0;
    e.v1 = v1;
    e.uvs[EDGE_SLOT_START_A] = uv0;
    e.uvs[EDGE_SLOT_END_A] = uv1;
    e.active = 0;
    e.numUVSets = 0;
}

void reverseCutEdge(connect_edge& e) {
    std::swap(e.v0, e.v1);
    for (std::uint32_t side = 0; side < 2; ++side) {
        std::swap(e.normals[EDGE_SLOT_START_A + side], e.normals[EDGE_SLOT_END_A + side]);
        std::swap(e.uvs[EDGE_SLOT_START_A + side], e.uvs[EDGE_SLOT_END_A + side]);
        for (std::uint32_t s = 0; s < 8; ++s) {
            std::swap(e.uvSetStart[s][side], e.uvSetEnd[s][side]);
        }
    }
}

// ---- Loop relations ------------------------------------------------------------------------

bool cutLoopsCross(const CutLoop* a, const CutLoop* b, const QmtVector3& /*n*/, const QmtVector3* V) {
    if (!a || !b || !V || !a->closed) {
        return false;
    }
    for (const connect_edge* ea : a->edges) {
        for (const connect_edge* eb : b->edges) {
            if (segmentsIntersect(V[ea->v1], V[ea->v0], V[eb->v1], V[eb->v0])) {
                return true;
            }
        }
    }
    return false;
}

bool cutLoopsOnlyTouch(const CutLoop* a, const CutLoop* b, const QmtVector3* V) {
    if (!a || !b || !V) {
        return false;
    }
    bool touch = false;
    for (const connect_edge* ea : a->edges) {
        for (const connect_edge* eb : b->edges) {
            if (segmentsIntersect(V[ea->v1], V[ea->v0], V[eb->v1], V[eb->v0])) {
                if (!edgesMeetOnlyAtSharedEnd(*ea, *eb, V)) {
                    return false;
                }
                touch = true;
            }
        }
    }
    return touch;
}

bool cutLoopHoldsTouchingLoop(const CutLoop* a, const CutLoop* b, const QmtVector3& n, const QmtVector3* V) {
    if (!a || !b || !V || !a->closed) {
        return false;
    }
    // Points on A's outline say nothing; B lies wholly on one side of it elsewhere.
    bool any = false;
    for (const connect_edge* e : b->edges) {
        const QmtVector3& q = V[e->v0];
        if (!nearCutLoop(q, a, V)) {
            if (!enclosesPoint(a, q, n, V)) {
                return false;
            }
            any = true;
        }
    }
    if (any) {
        return true;
    }
    for (const connect_edge* e : b->edges) {
        const QmtVector3 q = (V[e->v0] + V[e->v1]) * 0.5;
        if (!nearCutLoop(q, a, V)) {
            return enclosesPoint(a, q, n, V);
        }
    }
    return false;
}

bool cutLoopContainsLoop(const CutLoop* a, const CutLoop* b, const QmtVector3& n, const QmtVector3* V) {
    const Node* firstA = nullptr;
    const Node* firstB = nullptr;
    QmtVector3 G;
    if (!loopPairStart(a, b, V, firstA, firstB, G)) {
        return false;
    }
    // The half-planes decide for a convex A, and whenever they hold (B's vertex then
    // lies in A's kernel). A dented A -- a faceted ring cut at a slant -- can reject a
    // vertex of its own hole, which would then be capped over as a second outer loop.
    return onReferenceSideOfEdges(V[firstB->value->v0], G, *firstA->value, a, n, V) ||
           loopEnclosesLoop(a, b, n, V);
}

bool pointInCutLoop(const QmtVector3& p, const CutLoop* loop, const QmtVector3& n, const QmtVector3* V) {
    if (!loop || !V) {
        return false;
    }
    const Node* first = firstNode(loop);
    return !first || onReferenceSideOfEdges(p, p, *first->value, loop, n, V);
}

bool cutLoopMostlyContains(const CutLoop* a, const CutLoop* b, const QmtVector3& n, const QmtVector3* V) {
    const Node* firstA = nullptr;
    const Node* firstB = nullptr;
    QmtVector3 G;
    if (!loopPairStart(a, b, V, firstA, firstB, G)) {
        return false;
    }
    const connect_edge& e0 = *firstA->value;
    const QmtVector3 m0 = edgeNormal(V, e0.v0, e0.v1, n);
    const double sigma = sideOf((G - V[e0.v0]).Dot(m0), -kTolerance);
    const auto inner = [&](const QmtVector3& q) { return (q - V[e0.v0]).Dot(m0) * sigma; };

    // A vertex of B on A's inner side of A's first edge.
    QmtVector3 q = V[firstB->value->v0];
    if (inner(q) < -kTolerance) {
        for (const connect_edge* e : b->edges) {
            q = V[e->v0];
            if (inner(q) > kTolerance) {
                break;
            }
        }
        if (inner(q) < -kTolerance) {
            return false;
        }
    }
    std::uint32_t inside = 0;
    std::uint32_t edges = 0;
    for (const connect_edge* e : a->edges) {
        const QmtVector3 m = edgeNormal(V, e->v0, e->v1, n);
        if ((G - V[e->v0]).Dot(m) * (q - V[e->v0]).Dot(m) > kTolerance) {
            ++inside;
        }
        ++edges;
    }
    return static_cast<float>(inside) / static_cast<float>(edges) >= 0.7f;
}

void cutLoopEdgeOutwardNormal(QmtVector3& out, const connect_edge* edge, const CutLoop* loop, const QmtVector3& n,
                              const QmtVector3* V) {
    QmtVector3 G;
    if (!edge || !loop || !V || !startMean(loop, V, G)) {
        out = QmtVector3::ZERO;
        return;
    }
    const QmtVector3 m = edgeNormal(V, edge->v0, edge->v1, n);
    out = (G - V[edge->v0]).Dot(m) >= kTolerance ? -m : m;
}

// ---- Loop surgery --------------------------------------------------------------------------

void bridgeHole(CutLoop* a, CutLoop* b, const QmtVector3& n, const QmtVector3* V) {
    if (!a || !b || a == b || !V || !a->store) {
        return;
    }
    // 1. The closest pair (end of a hole edge, start of an outer edge).
    Node* ha = nullptr;
    std::uint32_t holeIndex = 0;
    double best = kFltMax;
    std::vector<connect_edge*> hole;
    hole.reserve(b->edges.count);
    for (connect_edge* hb : b->edges) {
        for (Node* na = firstNode(a); na; na = na->next) {
            const double d = (V[hb->v1] - V[na->value->v0]).SquaredLength();
            if (d < best) {
                best = d;
                ha = na;
                holeIndex = static_cast<std::uint32_t>(hole.size());
            }
        }
        hole.push_back(hb);
    }
    QmtVector3 G;
    if (!ha || !startMean(b, V, G)) {
        return;
    }
    const std::uint32_t x = ha->value->v0;
    const std::uint32_t y = hole[holeIndex]->v1;
    const std::uint32_t uvX = ha->value->uvs[EDGE_SLOT_START_A];
    const std::uint32_t uvY = hole[holeIndex]->uvs[EDGE_SLOT_END_A];

    // 2. The hole must run against the outer loop's winding: judge both by the side of
    //    their first clear edge on which the hole's centre lies.
    const auto side = [&](const CutLoop* loop, double& s) {
        for (const connect_edge* e : loop->edges) {
            const QmtVector3 d = V[e->v1] - V[e->v0];
            if (d.SquaredLength() > kTolerance) {
                QmtVector3 m = d.Cross(n);
                m.Unitize(Qmt::QmtMatrix3::EPSILON);
                s = (G - V[e->v0]).Dot(m);
                return true;
            }
        }
        return false;
    };
    double sA = 0.0;
    double sB = 0.0;
    const bool reverse = side(a, sA) && side(b, sB) && sA * sB > kTolerance;

    // Everything that can fail comes first: the two bridge records and the list nodes.
    const auto count = static_cast<std::uint32_t>(hole.size());
    if (!reserveCutLoopNodes(a->edges, count + 2)) {
        return;
    }
    connect_edge* e1 = a->store->make(y, x, uvY, uvX);
    connect_edge* e2 = a->store->make(x, y, uvX, uvY);
    if (!e1 || !e2) {
        return;
    }

    // 3. A runs ... -> x -> y -> around the hole -> y -> x -> ha -> ...
    Node* at = ha->previous;
    if (at == a->edges.head) {
        for (at = ha; at->next; at = at->next) {
        }
    }
    const auto insert = [&](connect_edge* e) {
        a->edges.insertAfter(e, at);
        at = at->next;
        ++a->edgeCount;
    };
    insert(e2);
    for (std::uint32_t k = 0; k < count; ++k) {
        if (reverse) {
            // Reversed, the hole starts with hb itself, then runs backwards.
            connect_edge* e = hole[(holeIndex + count - k) % count];
            reverseCutEdge(*e);
            insert(e);
        } else {
            insert(hole[(holeIndex + 1 + k) % count]);
        }
    }
    insert(e1);
    b->edges.clear();
    b->edgeCount = 0;
}

void splitCrossingCutLoops(CutLoop* a, CutLoop* b, const QmtVector3& n, QmtVector3* V, std::uint32_t& vertexCount,
                           std::uint32_t vertexCapacity) {
    if (!a || !b || a == b || !V) {
        return;
    }
    CutEdgeStore* storeA = a->store;
    CutEdgeStore* storeB = b->store ? b->store : a->store;
    if (!storeA || !storeB) {
        return;
    }
    const auto direction = [V](const connect_edge& e) {
        QmtVector3 d = V[e.v1] - V[e.v0];
        d.Unitize(Qmt::QmtMatrix3::EPSILON);
        return d;
    };
    const auto opposite = [](double s0, double s1) {
        return (s0 > kTolerance && s1 < -kTolerance) || (s0 < -kTolerance && s1 > kTolerance);
    };
    for (Node* na = firstNode(a); na; na = na->next) {
        for (Node* nb = firstNode(b); nb; nb = nb->next) {
            connect_edge& ea = *na->value;
            connect_edge& eb = *nb->value;
            if (direction(ea).Cross(direction(eb)).SquaredLength() < kTolerance ||
                !segmentsIntersect(V[ea.v0], V[ea.v1], V[eb.v0], V[eb.v1])) {
                continue;
            }
            QmtVector3 outA;
            QmtVector3 outB;
            cutLoopEdgeOutwardNormal(outA, &ea, a, n, V);
            cutLoopEdgeOutwardNormal(outB, &eb, b, n, V);
            if (!opposite((V[eb.v0] - V[ea.v0]).Dot(outA), (V[eb.v1] - V[ea.v0]).Dot(outA)) ||
                !opposite((V[ea.v0] - V[eb.v0]).Dot(outB), (V[ea.v1] - V[eb.v0]).Dot(outB))) {
                continue;
            }
            if (vertexCount >= vertexCapacity || !reserveCutLoopNodes(a->edges, 1) || !reserveCutLoopNodes(b->edges, 1)) {
                return;
            }
            double s = 0.0;
            double t = 0.0;
            sqrDistanceSegmentSegment(V[ea.v0], V[ea.v1], V[eb.v0], V[eb.v1], s, t);
            // The new vertex has no UV entry of its own.
            connect_edge* ra = storeA->make(vertexCount, ea.v1, ABSENT_INDEX, ea.uvs[EDGE_SLOT_END_A]);
            connect_edge* rb = storeB->make(vertexCount, eb.v1, ABSENT_INDEX, eb.uvs[EDGE_SLOT_END_A]);
            if (!ra || !rb) {
                return;
            }
            V[vertexCount] = V[ea.v0] + (V[ea.v1] - V[ea.v0]) * s;
            ea.v1 = vertexCount;
            eb.v1 = vertexCount;
            ea.uvs[EDGE_SLOT_END_A] = ABSENT_INDEX;
            eb.uvs[EDGE_SLOT_END_A] = ABSENT_INDEX;
            ++vertexCount;
            a->edges.insertAfter(ra, na);
            ++a->edgeCount;
            b->edges.insertAfter(rb, nb);
            ++b->edgeCount;
        }
    }
}

CutLoop* splitCutLoopAtPinch(CutLoop* loop, const QmtVector3& n, const QmtVector3* V) {
    if (!loop || !V || !loop->closed || loop->edges.count < 4) {
        return nullptr;
    }
    const std::vector<connect_edge*> edges(loop->edges.begin(), loop->edges.end());
    const std::size_t m = edges.size();
    // Twice the area swept by the edges before k (about n, from the first vertex), so
    // that the area of a run is a difference.
    const QmtVector3& origin = V[edges[0]->v0];
    std::vector<double> swept(m + 1, 0.0);
    for (std::size_t k = 0; k < m; ++k) {
        swept[k + 1] = swept[k] + (V[edges[k]->v0] - origin).Cross(V[edges[k]->v1] - origin).Dot(n);
    }
    const double whole = swept[m];
    // Ends of edges in edge order, so that visits of one vertex lie side by side.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ends(m);
    for (std::size_t k = 0; k < m; ++k) {
        ends[k] = {edges[k]->v1, static_cast<std::uint32_t>(k)};
    }
    std::sort(ends.begin(), ends.end());
    for (std::size_t a = 0; a < m; ++a) {
        for (std::size_t b = a + 1; b < m && ends[b].first == ends[a].first; ++b) {
            // The run after edge i up to edge j, and the rest, both wind as the loop does.
            const std::uint32_t i = ends[a].second;
            const std::uint32_t j = ends[b].second;
            const double run = swept[j + 1] - swept[i + 1];
            const double rest = whole - run;
            if (!(run * whole > 0.0 && rest * whole > 0.0 && std::fabs(run) > kTolerance &&
                  std::fabs(rest) > kTolerance)) {
                continue;
            }
            const std::uint32_t length = j - i;
            auto* piece = new (std::nothrow) CutLoop;
            if (!piece || !piece->edges.head || !reserveCutLoopNodes(piece->edges, length)) {
                delete piece;
                return nullptr;
            }
            Node* tail = piece->edges.head;
            for (std::uint32_t k = i + 1; k <= j; ++k) {
                loop->edges.remove(edges[k]);
                piece->edges.insertAfter(edges[k], tail);
                tail = tail->next;
            }
            loop->edgeCount -= length;
            piece->edgeCount = length;
            piece->closed = true;
            piece->store = loop->store;
            return piece;
        }
    }
    return nullptr;
}

bool cutLoopChainEnds(const CutLoop* loop, std::uint32_t& first, std::uint32_t& second) {
    first = second = ABSENT_INDEX;
    if (!loop) {
        return false;
    }
    std::vector<std::uint32_t> ends;
    ends.reserve(2 * std::size_t{loop->edges.count});
    for (const connect_edge* e : loop->edges) {
        ends.push_back(e->v0);
        ends.push_back(e->v1);
    }
    std::vector<std::uint32_t> sorted = ends;
    std::sort(sorted.begin(), sorted.end());
    const auto usedOnce = [&](std::uint32_t v) {
        const auto range = std::equal_range(sorted.begin(), sorted.end(), v);
        return range.second - range.first == 1;
    };
    for (const std::uint32_t v : ends) {
        if (!usedOnce(v)) {
            continue;
        }
        if (first == ABSENT_INDEX) {
            first = v;
        } else {
            second = v;
            break;
        }
    }
    return first != ABSENT_INDEX;
}
