#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "geometry/clip/clipper.h"
#include "geometry/query/convexMeshQueries.h"
#include "geometry/clip/cutLoop.h"
#include "geometry/query/proximity.h"
#include "math/qmtMatrix3.h"

// Cut loops and cap faces over the opening of a cut.

namespace {

using Qmt::QmtVector3;
using Node = CutLoopNode;

constexpr double kTolerance = 1e-5;
constexpr double kFltMax = 3.4028234663852886e38;

bool degenerate(const connect_edge& e, const QmtVector3* V) {
    const std::uint32_t ends[2] = {e.v0, e.v1};
    return isDegenerateEdge(ends, V);
}

Node* lastNode(const CutLoop* loop) {
    Node* node = firstCutLoopNode(loop);
    while (node && node->next) {
        node = node->next;
    }
    return node;
}

// Reverses the order of the list's nodes (the records stay as they are).
void reverseNodeOrder(CutLoop* loop) {
    std::vector<connect_edge*> order(loop->edges.begin(), loop->edges.end());
    std::uint32_t k = static_cast<std::uint32_t>(order.size());
    for (Node* node = firstCutLoopNode(loop); node; node = node->next) {
        node->value = order[--k];
    }
}

}  // namespace

// ---- Loops ------------------------------------------------------------------------------------

bool Clipper::linkFront(CutLoop* loop, connect_edge* edge) {
    const std::uint32_t before = loop->edges.count;
    loop->edges.pushFront(edge);
    if (loop->edges.count == before) {
        m_failed = true;
        return false;
    }
    ++loop->edgeCount;
    return true;
}

void Clipper::buildCaps(const QmtVector3& n) {
    if (m_edgeTotal <= m_edgeCount || !m_edges || !m_useCounts || !m_vertices) {
        return;
    }
    // Records made for bridges and closings are referenced only while the caps are made.
    CutEdgeStore store;
    PooledList<connect_edge*> pool;
    std::uint32_t pooled = 0;
    for (std::uint32_t i = m_edgeCount; i < m_edgeTotal; ++i) {
        connect_edge& e = m_edges[i];
        if (e.v0 >= m_vertexCount || e.v1 >= m_vertexCount) {
            continue;
        }
        e.faceB = i;
        e.active = 1;
        pool.pushFront(&e);
        ++pooled;
    }
    if (pool.count != pooled) {
        m_failed = true;
        return;
    }

    PooledList<CutLoop*> loops;
    // Every loop keeps at least one pooled record, but records can come back to the
    // pool; the bound only guards against a pathological cycle.
    std::uint64_t budget = 4ull * pooled + 16;
    while (pool.count > 0 && !m_failed && budget-- > 0) {
        CutLoop* loop = buildCutLoop(pool, store);
        if (!loop) {
            m_failed = true;
            break;
        }
        const std::uint32_t before = loops.count;
        loops.pushFront(loop);
        if (loops.count == before) {
            delete loop;
            m_failed = true;
        }
    }
    if (!m_failed) {
        pairCutLoops(loops, n);
    }
    for (CutLoop* loop : loops) {
        if (!m_failed && loop->edgeCount > 2) {
            capCutLoop(loop, n);
        } else if (!m_failed && loop->edgeCount == 2 && loop->closed) {
            mergeSpikeEnds(loop);
        }
        delete loop;
    }
}

