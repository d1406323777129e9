#include <algorithm>
#include <cstring>
#include <vector>

#include "geometry/clip/clipper.h"
#include "geometry/clip/cornerCompaction.h"
#include "geometry/clip/droppedFaceStitch.h"
#include "geometry/mesh/faceEdits.h"
#include "geometry/query/proximity.h"
#include "math/qmtMatrix3.h"

namespace {

constexpr double kTolerance = 1e-5;
// Loop indices of a long ZYLmesh face at which the fan split of the write-back starts
// halving.
constexpr std::uint32_t kLongFaceFanLimit = 16;

// Local position of a world point that still carries the clipper's scale s: the
// owner's finish step divides by s afterwards, so the translation is scaled too.
Qmt::QmtVector3 toLocal(const Qmt::QmtVector3& world, const Qmt::QmtMatrix3& Rt, const Qmt::QmtVector3& T,
                        const Qmt::QmtVector3& S, double s) {
    const Qmt::QmtVector3 v = Rt * (world - T * s);
    return {v.x / S.x, v.y / S.y, v.z / S.z};
}

Qmt::QmtVector3 localNormal(const Qmt::QmtMatrix3& Rt, const Qmt::QmtVector3& worldNormal) {
    Qmt::QmtVector3 v = Rt * worldNormal;
    v.Unitize(Qmt::QmtMatrix3::EPSILON);
    return v;
}

template <class T>
void replaceArray(T*& array, T* fresh) {
    delete[] array;
    array = fresh;
}

// Area vector of the polygon (Newell's sum over its edges, taken relative to its first
// corner): the normal about which the corners wind counter-clockwise, in the same sense
// as a fan cross product (V1 - V0) x (V2 - V1). Unlike any single corner's cross
// product it is right for non-convex polygons too, where a corner may be reflex.
Qmt::QmtVector3 newellNormal(const Qmt::QmtVector3* world, const std::uint32_t* vertices, std::uint32_t m) {
    Qmt::QmtVector3 sum = Qmt::QmtVector3::ZERO;
    const Qmt::QmtVector3& origin = world[vertices[0]];
    for (std::uint32_t k = 0; k < m; ++k) {
        const Qmt::QmtVector3 a = world[vertices[k]] - origin;
        const Qmt::QmtVector3 b = world[vertices[k + 1 < m ? k + 1 : 0]] - origin;
        sum.x += (a.y - b.y) * (a.z + b.z);
        sum.y += (a.z - b.z) * (a.x + b.x);
        sum.z += (a.x - b.x) * (a.y + b.y);
    }
    return sum;
}

// The same order change as reverseWorkingFace, done on the face's own arrays.
void reverseInPlace(ZYL_DFface& face) {
    const std::uint32_t m = face.numVertices;
    std::reverse(face.vertices, face.vertices + m);
    std::reverse(face.normals, face.normals + m);
    std::reverse(face.uvs, face.uvs + m);
    const std::uint32_t sets = faceExtraUVSets(face);
    for (std::uint32_t s = 0; s < sets; ++s) {
        if (face.uvSets[s]) {
            std::reverse(face.uvSets[s], face.uvSets[s] + m);
        }
    }
    std::reverse(face.edges, face.edges + face.numEdges);
}

}  // namespace

// ---- Shared steps -------------------------------------------------------------------------------

