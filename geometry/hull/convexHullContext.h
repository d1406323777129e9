#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "math/qmtVector3.h"

// Working state of one convex-hull build: the face list, the edge list and the
// bookkeeping that keeps the builder's searches short.
//
// Faces and edges live in slot arrays that are reused after removal; each list is
// intrusive and doubly linked, so removal is O(1) and no node is allocated per face.
// New faces always enter at the front, so the face list runs in descending creation
// number (`seq`) and "first in list order" is "newest". Every face is also linked
// from each of its first three corners (vertex incidence), and remembers the edge
// records of its three sides.
//
// The hull stages (see convexHull.h) are the only writers; the read-only accessors
// at the top serve inspection. Storage grows through std::vector, so the stages throw
// std::bad_alloc when memory runs out; the builders turn that into a null result.
class ConvexHullContext {
public:
    static constexpr std::uint32_t NONE = 0xFFFFFFFFu;

    struct FaceView {
        std::vector<std::uint32_t> vertices;
        Qmt::QmtVector3 normal;
    };

    ConvexHullContext() = default;
    ConvexHullContext(const ConvexHullContext&) = delete;
    // A whole copy, for a build that carries on from another's state. Only on demand:
    // a context holds the full face and edge stores.
    void copyFrom(const ConvexHullContext& other) { *this = other; }

    // Running counts: faces in the face list, edges in the edge list.
    std::uint32_t faceCount() const { return faceCount_; }
    std::uint32_t edgeCount() const { return edgeCount_; }
    // The face list, front first.
    std::vector<FaceView> faceList() const;
    // The edge list, front first, as (first vertex, second vertex) pairs.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> edgeList() const;

    // ---- Used by the hull stages ----

    // Everything a walk over the faces around a vertex reads (corners, creation
    // number, normal, stamp, the next incidence links) shares one cache line.
    struct alignas(64) Face {
        Qmt::QmtVector3 normal;       // unit outward plane normal
        std::uint32_t corners[3];     // the first three corners (all of a triangle)
        std::uint32_t count = 0;      // corners in use; 0 marks a free slot
        std::uint32_t seq = 0;        // creation number; larger is nearer the front
        std::uint32_t next = NONE;    // face list link toward the back
        std::uint32_t mark = 0;       // scratch stamp of the stages
        std::uint32_t incidenceNext[3] = {NONE, NONE, NONE};  // see nextIncidence
    };

    // The edge list is kept as a place per edge rather than links: a larger place is
    // nearer the front. Removal then writes no neighbour record, and the list is read
    // in order from the slot array (see listEdges) instead of record by record.
    struct Edge {
        std::uint32_t a = NONE;       // vertices as created; a == NONE marks a free slot
        std::uint32_t b = NONE;
        std::uint32_t place = 0;      // place in the edge list; 0 while in no list
        std::uint32_t mark = 0;       // scratch stamp of the stages
        // While the hull grows, the live faces that have this edge as a side, the newer
        // last (NONE where there are fewer); MANY in both once three have had it at
        // once. Kept here because the growth has just read or made the record when it
        // makes such a face. Merges leave it as it stands.
        std::uint32_t sides[2] = {NONE, NONE};
    };
    static constexpr std::uint32_t MANY = NONE - 1;

    // Empties both lists and makes room in the per-vertex tables for `vertexCapacity`
    // vertices; the tables hold entries for the first few (see holdVertices).
    void reset(std::uint32_t vertexCapacity);
    std::uint32_t vertexCapacity() const { return vertexCapacity_; }
    // Gives the per-vertex tables entries for vertices [0, count), count at most the
    // capacity. A hull of a solid cloud keeps a few hundred of its points as vertices:
    // tables for all of them would be written (and their pages faulted in) for nothing.
    void holdVertices(std::uint32_t count) {
        if (count > incidenceHead_.size()) {
            growVertexTables(count);
        }
    }

