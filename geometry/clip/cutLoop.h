#pragma once

#include <cstdint>

#include "geometry/mesh/connectivity.h"
#include "geometry/mesh/pooledList.h"
#include "math/qmtVector3.h"

// Cut loops: chains of edge records lying in a cutting plane, out of which the plane
// clipper builds its cap faces. The records are the clipper's closing edges and records
// made for the loops (bridges, closing edges, hole bridges, split pieces). Positions
// are read from a vertex array indexed by the records' v0 / v1.

// Owner of the edge records made for cut loops; deletes them with itself. The records
// keep their addresses, so loops may point at them while more are made.
class CutEdgeStore {
public:
    CutEdgeStore() = default;
    CutEdgeStore(const CutEdgeStore&) = delete;
    CutEdgeStore& operator=(const CutEdgeStore&) = delete;
    ~CutEdgeStore();

    // A new record v0 -> v1 as the cap builder makes them (see makeCutEdge); null when
    // memory runs out.
    connect_edge* make(std::uint32_t v0, std::uint32_t v1, std::uint32_t uv0, std::uint32_t uv1);
    std::uint32_t size() const { return m_records.count; }

private:
    PooledList<connect_edge*> m_records;
};

// One cut loop. Where the loop is intact, each edge's v1 is the next edge's v0; its
// vertices are, in order, the v1 of each edge that meets the next edge's v0 and, for
// the tail, its v1 when it equals the head's v0.
struct CutLoop {
    PooledList<connect_edge*> edges;  // head to tail
    std::uint32_t edgeCount = 0;      // kept beside edges.count
    bool closed = false;              // the tail's v1 equals the head's v0
    // Where records made for this loop go; null: none can be made (no bridge is built).
    CutEdgeStore* store = nullptr;
};

using CutLoopNode = PooledList<connect_edge*>::Node;

// First node of the loop's edge list; null when the loop is empty.
inline CutLoopNode* firstCutLoopNode(const CutLoop* loop) {
    return loop->edges.head ? loop->edges.head->next : nullptr;
}

// Cyclic successor of a node of the loop's list (the first node after the last).
inline CutLoopNode* nextCutLoopNode(const CutLoop* loop, const CutLoopNode* node) {
    return node->next ? node->next : firstCutLoopNode(loop);
}

// Makes sure the list can take n more elements without allocating, so that a change
// made element by element cannot stop half-way. False when the nodes cannot be had.
bool reserveCutLoopNodes(PooledList<connect_edge*>& list, std::uint32_t n);

// classifyEdgeTurn of edge e followed by edge f about the normal.
int cutEdgeTurn(const connect_edge& e, const connect_edge& f, const Qmt::QmtVector3* vertices,
                const Qmt::QmtVector3& normal);

// Fills a record the way the cap builder makes its own: v0 -> v1; faces and positions
// ABSENT_INDEX; flags, active byte and UV-set count 0; corner-normal and UV-set indices
// ABSENT_INDEX. The UV slots of face A take uv0 at the start and uv1 at the end, so a
// cap corner ending such an edge reads a UV entry of its own vertex.
void makeCutEdge(connect_edge& e, std::uint32_t v0, std::uint32_t v1, std::uint32_t uv0, std::uint32_t uv1);

// Turns a record around: swaps v0 and v1 together with the start and end attribute
// slots (corner normals, UVs, extra UV sets) of both faces, so that each end keeps its
// own attributes.
void reverseCutEdge(connect_edge& e);

// True when A is closed and some edge of A meets some edge of B (segmentsIntersect).
// False when a loop is absent.
bool cutLoopsCross(const CutLoop* a, const CutLoop* b, const Qmt::QmtVector3& n,
                   const Qmt::QmtVector3* vertices);

// True when A and B meet, and only at vertices they share (by number or position), no
// edge of one running on along an edge of the other: outlines that touch there but
// do not cross. False when a loop is absent or they do not meet.
bool cutLoopsOnlyTouch(const CutLoop* a, const CutLoop* b, const Qmt::QmtVector3* vertices);

// For loops that only touch: true when A is closed and B lies inside it, judged by
// the crossing count in the plane of every vertex of B off A's outline (beyond 1e-5),
// or, when B has none, of the first midpoint of its edges that is off it.
bool cutLoopHoldsTouchingLoop(const CutLoop* a, const CutLoop* b, const Qmt::QmtVector3& n,
                              const Qmt::QmtVector3* vertices);

// True when A is closed and the first vertex of B lies on A's inner side of every edge
// of A (half-planes about n, 1e-5; exact for a convex A), or else, since a non-convex A
// can reject a vertex inside it, when every vertex of B that is not one of A's lies
// inside A by the crossing count in the plane.
// False when a loop is absent or empty.
bool cutLoopContainsLoop(const CutLoop* a, const CutLoop* b, const Qmt::QmtVector3& n,
                         const Qmt::QmtVector3* vertices);

// Joins hole B into outer loop A through two coincident bridge edges between the
// closest pair (end of a B edge, start of an A edge); B is turned against A's winding
// first when needed and is left empty. Bridge records come from A's store; without a
// store (or an empty loop) nothing happens.
void bridgeHole(CutLoop* a, CutLoop* b, const Qmt::QmtVector3& n, const Qmt::QmtVector3* vertices);

// True when p lies on the same side (1e-5) of every edge of the loop as of its first
// edge; true for an empty loop, false for an absent one.
bool pointInCutLoop(const Qmt::QmtVector3& p, const CutLoop* loop, const Qmt::QmtVector3& n,
                    const Qmt::QmtVector3* vertices);

// True when A is closed and a vertex of B lies on the inner side of at least 70% of
// A's edges (the inner side of an edge being that of A's vertex mean).
bool cutLoopMostlyContains(const CutLoop* a, const CutLoop* b, const Qmt::QmtVector3& n,
                           const Qmt::QmtVector3* vertices);

// The in-plane unit normal of the edge that points away from the loop's vertex mean;
// zero when the edge or the loop is absent (or the loop is empty).
void cutLoopEdgeOutwardNormal(Qmt::QmtVector3& out, const connect_edge* edge, const CutLoop* loop,
                              const Qmt::QmtVector3& n, const Qmt::QmtVector3* vertices);

// Splits every pair of edges of A and B that cross properly (each edge's ends on
// opposite sides of the other, beyond 1e-5) at their crossing point, which is appended
// to the vertex array (vertexCount grows by one each). The far parts become new records
// from the loop's store, inserted after the edges they came from. Stops when the vertex
// array is full or a record cannot be made.
void splitCrossingCutLoops(CutLoop* a, CutLoop* b, const Qmt::QmtVector3& n, Qmt::QmtVector3* vertices,
                           std::uint32_t& vertexCount, std::uint32_t vertexCapacity);

// A closed loop that runs through one vertex twice, both runs between the two visits
// winding about n as the whole loop does (beyond 1e-5 of area), outlines two regions
// that meet at that point. The run after the first visit moves into a new loop,
// which is returned; null when there is no such vertex or memory runs out.
CutLoop* splitCutLoopAtPinch(CutLoop* loop, const Qmt::QmtVector3& n, const Qmt::QmtVector3* vertices);

// The first two vertices, in edge order (v0 before v1), met by exactly one edge end of
// the loop; ABSENT_INDEX where there is none. True when the first was found.
bool cutLoopChainEnds(const CutLoop* loop, std::uint32_t& first, std::uint32_t& second);