std::uint32_t Clipper::buildVertexRemap() {
    delete[] m_vertexRemap;
    m_vertexRemap = m_vertexCount > 0 ? new (std::nothrow) std::uint32_t[m_vertexCount] : nullptr;
    if (m_vertexCount > 0 && !m_vertexRemap) {
        m_failed = true;
        return ABSENT_INDEX;
    }
    // A vertex a cap loop merged away takes the number of the vertex it merged into.
    const auto into = [this](std::uint32_t v) {
        for (std::size_t hops = 0; hops <= m_capMerges.size(); ++hops) {
            const auto merge = std::find_if(m_capMerges.begin(), m_capMerges.end(),
                                            [v](const auto& m) { return m.first == v; });
            if (merge == m_capMerges.end()) {
                break;
            }
            v = merge->second;
        }
        return v;
    };
    const auto mergedAway = [&](std::uint32_t v) {
        return !m_capMerges.empty() && v < m_vertexCount && into(v) != v;
    };
    std::uint32_t next = 0;
    const std::uint32_t V = std::min(m_meshVertexCount, m_vertexCount);
    for (std::uint32_t i = 0; i < V; ++i) {
        m_vertexRemap[i] = m_keep[i] && !mergedAway(i) ? next++ : ABSENT_INDEX;
    }
    for (std::uint32_t i = V; i < m_vertexCount; ++i) {
        m_vertexRemap[i] = mergedAway(i) ? ABSENT_INDEX : next++;
    }
    for (const auto& merge : m_capMerges) {
        const std::uint32_t root = into(merge.first);
        if (merge.first < m_vertexCount && root < m_vertexCount && root != merge.first) {
            m_vertexRemap[merge.first] = m_vertexRemap[root];
        }
    }
    return next;
}

Qmt::QmtVector3 Clipper::placeKeptVertices(Qmt::QmtVector3* world, Qmt::QmtVector3* local, std::uint32_t newCount,
                                           const Qmt::QmtMatrix3& Rt, const Qmt::QmtVector3& T,
                                           const Qmt::QmtVector3& S) const {
    for (std::uint32_t i = 0; i < m_vertexCount; ++i) {
        if (m_vertexRemap[i] != ABSENT_INDEX) {
            world[m_vertexRemap[i]] = m_vertices[i];
        }
    }
    const Qmt::QmtVector3 centre = computeFaceCenter(world, newCount);
    for (std::uint32_t i = 0; i < newCount; ++i) {
        local[i] = toLocal(world[i], Rt, T, S, m_scale);
    }
    return centre;
}

namespace {

// Whether the corners (those that are valid indices) all lie within the cut-vertex
// merge distance of one another, or on one line to the relative tolerance of
// isDegenerateTriangle.
bool collapsesForItsSize(const std::uint32_t* vertices, std::uint32_t m, const Qmt::QmtVector3* world,
                         std::uint32_t newCount) {
    const std::uint32_t* end = vertices + m;
    const auto valid = [newCount](std::uint32_t v) { return v < newCount; };
    const std::uint32_t* first = std::find_if(vertices, end, valid);
    if (first == end) {
        return true;
    }
    // The two corners farthest apart span the face's line, if it has one.
    const Qmt::QmtVector3* A = &world[*first];
    const Qmt::QmtVector3* B = A;
    double reach = 0.0;
    for (const std::uint32_t* u = first; u != end; ++u) {
        for (const std::uint32_t* v = u + 1; v != end; ++v) {
            if (valid(*u) && valid(*v) && (world[*v] - world[*u]).SquaredLength() > reach) {
                reach = (world[*v] - world[*u]).SquaredLength();
                A = &world[*u];
                B = &world[*v];
            }
        }
    }
    if (reach < kTolerance) {
        return true;
    }
    const Qmt::QmtVector3 along = *B - *A;
    for (const std::uint32_t* v = first; v != end; ++v) {
        if (valid(*v) && along.Cross(world[*v] - *A).SquaredLength() >= kTolerance * kTolerance * reach * reach) {
            return false;
        }
    }
    return true;
}

}  // namespace

