// Merging of coplanar hull faces into polygons (the third stage of both builders).

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <vector>

#include "geometry/hull/convexHull.h"
#include "geometry/query/proximity.h"

namespace {

using Qmt::QmtVector3;
using Face = ConvexHullContext::Face;

constexpr std::uint32_t NONE = ConvexHullContext::NONE;
constexpr double TOLERANCE = 1e-5;
constexpr double PARALLEL = 0.99999;
// From this many face slots (half a megabyte of face records) records are loaded ahead.
constexpr std::uint32_t LOAD_AHEAD_FROM_SLOTS = 8192;

// Most corners of a merged loop are far from straight: the quick test settles them.
bool degenerate(const QmtVector3* v, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
    const QmtVector3 ab = v[b] - v[a];
    const QmtVector3 bc = v[c] - v[b];
    return !clearlyNotDegenerate(v[a], v[b], v[c], ab, bc, ab.Cross(bc)) &&
           isDegenerateTriangle(v[a], v[b], v[c], true, TOLERANCE);
}

// Position of the edge {x, y} among a face's first three corners: (0,1) -> 0,
// (1,2) -> 1, (0,2) -> 2, in either order; NONE when it is not there.
std::uint32_t edgePosition(const std::uint32_t* c, std::uint32_t x, std::uint32_t y) {
    const auto is = [x, y](std::uint32_t p, std::uint32_t q) {
        return (p == x && q == y) || (p == y && q == x);
    };
    if (is(c[0], c[1])) {
        return 0;
    }
    if (is(c[1], c[2])) {
        return 1;
    }
    if (is(c[0], c[2])) {
        return 2;
    }
    return NONE;
}

// Whether the loop lies within TOLERANCE of the plane through its first corner with
// normal n and turns the same way about n at every corner (straight corners allowed).
bool flatConvexLoop(const QmtVector3* v, const std::vector<std::uint32_t>& loop, const QmtVector3& n) {
    const auto m = loop.size();
    const QmtVector3& origin = v[loop[0]];
    double sense = 0.0;
    for (std::size_t i = 0; i < m; ++i) {
        const QmtVector3& a = v[loop[i]];
        const QmtVector3& b = v[loop[(i + 1) % m]];
        const QmtVector3& c = v[loop[(i + 2) % m]];
        if (std::fabs((a - origin).Dot(n)) > TOLERANCE) {
            return false;
        }
        const QmtVector3 e1 = b - a;
        const QmtVector3 e2 = c - b;
        const double turn = e1.Cross(e2).Dot(n);
        const double straight = TOLERANCE * e1.Length() * e2.Length();
        if (turn > straight || turn < -straight) {
            if (sense == 0.0) {
                sense = turn;
            } else if ((turn > 0.0) != (sense > 0.0)) {
                return false;
            }
        }
    }
    return true;
}

bool repeatsCorner(const std::vector<std::uint32_t>& loop, ConvexHullContext& context) {
    const std::uint32_t seen = context.nextStamp();
    for (const std::uint32_t x : loop) {
        if (context.vertexMark[x] == seen) {
            return true;
        }
        context.vertexMark[x] = seen;
    }
    return false;
}

// Follows open edges from `from` to `to` through corners that the merges dropped
// (marked with `stamp` in vertexStamp), appending the corners passed to `path`.
// `budget` bounds the steps of the search: where many dropped corners meet, the ways
// through them multiply, and a search that runs out finds no path.
bool findDroppedPath(const ConvexHullContext& context, const std::vector<std::uint64_t>& openKeys,
                     const std::vector<std::uint32_t>& byVertex, const std::vector<std::uint32_t>& byVertexEdge,
                     std::vector<std::uint8_t>& used, std::uint32_t from, std::uint32_t to, std::uint32_t stamp,
                     std::vector<std::uint32_t>& path, std::vector<std::uint32_t>& edgesTaken,
                     std::uint32_t& budget) {
    if (path.size() > 32 || budget == 0) {
        return false;
    }
    --budget;
    const auto first = std::lower_bound(byVertex.begin(), byVertex.end(), from);
    for (auto it = first; it != byVertex.end() && *it == from; ++it) {
        const std::uint32_t e = byVertexEdge[static_cast<std::size_t>(it - byVertex.begin())];
        if (used[e]) {
            continue;
        }
        const std::uint64_t key = openKeys[e];
        const auto lo = static_cast<std::uint32_t>(key >> 32);
        const auto hi = static_cast<std::uint32_t>(key);
        const std::uint32_t other = lo == from ? hi : lo;
        if (other == to && !path.empty()) {
            edgesTaken.push_back(e);
            return true;
        }
        if (other == to || context.vertexStamp[other] != stamp ||
            std::find(path.begin(), path.end(), other) != path.end()) {
            continue;
        }
        used[e] = 1;
        path.push_back(other);
        edgesTaken.push_back(e);
        if (findDroppedPath(context, openKeys, byVertex, byVertexEdge, used, other, to, stamp, path, edgesTaken,
                            budget)) {
            return true;
        }
        used[e] = 0;
        path.pop_back();
        edgesTaken.pop_back();
    }
    return false;
}

// A corner dropped from a merged face as collinear may still be used by a face that
// did not drop it; the merged face then has one edge where its neighbour has two, and
// the surface is open there. Such corners go back into the merged face, between the
// ends of its edge. Nothing changes when every dropped corner went out of use.
// `polygons` holds every face the merges left with more than three corners (and maybe
// faces since destroyed or narrowed): only their corners past the third are linked to
// no vertex, so with the vertices' incidence they find every face at a vertex.
void reinsertDroppedCorners(ConvexHullContext& context, const std::vector<std::uint32_t>& dropped,
                            std::vector<std::uint32_t>& polygons) {
    if (dropped.empty()) {
        return;
    }
    std::erase_if(polygons, [&](std::uint32_t s) { return context.face(s).count <= 3; });
    const std::uint32_t referenced = context.nextStamp();
    for (const std::uint32_t s : polygons) {
        const std::uint32_t* c = context.corners(s);
        for (std::uint32_t k = 3; k < context.face(s).count; ++k) {
            context.vertexMark[c[k]] = referenced;
        }
    }
    const std::uint32_t stale = context.nextStamp();
    std::vector<std::uint32_t> staleCorners;
    for (const std::uint32_t x : dropped) {
        if ((context.incidenceCount(x) != 0 || context.vertexMark[x] == referenced) &&
            context.vertexStamp[x] != stale) {
            context.vertexStamp[x] = stale;
            staleCorners.push_back(x);
        }
    }
    if (staleCorners.empty()) {
        return;
    }
    // Calls side(slot, a, b) for every side of every face at one of `vertices`, each
    // face once.
    const auto sidesAround = [&](const std::vector<std::uint32_t>& vertices, auto&& side) {
        const std::uint32_t seen = context.nextStamp();
        const auto visit = [&](std::uint32_t s) {
            if (context.face(s).mark == seen) {
                return;
            }
            context.face(s).mark = seen;
            const std::uint32_t* c = context.corners(s);
            const std::uint32_t k = context.face(s).count;
            for (std::uint32_t i = 0; i < k; ++i) {
                side(s, c[i], c[i + 1 == k ? 0 : i + 1]);
            }
        };
        for (const std::uint32_t x : vertices) {
            for (std::uint32_t link = context.firstIncidence(x); link != NONE;
                 link = context.nextIncidence(link)) {
                visit(ConvexHullContext::faceOfLink(link));
            }
        }
        for (const std::uint32_t s : polygons) {
            visit(s);
        }
    };
    // Edges used by one face only, with that face. Only edges with both ends at a
    // stale corner or next to one can start or continue a path (each step of a path
    // leaves or enters a stale corner), so only those are listed; all the faces of
    // such an edge pass that test alike, so whether it is open is still told right.
    const std::uint32_t near = context.nextStamp();
    std::vector<std::uint32_t> nearCorners;
    const auto markNear = [&](std::uint32_t a) {
        if (context.vertexMark[a] != near) {
            context.vertexMark[a] = near;
            nearCorners.push_back(a);
        }
    };
    sidesAround(staleCorners, [&](std::uint32_t, std::uint32_t a, std::uint32_t b) {
        if (context.vertexStamp[a] == stale || context.vertexStamp[b] == stale) {
            markNear(a);
            markNear(b);
        }
    });
    std::vector<ConvexHullContext::KeyedPosition>& all = context.pairScratch;
    all.clear();
    sidesAround(nearCorners, [&](std::uint32_t s, std::uint32_t a, std::uint32_t b) {
        if (context.vertexMark[a] == near && context.vertexMark[b] == near) {
            all.push_back({ConvexHullContext::pairKey(a, b), s});
        }
    });
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
        return a.key < b.key || (a.key == b.key && a.position < b.position);
    });
    std::vector<std::uint64_t> openKeys;
    std::vector<std::uint32_t> openFace;
    for (std::size_t i = 0; i < all.size();) {
        std::size_t j = i + 1;
        while (j < all.size() && all[j].key == all[i].key) {
            ++j;
        }
        if (j == i + 1) {
            openKeys.push_back(all[i].key);
            openFace.push_back(all[i].position);
        }
        i = j;
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ends;  // (vertex, open edge)
    for (std::uint32_t e = 0; e < openKeys.size(); ++e) {
        ends.push_back({static_cast<std::uint32_t>(openKeys[e] >> 32), e});
        ends.push_back({static_cast<std::uint32_t>(openKeys[e]), e});
    }
    std::sort(ends.begin(), ends.end());
    std::vector<std::uint32_t> byVertex;
    std::vector<std::uint32_t> byVertexEdge;
    for (const auto& [vertex, e] : ends) {
        byVertex.push_back(vertex);
        byVertexEdge.push_back(e);
    }
    std::vector<std::uint8_t> used(openKeys.size(), 0);
    std::vector<std::uint32_t> path;
    std::vector<std::uint32_t> taken;
    std::vector<std::uint32_t> grown;
    for (std::uint32_t e = 0; e < openKeys.size(); ++e) {
        if (used[e]) {
            continue;
        }
        const auto x = static_cast<std::uint32_t>(openKeys[e] >> 32);
        const auto y = static_cast<std::uint32_t>(openKeys[e]);
        path.clear();
        taken.clear();
        used[e] = 1;
        std::uint32_t budget = 1u << 16;
        if (!findDroppedPath(context, openKeys, byVertex, byVertexEdge, used, x, y, stale, path, taken, budget)) {
            used[e] = 0;
            continue;
        }
        // Put the corners passed from x to y between x and y in the face, unless the
        // face has one of them already.
        const std::uint32_t F = openFace[e];
        const std::uint32_t* c = context.corners(F);
        const std::uint32_t k = context.face(F).count;
        if (std::any_of(path.begin(), path.end(), [c, k](std::uint32_t q) { return std::find(c, c + k, q) != c + k; })) {
            used[e] = 0;
            for (const std::uint32_t t : taken) {
                used[t] = 0;
            }
            continue;
        }
        for (const std::uint32_t t : taken) {
            used[t] = 1;
        }
        grown.clear();
        for (std::uint32_t i = 0; i < k; ++i) {
            grown.push_back(c[i]);
            const std::uint32_t next = c[(i + 1) % k];
            if (c[i] == x && next == y) {
                grown.insert(grown.end(), path.begin(), path.end());
            } else if (c[i] == y && next == x) {
                grown.insert(grown.end(), path.rbegin(), path.rend());
            }
        }
        context.setCorners(F, grown.data(), static_cast<std::uint32_t>(grown.size()));
    }
}

