#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "geometry/mesh/bvDFmesh.h"
#include "geometry/query/convexMeshQueries.h"
#include "geometry/query/faceDistances.h"

using Qmt::QmtVector3;

namespace {

QmtVector3* newVectors(std::uint32_t n) { return n ? new QmtVector3[n]() : nullptr; }

void copyVectors(const QmtVector3* from, std::uint32_t n, QmtVector3* to) {
    if (from && to) {
        std::copy(from, from + n, to);
    }
}

// Which piece each entry of one kind (vertices, corner normals, UVs or one extra UV
// set) goes to, and its index there. Almost every entry is used by one piece only and
// is mapped directly; an entry used by several pieces gets one copy per piece, kept in
// a sorted side table.
class PieceEntryMap {
public:
    PieceEntryMap(std::uint32_t entries, std::uint32_t pieces)
        : m_owner(entries, 0), m_counts(pieces, 0) {}

    std::uint32_t size() const { return static_cast<std::uint32_t>(m_owner.size()); }
    std::uint32_t count(std::uint32_t piece) const { return m_counts[piece - 1]; }

    // First pass: piece (from 1) uses the entry. Entries out of range are passed over.
    void use(std::uint32_t entry, std::uint32_t piece) {
        if (entry >= size()) {
            return;
        }
        std::uint32_t& owner = m_owner[entry];
        if (owner == 0) {
            owner = piece;
        } else if (owner != piece && owner != SHARED) {
            owner = SHARED;
            m_anyShared = true;
        }
    }
    bool anyShared() const { return m_anyShared; }
    // Second pass, only when anyShared(): the same uses again.
    void collect(std::uint32_t entry, std::uint32_t piece) {
        if (entry < size() && m_owner[entry] == SHARED) {
            m_shared.push_back({entry, piece, 0});
        }
    }

    // Numbers every used entry within its piece(s) in source order.
    void assign() {
        std::sort(m_shared.begin(), m_shared.end());
        m_shared.erase(std::unique(m_shared.begin(), m_shared.end()), m_shared.end());
        m_index.assign(m_owner.size(), 0);
        std::size_t at = 0;
        for (std::uint32_t x = 0; x < size(); ++x) {
            const std::uint32_t owner = m_owner[x];
            if (owner == SHARED) {
                for (; at < m_shared.size() && m_shared[at].entry == x; ++at) {
                    m_shared[at].index = m_counts[m_shared[at].piece - 1]++;
                }
            } else if (owner != 0) {
                m_index[x] = m_counts[owner - 1]++;
            }
        }
    }

    // The entry's index in the piece; 0 for an entry out of range.
    std::uint32_t lookup(std::uint32_t entry, std::uint32_t piece) const {
        if (entry >= size()) {
            return 0;
        }
        if (m_owner[entry] != SHARED) {
            return m_index[entry];
        }
        const auto it = std::lower_bound(m_shared.begin(), m_shared.end(), Shared{entry, piece, 0});
        return it != m_shared.end() && it->entry == entry && it->piece == piece ? it->index : 0;
    }

    // Copies each used value into its piece's array (array of piece p at p - 1).
    template <class Target>
    void scatter(const QmtVector3* values, Target target) const {
        if (!values) {
            return;
        }
        std::size_t at = 0;
        for (std::uint32_t x = 0; x < size(); ++x) {
            const std::uint32_t owner = m_owner[x];
            if (owner == SHARED) {
                for (; at < m_shared.size() && m_shared[at].entry == x; ++at) {
                    target(m_shared[at].piece)[m_shared[at].index] = values[x];
                }
            } else if (owner != 0) {
                target(owner)[m_index[x]] = values[x];
            }
        }
    }

private:
    static constexpr std::uint32_t SHARED = ABSENT_INDEX;
    struct Shared {
        std::uint32_t entry;
        std::uint32_t piece;
        std::uint32_t index;
        bool operator<(const Shared& o) const {
            return entry != o.entry ? entry < o.entry : piece < o.piece;
        }
        bool operator==(const Shared& o) const { return entry == o.entry && piece == o.piece; }
    };