    // A new stamp for the stages' scratch marks (never 0).
    std::uint32_t nextStamp();

    // Faces.
    std::uint32_t frontFace() const { return faceHead_; }
    const Face& face(std::uint32_t slot) const { return faces_[slot]; }
    Face& face(std::uint32_t slot) { return faces_[slot]; }
    const std::uint32_t* corners(std::uint32_t slot) const {
        const Face& f = faces_[slot];
        return f.count > 3 ? polygonStore_.data() + polygons_[polygonOf_[slot]].at : f.corners;
    }
    bool isLiveFace(std::uint32_t slot, std::uint32_t seq) const {
        return slot < faces_.size() && faces_[slot].count != 0 && faces_[slot].seq == seq;
    }
    std::uint32_t slotCount() const { return static_cast<std::uint32_t>(faces_.size()); }
    // Pushes a triangle at the front of the face list and returns its slot.
    std::uint32_t createFace(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                             const Qmt::QmtVector3& normal);
    // Gives the face new corners (count of them, at least 3, not read from the context's
    // own corners), keeping its place, normal and creation number.
    void setCorners(std::uint32_t slot, const std::uint32_t* corners, std::uint32_t count);
    void destroyFace(std::uint32_t slot);
    // Faces with a corner among their first three at `vertex`: walk with
    // firstIncidence / nextIncidence; the face of a link is faceOfLink(link).
    std::uint32_t firstIncidence(std::uint32_t vertex) const { return incidenceHead_[vertex]; }
    std::uint32_t nextIncidence(std::uint32_t link) const {
        return faces_[faceOfLink(link)].incidenceNext[cornerOfLink(link)];
    }
    // A link names a face's corner: its slot and the corner's position, packed so that
    // a shift and a mask take them apart (no division in the walks).
    static std::uint32_t incidenceLink(std::uint32_t slot, std::uint32_t k) { return slot << 2 | k; }
    static std::uint32_t faceOfLink(std::uint32_t link) { return link >> 2; }
    static std::uint32_t cornerOfLink(std::uint32_t link) { return link & 3u; }
    std::uint32_t incidenceCount(std::uint32_t vertex) const { return incidenceCount_[vertex]; }
    // The first three corners of a live face, as its incidence links hold them.
    const std::uint32_t* linkedCorners(std::uint32_t slot) const { return faces_[slot].corners; }
    // Renumbers every face corner through `remap`, the last change a build makes: the
    // incidence links and the edge records keep the old numbers, so that from then on
    // the context serves only to read its faces.
    void remapCorners(const std::uint32_t* remap);
    // Calls face(slot, corners, count) for every live face in slot order, which reads
    // the records front to back (for work that does not depend on the list order).
    template <class Visit>
    void forEachFaceBySlot(Visit&& face) {
        for (std::uint32_t s = 0; s < faces_.size(); ++s) {
            const std::uint32_t k = faces_[s].count;
            if (k != 0) {
                face(s, k > 3 ? polygonStore_.data() + polygons_[polygonOf_[s]].at : faces_[s].corners, k);
            }
        }
    }
    // Calls side(slot, i, a, b) for every side of every live face in list order: side i
    // runs from corner i (a) to the next corner (b).
    template <class Side>
    void forEachSide(Side&& side) const {
        for (std::uint32_t s = frontFace(); s != NONE; s = faces_[s].next) {
            const std::uint32_t* c = corners(s);
            const std::uint32_t k = faces_[s].count;
            for (std::uint32_t i = 0; i < k; ++i) {
                side(s, i, c[i], c[i + 1 == k ? 0 : i + 1]);
            }
        }
    }

