#include <algorithm>
#include <utility>
#include <vector>

#include "geometry/clip/clipper.h"
#include "math/qmtMatrix3.h"

namespace {

constexpr double kOnPlane = 1e-5;
constexpr double kFltMax = 3.4028234663852886e38;

bool touches(const connect_edge& e, std::uint32_t v) { return e.v0 == v || e.v1 == v; }

bool sharesVertex(const connect_edge& a, const connect_edge& b) {
    return touches(b, a.v0) || touches(b, a.v1);
}

bool samePair(const connect_edge& a, const connect_edge& b) {
    return (a.v0 == b.v0 && a.v1 == b.v1) || (a.v0 == b.v1 && a.v1 == b.v0);
}

// Index of the extra UV set s at a slot code (start A, start B, end A, end B).
std::uint32_t setIndexAt(const connect_edge& e, std::uint32_t s, std::uint32_t slot) {
    return slot < 2 ? e.uvSetStart[s][slot] : e.uvSetEnd[s][slot - 2];
}

// Attributes of one corner gathered while a face's vertex loop is rebuilt.
struct CornerScratch {
    std::vector<std::uint32_t> vertices;
    std::vector<std::uint32_t> normals;
    std::vector<std::uint32_t> uvs;
    std::vector<std::uint32_t> sets[MAX_EXTRA_UV_SETS];
    std::vector<std::uint32_t> chain;  // the edges gathered so far

    void clear() {
        vertices.clear();
        normals.clear();
        uvs.clear();
        for (auto& set : sets) {
            set.clear();
        }
        chain.clear();
    }

    // Appends end `v` of edge e (its A slots when this face is e's face A).
    void add(const connect_edge& e, std::uint32_t v, bool sideA, std::uint32_t extraSets) {
        const std::uint32_t slot = (v == e.v0 ? EDGE_SLOT_START_A : EDGE_SLOT_END_A) + (sideA ? 0 : 1);
        vertices.push_back(v);
        normals.push_back(e.normals[slot]);
        uvs.push_back(e.uvs[slot]);
        for (std::uint32_t s = 0; s < extraSets; ++s) {
            sets[s].push_back(setIndexAt(e, s, slot));
        }
    }

    // Writes the gathered corners into a face (capacity already sufficient). Edge slot
    // k gets the chain edge that runs from corner k to corner k + 1.
    void writeTo(ZYL_DFface& face, std::uint32_t extraSets) const {
        const auto n = static_cast<std::uint32_t>(vertices.size());
        std::copy(vertices.begin(), vertices.end(), face.vertices);
        std::copy(normals.begin(), normals.end(), face.normals);
        std::copy(uvs.begin(), uvs.end(), face.uvs);
        for (std::uint32_t s = 0; s < extraSets; ++s) {
            if (face.uvSets[s]) {
                std::copy(sets[s].begin(), sets[s].end(), face.uvSets[s]);
            }
        }
        face.numVertices = n;
        const auto edges = static_cast<std::uint32_t>(chain.size());
        for (std::uint32_t k = 0; k < n && edges > 0; ++k) {
            face.edges[k] = chain[(k + 1) % edges];
        }
        face.numEdges = std::min(n, edges);
    }
};

}  // namespace

struct Clipper::SplitScratch {
    ZYL_DFface edgeList;  // the temporary edge list of the face being split
    CornerScratch gathered;
};

// ---- Classification ----------------------------------------------------------------------

std::int32_t Clipper::classify(const ZYLmesh* mesh, const Qmt::QmtVector3& n, const Qmt::QmtVector3& p) {
    return classifyVertices(mesh ? std::min(mesh->numVertices, m_meshVertexCount) : 0, n, p);
}

std::int32_t Clipper::classifyDF(const ZYL_DFmesh* mesh, const Qmt::QmtVector3& n,
                                 const Qmt::QmtVector3& p) {
    return classifyVertices(mesh ? std::min(mesh->numVertices, m_meshVertexCount) : 0, n, p);
}