Clipper::FaceFate Clipper::prepareFaceForWrite(ZYL_DFface& face, const Qmt::QmtVector3* world,
                                                std::uint32_t newCount, Qmt::QmtVector3& facing) const {
    face.flags &= static_cast<std::uint16_t>(~FACE_STRADDLING);
    const std::uint32_t m = face.numVertices;
    for (std::uint32_t k = 0; k < m; ++k) {
        const std::uint32_t v = face.vertices[k];
        face.vertices[k] = v < m_vertexCount ? m_vertexRemap[v] : ABSENT_INDEX;
    }
    if (m == 0 || face.vertices[0] >= newCount) {
        return FaceFate::Dropped;
    }

    // Winding normal: the longest fan cross product over the non-degenerate triangles
    // up to the first corner the cut removed. It decides whether the face is a sliver.
    Qmt::QmtVector3 winding = Qmt::QmtVector3::ZERO;
    double bestSq = 0.0;
    const Qmt::QmtVector3& V0 = world[face.vertices[0]];
    for (std::uint32_t k = 0; k + 2 < m; ++k) {
        const std::uint32_t i1 = face.vertices[k + 1];
        const std::uint32_t i2 = face.vertices[k + 2];
        if (i1 >= newCount || i2 >= newCount) {
            break;
        }
        const Qmt::QmtVector3& V1 = world[i1];
        const Qmt::QmtVector3& V2 = world[i2];
        if (isDegenerateTriangle(V0, V1, V2, true, kTolerance)) {
            continue;
        }
        const Qmt::QmtVector3 c = (V1 - V0).Cross(V2 - V1);
        const double sq = c.SquaredLength();
        if (sq > bestSq) {
            bestSq = sq;
            winding = c;
        }
    }
    if (bestSq < kTolerance) {
        // Small is not degenerate: a small face that still spans an area closes the
        // surface as much as a large one. Only a face that collapses to a point or a
        // line for its own size is dropped.
        if (collapsesForItsSize(face.vertices, m, world, newCount)) {
            return FaceFate::Degenerate;
        }
        for (std::uint32_t k = 0; k + 2 < m; ++k) {
            const std::uint32_t i1 = face.vertices[k + 1];
            const std::uint32_t i2 = face.vertices[k + 2];
            if (i1 >= newCount || i2 >= newCount) {
                break;
            }
            const Qmt::QmtVector3 c = (world[i1] - V0).Cross(world[i2] - world[i1]);
            if (c.SquaredLength() > bestSq) {
                bestSq = c.SquaredLength();
                winding = c;
            }
        }
    }

    // Never write an index the cut removed: such corners are left out of the face. A
    // corner that a cap merge made equal to the one before it goes too.
    std::uint32_t kept = 0;
    const std::uint32_t sets = faceExtraUVSets(face);
    const bool merges = !m_capMerges.empty();
    for (std::uint32_t k = 0; k < m; ++k) {
        if (face.vertices[k] >= newCount || (merges && kept > 0 && face.vertices[k] == face.vertices[kept - 1])) {
            continue;
        }
        face.vertices[kept] = face.vertices[k];
        face.normals[kept] = face.normals[k];
        face.uvs[kept] = face.uvs[k];
        for (std::uint32_t s = 0; s < sets; ++s) {
            if (face.uvSets[s]) {
                face.uvSets[s][kept] = face.uvSets[s][k];
            }
        }
        ++kept;
    }
    if (merges) {
        while (kept > 1 && face.vertices[kept - 1] == face.vertices[0]) {
            --kept;
        }
        if (kept < 3) {
            return FaceFate::Dropped;  // merged down to an edge: its two sides cancel
        }
    }
    face.numVertices = kept;

    // Which way the face turns is read from its area vector instead: the longest fan
    // cross product may sit at a reflex corner of a non-convex face (a cap capped whole,
    // a trimmed non-convex face) and point the wrong way. Both agree on convex faces.
    // A face whose area vector vanishes (it overlaps itself) keeps the fan's answer.
    facing = newellNormal(world, face.vertices, kept);
    if (facing.SquaredLength() < kTolerance) {
        facing = winding;
    }
    return FaceFate::Written;
}

