#include "geometry/clip/clipper.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "geometry/bounds/boxFit.h"
#include "geometry/mesh/bvDFmesh.h"
#include "geometry/mesh/bvMesh.h"
#include "math/qmtMatrix3.h"

namespace {

// Next capacity for at least `needed` entries: doubling keeps appends amortised O(1).
std::uint32_t grownCapacity(std::uint32_t current, std::uint32_t needed) {
    const std::uint64_t doubled = std::max<std::uint64_t>(2ull * current, 16ull);
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::max<std::uint64_t>(doubled, needed), 0xFFFFFFFEull));
}

// A value-initialised array (zero vectors, zero numbers); null for n = 0 or on failure.
template <class T>
T* newZeroed(std::uint32_t n) {
    return n > 0 ? new (std::nothrow) T[n]() : nullptr;
}

// Replaces `array` by `fresh` after copying the first `keep` entries.
template <class T>
void adopt(T*& array, T* fresh, std::uint32_t keep) {
    if (array && keep > 0) {
        std::copy(array, array + keep, fresh);
    }
    delete[] array;
    array = fresh;
}

}  // namespace

Clipper::Clipper() = default;

Clipper::~Clipper() {
    releaseArrays();
    for (connect_edge* diagonal : m_diagonals) {
        delete diagonal;
    }
    m_diagonals.destroy();
}

void Clipper::releaseArrays() {
    returnBorrowedFaces();
    delete[] m_vertices;
    m_vertices = nullptr;
    delete[] m_normals;
    m_normals = nullptr;
    delete[] m_uvs;
    m_uvs = nullptr;
    for (Qmt::QmtVector3*& set : m_uvSets) {
        delete[] set;
        set = nullptr;
    }
    delete[] m_useCounts;
    m_useCounts = nullptr;
    delete[] m_distances;
    m_distances = nullptr;
    delete[] m_keep;
    m_keep = nullptr;
    delete[] m_edges;
    m_edges = nullptr;
    delete[] m_vertexRemap;
    m_vertexRemap = nullptr;
    delete[] m_faces;
    m_faces = nullptr;
    m_vertexCount = m_normalCapacity = m_normalCount = 0;
    m_uvCount = m_extraUVSets = m_uvCapacity = 0;
    m_perVertexSize = 0;
    m_edgeCount = m_edgeTotal = m_edgeCapacity = 0;
    m_faceCount = m_splitFaceCount = m_faceCapacity = 0;
    m_meshVertexCount = m_meshFaceCount = 0;
    m_failed = false;
}

// ---- Set-up ---------------------------------------------------------------------------

void Clipper::setUp(const Qmt::QmtVector3* worldVertices, std::uint32_t V, std::uint32_t F, bool hasUVs) {
    releaseArrays();
    m_meshVertexCount = worldVertices ? V : 0;
    m_meshFaceCount = F;
    m_hasUVs = hasUVs;
    m_diagonalCount = 0;

    // Scale the mesh so that its thinnest half extent becomes 80: the cut's absolute
    // tolerances then mean the same for every mesh size. A mesh of a half extent of 1e-4
    // or less is scaled too (left as it is, its thickness would drown in the tolerances
    // and its pieces come out flat or inside out), unless it is flat for its size:
    // thinner than 1e-5 of its largest extent, it is cut as the flat mesh it is.
    m_scale = 1.0;
    if (m_meshVertexCount > 0) {
        const ZYLbox box = fitOrientedBox(V, worldVertices);
        const double e = box.halfExtents.x;
        const double q = e / 10.0;
        const double largest = std::max({box.halfExtents.x, box.halfExtents.y, box.halfExtents.z});
        const bool thinButSolid = q > 0.0 && std::isfinite(8.0 / q) && e >= 1e-5 * largest;
        if ((1e-5 < q || thinButSolid) && q < 8.0) {
            m_scale = 8.0 / q;
        }
    }

    // The cut vertices get their room once the crossing edges are known.
    if (!reserveVertices(m_meshVertexCount)) {
        return;
    }
    m_vertexCount = m_meshVertexCount;
    for (std::uint32_t k = 0; k < m_vertexCount; ++k) {
        m_vertices[k] = worldVertices[k] * m_scale;
    }
}