std::int32_t Clipper::classifyVertices(std::uint32_t V, const Qmt::QmtVector3& n, const Qmt::QmtVector3& p) {
    if (V == 0 || !m_vertices) {
        return 1;
    }
    bool above = false;
    bool below = false;
    for (std::uint32_t i = 0; i < V; ++i) {
        const double d = n.Dot(m_vertices[i] - p);
        if (d >= kOnPlane) {
            above = true;
            m_distances[i] = d;
            m_keep[i] = 1;
        } else if (d <= -kOnPlane) {
            below = true;
            m_distances[i] = d;
            m_keep[i] = 0;
        } else {
            m_distances[i] = 0.0;
            m_keep[i] = 1;
        }
    }
    if (!below) {
        return 1;
    }
    return above ? 0 : -1;
}

// ---- Edge table of the straddling faces ------------------------------------------------------

bool Clipper::buildEdges() {
    m_edgeCount = 0;
    m_edgeTotal = 0;

    // Records in creation order. An open record is found again through a chain per
    // lower vertex index, newest first, which gives the same match as a scan of the
    // open list from its front.
    std::vector<connect_edge> records;
    std::vector<std::uint32_t> nextAtVertex;
    std::vector<std::uint8_t> closed;
    std::vector<std::uint32_t> closingOrder;
    std::vector<std::uint32_t> chainHead;

    const std::uint32_t V = m_vertexCount;
    std::uint32_t straddling = 0;
    for (std::uint32_t f = 0; f < m_faceCount; ++f) {
        ZYL_DFface& face = m_faces[f];
        face.numEdges = 0;
        const std::uint32_t m = face.numVertices;
        if (m == 0 || !face.vertices) {
            continue;
        }
        bool valid = true;
        for (std::uint32_t k = 0; k < m && valid; ++k) {
            valid = face.vertices[k] < V;
        }
        if (!valid) {
            face.alive = 0;  // an index outside the mesh cannot be cut; the face is dropped
            continue;
        }

        const double d0 = m_distances[face.vertices[0]];
        double product = d0;
        for (std::uint32_t k = 1; k < m; ++k) {
            product = d0 * m_distances[face.vertices[k]];
            if (product <= 0.0) {
                break;
            }
        }
        if (product > 0.0) {
            if (d0 < 0.0) {
                face.alive = 0;
            }
            continue;
        }
        if (product == 0.0) {
            bool anyAbove = false;
            for (std::uint32_t k = 0; k < m && !anyAbove; ++k) {
                anyAbove = m_distances[face.vertices[k]] > 0.0;
            }
            face.alive = anyAbove ? 1 : 0;
            if (!anyAbove) {
                continue;
            }
        }

        // The face straddles the plane.
        journalStraddlingFace(f);
        if (m_failed) {
            return false;
        }
        face.flags |= FACE_STRADDLING;
        ++straddling;
        if (face.edgeCapacity < m) {
            face.resize(m, face.numUVSets);
            if (face.edgeCapacity < m) {
                m_failed = true;
                return false;
            }
        }
        if (chainHead.empty()) {
            chainHead.assign(V, ABSENT_INDEX);
        }
        const std::uint32_t extraSets = faceExtraUVSets(face);
        const bool recordSets = m_hasUVs && (face.flags & FACE_UV_SETS);
        for (std::uint32_t k = 0; k < m; ++k) {
            const std::uint32_t k1 = (k + 1) % m;
            const std::uint32_t a = face.vertices[k];
            const std::uint32_t b = face.vertices[k1];
            const std::uint32_t nA = face.normals ? face.normals[k] : ABSENT_INDEX;
            const std::uint32_t nB = face.normals ? face.normals[k1] : ABSENT_INDEX;
            const std::uint32_t uA = (m_hasUVs && face.uvs) ? face.uvs[k] : ABSENT_INDEX;
            const std::uint32_t uB = (m_hasUVs && face.uvs) ? face.uvs[k1] : ABSENT_INDEX;

            const std::uint32_t lo = std::min(a, b);
            const std::uint32_t hi = std::max(a, b);
            std::uint32_t previous = ABSENT_INDEX;
            std::uint32_t match = chainHead[lo];
            while (match != ABSENT_INDEX && std::max(records[match].v0, records[match].v1) != hi) {
                previous = match;
                match = nextAtVertex[match];
            }

            if (match != ABSENT_INDEX) {
                connect_edge& e = records[match];
                e.faceB = f;
                e.posB = face.numEdges;
                // Start-in-B takes this face's indices of the record's start vertex.
                const bool same = e.v0 == a;
                e.normals[EDGE_SLOT_START_B] = same ? nA : nB;
                e.normals[EDGE_SLOT_END_B] = same ? nB : nA;
                e.uvs[EDGE_SLOT_START_B] = same ? uA : uB;
                e.uvs[EDGE_SLOT_END_B] = same ? uB : uA;
                for (std::uint32_t s = 0; s < extraSets; ++s) {
                    const std::uint32_t* set = face.uvSets[s];
                    if (set) {
                        e.uvSetStart[s][1] = same ? set[k] : set[k1];
                        e.uvSetEnd[s][1] = same ? set[k1] : set[k];
                    }
                }
                (previous == ABSENT_INDEX ? chainHead[lo] : nextAtVertex[previous]) = nextAtVertex[match];
                closed[match] = 1;
                closingOrder.push_back(match);
            } else {
                connect_edge e;
                clearConnectEdge(e);
                e.v0 = a;
                e.v1 = b;
                e.normals[EDGE_SLOT_START_A] = nA;
                e.normals[EDGE_SLOT_END_A] = nB;
                e.uvs[EDGE_SLOT_START_A] = uA;
                e.uvs[EDGE_SLOT_END_A] = uB;
                for (std::uint32_t s = 0; s < extraSets; ++s) {
                    const std::uint32_t* set = face.uvSets[s];
                    if (set) {
                        e.uvSetStart[s][0] = set[k];
                        e.uvSetEnd[s][0] = set[k1];
                    }
                }
                e.faceA = e.faceB = f;
                e.posA = e.posB = face.numEdges;
                if (recordSets) {
                    e.flags = EDGE_UV_SETS;
                    e.numUVSets = face.numUVSets;
                }
                const auto index = static_cast<std::uint32_t>(records.size());
                records.push_back(e);
                closed.push_back(0);
                nextAtVertex.push_back(chainHead[lo]);
                chainHead[lo] = index;
            }
            ++face.numEdges;
        }
    }

    if (records.empty()) {
        return false;
    }

    // Closed records first, most recently closed first, then the open ones, most
    // recently made first. Open edges lying in the plane go to the top of the range.
    // Room for the closing edges that the split adds (it grows if a face needs more).
    const auto E = static_cast<std::uint32_t>(records.size());
    if (!reserveEdges(E + 3 * straddling)) {
        return false;
    }
    std::uint32_t next = 0;
    std::uint32_t count = E;
    const auto place = [&](std::uint32_t r, bool open) {
        const connect_edge& e = records[r];
        const bool inPlane = open && m_distances[e.v0] == 0.0 && m_distances[e.v1] == 0.0;
        const std::uint32_t index = inPlane ? --count : next++;
        m_edges[index] = e;
        m_edges[index].active = 1;
        m_faces[e.faceA].edges[e.posA] = index;
        m_faces[e.faceB].edges[e.posB] = index;
    };
    for (auto it = closingOrder.rbegin(); it != closingOrder.rend(); ++it) {
        place(*it, false);
    }
    for (std::uint32_t r = E; r-- > 0;) {
        if (!closed[r]) {
            place(r, true);
        }
    }
    m_edgeCount = count;
    m_edgeTotal = E;
    return true;
}