    // Edges.
    // The slots of the edge list, front first.
    void listEdges(std::vector<std::uint32_t>& out) const;
    // Calls at(position, slot) for every edge in the edge list, position 0 at the front,
    // in slot order: the slot array is read front to back, not in list order.
    template <class At>
    void placeEdges(At&& at) const {
        // A bit per place in use; an edge's position counts the places above its own.
        const std::size_t words = std::size_t{lastPlace_} / 64 + 1;
        std::vector<std::uint64_t> used(words, 0);
        for (const Edge& e : edges_) {
            if (e.place != 0) {
                used[e.place / 64] |= std::uint64_t{1} << (e.place % 64);
            }
        }
        std::vector<std::uint32_t> above(words);  // places in use in the words above
        std::uint32_t count = 0;
        for (std::size_t w = words; w-- > 0;) {
            above[w] = count;
            count += bitCount(used[w]);
        }
        for (std::uint32_t s = 0; s < edges_.size(); ++s) {
            const std::uint32_t place = edges_[s].place;
            if (place != 0) {
                const std::uint64_t higher = used[place / 64] & (~std::uint64_t{1} << (place % 64));
                at(above[place / 64] + bitCount(higher), s);
            }
        }
    }
    // Edge slots in use or free: every edge slot is below this.
    std::uint32_t edgeSlotCount() const { return static_cast<std::uint32_t>(edges_.size()); }
    const Edge& edge(std::uint32_t slot) const { return edges_[slot]; }
    Edge& edge(std::uint32_t slot) { return edges_[slot]; }
    // The key of the unordered vertex pair {a, b}: the smaller index in the high half.
    static std::uint64_t pairKey(std::uint32_t a, std::uint32_t b) {
        return a < b ? (std::uint64_t{a} << 32) | b : (std::uint64_t{b} << 32) | a;
    }
    // The live edge record of a triangle's side k (corners k and k + 1 mod 3), or NONE.
    // Correct while the hull grows: each pair of vertices gets an edge at most once
    // (every edge made after the simplex has the newest vertex), so a record a face
    // remembers either is still its side's edge, or was destroyed (its slot then holds
    // another pair or none).
    std::uint32_t faceEdge(std::uint32_t slot, std::uint32_t k) const {
        return sideEdge(slot, k, faces_[slot].corners[k], faces_[slot].corners[k == 2 ? 0 : k + 1]);
    }
    // faceEdge for a caller that holds the side's corners a (corner k) and b (the next).
    std::uint32_t sideEdge(std::uint32_t slot, std::uint32_t k, std::uint32_t a, std::uint32_t b) const {
        const std::uint32_t e = faceLinks_[slot].edges[k];
        if (e == NONE) {
            return NONE;
        }
        const Edge& r = edges_[e];
        return ((r.a == a) & (r.b == b)) | ((r.a == b) & (r.b == a)) ? e : NONE;
    }
    // Starts loading the edge records of a face's sides, ahead of faceEdge.
    void prefetchFaceEdges(std::uint32_t slot) const {
        for (const std::uint32_t e : faceLinks_[slot].edges) {
            if (e != NONE) {
                __builtin_prefetch(&edges_[e]);
            }
        }
    }
    // Remembers the edge records of a new triangle's three sides (NONE where it has
    // none) and enters the face in their `sides`: side 0 on the horizon edge, where it
    // takes the place of the face it replaces (`replaced`; NONE for the simplex's
    // faces), and sides 1 and 2 on edges made in this step. The replaced faces' other
    // sides are destroyed with the step, so they need not leave theirs.
    void setFaceEdges(std::uint32_t slot, std::uint32_t e0, std::uint32_t e1, std::uint32_t e2,
                      std::uint32_t replaced) {
        std::uint32_t* e = faceLinks_[slot].edges;
        e[0] = e0;
        e[1] = e1;
        e[2] = e2;
        ++facesRecorded_;
        if ((e0 == NONE) | (e1 == NONE) | (e2 == NONE)) {
            sidesComplete_ = false;
        }
        // Each record's sides stay in order of making: the newer last, NONE first where
        // there is one face. Which side a face is on is a toss-up, so the usual cases
        // take no branch.
        const auto add = [slot](std::uint32_t* sides) {
            if (sides[0] != NONE) {
                sides[0] = sides[1] = MANY;  // a third face (or MANY already)
                return;
            }
            sides[0] = sides[1];
            sides[1] = slot;
        };
        if (e[0] != NONE) {
            std::uint32_t* sides = edges_[e[0]].sides;
            const std::uint32_t s0 = sides[0];
            const std::uint32_t s1 = sides[1];
            if ((s0 == replaced) | (s1 == replaced)) {
                sides[0] = s1 == replaced ? s0 : s1;
                sides[1] = slot;
            } else {
                add(sides);
            }
        }
        if (e[1] != NONE) {
            add(edges_[e[1]].sides);
        }
        if (e[2] != NONE && e[2] != e[1]) {  // a face with a repeated corner has one record twice
            add(edges_[e[2]].sides);
        }
    }
    // Where the sides are recorded (sidesRecorded), the face other than a new triangle
    // at its side 0, made on a horizon edge: NONE where it has none there, MANY where
    // its record cannot tell (it has had three).
    std::uint32_t otherSide(std::uint32_t slot) const {
        const std::uint32_t e = faceLinks_[slot].edges[0];
        if (e == NONE || edges_[e].sides[1] != slot) {
            return MANY;
        }
        return edges_[e].sides[0];
    }
    // Whether every live face at every edge is among the edge record's `sides` (or the
    // record says MANY), and no face that is gone: true while each face made was
    // recorded with three records. The faces a step replaces leave every record they
    // were at (made again on a horizon edge, or destroyed with an edge inside the seen
    // faces), and no pair of vertices gets two records.
    bool sidesRecorded() const { return sidesComplete_ && facesRecorded_ == nextSeq_; }
    // Makes the merge list every edge's faces itself, as it does where the growth
    // could not keep them.
    void forgetSides() { sidesComplete_ = false; }
    // Makes an edge record that is in no list yet (see pushFrontEdges) and returns its
    // slot. The pair must not belong to a live edge.
    std::uint32_t createEdge(std::uint32_t a, std::uint32_t b);
    // Puts the edges at the front of the edge list, keeping their order.
    void pushFrontEdges(const std::vector<std::uint32_t>& slots);
    void destroyEdge(std::uint32_t slot);