void Clipper::prepareFacesForWrite(const Qmt::QmtVector3* world, std::uint32_t newCount, const CornerTables& tables,
                                   std::vector<PreparedFace>& kept) {
    kept.clear();
    kept.reserve(m_faceCount);
    std::vector<std::uint32_t> dropped;  // faces dropped as degenerate
    for (std::uint32_t f = 0; f < m_faceCount; ++f) {
        ZYL_DFface& face = m_faces[f];
        if (face.alive != 1) {
            continue;
        }
        Qmt::QmtVector3 facing;
        const FaceFate fate = prepareFaceForWrite(face, world, newCount, facing);
        if (fate == FaceFate::Written) {
            kept.push_back({f, facing});
        } else if (fate == FaceFate::Degenerate) {
            dropped.push_back(f);
        }
    }
    // Only a dropped face can leave a neighbour's edge without its reverse: where none
    // was dropped, the faces are written as they are.
    if (dropped.empty()) {
        return;
    }
    std::vector<std::uint32_t> written(kept.size());
    std::transform(kept.begin(), kept.end(), written.begin(), [](const PreparedFace& p) { return p.face; });
    stitchDroppedFaces(m_faces, written, dropped, world, newCount, tables);
    std::erase_if(kept, [this](const PreparedFace& p) { return m_faces[p.face].numVertices == 0; });
}

// ---- Detailed mesh ----------------------------------------------------------------------------