// ---- Cut vertices ---------------------------------------------------------------------------

void Clipper::cutEdges(const ZYLmesh* mesh) {
    cutEdgesImpl(mesh ? std::min(mesh->numVertices, m_meshVertexCount) : 0, false, false);
}

void Clipper::cutEdgesDF(const ZYL_DFmesh* mesh) {
    cutEdgesImpl(mesh ? std::min(mesh->numVertices, m_meshVertexCount) : 0, true,
                 mesh && mesh->numUVSets != 1);
}

void Clipper::cutEdgesImpl(std::uint32_t V, bool detailed, bool uvSets) {
    const auto read = [](const Qmt::QmtVector3* array, std::uint32_t count, std::uint32_t index) {
        return (array && index < count) ? array[index] : Qmt::QmtVector3::ZERO;
    };
    // A face stays alive while one edge of its list is still active.
    const auto refreshAlive = [this](std::uint32_t f) {
        if (f >= 0x7FFFFFFFu || f >= m_faceCount) {
            return;
        }
        ZYL_DFface& face = m_faces[f];
        std::uint8_t alive = 0;
        for (std::uint32_t i = 0; i < face.numEdges && !alive; ++i) {
            alive = m_edges[face.edges[i]].active;
        }
        face.alive = alive;
    };

    for (std::uint32_t i = 0; i < m_edgeCount; ++i) {
        connect_edge& e = m_edges[i];
        if (!e.active || e.v0 >= V || e.v1 >= V) {
            continue;
        }
        const double d0 = m_distances[e.v0];
        const double d1 = m_distances[e.v1];
        if (d0 < 0.0 && d1 < 0.0) {
            e.active = 0;
            refreshAlive(e.faceA);
            refreshAlive(e.faceB);
            continue;
        }
        if (d0 >= 0.0 && d1 >= 0.0) {
            continue;
        }
        if (d0 == 0.0 || d1 == 0.0) {
            // From a vertex on the plane down below: nothing of the edge is left but
            // that vertex, which is where the cut passes. A cut vertex there would be a
            // second vertex at one position, and the faces and cap loops beside it
            // would meet one or the other: the edge goes as if below, and the faces
            // close through the on-plane vertex itself.
            e.active = 0;
            refreshAlive(e.faceA);
            refreshAlive(e.faceB);
            continue;
        }

        const double t = d0 / (d0 - d1);
        const Qmt::QmtVector3 P = m_vertices[e.v1] * t + m_vertices[e.v0] * (1.0 - t);
        std::uint32_t k = ABSENT_INDEX;
        for (std::uint32_t j = V; j < m_vertexCount; ++j) {
            if ((m_vertices[j] - P).SquaredLength() < kOnPlane) {
                k = j;
                break;
            }
        }
        if (k == ABSENT_INDEX) {
            k = addVertex(P);
            if (k == ABSENT_INDEX) {
                return;
            }
        } else {
            m_vertices[k] = P;
        }

        // The end below the plane is the one replaced. (Replacing the on-plane start of
        // an edge that runs from the plane downwards would keep the removed end.)
        const bool replaceEnd = d0 > d1;
        const std::uint32_t slotA = replaceEnd ? EDGE_SLOT_END_A : EDGE_SLOT_START_A;
        const std::uint32_t slotB = replaceEnd ? EDGE_SLOT_END_B : EDGE_SLOT_START_B;

        if (detailed && m_normals) {
            Qmt::QmtVector3 a = read(m_normals, m_normalCount, e.normals[EDGE_SLOT_END_A]) * t +
                                read(m_normals, m_normalCount, e.normals[EDGE_SLOT_START_A]) * (1.0 - t);
            Qmt::QmtVector3 b = read(m_normals, m_normalCount, e.normals[EDGE_SLOT_END_B]) * t +
                                read(m_normals, m_normalCount, e.normals[EDGE_SLOT_START_B]) * (1.0 - t);
            a.Unitize(Qmt::QmtMatrix3::EPSILON);
            b.Unitize(Qmt::QmtMatrix3::EPSILON);
            const std::uint32_t ia = addNormal(a);
            const std::uint32_t ib = addNormal(b);
            if (ia == ABSENT_INDEX || ib == ABSENT_INDEX) {
                return;
            }
            e.normals[slotA] = ia;
            e.normals[slotB] = ib;
        }

        if (m_uvs) {
            if (!reserveUVs(m_uvCount + 2)) {
                return;
            }
            const std::uint32_t u = m_uvCount;
            m_uvs[u] = read(m_uvs, u, e.uvs[EDGE_SLOT_END_A]) * t +
                       read(m_uvs, u, e.uvs[EDGE_SLOT_START_A]) * (1.0 - t);
            m_uvs[u + 1] = read(m_uvs, u, e.uvs[EDGE_SLOT_END_B]) * t +
                           read(m_uvs, u, e.uvs[EDGE_SLOT_START_B]) * (1.0 - t);
            if (detailed && uvSets && (e.flags & EDGE_UV_SETS)) {
                for (std::uint32_t s = 0; s < m_extraUVSets; ++s) {
                    Qmt::QmtVector3* set = m_uvSets[s];
                    set[u] = read(set, u, e.uvSetEnd[s][0]) * t +
                             read(set, u, e.uvSetStart[s][0]) * (1.0 - t);
                    set[u + 1] = read(set, u, e.uvSetEnd[s][1]) * t +
                                 read(set, u, e.uvSetStart[s][1]) * (1.0 - t);
                    std::uint32_t* replaced = replaceEnd ? e.uvSetEnd[s] : e.uvSetStart[s];
                    replaced[0] = u;
                    replaced[1] = u + 1;
                }
            }
            m_uvCount += 2;
            e.uvs[slotA] = u;
            e.uvs[slotB] = u + 1;
        }

        if (replaceEnd) {
            e.v1 = k;
        } else {
            e.v0 = k;
        }
    }
}