CutLoop* Clipper::buildCutLoop(PooledList<connect_edge*>& pool, CutEdgeStore& store) {
    std::uint32_t* const count = m_useCounts;
    const QmtVector3* const V = m_vertices;
    const auto countEnds = [count](const connect_edge& e) {
        ++count[e.v0];
        ++count[e.v1];
    };
    const auto zeroPoolCounts = [&] {
        for (const connect_edge* e : pool) {
            count[e->v0] = 0;
            count[e->v1] = 0;
        }
    };

    // Walk forward from the pool's head to the end of its chain (or once around a
    // closed loop), turning each record to follow the walk.
    zeroPoolCounts();
    connect_edge* s = pool.head->next->value;
    countEnds(*s);
    while (count[s->v0] <= 2 && count[s->v1] <= 2) {
        connect_edge* next = nullptr;
        for (connect_edge* e : pool) {
            if (e != s && (e->v0 == s->v1 || e->v1 == s->v1)) {
                next = e;
                break;
            }
        }
        if (!next) {
            break;
        }
        if (next->v1 == s->v1) {
            reverseCutEdge(*next);
        }
        countEnds(*next);
        s = next;
    }

    zeroPoolCounts();
    auto* loop = new (std::nothrow) CutLoop;
    if (!loop) {
        return nullptr;
    }
    loop->store = &store;
    if (!linkFront(loop, s)) {
        return loop;
    }
    countEnds(*s);
    pool.remove(s);
    connect_edge* start = s;

    for (;;) {
        // Walk backward from the head, putting each edge that ends at the head's start
        // in front of it.
        for (;;) {
            const connect_edge* h = loop->edges.head->next->value;
            connect_edge* e = nullptr;
            for (connect_edge* c : pool) {
                const bool touchesStart = c->v0 == h->v0;
                if ((touchesStart && c->v1 != h->v1) || (!touchesStart && c->v1 == h->v0 && c->v0 != h->v1)) {
                    e = c;
                    break;
                }
            }
            if (!e) {
                break;
            }
            if (e->v0 == h->v0) {
                reverseCutEdge(*e);
            }
            pool.remove(e);
            countEnds(*e);
            if (count[e->v0] < 3) {
                if (!linkFront(loop, e)) {
                    return loop;
                }
                if (count[e->v0] < 2) {
                    continue;
                }
                break;  // back at the start
            }
            closeLoopAtJunction(loop, e, start, pool);
            break;
        }
        if (m_failed) {
            return loop;
        }

        const connect_edge* h = loop->edges.head->next->value;
        loop->closed = start->v1 == h->v0;
        if (loop->edgeCount > 1 && loop->edges.head->next->next->value->v1 == h->v0) {
            reverseNodeOrder(loop);
            h = loop->edges.head->next->value;
        }
        if (loop->closed) {
            return loop;
        }

        // An open chain: bridge to the nearest free vertex of another chain when that is
        // nearer than the chain's own far end.
        const double gap = (V[start->v1] - V[h->v0]).SquaredLength();
        double best = kFltMax;
        std::uint32_t candidate = ABSENT_INDEX;
        std::uint32_t candidateUV = ABSENT_INDEX;
        for (const connect_edge* e : pool) {
            if (count[e->v0] > 2 && e->v1 != h->v1 && count[e->v1] == 0) {
                const double d = (V[e->v1] - V[h->v0]).SquaredLength();
                if (d < best) {
                    best = d;
                    candidate = e->v1;
                    candidateUV = e->uvs[EDGE_SLOT_END_A];
                }
            }
            if (e->v0 != h->v1 && count[e->v0] == 0) {
                const double d = (V[e->v0] - V[h->v0]).SquaredLength();
                if (d < best) {
                    best = d;
                    candidate = e->v0;
                    candidateUV = e->uvs[EDGE_SLOT_START_A];
                }
            }
        }
        if (candidate != ABSENT_INDEX && gap > best) {
            connect_edge* bridge = store.make(candidate, h->v0, candidateUV, h->uvs[EDGE_SLOT_START_A]);
            if (!bridge || !linkFront(loop, bridge)) {
                m_failed = true;
                return loop;
            }
            countEnds(*bridge);
            continue;
        }

        // Otherwise close the chain on itself when both its ends are free.
        if (count[start->v1] <= 1 && count[h->v0] <= 1) {
            connect_edge* closing =
                store.make(start->v1, h->v0, start->uvs[EDGE_SLOT_END_A], h->uvs[EDGE_SLOT_START_A]);
            if (!closing || !linkFront(loop, closing)) {
                m_failed = true;
                return loop;
            }
            countEnds(*closing);
            loop->closed = true;
        }
        return loop;
    }
}