    std::vector<std::uint32_t> m_owner;  // piece from 1, 0 unused, SHARED
    std::vector<std::uint32_t> m_index;  // index in the owner piece
    std::vector<std::uint32_t> m_counts;
    std::vector<Shared> m_shared;
    bool m_anyShared = false;
};

// Applies fn(kind map, index array, corner count) to every index array of a face that
// has a map. Kinds: 0 vertices, 1 corner normals, 2 UVs, 3 + s extra UV set s.
template <class Fn>
void forEachIndexArray(const ZYL_DFface& face, std::vector<PieceEntryMap>& maps, bool normals, bool uvs,
                       std::uint32_t meshSets, Fn fn) {
    const std::uint32_t n = face.numVertices;
    fn(maps[0], face.vertices, n);
    if (normals && face.normals) {
        fn(maps[1], face.normals, n);
    }
    if (uvs && face.uvs) {
        fn(maps[2], face.uvs, n);
    }
    const std::uint32_t sets = std::min(faceExtraUVSets(face), meshSets);
    for (std::uint32_t s = 0; s < sets; ++s) {
        if (face.uvSets[s]) {
            fn(maps[3 + s], face.uvSets[s], n);
        }
    }
}

// Replaces every corner index of a copied face by map(kind, index); kinds as above, and
// a face index array of a kind the mesh does not have becomes 0.
template <class Map>
void remapFace(ZYL_DFface& face, Map map) {
    const std::uint32_t n = face.numVertices;
    for (std::uint32_t k = 0; k < n; ++k) {
        face.vertices[k] = map(0u, face.vertices[k]);
        if (face.normals) {
            face.normals[k] = map(1u, face.normals[k]);
        }
        if (face.uvs) {
            face.uvs[k] = map(2u, face.uvs[k]);
        }
    }
    const std::uint32_t sets = faceExtraUVSets(face);
    for (std::uint32_t s = 0; s < sets; ++s) {
        if (face.uvSets[s]) {
            for (std::uint32_t k = 0; k < n; ++k) {
                face.uvSets[s][k] = map(3u + s, face.uvSets[s][k]);
            }
        }
    }
}

void copyFaceOrThrow(const ZYL_DFface& source, ZYL_DFface& destination) {
    copyDFmeshFace(source, destination);
    if (destination.capacity < std::max(source.numVertices, source.numEdges)) {
        throw std::bad_alloc();
    }
}

// The pieces of a labelled mesh as new meshes (see BVDFmesh::findPieces).
std::vector<std::unique_ptr<ZYL_DFmesh>> splitPieces(const ZYL_DFmesh& mesh, std::uint32_t P) {
    const bool normals = mesh.numCornerNormals > 0;
    const bool uvs = mesh.numUVs > 0;
    const std::uint32_t sets = meshExtraUVSets(mesh);

    std::vector<PieceEntryMap> maps;
    maps.reserve(3 + sets);
    maps.emplace_back(mesh.numVertices, P);
    maps.emplace_back(normals ? mesh.numCornerNormals : 0, P);
    maps.emplace_back(mesh.numUVs, P);
    for (std::uint32_t s = 0; s < sets; ++s) {
        maps.emplace_back(mesh.numUVs, P);
    }
    std::vector<std::uint32_t> faceCounts(P, 0);
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYL_DFface& face = mesh.faces[f];
        ++faceCounts[face.piece - 1];
        forEachIndexArray(face, maps, normals, uvs, sets,
                          [&](PieceEntryMap& map, const std::uint32_t* indices, std::uint32_t n) {
                              for (std::uint32_t k = 0; k < n; ++k) {
                                  map.use(indices[k], face.piece);
                              }
                          });
    }
    // Entries used by several pieces need a second look at the faces to learn which.
    if (std::any_of(maps.begin(), maps.end(), [](const PieceEntryMap& m) { return m.anyShared(); })) {
        for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
            const ZYL_DFface& face = mesh.faces[f];
            forEachIndexArray(face, maps, normals, uvs, sets,
                              [&](PieceEntryMap& map, const std::uint32_t* indices, std::uint32_t n) {
                                  for (std::uint32_t k = 0; k < n; ++k) {
                                      map.collect(indices[k], face.piece);
                                  }
                              });
        }
    }
    for (PieceEntryMap& map : maps) {
        map.assign();
    }

    std::vector<std::unique_ptr<ZYL_DFmesh>> pieces(P);
    for (std::uint32_t p = 1; p <= P; ++p) {
        auto piece = std::make_unique<ZYL_DFmesh>();
        const std::uint32_t V = maps[0].count(p);
        piece->numVertices = V;
        piece->vertices = newVectors(V);
        piece->worldVertices = newVectors(V);
        if (normals) {
            piece->numCornerNormals = maps[1].count(p);
            piece->cornerNormals = newVectors(piece->numCornerNormals);
        }
        // All UV sets share the UV count.
        std::uint32_t U = maps[2].count(p);
        for (std::uint32_t s = 0; s < sets; ++s) {
            U = std::max(U, maps[3 + s].count(p));
        }
        piece->numUVs = U;
        piece->uvs = newVectors(U);
        for (std::uint32_t s = 0; s < sets; ++s) {
            piece->uvSets[s] = newVectors(U);
        }
        const std::uint32_t F = faceCounts[p - 1];
        piece->numFaces = F;
        piece->faces = new ZYL_DFface[F];
        piece->normals = newVectors(F);
        piece->worldNormals = newVectors(F);
        piece->flags = mesh.flags;
        piece->numUVSets = mesh.numUVSets;
        piece->scale = mesh.scale;
        piece->translation = mesh.translation;
        piece->rotation = mesh.rotation;
        pieces[p - 1] = std::move(piece);
    }

    // The array `member` of piece p.
    const auto in = [&pieces](auto member) {
        return [&pieces, member](std::uint32_t p) { return (*pieces[p - 1]).*member; };
    };
    maps[0].scatter(mesh.vertices, in(&ZYL_DFmesh::vertices));
    maps[0].scatter(mesh.worldVertices, in(&ZYL_DFmesh::worldVertices));
    if (normals) {
        maps[1].scatter(mesh.cornerNormals, in(&ZYL_DFmesh::cornerNormals));
    }
    maps[2].scatter(mesh.uvs, in(&ZYL_DFmesh::uvs));
    for (std::uint32_t s = 0; s < sets; ++s) {
        maps[3 + s].scatter(mesh.uvSets[s], [&pieces, s](std::uint32_t p) { return pieces[p - 1]->uvSets[s]; });
    }

    std::vector<std::uint32_t> next(P, 0);
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYL_DFface& source = mesh.faces[f];
        const std::uint32_t p = source.piece;
        ZYL_DFmesh& piece = *pieces[p - 1];
        const std::uint32_t slot = next[p - 1]++;
        ZYL_DFface& face = piece.faces[slot];
        copyFaceOrThrow(source, face);
        remapFace(face, [&](std::uint32_t kind, std::uint32_t index) {
            // Kinds the mesh lacks have empty maps: every index becomes 0.
            return kind < maps.size() ? maps[kind].lookup(index, p) : 0u;
        });
        if (mesh.normals) {
            piece.normals[slot] = mesh.normals[f];
        }
        if (mesh.worldNormals) {
            piece.worldNormals[slot] = mesh.worldNormals[f];
        }
    }
    return pieces;
}