void Clipper::writeBackDF(ZYL_DFmesh* mesh, const Qmt::QmtVector3& n, std::uint32_t /*flags*/) {
    if (!mesh) {
        return;
    }
    // Everything is built aside first: a failed allocation leaves the mesh as it was.
    const std::uint32_t newCount = buildVertexRemap();
    if (newCount == ABSENT_INDEX) {
        return;
    }
    std::uint32_t K = 0;
    for (std::uint32_t f = 0; f < m_faceCount; ++f) {
        K += m_faces[f].alive == 1 ? 1 : 0;
    }

    const Qmt::QmtMatrix3 Rt = mesh->rotation.Transpose();
    auto* world = new (std::nothrow) Qmt::QmtVector3[std::max(newCount, 1u)]();
    auto* local = new (std::nothrow) Qmt::QmtVector3[std::max(newCount, 1u)]();
    auto* faces = new (std::nothrow) ZYL_DFface[std::max(K, 1u)];
    auto* worldNormals = new (std::nothrow) Qmt::QmtVector3[std::max(K, 1u)]();
    auto* localNormals = new (std::nothrow) Qmt::QmtVector3[std::max(K, 1u)]();
    Compacted normals;
    Compacted uvs;
    Compacted sets[MAX_EXTRA_UV_SETS];
    const auto giveUp = [&] {
        delete[] world;
        delete[] local;
        delete[] faces;
        delete[] worldNormals;
        delete[] localNormals;
        delete[] normals.values;
        delete[] uvs.values;
        for (Compacted& set : sets) {
            delete[] set.values;
        }
        m_failed = true;
    };
    if (!(world && local && faces && worldNormals && localNormals)) {
        giveUp();
        return;
    }
    const auto normalsOf = [](auto& face) { return face.normals; };
    const auto uvsOf = [](auto& face) { return face.uvs; };
    const auto setOf = [](std::uint32_t s) {
        return [s](auto& face) { return s < faceExtraUVSets(face) ? face.uvSets[s] : nullptr; };
    };
    if (m_normals) {
        normals = planCompaction(m_faces, m_faceCount, m_normals, m_normalCount, 0, normalsOf);
        if (!normals.values) {
            giveUp();
            return;
        }
    }
    std::uint32_t uvCount = mesh->numUVs;
    const bool meshSets = (mesh->flags & MESH_UV_SETS) && mesh->numUVSets != 1;
    const std::uint32_t compactedSets = meshSets ? m_extraUVSets : 0;
    if (m_uvs) {
        uvs = planCompaction(m_faces, m_faceCount, m_uvs, m_uvCount, 0, uvsOf);
        if (!uvs.values) {
            giveUp();
            return;
        }
        uvCount = std::max(uvs.used, 1u);
        for (std::uint32_t s = 0; s < compactedSets; ++s) {
            sets[s] = planCompaction(m_faces, m_faceCount, m_uvSets[s], m_uvCount, uvCount, setOf(s));
            if (!sets[s].values) {
                giveUp();
                return;
            }
        }
    }

    // Every allocation has succeeded: from here on the mesh is rewritten.
    if (m_normals) {
        applyCompaction(m_faces, m_faceCount, normals, normalsOf);
    }
    if (m_uvs) {
        applyCompaction(m_faces, m_faceCount, uvs, uvsOf);
        for (std::uint32_t s = 0; s < compactedSets; ++s) {
            applyCompaction(m_faces, m_faceCount, sets[s], setOf(s));
        }
    }

    const Qmt::QmtVector3 centre = placeKeptVertices(world, local, newCount, Rt, mesh->translation, mesh->scale);

    CornerTables tables;
    tables.normals = m_normals ? &normals : nullptr;
    tables.uvs = m_uvs ? &uvs : nullptr;
    for (std::uint32_t s = 0; s < compactedSets; ++s) {
        tables.sets[s] = m_uvs ? &sets[s] : nullptr;
    }
    std::vector<PreparedFace> kept;
    prepareFacesForWrite(world, newCount, tables, kept);
    if (m_uvs) {
        // Corners put in by the stitch may have added UV entries; the extra sets stay at
        // least as long as the UV array.
        uvCount = std::max(uvs.used, 1u);
        for (std::uint32_t s = 0; s < compactedSets; ++s) {
            growCompacted(sets[s], uvCount);
        }
    }

    // Faces: every face takes the low byte of the first face's piece number.
    const auto piece = static_cast<std::uint16_t>(m_firstFaceWord & 0xFF);
    std::uint32_t written = 0;
    for (const auto& [f, facing] : kept) {
        ZYL_DFface& face = m_faces[f];
        const Qmt::QmtVector3 target = f >= m_splitFaceCount ? -n : face.spare;
        // The working face is not needed again: its arrays move into the mesh.
        if (facing.Dot(target) < 0.0) {
            reverseInPlace(face);
        }
        ZYL_DFface& out = faces[written];
        moveDFmeshFace(face, out);
        out.spare = Qmt::QmtVector3::ZERO;
        out.piece = piece;
        out.alive = 1;
        worldNormals[written] = target;
        localNormals[written] = localNormal(Rt, target);
        ++written;
    }

    // Commit.
    replaceArray(mesh->worldVertices, world);
    replaceArray(mesh->vertices, local);
    mesh->numVertices = newCount;
    mesh->worldCentre = centre;
    // Per-vertex data no longer matches the vertices.
    replaceArray(mesh->vertexData, static_cast<Qmt::QmtVector3*>(nullptr));
    if (m_normals) {
        replaceArray(mesh->cornerNormals, normals.values);
        mesh->numCornerNormals = std::max(normals.used, 1u);
    }
    if (m_uvs) {
        replaceArray(mesh->uvs, uvs.values);
        mesh->numUVs = uvCount;
        for (std::uint32_t s = 0; s < MAX_EXTRA_UV_SETS; ++s) {
            if (sets[s].values) {
                replaceArray(mesh->uvSets[s], sets[s].values);
            }
        }
    }
    replaceArray(mesh->faces, faces);  // the faces moved out of it were the mesh's own
    replaceArray(mesh->worldNormals, worldNormals);
    replaceArray(mesh->normals, localNormals);
    mesh->numFaces = written;
    if (m_borrowedMesh == mesh) {
        for (FaceJournal& entry : m_journal) {
            delete entry.original;
        }
        m_journal.clear();
        m_borrowedMesh = nullptr;
    }
}

// ---- Compact mesh ---------------------------------------------------------------------------