void Clipper::closeLoopAtJunction(CutLoop* loop, connect_edge* edge, connect_edge*& startEdge,
                                  PooledList<connect_edge*>& pool) {
    Node* junction = firstCutLoopNode(loop);
    while (junction && junction->value->v1 != edge->v0) {
        junction = junction->next;
    }
    if (junction) {
        startEdge = junction->value;
        while (Node* cut = junction->next) {
            connect_edge* e = cut->value;
            loop->edges.remove(e);
            --loop->edgeCount;
            --m_useCounts[e->v0];
            --m_useCounts[e->v1];
            const std::uint32_t pooled = pool.count;
            pool.pushFront(e);
            if (pool.count == pooled) {
                m_failed = true;  // the record would be lost to every loop
                return;
            }
        }
    }
    if (linkFront(loop, edge)) {
        m_useCounts[edge->v1] = 2;
    }
}

void Clipper::pairCutLoops(PooledList<CutLoop*>& loops, const QmtVector3& n) {
    const QmtVector3* V = m_vertices;
    // The first pair (A, B after A) in list order where one loop holds the other; a
    // crossing pair ends the search for that A. Loops that only touch at a shared
    // vertex -- a plane through a vertex where a hole meets the outline -- do not
    // cross: a point of one off the other's outline tells whether it is a hole there.
    const auto findPair = [&](CutLoop*& outer, CutLoop*& hole, bool& touching) {
        for (auto* a = loops.head ? loops.head->next : nullptr; a; a = a->next) {
            for (auto* b = a->next; b; b = b->next) {
                touching = cutLoopsCross(a->value, b->value, n, V);
                if (touching && !cutLoopsOnlyTouch(a->value, b->value, V)) {
                    break;
                }
                const auto holds = touching ? cutLoopHoldsTouchingLoop : cutLoopContainsLoop;
                for (const auto& [o, h] : {std::pair{a->value, b->value}, std::pair{b->value, a->value}}) {
                    if (holds(o, h, n, V)) {
                        outer = o;
                        hole = h;
                        return true;
                    }
                }
            }
        }
        touching = false;
        return false;
    };
    CutLoop* outer = nullptr;
    CutLoop* hole = nullptr;
    bool touching = false;
    // Each merge takes one loop away and each split below adds one; the bound only
    // guards against pieces that would be merged and split again for ever.
    std::uint64_t budget = 4ull * loops.count + 16;
    while (budget-- > 0 && findPair(outer, hole, touching)) {
        bridgeHole(outer, hole, n, V);
        if (hole->edges.count > 0) {
            m_failed = true;  // no bridge could be made
            return;
        }
        loops.remove(hole);
        delete hole;
        // A hole that touches its outline at two or more vertices cuts the region
        // into pieces meeting at those points; each piece is capped by itself.
        while (touching) {
            CutLoop* piece = splitCutLoopAtPinch(outer, n, V);
            if (!piece) {
                break;
            }
            const std::uint32_t before = loops.count;
            loops.pushFront(piece);
            if (loops.count == before) {
                delete piece;
                m_failed = true;
                return;
            }
        }
    }
}

// A closed loop of two edges runs out and back along one segment: a spike of the cut
// polygon that no cap covers. Where its ends lie within twice the cut-vertex merge
// distance, it is what a merge of two cut vertices left of a corner piece smaller than
// that (the fragments beside it fold onto one another and would keep their corners
// twice over); its ends are merged at the write-back, the higher number into the
// lower, so the corner vanishes whole. A longer one is a cut along an edge of the mesh
// and stays as it is.
void Clipper::mergeSpikeEnds(const CutLoop* loop) {
    const connect_edge* e = firstCutLoopNode(loop)->value;
    const std::uint32_t a = std::min(e->v0, e->v1);
    const std::uint32_t b = std::max(e->v0, e->v1);
    const QmtVector3* V = m_vertices;
    if (a == b || b >= m_vertexCount || V[a] == V[b] || !((V[b] - V[a]).SquaredLength() < 4.0 * kTolerance)) {
        return;
    }
    const std::pair<std::uint32_t, std::uint32_t> merge(b, a);
    if (std::find(m_capMerges.begin(), m_capMerges.end(), merge) == m_capMerges.end()) {
        m_capMerges.push_back(merge);
    }
}

// ---- Capping ----------------------------------------------------------------------------------