// Copies a face of a merge with its indices moved by the offsets (kinds as in
// remapFace); an index that then reaches the merged count of its kind becomes 0.
void copyMergedFace(const ZYL_DFface& source, ZYL_DFface& destination, const std::uint32_t offsets[4],
                    const std::uint32_t limits[4]) {
    copyFaceOrThrow(source, destination);
    remapFace(destination, [&](std::uint32_t kind, std::uint32_t index) {
        const std::uint32_t k = kind < 3 ? kind : 3;
        const std::uint64_t moved = std::uint64_t{index} + offsets[k];
        return moved < limits[k] ? static_cast<std::uint32_t>(moved) : 0u;
    });
}

std::uint16_t& pieceOf(ZYL_DFface& face) { return face.piece; }

std::uint32_t edgeSlotsOf(const ZYL_DFface& face) {
    return face.edges ? std::min(face.numEdges, face.edgeCapacity) : 0;
}

// One piece lies wholly (every world vertex strictly) inside the other.
bool piecesOverlap(const ZYL_DFmesh* a, const ZYL_DFmesh* b) {
    const auto inside = [](const ZYL_DFmesh* inner, const ZYL_DFmesh* outer) {
        // A piece without vertices lies nowhere.
        return inner->numVertices > 0 && inner->worldVertices &&
               pointsInsideConvexMesh(outer, inner->worldVertices, static_cast<int>(inner->numVertices));
    };
    return inside(a, b) || inside(b, a);
}

}  // namespace