template <class Mesh>
void mergeImpl(Mesh& mesh, ConvexHullContext& context) {
    const QmtVector3* v = mesh.vertices;
    std::vector<std::uint32_t>& loop = context.loopScratch;
    std::vector<std::uint32_t>& kept = context.keptScratch;
    std::vector<std::uint32_t> dropped;
    std::vector<std::uint32_t> polygons;  // the faces merged into
    // An edge's verdict depends only on the faces at its two ends. A pass after the
    // first asks again only the edges at a corner of a face that a merge has changed
    // since the edge was last asked (merge times per vertex, the time of asking with
    // the edge): the others would be left alone again.
    std::vector<std::uint32_t> changed(mesh.numVertices, 0);
    std::uint32_t now = 0;
    // An edge's faces (those holding both its ends among their first three corners,
    // as the walk around a corner finds them) are kept per edge through the merges, so
    // that an edge reads its two newest faces instead of walking the faces around a
    // corner (a chain of dependent loads). Where the growth kept them in the edge
    // records (ConvexHullContext::sidesRecorded) they are taken from there; otherwise
    // faces are found from their corner pairs through a table of the edges by pair. An
    // edge with more than two faces, or whose ends another edge record shares, is
    // walked as before.
    // The creation numbers are kept beside the faces, so that removing the newer face
    // reads no face record (taken from the records, they are read when first needed).
    constexpr std::uint32_t WALKED = NONE - 1;  // `newer` of an edge left to the walk
    constexpr std::uint32_t UNREAD = NONE;      // a creation number not read yet (none reaches it)
    struct EdgeFaces {
        std::uint32_t newer = NONE;
        std::uint32_t older = NONE;
        std::uint32_t newerSeq = 0;
        std::uint32_t olderSeq = 0;
        bool walk() const { return newer == WALKED; }
    };
    const bool fromRecords = context.sidesRecorded();
    const std::uint32_t edgeSlots = context.edgeSlotCount();
    std::vector<EdgeFaces> held(edgeSlots);
    // The edge records by vertex pair, in a table of open addressing (half full at
    // most). Edge records sharing their ends are left to the walk, so that a face's own
    // record for a side, where it is still valid, names the only edge of that pair.
    // Cells hold edge slots; the pair keys are kept by slot.
    const int cellBits = std::bit_width(2 * std::size_t{edgeSlots} + 1);
    const std::size_t cellMask = (std::size_t{1} << cellBits) - 1;
    std::vector<std::uint32_t> cells(cellMask + 1, NONE);
    // Read for live records only, each written first: left uninitialised.
    const auto keyOf = std::make_unique_for_overwrite<std::uint64_t[]>(edgeSlots);
    const auto cellOf = [&](std::uint64_t key) {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15u) >> (64 - cellBits));
    };
    // The cell of the pair's first record, or the empty cell where it would go.
    const auto find = [&](std::uint64_t key) {
        std::size_t at = cellOf(key);
        while (cells[at] != NONE && keyOf[cells[at]] != key) {
            at = (at + 1) & cellMask;
        }
        return at;
    };
    for (std::uint32_t e = 0; e < edgeSlots; ++e) {
        const ConvexHullContext::Edge& record = context.edge(e);
        if (record.a == NONE) {
            continue;
        }
        if (record.a == record.b || record.sides[0] == ConvexHullContext::MANY) {
            held[e].newer = WALKED;
        } else if (fromRecords && record.sides[1] != NONE) {
            // A growth's records keep their faces in order of making.
            held[e].newer = record.sides[1];
            held[e].older = record.sides[0];
            held[e].newerSeq = held[e].olderSeq = UNREAD;
        }
        const std::uint64_t key = ConvexHullContext::pairKey(record.a, record.b);
        keyOf[e] = key;
        const std::size_t at = find(key);
        if (cells[at] != NONE) {
            held[cells[at]].newer = WALKED;
            held[e].newer = WALKED;
            continue;  // the first record of the pair, the lowest, stays
        }
        cells[at] = e;
    }
    // The first edge record joining a to b (the lowest), or NONE.
    const auto edgeOf = [&](std::uint32_t a, std::uint32_t b) {
        return cells[find(ConvexHullContext::pairKey(a, b))];
    };
    // The edges of the pairs of a face's first three corners, each once (NONE for the
    // rest). They are kept per face slot until a merge changes its corners: an edge
    // destroyed since is still found by edgeOf, and where a face's record and edgeOf
    // could name different records of one pair, every record of the pair is walked.
    struct Sides {
        std::uint32_t edges[3];
    };
    const auto sidesOf = std::make_unique_for_overwrite<Sides[]>(context.slotCount());  // read once found
    // Faces held from the records find their sides when a merge needs them.
    std::vector<std::uint8_t> sidesFound(fromRecords ? context.slotCount() : 0, 0);
    const auto findSides = [&](std::uint32_t slot) {
        if (fromRecords) {
            sidesFound[slot] = 1;
        }
        const std::uint32_t* c = context.linkedCorners(slot);
        std::uint32_t* found = sidesOf[slot].edges;
        for (std::uint32_t k = 0; k < 3; ++k) {
            found[k] = context.faceEdge(slot, k);
            if (found[k] == NONE) {
                found[k] = edgeOf(c[k], c[k == 2 ? 0 : k + 1]);
            }
        }
    };
    const auto pairEdges = [&](std::uint32_t slot, std::uint32_t out[3]) {
        if (fromRecords && sidesFound[slot] == 0) {
            findSides(slot);
        }
        std::copy(sidesOf[slot].edges, sidesOf[slot].edges + 3, out);
        if (out[1] == out[0]) {
            out[1] = NONE;
        }
        if (out[2] == out[0] || out[2] == out[1]) {
            out[2] = NONE;
        }
    };
    const auto addFace = [&](std::uint32_t slot, std::uint32_t seq, std::uint32_t e) {
        if (e == NONE || held[e].walk()) {
            return;
        }
        EdgeFaces& h = held[e];
        if (h.newer == NONE) {
            h.newer = slot;
            h.newerSeq = seq;
        } else if (h.older == NONE) {
            if (h.newerSeq == UNREAD) {
                h.newerSeq = context.face(h.newer).seq;
            }
            if (h.newerSeq < seq) {
                h.older = h.newer;
                h.olderSeq = h.newerSeq;
                h.newer = slot;
                h.newerSeq = seq;
            } else {
                h.older = slot;
                h.olderSeq = seq;
            }
        } else {
            h.newer = WALKED;
        }
    };
    const auto removeFace = [&](std::uint32_t slot, std::uint32_t e) {
        if (e == NONE || held[e].walk()) {
            return;
        }
        EdgeFaces& h = held[e];
        if (h.newer == slot) {
            h.newer = h.older;
            h.newerSeq = h.olderSeq;
            h.older = NONE;
        } else if (h.older == slot) {
            h.older = NONE;
        } else {
            h.newer = WALKED;
        }
    };
    // On a hull too large for the caches, the records read next load ahead.
    bool loadAhead = context.slotCount() >= LOAD_AHEAD_FROM_SLOTS;
    for (std::uint32_t s = 0; !fromRecords && s < context.slotCount(); ++s) {
        // The faces' edge records lie scattered: they load a few faces ahead.
        if (loadAhead && s + 8 < context.slotCount() && context.face(s + 8).count != 0) {
            context.prefetchFaceEdges(s + 8);
        }
        if (loadAhead && s + 4 < context.slotCount() && context.face(s + 4).count != 0) {
            for (std::uint32_t k = 0; k < 3; ++k) {
                const std::uint32_t e = context.faceEdge(s + 4, k);
                if (e != NONE) {
                    __builtin_prefetch(&held[e]);
                }
            }
        }
        if (context.face(s).count != 0) {
            findSides(s);
            const std::uint32_t* sides = sidesOf[s].edges;
            const std::uint32_t seq = context.face(s).seq;
            addFace(s, seq, sides[0]);
            if (sides[1] != sides[0]) {
                addFace(s, seq, sides[1]);
            }
            if (sides[2] != sides[0] && sides[2] != sides[1]) {
                addFace(s, seq, sides[2]);
            }
        }
    }
    const auto touch = [&](std::uint32_t slot) {
        const std::uint32_t* c = context.corners(slot);
        for (std::uint32_t k = 0; k < context.face(slot).count; ++k) {
            changed[c[k]] = now;
        }
    };
    std::uint32_t lastWalk = NONE;
    bool firstPass = true;
    bool merged = true;
    // The edge list in order, with each edge's time of asking: a merge removes only
    // the edge it merges across, so the passes after the first read this array
    // instead of following the list's links from record to record. Listing it up
    // front reads the edges the first pass would reach, in the same order.
    struct ListedEdge {
        std::uint32_t slot;  // NONE once merged away
        std::uint32_t x;
        std::uint32_t y;
        std::uint32_t asked;
    };
    const std::size_t listedCount = context.edgeCount();
    const auto listed = std::make_unique_for_overwrite<ListedEdge[]>(listedCount);
    std::size_t placed = 0;
    context.placeEdges([&](std::uint32_t position, std::uint32_t e) {
        listed[position] = {e, context.edge(e).a, context.edge(e).b, 0};
        ++placed;
    });
    std::fill(listed.get() + placed, listed.get() + listedCount, ListedEdge{0, 0, 0, 0});
    while (merged) {
        merged = false;
        for (std::size_t i = 0; i < listedCount; ++i) {
            // The faces of the edges a little ahead start loading (a hint only: the
            // merges in between may change them).
            if (loadAhead && i + 16 < listedCount && listed[i + 16].slot != NONE) {
                __builtin_prefetch(&held[listed[i + 16].slot]);
            }
            if (loadAhead && i + 8 < listedCount && listed[i + 8].slot != NONE) {
                const EdgeFaces& ahead = held[listed[i + 8].slot];
                if (ahead.older != NONE && !ahead.walk()) {
                    __builtin_prefetch(&context.face(ahead.newer));
                    __builtin_prefetch(&context.face(ahead.older));
                }
            }
            ListedEdge& listedEdge = listed[i];
            const std::uint32_t e = listedEdge.slot;
            const std::uint32_t x = listedEdge.x;
            const std::uint32_t y = listedEdge.y;
            if (e == NONE || (!firstPass && changed[x] <= listedEdge.asked && changed[y] <= listedEdge.asked)) {
                continue;
            }
            listedEdge.asked = now;
            // F and G: the first two faces in list order (newest first) holding the edge.
            std::uint32_t F = NONE;
            std::uint32_t G = NONE;
            if (!held[e].walk()) {
                F = held[e].newer;
                G = held[e].older;
                if (G == NONE || !(context.face(F).normal.Dot(context.face(G).normal) > PARALLEL)) {
                    continue;
                }
            } else {
                // Either end's faces hold all the edge's faces. Successive edges in the list
                // often share an end (the edges made with one vertex): its faces, walked for
                // the edge before, are still in cache.
                const std::uint32_t walk = x == lastWalk || y == lastWalk ? lastWalk
                                           : context.incidenceCount(x) <= context.incidenceCount(y) ? x
                                                                                                    : y;
                lastWalk = walk;
                for (std::uint32_t link = context.firstIncidence(walk); link != NONE;
                     link = context.nextIncidence(link)) {
                    const std::uint32_t s = ConvexHullContext::faceOfLink(link);
                    if (s == F || s == G || edgePosition(context.linkedCorners(s), x, y) == NONE) {
                        continue;
                    }
                    const std::uint32_t seq = context.face(s).seq;
                    if (F == NONE || seq > context.face(F).seq) {
                        G = F;
                        F = s;
                    } else if (G == NONE || seq > context.face(G).seq) {
                        G = s;
                    }
                }
                if (F == NONE || G == NONE ||
                    !(context.face(F).normal.Dot(context.face(G).normal) > PARALLEL)) {
                    continue;
                }
            }

            const std::uint32_t f = context.face(F).count;
            const std::uint32_t g = context.face(G).count;
            const std::uint32_t r = edgePosition(context.face(F).corners, x, y);
            const std::uint32_t t = edgePosition(context.face(G).corners, x, y);
            const std::uint32_t* fc = context.corners(F);
            const std::uint32_t* gc = context.corners(G);
            loop.clear();
            for (std::uint32_t i = 0; i + 3 <= f; ++i) {
                loop.push_back(fc[(r + 2 + i) % f]);
            }
            loop.push_back(fc[r]);
            if (fc[r] == gc[t]) {
                for (std::uint32_t i = 0; i + 3 <= g; ++i) {
                    loop.push_back(gc[(g - i + t - 1) % g]);
                }
                loop.push_back(gc[(t + 1) % g]);
            } else {
                for (std::uint32_t i = 0; i + 3 <= g; ++i) {
                    loop.push_back(gc[(t + 2 + i) % g]);
                }
                loop.push_back(gc[t]);
            }

            // Faces that meet along more than that edge, or across a polygon's
            // diagonal, would make a loop that passes a corner twice: no polygon.
            if (repeatsCorner(loop, context)) {
                continue;
            }

            // Refill F from the loop, dropping corners on a straight line between
            // their loop neighbours.
            const auto m = static_cast<std::uint32_t>(loop.size());
            kept.clear();
            const auto droppedBefore = dropped.size();
            if (context.robust) {
                // The rebuild merges only into a flat convex polygon and keeps every
                // corner, so that no neighbour is left with a corner the face lost.
                if (!flatConvexLoop(v, loop, context.face(F).normal)) {
                    continue;
                }
                kept.assign(loop.begin(), loop.end());
            } else {
                for (std::uint32_t i = 1; i + 1 < m; ++i) {
                    (degenerate(v, loop[i - 1], loop[i], loop[i + 1]) ? dropped : kept).push_back(loop[i]);
                }
                (degenerate(v, loop[m - 2], loop[m - 1], loop[0]) ? dropped : kept).push_back(loop[m - 1]);
                (degenerate(v, loop[m - 1], loop[0], loop[1]) ? dropped : kept).push_back(loop[0]);
            }
            if (kept.size() < 3) {
                // Two faces too small for the tolerances would vanish together and
                // leave a hole: they stay as they are.
                dropped.resize(droppedBefore);
                continue;
            }

            ++now;
            touch(F);
            touch(G);
            std::uint32_t sides[3];
            pairEdges(G, sides);
            for (const std::uint32_t side : sides) {
                removeFace(G, side);
            }
            pairEdges(F, sides);
            for (const std::uint32_t side : sides) {
                removeFace(F, side);
            }
            context.destroyEdge(e);
            listedEdge.slot = NONE;
            context.destroyFace(G);
            context.setCorners(F, kept.data(), static_cast<std::uint32_t>(kept.size()));
            if (kept.size() > 3) {
                polygons.push_back(F);
            }
            findSides(F);
            pairEdges(F, sides);
            for (const std::uint32_t side : sides) {
                addFace(F, context.face(F).seq, side);
            }
            merged = true;
        }
        firstPass = false;
        loadAhead = false;
    }
    reinsertDroppedCorners(context, dropped, polygons);
}

}  // namespace

void mergeCoplanarHullFaces(ZYLmesh& mesh, ConvexHullContext& context) { mergeImpl(mesh, context); }
void mergeCoplanarHullFaces(ZYL_DFmesh& mesh, ConvexHullContext& context) { mergeImpl(mesh, context); }