// ---- Face split -------------------------------------------------------------------------------

void Clipper::splitFaces(const Qmt::QmtVector3& n, const Qmt::QmtVector3& /*p*/,
                         const Qmt::QmtVector3* worldFaceNormals) {
    const std::uint32_t faceCount = m_faceCount;
    std::uint32_t added = 0;
    SplitScratch scratch;  // reused face after face
    for (std::uint32_t f = 0; f < faceCount && !m_failed; ++f) {
        const ZYL_DFface& face = m_faces[f];
        if (face.alive != 1 || !(face.flags & FACE_STRADDLING)) {
            continue;
        }
        const Qmt::QmtVector3 faceNormal =
            (worldFaceNormals && f < m_meshFaceCount) ? worldFaceNormals[f] : face.spare;
        splitFace(f, n, faceNormal, scratch, added);
    }
    m_faceCount += added;
    m_splitFaceCount = m_faceCount;
}

void Clipper::splitFace(std::uint32_t f, const Qmt::QmtVector3& n, const Qmt::QmtVector3& faceNormal,
                        SplitScratch& scratch, std::uint32_t& added) {
    ZYL_DFface& edgeList = scratch.edgeList;
    CornerScratch& gathered = scratch.gathered;
    m_faces[f].spare = faceNormal;
    // 1. Keep the active edges, then drop an edge whose cyclic successor joins the same
    //    two vertices.
    {
        ZYL_DFface& face = m_faces[f];
        std::uint32_t count = 0;
        for (std::uint32_t i = 0; i < face.numEdges; ++i) {
            if (m_edges[face.edges[i]].active) {
                face.edges[count++] = face.edges[i];
            }
        }
        const std::uint32_t first = count > 0 ? face.edges[0] : ABSENT_INDEX;
        std::uint32_t kept = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t next = i + 1 < count ? face.edges[i + 1] : first;
            const std::uint32_t current = face.edges[i];
            if (!samePair(m_edges[current], m_edges[next])) {
                face.edges[kept++] = current;
            }
        }
        face.numEdges = kept;
        if (kept == 0) {
            face.alive = 0;
            return;
        }
    }

    // 2. The temporary list.
    const ZYL_DFface& source = m_faces[f];
    const std::uint32_t room = std::max<std::uint32_t>(source.numEdges, 32);
    if (edgeList.edgeCapacity < room) {
        edgeList.allocate(room, 1);
        if (edgeList.edgeCapacity < room) {
            m_failed = true;
            return;
        }
    }
    std::copy(source.edges, source.edges + source.numEdges, edgeList.edges);
    edgeList.numEdges = source.numEdges;
    bool lostVertices = false;
    for (std::uint32_t k = 0; k < source.numVertices && !lostVertices; ++k) {
        lostVertices = source.vertices[k] < m_meshVertexCount && m_keep[source.vertices[k]] == 0;
    }
    const std::uint32_t extraSets = faceExtraUVSets(source);
    const bool faceSets = (source.flags & FACE_UV_SETS) && source.numUVSets != 1;
    const std::uint8_t faceSetCount = source.numUVSets;

    // 3. Closing edges between pairs of loose ends.
    std::uint32_t P, Q, edgeP, edgeQ, slotP, slotQ;
    bool found = findLooseEnds(edgeList, f, n, P, Q, edgeP, edgeQ, slotP, slotQ);
    if (!found && !lostVertices) {
        return;  // the face keeps its vertex loop
    }
    std::uint32_t closings = 0;
    while (found) {
        if (!reserveEdges(m_edgeTotal + 1)) {
            return;
        }
        const connect_edge& onP = m_edges[edgeP];
        const connect_edge& onQ = m_edges[edgeQ];
        connect_edge c;
        clearConnectEdge(c);
        c.v0 = P;
        c.v1 = Q;
        c.normals[EDGE_SLOT_START_A] = onP.normals[slotP];
        c.normals[EDGE_SLOT_END_A] = onQ.normals[slotQ];
        c.uvs[EDGE_SLOT_START_A] = onP.uvs[slotP];
        c.uvs[EDGE_SLOT_END_A] = onQ.uvs[slotQ];
        for (std::uint32_t s = 0; s < MAX_EXTRA_UV_SETS; ++s) {
            c.uvSetStart[s][0] = setIndexAt(onP, s, slotP);
            c.uvSetEnd[s][0] = setIndexAt(onQ, s, slotQ);
        }
        if (faceSets) {
            c.flags = EDGE_UV_SETS;
            c.numUVSets = faceSetCount;
        }
        c.faceA = f;
        const std::uint32_t index = m_edgeTotal++;
        m_edges[index] = c;

        // Insert the new edge where it joins its neighbours: between an edge touching
        // one end and an edge touching the other, or right after an edge touching an
        // end that is followed by a break.
        const std::uint32_t length = edgeList.numEdges;
        std::uint32_t at = length;
        for (std::uint32_t k = 0; k + 1 < length; ++k) {
            const connect_edge& here = m_edges[edgeList.edges[k]];
            const connect_edge& after = m_edges[edgeList.edges[k + 1]];
            const bool hereP = touches(here, P);
            const bool hereQ = touches(here, Q);
            if ((hereP && touches(after, Q)) || (hereQ && touches(after, P)) ||
                ((hereP || hereQ) && !sharesVertex(here, after))) {
                at = k + 1;
                break;
            }
        }
        if (length == edgeList.edgeCapacity) {
            edgeList.resize(length + 32, 1);
            if (edgeList.edgeCapacity == length) {
                m_failed = true;
                return;
            }
        }
        std::copy_backward(edgeList.edges + at, edgeList.edges + length, edgeList.edges + length + 1);
        edgeList.edges[at] = index;
        edgeList.numEdges = length + 1;
        ++closings;
        found = findLooseEnds(edgeList, f, n, P, Q, edgeP, edgeQ, slotP, slotQ);
    }

    // 4. With several closing edges start just after the first break, so that no chain
    //    wraps around the end of the list.
    const std::uint32_t length = edgeList.numEdges;
    if (closings >= 2) {
        for (std::uint32_t k = 0; k < length; ++k) {
            if (!sharesVertex(m_edges[edgeList.edges[k]], m_edges[edgeList.edges[(k + 1) % length]])) {
                std::rotate(edgeList.edges, edgeList.edges + (k + 1) % length, edgeList.edges + length);
                break;
            }
        }
    }

    // 5. Rebuild the vertex loop; each break closes a piece that becomes a new face.
    gathered.clear();
    std::uint32_t chainStart = 0;
    for (std::uint32_t k = 0; k < length; ++k) {
        const connect_edge& here = m_edges[edgeList.edges[k]];
        const connect_edge& after = m_edges[edgeList.edges[k + 1 < length ? k + 1 : chainStart]];
        const bool sideA = here.faceA == f;
        gathered.chain.push_back(edgeList.edges[k]);
        if (touches(after, here.v1)) {
            gathered.add(here, here.v1, sideA, extraSets);
            continue;
        }
        if (touches(after, here.v0)) {
            gathered.add(here, here.v0, sideA, extraSets);
            continue;
        }
        if (gathered.vertices.size() >= 2) {
            const std::uint32_t last = gathered.vertices.back();
            gathered.add(here, here.v0 == last ? here.v1 : here.v0, sideA, extraSets);
            const auto corners = static_cast<std::uint32_t>(gathered.vertices.size());
            const std::uint32_t target = m_faceCount + added;
            if (!reserveFaces(target + 1)) {
                return;
            }
            const ZYL_DFface& face = m_faces[f];
            ZYL_DFface& piece = m_faces[target];
            piece.allocate(corners, face.numUVSets);
            if (piece.capacity < corners) {
                m_failed = true;
                return;
            }
            gathered.writeTo(piece, std::min(extraSets, faceExtraUVSets(piece)));
            piece.alive = 1;
            piece.flags = face.flags;
            piece.piece = face.piece;
            piece.material = face.material;
            piece.spare = faceNormal;
            ++added;
        }
        gathered.clear();
        chainStart = k + 1;
    }

    ZYL_DFface& face = m_faces[f];
    face.spare = faceNormal;
    if (gathered.vertices.empty()) {
        if (added > 0) {
            // The face itself kept nothing: the last piece takes its place.
            --added;
            ZYL_DFface& last = m_faces[m_faceCount + added];
            moveDFmeshFace(last, face);
            last.alive = 0;
        } else {
            face.numVertices = 0;
            face.numEdges = 0;
        }
        return;
    }
    const auto corners = static_cast<std::uint32_t>(gathered.vertices.size());
    if (face.capacity < corners || face.edgeCapacity < corners) {
        face.resize(corners, face.numUVSets);
        if (face.capacity < corners || face.edgeCapacity < corners) {
            m_failed = true;
            return;
        }
    }
    gathered.writeTo(face, extraSets);
}