void Clipper::capCutLoop(CutLoop* loop, const QmtVector3& n) {
    std::uint32_t count = loop->edgeCount;
    std::vector<std::uint32_t> corners;
    std::vector<std::uint32_t> cornerUVs;
    gatherLoopCorners(loop, corners, cornerUVs);
    const std::size_t merges = m_capMerges.size();
    const std::uint32_t edges = loop->edgeCount;
    dropDegenerateEdges(loop, count);
    if (loop->edgeCount < 3) {
        // The loop folded up onto itself: the opening is a sliver thinner than the
        // tolerances, running along faces that the cut trimmed on both of its sides. No
        // cap covers it, so the faces beside it would keep a slit between them; as a
        // face it goes to the write-back, which drops it as degenerate and stitches
        // those faces together along it.
        m_capMerges.resize(merges);
        appendCapFace(corners, cornerUVs, m_planeNormal);
        return;
    }
    if (isCutLoopNonConvex(loop, count, n)) {
        const QmtVector3 m = cutLoopOrientation(loop, count, n);
        splitNonConvexLoop(loop, count, m, 0);
    } else if (loop->edgeCount == edges) {
        appendCapFace(corners, cornerUVs, m_planeNormal);  // nothing dropped: the corners stand
    } else {
        makeCapFace(loop, count, m_planeNormal);
    }
}

void Clipper::dropDegenerateEdges(CutLoop* loop, std::uint32_t& count) {
    if (!loop) {
        return;
    }
    const QmtVector3* V = m_vertices;
    const auto spike = [this](const connect_edge& e, const connect_edge& f) {
        const std::uint32_t eEnds[2] = {e.v0, e.v1};
        const std::uint32_t fEnds[2] = {f.v0, f.v1};
        return edgesFoldBack(*this, eEnds, fEnds);
    };
    bool changed = true;
    while (changed) {
        changed = false;
        for (Node* node = firstCutLoopNode(loop); node; node = node->next) {
            connect_edge* e = node->value;
            Node* const successor = nextCutLoopNode(loop, node);
            connect_edge* f = successor->value;
            // A vertex that leaves the loop with a short edge is merged, at the
            // write-back, into the one the loop goes on from; the faces beside the cap
            // would otherwise keep a corner the cap lacks. (Vertices at one position keep
            // their own numbers.)
            if (degenerate(*e, V)) {
                // The successor starts where the edge before e ended.
                const Node* before = node->previous != loop->edges.head ? node->previous : lastNode(loop);
                const std::uint32_t anchor = before->value->v1;
                loop->edges.remove(e);
                if (successor != node) {
                    if (f->v0 != anchor && !(V[f->v0] == V[anchor])) {
                        m_capMerges.emplace_back(f->v0, anchor);
                    }
                    f->v0 = anchor;
                }
                changed = true;
            } else if (degenerate(*f, V) || spike(*e, *f)) {
                Node* const after = nextCutLoopNode(loop, successor);
                connect_edge* g = after->value;
                const bool shortEdge = degenerate(*f, V);
                loop->edges.remove(f);
                if (after != successor) {
                    if (shortEdge && g->v0 != e->v1 && !(V[g->v0] == V[e->v1])) {
                        m_capMerges.emplace_back(g->v0, e->v1);
                    }
                    g->v0 = e->v1;
                }
                changed = true;
            }
            if (changed) {
                --loop->edgeCount;
                count = loop->edgeCount;
                break;
            }
        }
    }
}

bool Clipper::isCutLoopNonConvex(const CutLoop* loop, std::uint32_t /*count*/, const QmtVector3& n) const {
    if (!loop) {
        return false;
    }
    bool clockwise = false;
    bool counter = false;
    for (const Node* node = firstCutLoopNode(loop); node && !(clockwise && counter); node = node->next) {
        const int turn = cutEdgeTurn(*node->value, *nextCutLoopNode(loop, node)->value, m_vertices, n);
        clockwise = clockwise || turn == 1;
        counter = counter || turn == -1;
    }
    return clockwise && counter;
}