    // What the last addPointToHull changed, for the builders' bookkeeping: faces made
    // (in creation order), for each the removed face whose horizon edge it was made on,
    // and faces removed (their slots may be reused by the next face made).
    std::vector<std::uint32_t> createdFaces;
    std::vector<std::uint32_t> createdFrom;
    std::vector<std::uint32_t> destroyedFaces;

    // Whether a face may have a near-parallel neighbour at one of its corners: set by
    // the stages, for both faces of a pair, when the later of the two is made (the pair
    // shares the later face's corner then), and cleared only when the slot is reused.
    // A face without it widens to nothing, so its corners need not be walked.
    // Once most faces made are flagged (flat caps, lattices), the flags save no walk and
    // cost their own: widenEverywhere then stands for a flag on every face, for the
    // rest of the build.
    bool mayWiden(std::uint32_t slot) const { return widenEverywhere || mayWiden_[slot] != 0; }
    void setMayWiden(std::uint32_t slot) { mayWiden_[slot] = 1; }
    bool widenEverywhere = false;
    std::uint32_t facesFlagged = 0;  // of the faces the steps made, those flagged by the end of their step
    std::uint32_t facesPaired = 0;   // the faces the steps made while the flags were kept

    // Set by a builder for its second build: addPointToHull then replaces only the
    // faces the point sees (no widening to near-parallel neighbours; faces that touch
    // at a corner only are narrowed to the edge-connected ones the point lies above),
    // and mergeCoplanarHullFaces merges only into flat convex polygons and keeps every
    // corner. reset() leaves it.
    bool robust = false;