// ---- Piece labelling -------------------------------------------------------------------

void BVDFmesh::labelPieces() {
    if (!mesh) {
        return;
    }
    if (!(flags & BVDF_BUILT_EDGES)) {
        buildElementAdjacency(BVDF_EDGES);
    }
    mesh->numPieces = labelConnectedFaces(*mesh, edges, numEdges, pieceOf, edgeSlotsOf);
}

void BVDFmesh::floodFillPiece(ZYL_DFface* seed) {
    if (!mesh || !seed || !mesh->faces || seed < mesh->faces || seed >= mesh->faces + mesh->numFaces) {
        return;
    }
    // 0 means "unlabelled": spreading it would never end.
    if (seed->piece == 0) {
        return;
    }
    fillLabelFrom(*mesh, edges, numEdges, static_cast<std::uint32_t>(seed - mesh->faces), pieceOf, edgeSlotsOf);
}

// ---- Pieces as meshes -----------------------------------------------------------------

ZYL_DFmesh** BVDFmesh::findPieces() {
    if (!mesh || mesh->numPieces == 0 || (mesh->numFaces != 0 && !mesh->faces)) {
        return nullptr;
    }
    const std::uint32_t P = mesh->numPieces;
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        const std::uint16_t piece = mesh->faces[f].piece;
        if (piece == 0 || piece > P) {
            return nullptr;
        }
    }
    try {
        std::vector<std::unique_ptr<ZYL_DFmesh>> pieces = splitPieces(*mesh, P);
        auto* out = new ZYL_DFmesh*[P];
        for (std::uint32_t p = 0; p < P; ++p) {
            out[p] = pieces[p].release();
        }
        return out;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

ZYL_DFmesh* BVDFmesh::mergeMeshes(ZYL_DFmesh* a, ZYL_DFmesh* b) {
    if (!a || !b || (a->numFaces != 0 && !a->faces) || (b->numFaces != 0 && !b->faces)) {
        return nullptr;
    }
    try {
        auto merged = std::make_unique<ZYL_DFmesh>();
        ZYL_DFmesh& m = *merged;
        const auto join = [](const QmtVector3* first, std::uint32_t nFirst, const QmtVector3* second,
                             std::uint32_t nSecond) {
            QmtVector3* out = newVectors(nFirst + nSecond);
            copyVectors(first, nFirst, out);
            copyVectors(second, nSecond, out ? out + nFirst : nullptr);
            return out;
        };
        m.numVertices = a->numVertices + b->numVertices;
        m.vertices = join(a->vertices, a->numVertices, b->vertices, b->numVertices);
        m.worldVertices = join(a->worldVertices, a->numVertices, b->worldVertices, b->numVertices);
        if (a->numCornerNormals > 0 || b->numCornerNormals > 0) {
            m.numCornerNormals = a->numCornerNormals + b->numCornerNormals;
            m.cornerNormals = join(a->cornerNormals, a->numCornerNormals, b->cornerNormals, b->numCornerNormals);
        }
        m.numUVs = a->numUVs + b->numUVs;
        m.uvs = join(a->uvs, a->numUVs, b->uvs, b->numUVs);
        const std::uint32_t sets = meshExtraUVSets(*a);
        for (std::uint32_t s = 0; s < sets; ++s) {
            m.uvSets[s] = join(a->uvSets[s], a->numUVs, b->uvSets[s], b->numUVs);
        }

        m.numFaces = a->numFaces + b->numFaces;
        m.faces = new ZYL_DFface[m.numFaces];
        m.normals = newVectors(m.numFaces);
        m.worldNormals = newVectors(m.numFaces);
        const std::uint32_t limits[4] = {m.numVertices, m.numCornerNormals, m.numUVs, m.numUVs};
        const std::uint32_t none[4] = {0, 0, 0, 0};
        // b's normal indices move only when the volume's own mesh carries corner normals.
        const bool shiftNormals = mesh && mesh->numCornerNormals > 0;
        const std::uint32_t shift[4] = {a->numVertices, shiftNormals ? a->numCornerNormals : 0, a->numUVs,
                                        a->numUVs};
        for (std::uint32_t f = 0; f < a->numFaces; ++f) {
            copyMergedFace(a->faces[f], m.faces[f], none, limits);
        }
        for (std::uint32_t f = 0; f < b->numFaces; ++f) {
            ZYL_DFface& face = m.faces[a->numFaces + f];
            copyMergedFace(b->faces[f], face, shift, limits);
            if (a->numFaces > 0) {
                face.piece = a->faces[0].piece;
            }
        }
        copyVectors(a->normals, a->numFaces, m.normals);
        copyVectors(b->normals, b->numFaces, m.normals ? m.normals + a->numFaces : nullptr);
        copyVectors(a->worldNormals, a->numFaces, m.worldNormals);
        copyVectors(b->worldNormals, b->numFaces, m.worldNormals ? m.worldNormals + a->numFaces : nullptr);

        m.flags = a->flags;
        m.numUVSets = a->numUVSets;
        m.scale = a->scale;
        m.translation = a->translation;
        m.rotation = a->rotation;
        return merged.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void BVDFmesh::mergeOverlappingPieces(ZYL_DFmesh** pieces, std::uint32_t* count) {
    if (!pieces || !count) {
        return;
    }
    bool merged = true;
    while (merged) {
        merged = false;
        const std::uint32_t n = *count;
        for (std::uint32_t i = 0; i < n && !merged; ++i) {
            for (std::uint32_t j = i + 1; j < n && !merged; ++j) {
                if (!pieces[i] || !pieces[j] || !piecesOverlap(pieces[i], pieces[j])) {
                    continue;
                }
                ZYL_DFmesh* const m = mergeMeshes(pieces[i], pieces[j]);
                if (!m) {
                    return;  // out of memory: the pieces stay as they are
                }
                delete pieces[i];
                delete pieces[j];
                pieces[i] = m;
                for (std::uint32_t q = j; q + 1 < n; ++q) {
                    pieces[q] = pieces[q + 1];
                    // Piece numbers count from 1, as the labelling gives them.
                    ZYL_DFmesh* const moved = pieces[q];
                    for (std::uint32_t f = 0; moved && moved->faces && f < moved->numFaces; ++f) {
                        moved->faces[f].piece = static_cast<std::uint16_t>(q + 1);
                    }
                }
                pieces[n - 1] = nullptr;
                *count = n - 1;
                merged = true;
            }
        }
    }
}

// ---- Checks and queries ---------------------------------------------------------------

bool BVDFmesh::checkIndices() const {
    if (!mesh || !mesh->vertices || !mesh->worldVertices || !mesh->normals || !mesh->worldNormals ||
        !mesh->faces) {
        return false;
    }
    const std::uint32_t V = mesh->numVertices;
    const std::uint32_t U = mesh->numUVs;
    const std::uint32_t sets = meshExtraUVSets(*mesh);
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        const ZYL_DFface& face = mesh->faces[f];
        const std::uint32_t n = face.numVertices;
        if (n > face.capacity || (n != 0 && !face.vertices)) {
            return false;
        }
        for (std::uint32_t k = 0; k < n; ++k) {
            if (face.vertices[k] >= V) {
                return false;
            }
        }
        // A mesh without UVs reads no UV index, so its faces' are not checked.
        if (U > 0 && face.uvs) {
            for (std::uint32_t k = 0; k < n; ++k) {
                if (face.uvs[k] >= U) {
                    return false;
                }
            }
        }
        const std::uint32_t faceSets = std::min(sets, faceExtraUVSets(face));
        for (std::uint32_t s = 0; s < faceSets; ++s) {
            for (std::uint32_t k = 0; face.uvSets[s] && k < n; ++k) {
                if (face.uvSets[s][k] >= U) {
                    return false;
                }
            }
        }
        if (face.numEdges > face.edgeCapacity || (face.numEdges != 0 && !face.edges)) {
            return false;
        }
        for (std::uint32_t k = 0; k < face.numEdges; ++k) {
            if (face.edges[k] >= numEdges) {
                return false;
            }
        }
    }
    for (std::uint32_t i = 0; edges && i < numEdges; ++i) {
        if (edges[i].v0 >= V || edges[i].v1 >= V) {
            return false;
        }
    }
    return true;
}

double BVDFmesh::closestFacingFaces(const BVDFmesh& other, std::uint32_t& vertexHere,
                                    std::uint32_t& vertexThere, std::uint32_t& faceHere,
                                    std::uint32_t& faceThere, QmtVector3& pointHere,
                                    QmtVector3& pointThere) const {
    vertexHere = vertexThere = faceHere = faceThere = ABSENT_INDEX;
    const ZYL_DFmesh* const a = mesh;
    const ZYL_DFmesh* const b = other.mesh;
    if (!a || !b || !vertexRecords || !other.vertexRecords || !a->worldVertices || !b->worldVertices ||
        !a->worldNormals || !b->worldNormals || !a->faces || !b->faces) {
        return FACE_DISTANCE_NONE;
    }
    const std::uint32_t nA = std::min(a->numVertices, numVertexRecords);
    const std::uint32_t nB = std::min(b->numVertices, other.numVertexRecords);
    double bestMeasure = FACE_DISTANCE_NONE;
    double bestDot = FACE_DISTANCE_NONE;
    double bestPairSq = FACE_DISTANCE_NONE;
    for (std::uint32_t u = 0; u < nA; ++u) {
        const QmtVector3& p = a->worldVertices[u];
        const connect_vertex& here = vertexRecords[u];
        for (std::uint32_t i = 0; i < here.numFaces; ++i) {
            const std::uint32_t f = here.faces[i];
            if (f >= a->numFaces) {
                continue;
            }
            const QmtVector3& nf = a->worldNormals[f];
            for (std::uint32_t v = 0; v < nB; ++v) {
                const QmtVector3& q = b->worldVertices[v];
                const connect_vertex& there = other.vertexRecords[v];
                const QmtVector3 pq = p - q;
                const double along = pq.Dot(nf);
                const double measure = along * along;
                for (std::uint32_t j = 0; j < there.numFaces; ++j) {
                    const std::uint32_t g = there.faces[j];
                    if (g >= b->numFaces) {
                        continue;
                    }
                    const double d = nf.Dot(b->worldNormals[g]);
                    if (!(d < -1e-5)) {
                        continue;
                    }
                    bool replace = measure < bestMeasure && d <= bestDot;
                    if (!replace && std::fabs(measure - bestMeasure) < 1e-5) {
                        replace = pq.SquaredLength() < bestPairSq && d <= bestDot;
                    }
                    if (replace) {
                        bestMeasure = measure;
                        bestDot = d;
                        bestPairSq = pq.SquaredLength();
                        vertexHere = u;
                        vertexThere = v;
                        faceHere = f;
                        faceThere = g;
                    }
                }
            }
        }
    }
    if (vertexHere == ABSENT_INDEX) {
        return FACE_DISTANCE_NONE;
    }
    // Each loop holds every corner of its face: DF faces are not limited to 32 corners.
    const auto loopOf = [](const ZYL_DFmesh& m, std::uint32_t face) {
        std::vector<QmtVector3> loop;
        const ZYL_DFface& record = m.faces[face];
        loop.reserve(record.numVertices);
        for (std::uint32_t k = 0; k < record.numVertices; ++k) {
            if (record.vertices[k] < m.numVertices) {
                loop.push_back(m.worldVertices[record.vertices[k]]);
            }
        }
        return loop;
    };
    try {
        const std::vector<QmtVector3> loopA = loopOf(*a, faceHere);
        const std::vector<QmtVector3> loopB = loopOf(*b, faceThere);
        return distanceSqConvexPolygons(loopA.data(), static_cast<std::uint32_t>(loopA.size()),
                                        a->worldNormals[faceHere], loopB.data(),
                                        static_cast<std::uint32_t>(loopB.size()), b->worldNormals[faceThere],
                                        pointHere, pointThere);
    } catch (const std::bad_alloc&) {
        return FACE_DISTANCE_NONE;
    }
}