void Clipper::writeBack(ZYLmesh* mesh, const Qmt::QmtVector3& n, std::uint32_t /*flags*/) {
    if (!mesh) {
        return;
    }
    const std::uint32_t newCount = buildVertexRemap();
    if (newCount == ABSENT_INDEX) {
        return;
    }

    const Qmt::QmtMatrix3 Rt = mesh->rotation.Transpose();
    auto* world = new (std::nothrow) Qmt::QmtVector3[std::max(newCount, 1u)]();
    auto* local = new (std::nothrow) Qmt::QmtVector3[std::max(newCount, 1u)]();
    Compacted uvs;
    if (!(world && local)) {
        delete[] world;
        delete[] local;
        m_failed = true;
        return;
    }
    if (m_uvs) {
        const auto uvsOf = [](auto& face) { return face.uvs; };
        uvs = planCompaction(m_faces, m_faceCount, m_uvs, m_uvCount, 0, uvsOf);
        if (!uvs.values) {
            delete[] world;
            delete[] local;
            m_failed = true;
            return;
        }
        applyCompaction(m_faces, m_faceCount, uvs, uvsOf);
    }

    const Qmt::QmtVector3 centre = placeKeptVertices(world, local, newCount, Rt, mesh->translation, mesh->scale);

    const auto island = static_cast<std::uint16_t>(m_firstFaceWord & 0xFF);
    const std::uint32_t oldFaceCount = std::min(mesh->numFaces, m_meshFaceCount);
    std::vector<ZYLface> out;
    std::vector<Qmt::QmtVector3> outNormals;
    std::vector<std::uint32_t> loop;
    std::vector<std::uint32_t> loopUV;
    CornerTables tables;
    tables.uvs = m_uvs ? &uvs : nullptr;
    std::vector<PreparedFace> kept;
    prepareFacesForWrite(world, newCount, tables, kept);
    for (const auto& [f, facing] : kept) {
        ZYL_DFface& face = m_faces[f];
        Qmt::QmtVector3 target;
        if (f >= m_splitFaceCount) {
            target = -n;
        } else if (f < oldFaceCount && mesh->worldNormals) {
            target = mesh->worldNormals[f];
        } else {
            target = face.spare;
        }
        const bool reversed = facing.Dot(target) < 0.0;
        const std::uint32_t m = face.numVertices;
        if (m <= ZYLFACE_MAX_CORNERS) {
            out.emplace_back();
            if (reversed) {
                workingFaceToFaceReversed(face, out.back());
            } else {
                workingFaceToFace(face, out.back());
            }
            out.back().island = island;
            outNormals.push_back(target);
            continue;
        }

        // Too many corners for a ZYLface: fan-split the (oriented) loop in its place,
        // from its first corner whose fan leaves every piece an area. (A run of corners
        // on one line through the apex, such as a cut side of a cap, would otherwise make
        // a piece of its own with no area.) Without such a corner the fan starts at 0.
        loop.resize(m);
        loopUV.resize(m);
        const auto first = static_cast<int>(out.size());
        const auto fanFrom = [&](std::uint32_t apex) {
            for (std::uint32_t k = 0; k < m; ++k) {
                const std::uint32_t at = (k + apex) % m;
                const std::uint32_t from = reversed ? m - 1 - at : at;
                loop[k] = face.vertices[from];
                loopUV[k] = face.uvs[from];
            }
            out.resize(static_cast<std::size_t>(first) + m);
            int count = first;
            splitPolygonFanPtrs(loop[0], loop.data() + 1, loopUV[0], loopUV.data() + 1, static_cast<int>(m - 1),
                                out.data(), &count, kLongFaceFanLimit);
            out.resize(static_cast<std::size_t>(count));
            return std::none_of(out.begin() + first, out.end(), [&](const ZYLface& piece) {
                return collapsesForItsSize(piece.vertices, piece.numVertices, world, newCount);
            });
        };
        std::uint32_t apex = 0;
        while (!fanFrom(apex) && ++apex < m) {
        }
        if (apex == m) {
            fanFrom(0);
        }
        for (std::size_t p = static_cast<std::size_t>(first); p < out.size(); ++p) {
            out[p].flags = face.flags;
            out[p].island = island;
            out[p].extra = face.material;
            outNormals.push_back(target);
        }
    }

    const auto written = static_cast<std::uint32_t>(out.size());
    auto* faces = new (std::nothrow) ZYLface[std::max(written, 1u)];
    auto* worldNormals = new (std::nothrow) Qmt::QmtVector3[std::max(written, 1u)]();
    auto* localNormals = new (std::nothrow) Qmt::QmtVector3[std::max(written, 1u)]();
    if (!(faces && worldNormals && localNormals)) {
        delete[] faces;
        delete[] worldNormals;
        delete[] localNormals;
        delete[] world;
        delete[] local;
        delete[] uvs.values;
        m_failed = true;
        return;
    }
    std::copy(out.begin(), out.end(), faces);
    for (std::uint32_t i = 0; i < written; ++i) {
        worldNormals[i] = outNormals[i];
        localNormals[i] = localNormal(Rt, outNormals[i]);
    }

    replaceArray(mesh->worldVertices, world);
    replaceArray(mesh->vertices, local);
    mesh->numVertices = newCount;
    mesh->worldCentre = centre;
    // Per-vertex velocities no longer match the vertices.
    replaceArray(mesh->vertexVelocities, static_cast<Qmt::QmtVector3*>(nullptr));
    mesh->velocityFlag = 0;
    if (m_uvs) {
        replaceArray(mesh->uvs, uvs.values);
        mesh->numUVs = std::max(uvs.used, 1u);
    }
    replaceArray(mesh->faces, faces);
    replaceArray(mesh->worldNormals, worldNormals);
    replaceArray(mesh->normals, localNormals);
    mesh->numFaces = written;
}