    // Set by a builder, with robust, for a last build after a careful one that failed
    // its checks: a point then sees only the faces it lies on or above. A point a hair
    // below a face that it sees within the tolerance, next to the face's edge, tilts
    // the face made on that edge up to thousands of times as far over the face's far
    // corner, which then stands out of the surface (large spheres of 15,000 points and
    // more). reset() leaves it.
    bool strictSight = false;

    // Set by a builder, with strictSight, for a last build after a strict one that
    // failed its checks. Every face addPointToHull makes then gets a unit normal: under
    // the build rules a cross product no longer than the unit tolerance is left as it
    // is, and the orientation test then always turns it over, so three neighbours on a
    // fine ring (the cap of a cylinder of a few hundred segments, or of a thin rod)
    // made a face with a tiny normal pointing inward. And a point sees only the faces
    // it lies strictly above, not those whose plane it lies on: a point on the ring of
    // a cylinder's cap then sees the faces of the side it stands out of, not the whole
    // cap, whose fan would otherwise be made again at every step. The builder's growth
    // keeps its candidates too (see startGrowth). reset() leaves it.
    bool lastBuild = false;

    // Set by a builder whose careful build may carry on from its plain one: a plain
    // addPointToHull whose step the careful rules would make otherwise (faces widened,
    // or a horizon of more than one loop) then changes nothing, sets pausedAtParting
    // and returns false. The builder copies the state and makes the step again with
    // pauseAtParting cleared. reset() leaves both.
    bool pauseAtParting = false;
    bool pausedAtParting = false;

    // A builder that knows a superset of the faces a point can see sets these before
    // addPointToHull; the stage then tests only those faces and clears the flag.
    std::vector<std::uint32_t> visibleHint;
    bool hintActive = false;

    // Scratch arrays of the stages, kept between steps to avoid reallocation.
    struct KeyedPosition {
        std::uint64_t key;
        std::uint32_t position;
    };
    std::vector<std::uint32_t> visibleScratch;
    std::vector<std::uint32_t> widenedScratch;
    std::vector<std::uint32_t> blockScratch;
    std::vector<std::uint32_t> orderScratch;
    std::vector<std::uint32_t> newEdgeScratch;
    std::vector<std::uint32_t> removedEdgeScratch;
    std::vector<KeyedPosition> pairScratch;
    std::vector<KeyedPosition> pairSortScratch;
    std::vector<std::uint64_t> seqKeyScratch;
    std::vector<std::uint64_t> seqSortScratch;
    std::vector<std::uint32_t> loopScratch;
    std::vector<std::uint32_t> keptScratch;
    std::vector<std::uint32_t> neighbourScratch;
    std::vector<std::uint32_t> groupScratch;
    std::vector<std::uint32_t> walkScratch;
    // Per vertex, for the horizon loop test: the tag of the test that last saw the
    // vertex and its two loop neighbours. nextLoopTag sizes them for the vertices held
    // and never hands out a tag that is still stored.
    std::vector<std::uint32_t> loopTag;
    std::vector<std::uint32_t> loopNeighbours;
    std::uint32_t nextLoopTag();
    std::vector<std::uint32_t> vertexStamp;  // one per vertex
    std::vector<std::uint32_t> vertexMark;   // one per vertex
    std::vector<std::uint32_t> vertexGroup;  // one per vertex
    std::vector<std::uint32_t> vertexEdge;   // one per vertex
    std::vector<std::uint32_t> vertexFaces;  // one per vertex, all zero between steps
    // One per vertex: nonzero once every face at the vertex is flagged may-widen (see
    // mayWiden), as are the faces made there from then on.
    std::vector<std::uint32_t> vertexCrowded;

private:
    ConvexHullContext& operator=(const ConvexHullContext&) = default;