// ---- Loose ends ---------------------------------------------------------------------------------

bool Clipper::findLooseEnds(const ZYL_DFface& edgeList, std::uint32_t faceIndex, const Qmt::QmtVector3& n,
                            std::uint32_t& first, std::uint32_t& second, std::uint32_t& firstEdge,
                            std::uint32_t& secondEdge, std::uint32_t& firstSlot,
                            std::uint32_t& secondSlot) {
    const std::uint32_t length = edgeList.numEdges;
    if (length == 0) {
        return false;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
        const connect_edge& e = m_edges[edgeList.edges[i]];
        m_useCounts[e.v0] = 0;
        m_useCounts[e.v1] = 0;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
        const connect_edge& e = m_edges[edgeList.edges[i]];
        ++m_useCounts[e.v0];
        ++m_useCounts[e.v1];
    }

    // The face's own normal from its remaining edges.
    const auto vectorOf = [this](std::uint32_t edge) {
        const connect_edge& e = m_edges[edge];
        return m_vertices[e.v1] - m_vertices[e.v0];
    };
    Qmt::QmtVector3 c;
    if (length == 2) {
        c = vectorOf(edgeList.edges[0]).Cross(vectorOf(edgeList.edges[1]));
    } else {
        Qmt::QmtVector3 longest;
        double longestSq = -1.0;
        for (std::uint32_t i = 0; i < length; ++i) {
            const Qmt::QmtVector3 v = vectorOf(edgeList.edges[i]);
            const double sq = v.SquaredLength();
            if (sq > longestSq) {
                longestSq = sq;
                longest = v;
            }
        }
        double bestSq = -1.0;
        for (std::uint32_t i = 0; i < length; ++i) {
            const Qmt::QmtVector3 v = vectorOf(edgeList.edges[i]);
            if ((longest - v).SquaredLength() < kOnPlane) {
                continue;
            }
            const Qmt::QmtVector3 x = longest.Cross(v);
            const double sq = x.SquaredLength();
            if (sq > bestSq) {
                bestSq = sq;
                c = x;
            }
        }
    }
    c.Unitize(Qmt::QmtMatrix3::EPSILON);
    if (c.SquaredLength() < kOnPlane) {
        return false;
    }
    const Qmt::QmtVector3 u = c.UnitCross(n);

    // The loose ends with the smallest projections on the cut direction u.
    const auto lowest = [&](std::uint32_t skip, std::uint32_t& vertex, std::uint32_t& edge,
                            std::uint32_t& slot) {
        double best = kFltMax;
        vertex = ABSENT_INDEX;
        for (std::uint32_t i = 0; i < length; ++i) {
            const std::uint32_t index = edgeList.edges[i];
            const connect_edge& e = m_edges[index];
            const std::uint32_t sideB = e.faceA == faceIndex ? 0 : 1;
            const std::uint32_t ends[2] = {e.v0, e.v1};
            for (std::uint32_t end = 0; end < 2; ++end) {
                const std::uint32_t v = ends[end];
                if (v == skip || m_useCounts[v] != 1) {
                    continue;
                }
                const double projection = m_vertices[v].Dot(u);
                if (projection < best) {
                    best = projection;
                    vertex = v;
                    edge = index;
                    slot = 2 * end + sideB;
                }
            }
        }
        return vertex != ABSENT_INDEX;
    };
    if (!lowest(ABSENT_INDEX, first, firstEdge, firstSlot)) {
        return false;
    }
    return lowest(first, second, secondEdge, secondSlot);
}