bool Clipper::loadFaces(const ZYLmesh* mesh, ZYL_DFmesh* dfMesh) {
    const std::uint32_t F = m_meshFaceCount;
    if ((F > 0 && !(mesh ? static_cast<const void*>(mesh->faces) : dfMesh->faces)) ||
        !reserveFaces(F + F / 8 + 16)) {
        return false;
    }
    m_firstFaceWord = F == 0 ? 0 : (mesh ? mesh->faces[0].island : dfMesh->faces[0].piece);
    if (mesh) {
        for (std::uint32_t i = 0; i < F; ++i) {
            faceToWorkingFace(mesh->faces[i], m_faces[i]);
            m_faces[i].alive = mesh->faces[i].marker;
        }
    } else {
        m_journal.assign(F, FaceJournal{});
        for (std::uint32_t i = 0; i < F; ++i) {
            ZYL_DFface& face = dfMesh->faces[i];
            m_journal[i] = {face.numEdges, face.spare, face.alive, nullptr};
            moveDFmeshFace(face, m_faces[i]);
            m_faces[i].spare = dfMesh->worldNormals ? dfMesh->worldNormals[i] : Qmt::QmtVector3::ZERO;
        }
        m_borrowedMesh = dfMesh;
    }
    m_faceCount = F;
    m_splitFaceCount = F;
    return true;
}

void Clipper::journalStraddlingFace(std::uint32_t f) {
    if (!m_borrowedMesh || f >= m_journal.size() || m_journal[f].original) {
        return;
    }
    // The edge table build has only zeroed the face's edge count so far.
    ZYL_DFface& face = m_faces[f];
    auto* original = new (std::nothrow) ZYL_DFface;
    if (original) {
        const std::uint32_t edges = face.numEdges;
        face.numEdges = m_journal[f].numEdges;
        copyDFmeshFace(face, *original);
        face.numEdges = edges;
    }
    if (!original || original->numVertices != face.numVertices) {
        delete original;
        m_failed = true;
        return;
    }
    m_journal[f].original = original;
}

void Clipper::returnBorrowedFaces() {
    if (!m_borrowedMesh) {
        return;
    }
    for (std::uint32_t i = 0; i < m_journal.size(); ++i) {
        FaceJournal& entry = m_journal[i];
        ZYL_DFface& face = m_borrowedMesh->faces[i];
        if (entry.original) {
            moveDFmeshFace(*entry.original, face);
            delete entry.original;
            entry.original = nullptr;
        } else {
            moveDFmeshFace(m_faces[i], face);
        }
        face.numEdges = entry.numEdges;
        face.spare = entry.spare;
        face.alive = entry.alive;
    }
    m_borrowedMesh = nullptr;
    m_journal.clear();
}

bool Clipper::loadAttributes(const ZYLmesh* mesh, const ZYL_DFmesh* dfMesh, std::uint32_t room) {
    if (dfMesh && dfMesh->cornerNormals && dfMesh->numCornerNormals > 0) {
        const std::uint32_t N = dfMesh->numCornerNormals;
        m_normals = newZeroed<Qmt::QmtVector3>(N + room);
        if (!m_normals) {
            m_failed = true;
            return false;
        }
        std::copy(dfMesh->cornerNormals, dfMesh->cornerNormals + N, m_normals);
        m_normalCapacity = N + room;
        m_normalCount = N;
    }
    if (!m_hasUVs) {
        return true;
    }
    const Qmt::QmtVector3* uvs = mesh ? mesh->uvs : dfMesh->uvs;
    const std::uint32_t U = mesh ? mesh->numUVs : dfMesh->numUVs;
    m_uvCapacity = U + room;
    m_uvs = newZeroed<Qmt::QmtVector3>(m_uvCapacity);
    if (!m_uvs) {
        m_failed = true;
        return false;
    }
    std::copy(uvs, uvs + U, m_uvs);
    m_uvCount = U;
    m_extraUVSets = dfMesh ? meshExtraUVSets(*dfMesh) : 0;
    for (std::uint32_t s = 0; s < m_extraUVSets; ++s) {
        m_uvSets[s] = newZeroed<Qmt::QmtVector3>(m_uvCapacity);
        if (!m_uvSets[s]) {
            m_failed = true;
            return false;
        }
        if (dfMesh->uvSets[s]) {
            std::copy(dfMesh->uvSets[s], dfMesh->uvSets[s] + U, m_uvSets[s]);
        }
    }
    return true;
}