// ---- Face-record conversions ---------------------------------------------------------------

void faceToWorkingFace(const ZYLface& source, ZYL_DFface& destination) {
    const std::uint32_t corners = std::min(source.numVertices, ZYLFACE_MAX_CORNERS);
    const std::uint32_t edges = std::min(source.numEdges, ZYLFACE_MAX_CORNERS);
    const std::uint32_t n = std::max(corners, edges);
    destination.allocate(n, 1);
    if (destination.capacity < n || n == 0) {
        destination.numVertices = 0;
        destination.numEdges = 0;
    } else {
        std::copy(source.edges, source.edges + edges, destination.edges);
        std::copy(source.vertices, source.vertices + corners, destination.vertices);
        std::copy(source.uvs, source.uvs + corners, destination.uvs);
        std::fill(destination.normals, destination.normals + corners, ABSENT_INDEX);
        destination.numEdges = edges;
        destination.numVertices = corners;
    }
    destination.flags = source.flags;
    destination.piece = source.island;
    destination.material = static_cast<std::uint8_t>(source.extra);
}

namespace {

// Working face -> ZYLface, forward or reversed; at most 32 entries of each list.
void workingToFace(const ZYL_DFface& source, ZYLface& destination, bool reversed) {
    const std::uint32_t corners = std::min(source.numVertices, ZYLFACE_MAX_CORNERS);
    const std::uint32_t edges = std::min(source.numEdges, ZYLFACE_MAX_CORNERS);
    for (std::uint32_t k = 0; k < edges; ++k) {
        destination.edges[k] = source.edges[reversed ? edges - 1 - k : k];
    }
    for (std::uint32_t k = 0; k < corners; ++k) {
        const std::uint32_t from = reversed ? corners - 1 - k : k;
        destination.vertices[k] = source.vertices[from];
        destination.uvs[k] = source.uvs ? source.uvs[from] : 0;
    }
    destination.numEdges = edges;
    destination.numVertices = corners;
    destination.flags = source.flags;
    destination.island = source.piece;
    destination.extra = source.material;
}

}  // namespace

void workingFaceToFace(const ZYL_DFface& source, ZYLface& destination) {
    workingToFace(source, destination, false);
}

void workingFaceToFaceReversed(const ZYL_DFface& source, ZYLface& destination) {
    workingToFace(source, destination, true);
}

void reverseFace(const ZYLface& source, ZYLface& destination) {
    const ZYLface copy = source;  // source and destination may be the same record
    const std::uint32_t corners = std::min(copy.numVertices, ZYLFACE_MAX_CORNERS);
    const std::uint32_t edges = std::min(copy.numEdges, ZYLFACE_MAX_CORNERS);
    for (std::uint32_t k = 0; k < edges; ++k) {
        destination.edges[k] = copy.edges[edges - 1 - k];
    }
    for (std::uint32_t k = 0; k < corners; ++k) {
        destination.vertices[k] = copy.vertices[corners - 1 - k];
        destination.uvs[k] = copy.uvs[corners - 1 - k];
    }
    destination.numEdges = edges;
    destination.numVertices = corners;
    destination.flags = copy.flags;
    destination.island = copy.island;
    destination.extra = copy.extra;
}