QmtVector3 Clipper::cutLoopOrientation(const CutLoop* loop, std::uint32_t /*count*/, const QmtVector3& n) const {
    const Node* first = loop ? firstCutLoopNode(loop) : nullptr;
    if (!first) {
        return QmtVector3::ZERO;
    }
    const QmtVector3* V = m_vertices;
    // The edge whose end lies farthest across the longest edge's direction has a convex
    // corner there: its turn tells the winding.
    QmtVector3 d;
    double longest = -1.0;
    for (const connect_edge* e : loop->edges) {
        const QmtVector3 v = V[e->v1] - V[e->v0];
        if (v.SquaredLength() > longest) {
            longest = v.SquaredLength();
            d = v;
        }
    }
    d.Unitize(Qmt::QmtMatrix3::EPSILON);
    QmtVector3 u = n.Cross(d);
    u.Unitize(Qmt::QmtMatrix3::EPSILON);
    const Node* x = first;
    double extreme = -kFltMax;
    for (const Node* node = first; node; node = node->next) {
        const double p = V[node->value->v1].Dot(u);
        if (p > extreme) {
            extreme = p;
            x = node;
        }
    }
    const connect_edge& ex = *x->value;
    const Node* y = nextCutLoopNode(loop, x);
    for (std::uint32_t step = 0; step < loop->edges.count && y->value->v1 != ex.v1; ++step) {
        const int turn = cutEdgeTurn(ex, *y->value, V, n);
        if (turn != 0) {
            return turn == 1 ? n : -n;
        }
        y = nextCutLoopNode(loop, y);
    }
    return QmtVector3::ZERO;
}

std::uint32_t Clipper::gatherLoopCorners(const CutLoop* loop, std::vector<std::uint32_t>& vertices,
                                         std::vector<std::uint32_t>& uvs) const {
    vertices.clear();
    uvs.clear();
    const Node* first = loop ? firstCutLoopNode(loop) : nullptr;
    for (const Node* node = first; node; node = node->next) {
        const connect_edge& e = *node->value;
        const connect_edge& next = *(node->next ? node->next : first)->value;
        if (e.v1 == next.v0) {
            vertices.push_back(e.v1);
            uvs.push_back(e.uvs[EDGE_SLOT_END_A]);
        }
    }
    return static_cast<std::uint32_t>(vertices.size());
}

std::uint32_t Clipper::collectLoopPoints(const CutLoop* loop, QmtVector3* out) const {
    std::uint32_t written = 0;
    const Node* first = loop ? firstCutLoopNode(loop) : nullptr;
    for (const Node* node = first; node; node = node->next) {
        const connect_edge& e = *node->value;
        if (e.v1 == (node->next ? node->next : first)->value->v0) {
            out[written++] = m_vertices[e.v1];
        }
    }
    return written;
}

void Clipper::makeCapFace(const CutLoop* loop, std::uint32_t /*count*/, const QmtVector3& normal) {
    std::vector<std::uint32_t> vertices;
    std::vector<std::uint32_t> uvs;
    gatherLoopCorners(loop, vertices, uvs);
    appendCapFace(vertices, uvs, normal);
}

void Clipper::appendCapFace(const std::vector<std::uint32_t>& vertices, const std::vector<std::uint32_t>& uvs,
                            const QmtVector3& normal) {
    const auto k = static_cast<std::uint32_t>(vertices.size());
    // A sliver is made too: left out, it would leave the faces along its sides with a
    // slit between them, while the write-back drops it as degenerate and stitches those
    // faces together.
    if (k == 0 || !reserveFaces(m_faceCount + 1)) {
        return;
    }
    const std::uint32_t capNormal = m_normalCount;
    ZYL_DFface& face = m_faces[m_faceCount];
    face.release();
    face.allocate(k, 1);
    if (face.capacity < k) {
        m_failed = true;
        return;
    }
    std::copy(vertices.begin(), vertices.end(), face.vertices);
    std::fill(face.normals, face.normals + k, capNormal);
    if (m_uvs) {
        std::copy(uvs.begin(), uvs.end(), face.uvs);
    } else {
        std::fill(face.uvs, face.uvs + k, 0u);  // meaningless without UVs, but never left unset
    }
    face.numVertices = k;
    face.numEdges = 0;
    face.spare = QmtVector3::ZERO;
    face.alive = 1;
    face.flags = FACE_CAP;
    face.piece = 0;
    face.material = 0;
    ++m_faceCount;
    addNormal(-normal);
}