template <class Volume, class Face>
void Clipper::setUpVolume(Volume& volume, std::uint8_t Face::*survives) {
    // Before the cut every edge lies at or above the plane and every face survives.
    if (volume.edges) {
        for (std::uint32_t i = 0; i < volume.numEdges; ++i) {
            volume.edges[i].active = 1;
        }
    }
    auto& mesh = *volume.mesh;
    const std::uint32_t F = mesh.faces ? mesh.numFaces : 0;
    for (std::uint32_t i = 0; i < F; ++i) {
        mesh.faces[i].*survives = 1;
    }
    setUp(mesh.worldVertices, mesh.numVertices, F, mesh.uvs && mesh.numUVs > 0);
}

void Clipper::init(BVmesh* volume) {
    if (volume && volume->mesh) {
        setUpVolume(*volume, &ZYLface::marker);
    }
}

void Clipper::initDF(BVDFmesh* volume) {
    if (volume && volume->mesh) {
        setUpVolume(*volume, &ZYL_DFface::alive);
    }
}

// ---- Cut ------------------------------------------------------------------------------

std::int32_t Clipper::clip(ZYLmesh* mesh, const Qmt::QmtVector3& normal,
                           const Qmt::QmtVector3& point, std::uint32_t flags) {
    return runCut(mesh, nullptr, normal, point, flags);
}

std::int32_t Clipper::clipDF(ZYL_DFmesh* mesh, const Qmt::QmtVector3& normal,
                             const Qmt::QmtVector3& point, std::uint32_t flags) {
    return runCut(nullptr, mesh, normal, point, flags);
}

std::int32_t Clipper::runCut(ZYLmesh* mesh, ZYL_DFmesh* dfMesh, const Qmt::QmtVector3& normal,
                             const Qmt::QmtVector3& point, std::uint32_t flags) {
    if ((!mesh && !dfMesh) || m_failed) {
        return 1;
    }
    Qmt::QmtVector3 n = normal;
    const double lengthSq = n.SquaredLength();
    if (lengthSq > 1.00001 || lengthSq < 0.99999) {
        n.Unitize(Qmt::QmtMatrix3::EPSILON);
    }
    if (dfMesh) {
        m_planeNormal = n;
    }

    const std::int32_t side = mesh ? classify(mesh, n, point) : classifyDF(dfMesh, n, point);
    if (side != 0) {
        return side;
    }
    // The mesh must still be the one set up: same vertex and face counts.
    const std::uint32_t faceCount = mesh ? mesh->numFaces : dfMesh->numFaces;
    const std::uint32_t vertexCount = mesh ? mesh->numVertices : dfMesh->numVertices;
    if (faceCount != m_meshFaceCount || vertexCount != m_meshVertexCount || !loadFaces(mesh, dfMesh)) {
        return 1;
    }
    buildEdges();
    m_capMerges.clear();  // merges belong to the cut that made them
    // Each crossing edge makes at most one cut vertex and two normals and UVs.
    if (!m_failed) {
        reserveVertices(m_vertexCount + m_edgeCount + 16);
    }
    if (!m_failed) {
        loadAttributes(mesh, dfMesh, 2 * m_edgeCount + 16);
    }
    if (!m_failed) {
        if (mesh) {
            cutEdges(mesh);
        } else {
            cutEdgesDF(dfMesh);
        }
        splitFaces(n, point, mesh ? mesh->worldNormals : dfMesh->worldNormals);
    }
    if (!m_failed && (flags & CLIP_BUILD_CAPS)) {
        buildCaps(n);
    }
    if (!m_failed) {
        if (mesh) {
            writeBack(mesh, n, flags);
        } else {
            writeBackDF(dfMesh, n, flags);
        }
    }
    // A working array that could not grow: give up with the mesh as it was.
    returnBorrowedFaces();
    return m_failed ? 1 : 0;
}

// ---- Growth ---------------------------------------------------------------------------