    // Set bits of x, without relying on a population-count instruction.
    static std::uint32_t bitCount(std::uint64_t x) {
        x -= (x >> 1) & 0x5555555555555555u;
        x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
        x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
        return static_cast<std::uint32_t>((x * 0x0101010101010101u) >> 56);
    }

    void linkIncidence(std::uint32_t slot);
    void unlinkIncidence(std::uint32_t slot);
    void renumberPlaces();
    // A slot past the last, for a face or an edge.
    std::uint32_t newFaceSlot();
    std::uint32_t newEdgeSlot();
    // The last freed slot of `free`, or a new one.
    template <class New>
    static std::uint32_t reusedSlot(std::vector<std::uint32_t>& free, New&& newSlot) {
        if (free.empty()) {
            return newSlot();
        }
        const std::uint32_t slot = free.back();
        free.pop_back();
        return slot;
    }

    // The rest of a face's record, read when it is made, destroyed or replaced.
    // Sixteen bytes, so that no record straddles two cache lines.
    struct FaceLinks {
        std::uint32_t prev = NONE;                    // face list link toward the front
        std::uint32_t edges[3] = {NONE, NONE, NONE};  // see faceEdge
    };
    static_assert(sizeof(FaceLinks) == 16);

    std::vector<Face> faces_;
    std::vector<FaceLinks> faceLinks_;
    std::vector<std::uint8_t> mayWiden_;  // per slot, see mayWiden
    // Per incidence link (see incidenceLink; four entries per slot, one unused): the link
    // before it in its vertex's chain, NONE at the chain's head. Indexed by the link itself.
    std::vector<std::uint32_t> incidencePrev_;
    std::vector<std::uint32_t> freeFaces_;
    // The corners of faces of more than three, all in one store: each polygon has its
    // room there, which it keeps while it fits and leaves for a larger one at the end
    // when it grows past it. A polygon's corners move only when it is given new ones.
    struct PolygonRoom {
        std::uint32_t at;    // into polygonStore_
        std::uint32_t room;  // corners it can take
    };
    std::vector<std::uint32_t> polygonStore_;
    std::vector<PolygonRoom> polygons_;
    // Per face slot, its place in polygons_ while the face has more than three corners
    // (only merges make such faces; the growth never reads or writes this).
    std::vector<std::uint32_t> polygonOf_;
    std::vector<std::uint32_t> freePolygons_;
    std::uint32_t faceHead_ = NONE;
    std::uint32_t faceCount_ = 0;
    std::uint32_t nextSeq_ = 0;

    std::vector<std::uint32_t> incidenceHead_;  // per vertex; links are slot * 3 + k
    std::vector<std::uint32_t> incidenceCount_; // per vertex

    std::vector<Edge> edges_;
    std::vector<std::uint32_t> freeEdges_;
    // Faces recorded in their edges' `sides` (every face made, while the count matches
    // nextSeq_); whether each had three edge records.
    std::uint32_t facesRecorded_ = 0;
    bool sidesComplete_ = true;
    std::uint32_t lastPlace_ = 0;  // the front edge's place, or larger
    std::uint32_t edgeCount_ = 0;

    std::uint32_t vertexCapacity_ = 0;
    void growVertexTables(std::uint32_t count);
    // Calls visit(table, start) for every per-vertex table, start being the value of a
    // vertex's entry before any stage writes it.
    template <class Visit>
    void forEachVertexTable(Visit&& visit) {
        visit(incidenceHead_, NONE);
        visit(incidenceCount_, 0u);
        visit(vertexStamp, 0u);
        visit(vertexMark, 0u);
        visit(vertexGroup, 0u);
        visit(vertexEdge, NONE);
        visit(vertexFaces, 0u);
        visit(vertexCrowded, 0u);
    }
    std::uint32_t stamp_ = 0;
    std::uint32_t loopTag_ = 0;
};

// The steps of every point added, defined here so that the stages inline them.