void reverseWorkingFace(const ZYL_DFface& source, ZYL_DFface& destination) {
    if (&source == &destination) {
        // Reverse in place through a copy, since allocate() drops the old indices.
        ZYL_DFface copy;
        copyDFmeshFace(source, copy);
        copy.spare = source.spare;
        reverseWorkingFace(copy, destination);
        return;
    }
    const std::uint32_t corners = source.numVertices;
    const std::uint32_t edges = source.numEdges;
    const std::uint32_t n = std::max(corners, edges);
    destination.allocate(n, source.numUVSets);
    if (n > 0 && destination.capacity < n) {
        return;  // allocation failed; the destination is left empty
    }
    const auto reverseInto = [](const std::uint32_t* from, std::uint32_t* to, std::uint32_t count) {
        if (from && to) {
            std::reverse_copy(from, from + count, to);
        }
    };
    reverseInto(source.edges, destination.edges, edges);
    reverseInto(source.vertices, destination.vertices, corners);
    reverseInto(source.normals, destination.normals, corners);
    reverseInto(source.uvs, destination.uvs, corners);
    if ((source.flags & FACE_UV_SETS) && source.numUVSets != 1) {
        const std::uint32_t sets = faceExtraUVSets(source);
        for (std::uint32_t s = 0; s < sets; ++s) {
            reverseInto(source.uvSets[s], destination.uvSets[s], corners);
        }
    }
    destination.numEdges = edges;
    destination.numVertices = corners;
    destination.flags = source.flags;
    destination.numUVSets = source.numUVSets;
    destination.piece = source.piece;
    destination.material = source.material;
}

// ---- Small geometric helpers -------------------------------------------------------------------

double distanceSqToSegment(const Qmt::QmtVector3& q, const Qmt::QmtVector3& a, const Qmt::QmtVector3& b,
                           double& t) {
    const Qmt::QmtVector3 d = b - a;
    const double lengthSq = d.SquaredLength();
    if (lengthSq < kTolerance) {
        t = 0.0;
        return (q - a).SquaredLength();
    }
    t = (q - a).Dot(d) / lengthSq;
    Qmt::QmtVector3 closest;
    if (t < 0.0) {
        t = 0.0;
        closest = a;
    } else if (t > 1.0) {
        t = 1.0;
        closest = b;
    } else {
        closest = a + d * t;
    }
    return (q - closest).SquaredLength();
}

bool edgesFoldBack(const Clipper& clipper, const std::uint32_t e[2], const std::uint32_t g[2]) {
    const Qmt::QmtVector3* V = clipper.getVertices();
    const std::uint32_t count = clipper.getVertexCount();
    if (!V || e[0] >= count || e[1] >= count || g[1] >= count) {
        return false;
    }
    const Qmt::QmtVector3& a = V[e[0]];
    const Qmt::QmtVector3& b = V[e[1]];
    const Qmt::QmtVector3& c = V[g[1]];
    if (!isDegenerateTriangle(a, b, c, false, kTolerance)) {
        return false;
    }
    Qmt::QmtVector3 u = c - a;
    u.Unitize(Qmt::QmtMatrix3::EPSILON);
    const double p0 = a.Dot(u);
    const double p1 = b.Dot(u);
    const double p2 = c.Dot(u);
    const bool between = (p0 < p1 && p1 < p2) || (p0 > p1 && p1 > p2);
    return !between;
}

ZYLbox* makeOrientedBox(ZYLbox* box, const double axes[9], const Qmt::QmtVector3& centre,
                        const Qmt::QmtVector3& halfExtents) {
    if (!box) {
        return nullptr;
    }
    *box = ZYLbox{};
    box->centre = centre;
    box->axes = Qmt::QmtMatrix3(axes);
    box->halfExtents = halfExtents;
    return box;
}