bool Clipper::reserveVertices(std::uint32_t needed) {
    if (needed <= m_perVertexSize) {
        return true;
    }
    const std::uint32_t capacity = grownCapacity(m_perVertexSize, needed);
    auto* vertices = newZeroed<Qmt::QmtVector3>(capacity);
    auto* counts = newZeroed<std::uint32_t>(capacity);
    auto* distances = newZeroed<double>(capacity);
    auto* keep = newZeroed<std::uint8_t>(capacity);
    if (!(vertices && counts && distances && keep)) {
        delete[] vertices;
        delete[] counts;
        delete[] distances;
        delete[] keep;
        m_failed = true;
        return false;
    }
    std::memset(keep, 1, capacity);
    adopt(m_vertices, vertices, m_vertexCount);
    adopt(m_useCounts, counts, m_perVertexSize);
    adopt(m_distances, distances, m_perVertexSize);
    adopt(m_keep, keep, m_perVertexSize);
    m_perVertexSize = capacity;
    return true;
}

bool Clipper::reserveNormals(std::uint32_t needed) {
    if (!m_normals || needed <= m_normalCapacity) {
        return true;
    }
    const std::uint32_t capacity = grownCapacity(m_normalCapacity, needed);
    auto* normals = newZeroed<Qmt::QmtVector3>(capacity);
    if (!normals) {
        m_failed = true;
        return false;
    }
    adopt(m_normals, normals, std::min(m_normalCount, m_normalCapacity));
    m_normalCapacity = capacity;
    return true;
}

bool Clipper::reserveUVs(std::uint32_t needed) {
    if (!m_uvs || needed <= m_uvCapacity) {
        return true;
    }
    const std::uint32_t capacity = grownCapacity(m_uvCapacity, needed);
    Qmt::QmtVector3* fresh[1 + MAX_EXTRA_UV_SETS] = {};
    bool ok = true;
    for (std::uint32_t s = 0; s <= m_extraUVSets; ++s) {
        fresh[s] = newZeroed<Qmt::QmtVector3>(capacity);
        ok = ok && fresh[s];
    }
    if (!ok) {
        for (Qmt::QmtVector3* array : fresh) {
            delete[] array;
        }
        m_failed = true;
        return false;
    }
    adopt(m_uvs, fresh[0], m_uvCount);
    for (std::uint32_t s = 0; s < m_extraUVSets; ++s) {
        adopt(m_uvSets[s], fresh[s + 1], m_uvCount);
    }
    m_uvCapacity = capacity;
    return true;
}

bool Clipper::reserveFaces(std::uint32_t needed) {
    if (needed <= m_faceCapacity) {
        return true;
    }
    const std::uint32_t capacity = grownCapacity(m_faceCapacity, needed);
    auto* faces = new (std::nothrow) ZYL_DFface[capacity];
    if (!faces) {
        m_failed = true;
        return false;
    }
    for (std::uint32_t i = 0; i < m_faceCapacity; ++i) {
        moveDFmeshFace(m_faces[i], faces[i]);
    }
    delete[] m_faces;
    m_faces = faces;
    m_faceCapacity = capacity;
    return true;
}

bool Clipper::reserveEdges(std::uint32_t needed) {
    if (needed <= m_edgeCapacity) {
        return true;
    }
    const std::uint32_t capacity = grownCapacity(m_edgeCapacity, needed);
    auto* edges = new (std::nothrow) connect_edge[capacity];
    if (!edges) {
        m_failed = true;
        return false;
    }
    adopt(m_edges, edges, m_edgeTotal);
    m_edgeCapacity = capacity;
    return true;
}

std::uint32_t Clipper::addVertex(const Qmt::QmtVector3& v) {
    if (!reserveVertices(m_vertexCount + 1)) {
        return ABSENT_INDEX;
    }
    m_vertices[m_vertexCount] = v;
    return m_vertexCount++;
}

std::uint32_t Clipper::addNormal(const Qmt::QmtVector3& v) {
    if (!reserveNormals(m_normalCount + 1)) {
        return ABSENT_INDEX;
    }
    if (m_normals) {
        m_normals[m_normalCount] = v;
    }
    return m_normalCount++;
}