inline std::uint32_t ConvexHullContext::createFace(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                                   const Qmt::QmtVector3& normal) {
    const std::uint32_t slot = reusedSlot(freeFaces_, [this] { return newFaceSlot(); });
    Face& f = faces_[slot];
    f.normal = normal;
    f.corners[0] = a;
    f.corners[1] = b;
    f.corners[2] = c;
    f.count = 3;
    f.seq = nextSeq_++;
    f.mark = 0;
    f.next = faceHead_;
    mayWiden_[slot] = 0;
    FaceLinks& l = faceLinks_[slot];
    l.prev = NONE;
    l.edges[0] = l.edges[1] = l.edges[2] = NONE;
    if (faceHead_ != NONE) {
        faceLinks_[faceHead_].prev = slot;
    }
    faceHead_ = slot;
    ++faceCount_;
    linkIncidence(slot);
    return slot;
}

inline void ConvexHullContext::destroyFace(std::uint32_t slot) {
    Face& f = faces_[slot];
    FaceLinks& l = faceLinks_[slot];
    unlinkIncidence(slot);
    if (l.prev != NONE) {
        faces_[l.prev].next = f.next;
    } else {
        faceHead_ = f.next;
    }
    if (f.next != NONE) {
        faceLinks_[f.next].prev = l.prev;
    }
    if (f.count > 3) {
        freePolygons_.push_back(polygonOf_[slot]);
    }
    f.count = 0;
    f.next = NONE;
    l.prev = NONE;
    --faceCount_;
    freeFaces_.push_back(slot);
}

// A live face has at least three corners, all linked; a free slot has none linked.
inline void ConvexHullContext::linkIncidence(std::uint32_t slot) {
    Face& f = faces_[slot];
    std::uint32_t* prevLinks = incidencePrev_.data();
    for (std::uint32_t k = 0; k < 3; ++k) {
        const std::uint32_t v = f.corners[k];
        const std::uint32_t link = incidenceLink(slot, k);
        const std::uint32_t head = incidenceHead_[v];
        prevLinks[link] = NONE;
        f.incidenceNext[k] = head;
        if (head != NONE) {
            prevLinks[head] = link;
        }
        incidenceHead_[v] = link;
        ++incidenceCount_[v];
    }
}

inline void ConvexHullContext::unlinkIncidence(std::uint32_t slot) {
    Face& f = faces_[slot];
    std::uint32_t* prevLinks = incidencePrev_.data();
    for (std::uint32_t k = 0; k < 3; ++k) {
        const std::uint32_t v = f.corners[k];
        const std::uint32_t prev = prevLinks[incidenceLink(slot, k)];
        const std::uint32_t next = f.incidenceNext[k];
        if (prev != NONE) {
            faces_[faceOfLink(prev)].incidenceNext[cornerOfLink(prev)] = next;
        } else {
            incidenceHead_[v] = next;
        }
        if (next != NONE) {
            prevLinks[next] = prev;
        }
        --incidenceCount_[v];
    }
}

inline std::uint32_t ConvexHullContext::createEdge(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t slot = reusedSlot(freeEdges_, [this] { return newEdgeSlot(); });
    edges_[slot] = Edge{a, b, 0, 0, {NONE, NONE}};
    return slot;
}

inline void ConvexHullContext::pushFrontEdges(const std::vector<std::uint32_t>& slots) {
    for (auto it = slots.rbegin(); it != slots.rend(); ++it) {
        if (lastPlace_ == NONE - 1) {
            renumberPlaces();
        }
        edges_[*it].place = ++lastPlace_;
        ++edgeCount_;
    }
}

inline void ConvexHullContext::destroyEdge(std::uint32_t slot) {
    Edge& e = edges_[slot];
    if (e.place != 0) {
        --edgeCount_;  // edges made but never put in the list were not counted
    }
    e.a = e.b = NONE;
    e.place = 0;
    freeEdges_.push_back(slot);
}
