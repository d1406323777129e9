#include "geometry/mesh/dfTessellationPass.h"

#include <algorithm>
#include <new>

#include "geometry/mesh/dfTessellation.h"

using Qmt::QmtVector3;

namespace {

template <class T>
std::unique_ptr<T[]> newArray(std::size_t n) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[n]);
}

// Hands the new array to the mesh in place of its old one.
template <class T>
void takeArray(T*& slot, std::unique_ptr<T[]>& fresh) {
    delete[] slot;
    slot = fresh.release();
}

// Inserts value at pos of an index array holding count entries (room for one more).
void insertIndex(std::uint32_t* a, std::uint32_t count, std::uint32_t pos, std::uint32_t value) {
    if (a) {
        std::copy_backward(a + pos, a + count, a + count + 1);
        a[pos] = value;
    }
}

}  // namespace

DFTessellationPass::DFTessellationPass(BVDFmesh& volume, bool keepEdges)
    : volume_(volume), mesh_(*volume.mesh), keepEdges_(keepEdges) {
    V_ = mesh_.numVertices;
    N_ = mesh_.numCornerNormals;
    U_ = mesh_.numUVs;
    F_ = mesh_.faces ? mesh_.numFaces : 0;
    E_ = volume.numEdges;
    // A mesh without UVs has no UV array and its edges carry no UV indices: no UV work.
    hasUVs_ = U_ > 0 && mesh_.uvs;
    hasNormals_ = !keepEdges && N_ > 0 && mesh_.cornerNormals;
    numSets_ = !keepEdges && hasUVs_ ? meshExtraUVSets(mesh_) : 0;
}

QmtVector3 DFTessellationPass::vertexAt(std::uint32_t i) const {
    return i < V_ && mesh_.worldVertices ? mesh_.worldVertices[i] : QmtVector3::ZERO;
}

QmtVector3 DFTessellationPass::uvAt(std::uint32_t i) const {
    return i < U_ ? mesh_.uvs[i] : QmtVector3::ZERO;
}

QmtVector3 DFTessellationPass::cornerNormalAt(std::uint32_t i) const {
    return i < N_ ? mesh_.cornerNormals[i] : QmtVector3::ZERO;
}

QmtVector3 DFTessellationPass::setAt(std::uint32_t s, std::uint32_t i) const {
    return i < U_ && mesh_.uvSets[s] ? mesh_.uvSets[s][i] : QmtVector3::ZERO;
}

bool DFTessellationPass::run() {
    try {
        if (!select() || !allocateWork()) {
            return false;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    splitEdges();
    if (!prepareFaces() || !allocateOutput() || (keepEdges_ && !growEdgeTable())) {
        resetSplitFlags();
        return false;
    }
    // From here on nothing can fail.
    insertMidpoints();
    copyUnselectedFaces();
    buildQuads();
    if (keepEdges_) {
        renumberEdgeFaces();
    }
    commit();
    if (keepEdges_) {
        finishEdgeTable();
    }
    return true;
}

bool DFTessellationPass::select() {
    std::uint32_t count = 0;
    for (std::uint32_t f = 0; f < F_; ++f) {
        count += (mesh_.faces[f].flags & FACE_CAP) ? 1 : 0;
    }
    selected_.reserve(count);
    // Each selected face goes to the front of the list, so the last one leads; this
    // fixes the order of the new vertices and quads.
    for (std::uint32_t f = F_; f-- > 0;) {
        ZYL_DFface& face = mesh_.faces[f];
        if (face.flags & FACE_CAP) {
            selected_.push_back(f);
        }
    }
    for (std::uint32_t f = 0; f < F_; ++f) {
        ZYL_DFface& face = mesh_.faces[f];
        if (face.flags & FACE_CAP) {
            face.spare = volume_.computeFaceCenter(&face);
            T_ += face.numEdges;
        }
    }
    return T_ > 0;
}

bool DFTessellationPass::allocateWork() {
    const std::size_t S = selected_.size();
    const std::size_t entries = 2 * (static_cast<std::size_t>(T_) + S);
    splits_.reserve(T_);
    insertions_.assign(F_, 0);
    newVertices_.reserve(T_ + S);
    if (hasUVs_) {
        newUVs_.reserve(entries);
        centreUVs_.resize(S);
    }
    if (hasNormals_) {
        newNormals_.reserve(entries);
        averageNormals_.resize(S);
    }
    newSetStride_ = entries;
    newSetEntries_.assign(numSets_ * entries, QmtVector3::ZERO);
    setCentres_.resize(numSets_ * S);
    if (keepEdges_) {
        faceMap_.resize(F_);
        firstQuad_.resize(S);
        newFaceA_.resize(static_cast<std::size_t>(E_) + T_);
        newFaceB_.resize(static_cast<std::size_t>(E_) + T_);
    }
    return true;
}

void DFTessellationPass::storeFaceAverages(std::uint32_t j, const ZYL_DFface& face) {
    const std::uint32_t n = face.numVertices;
    const auto mean = [n](auto pick) {
        QmtVector3 sum = pick(0);
        for (std::uint32_t k = 1; k < n; ++k) {
            sum += pick(k);
        }
        return sum / static_cast<double>(n);
    };
    if (n == 0) {
        return;  // the averages stay zero
    }
    if (hasUVs_ && face.uvs) {
        centreUVs_[j] = mean([&](std::uint32_t k) { return uvAt(face.uvs[k]); });
    }
    if (hasNormals_ && face.normals) {
        averageNormals_[j] = mean([&](std::uint32_t k) { return cornerNormalAt(face.normals[k]); });
    }
    const std::size_t S = selected_.size();
    for (std::uint32_t s = 0; s < numSets_; ++s) {
        setCentres_[s * S + j] = volume_.computeFaceUVCenter(&face, s);
    }
}

void DFTessellationPass::splitEdges() {
    for (std::uint32_t j = 0; j < selected_.size(); ++j) {
        const ZYL_DFface& face = mesh_.faces[selected_[j]];
        storeFaceAverages(j, face);
        for (std::uint32_t k = 0; k < face.numEdges; ++k) {
            const std::uint32_t e = face.edges[k];
            // An edge shared by two selected faces is split once, by the first of them.
            if (e < E_ && !(volume_.edges[e].flags & EDGE_SPLIT)) {
                splitEdge(e);
            }
        }
    }
}

void DFTessellationPass::splitEdge(std::uint32_t edgeIndex) {
    connect_edge& e = volume_.edges[edgeIndex];
    SplitEdge split{};
    split.edge = edgeIndex;
    split.v0 = e.v0;
    split.v1 = e.v1;
    split.faceA = e.faceA;
    split.faceB = e.faceB;
    split.vertex = V_ + static_cast<std::uint32_t>(newVertices_.size());
    newVertices_.push_back((vertexAt(e.v0) + vertexAt(e.v1)) * 0.5);

    if (hasUVs_) {
        split.uv[0] = U_ + static_cast<std::uint32_t>(newUVs_.size());
        newUVs_.push_back((uvAt(e.uvs[EDGE_SLOT_START_A]) + uvAt(e.uvs[EDGE_SLOT_END_A])) * 0.5);
        split.uv[1] = split.uv[0] + 1;
        newUVs_.push_back((uvAt(e.uvs[EDGE_SLOT_START_B]) + uvAt(e.uvs[EDGE_SLOT_END_B])) * 0.5);
    }
    if (hasNormals_) {
        split.normal[0] = N_ + static_cast<std::uint32_t>(newNormals_.size());
        newNormals_.push_back(
            (cornerNormalAt(e.normals[EDGE_SLOT_START_A]) + cornerNormalAt(e.normals[EDGE_SLOT_END_A])) * 0.5);
        split.normal[1] = split.normal[0] + 1;
        newNormals_.push_back(
            (cornerNormalAt(e.normals[EDGE_SLOT_START_B]) + cornerNormalAt(e.normals[EDGE_SLOT_END_B])) * 0.5);
    }
    if (numSets_ > 0 && (e.flags & EDGE_UV_SETS)) {
        const std::uint32_t edgeSets = extraUVSetCount(e.numUVSets);
        for (std::uint32_t s = 0; s < numSets_; ++s) {
            QmtVector3* row = &newSetEntries_[s * newSetStride_];
            if (s < edgeSets) {
                row[setCounter_] = (setAt(s, e.uvSetStart[s][0]) + setAt(s, e.uvSetEnd[s][0])) * 0.5;
                row[setCounter_ + 1] = (setAt(s, e.uvSetStart[s][1]) + setAt(s, e.uvSetEnd[s][1])) * 0.5;
            }
            split.set[s][0] = U_ + setCounter_;
            split.set[s][1] = U_ + setCounter_ + 1;
        }
        setCounter_ += 2;
    }
    if (keepEdges_) {
        volume_.computeEdgeDirections(edgeIndex);
        split.dir[0] = e.dirA;
        split.dir[1] = e.dirB;
    }
    e.flags |= EDGE_SPLIT;
    splits_.push_back(split);
}

void DFTessellationPass::resetSplitFlags() {
    for (const SplitEdge& split : splits_) {
        volume_.edges[split.edge].flags &= static_cast<std::uint16_t>(~EDGE_SPLIT);
    }
}

bool DFTessellationPass::prepareFaces() {
    for (const SplitEdge& split : splits_) {
        if (split.faceA < F_) {
            ++insertions_[split.faceA];
        }
        if (split.faceB < F_ && split.faceB != split.faceA) {
            ++insertions_[split.faceB];
        }
    }
    // Each face that gains corners grows once, to its final size.
    for (std::uint32_t f = 0; f < F_; ++f) {
        const std::uint32_t extra = insertions_[f];
        if (extra == 0) {
            continue;
        }
        ZYL_DFface& face = mesh_.faces[f];
        face.resize(std::max(face.numVertices, face.numEdges) + extra, face.numUVSets);
        if (face.capacity < face.numVertices + extra || face.edgeCapacity < face.numEdges + extra) {
            return false;
        }
    }
    numQuads_ = 0;
    for (const std::uint32_t f : selected_) {
        numQuads_ += (mesh_.faces[f].numVertices + insertions_[f] + 1) / 2;
    }
    return true;
}

bool DFTessellationPass::allocateOutput() {
    const auto S = static_cast<std::uint32_t>(selected_.size());
    const auto splitCount = static_cast<std::uint32_t>(splits_.size());
    out_.numFaces = F_ - S + numQuads_;
    out_.numVertices = V_ + splitCount + S;
    out_.numUVs = hasUVs_ ? U_ + 2 * splitCount + S : U_;
    out_.numCornerNormals = hasNormals_ ? N_ + 2 * splitCount + S : N_;

    out_.faces = newArray<ZYL_DFface>(out_.numFaces);
    out_.worldVertices = newArray<QmtVector3>(out_.numVertices);
    out_.vertices = newArray<QmtVector3>(out_.numVertices);
    out_.vertexData = newArray<QmtVector3>(out_.numVertices);
    out_.normals = newArray<QmtVector3>(out_.numFaces);
    out_.worldNormals = newArray<QmtVector3>(out_.numFaces);
    bool ok = out_.faces && out_.worldVertices && out_.vertices && out_.vertexData && out_.normals &&
              out_.worldNormals;
    if (hasUVs_) {
        out_.uvs = newArray<QmtVector3>(out_.numUVs);
        ok = ok && out_.uvs;
        // Every extra set keeps the UV count, also one the pass carries no entries for.
        for (std::uint32_t s = 0; s < MAX_EXTRA_UV_SETS; ++s) {
            if (mesh_.uvSets[s]) {
                out_.uvSets[s] = newArray<QmtVector3>(out_.numUVs);
                ok = ok && out_.uvSets[s];
            }
        }
    }
    if (hasNormals_) {
        out_.cornerNormals = newArray<QmtVector3>(out_.numCornerNormals);
        ok = ok && out_.cornerNormals;
    }
    return ok;
}

void DFTessellationPass::insertMidpoints() {
    for (std::uint32_t i = 0; i < splits_.size(); ++i) {
        const SplitEdge& split = splits_[i];
        if (keepEdges_) {
            beginEdgeSplit(i);
        }
        if (split.faceA < F_) {
            insertCorner(split.faceA, split, 0);
            if (keepEdges_) {
                openEdgeSlot(split.faceA, i, 0);
            }
        }
        if (split.faceB < F_ && split.faceB != split.faceA) {
            insertCorner(split.faceB, split, 1);
            if (keepEdges_) {
                openEdgeSlot(split.faceB, i, 1);
            }
        }
    }
}

void DFTessellationPass::insertCorner(std::uint32_t f, const SplitEdge& split, int side) {
    ZYL_DFface& face = mesh_.faces[f];
    const std::uint32_t m = face.numVertices;
    if (face.capacity < m + 1 || !face.vertices) {
        return;
    }
    const std::uint32_t* corners = face.vertices;
    const auto onEdge = [&](std::uint32_t v) { return v == split.v0 || v == split.v1; };

    // The closing edge (last corner to first) takes its midpoint at the end. Otherwise
    // the midpoint goes just below the highest corner on the edge, between its two
    // corners. A face that does not hold the edge takes it at the end as well, so
    // corner 0 always stays in place.
    std::uint32_t pos = m;
    if (m > 0) {
        const bool closing = (corners[0] == split.v0 && corners[m - 1] == split.v1) ||
                             (corners[0] == split.v1 && corners[m - 1] == split.v0);
        if (!closing) {
            for (std::uint32_t k = m - 1; k >= 1; --k) {
                if (onEdge(corners[k])) {
                    pos = k;
                    break;
                }
            }
        }
    }

    insertIndex(face.vertices, m, pos, split.vertex);
    insertIndex(face.uvs, m, pos, split.uv[side]);
    insertIndex(face.normals, m, pos, split.normal[side]);
    const std::uint32_t sets = faceExtraUVSets(face);
    for (std::uint32_t s = 0; s < sets; ++s) {
        insertIndex(face.uvSets[s], m, pos, s < numSets_ ? split.set[s][side] : 0);
    }
    face.numVertices = m + 1;
}

void DFTessellationPass::copyUnselectedFaces() {
    std::uint32_t next = 0;
    for (std::uint32_t f = 0; f < F_; ++f) {
        const ZYL_DFface& face = mesh_.faces[f];
        if (!(face.flags & FACE_CAP)) {
            assignDFmeshFace(out_.faces[next], face);
            if (keepEdges_) {
                faceMap_[f] = next;
            }
            ++next;
        } else if (keepEdges_) {
            faceMap_[f] = ABSENT_INDEX;
        }
    }
}

void DFTessellationPass::buildQuads() {
    const auto S = static_cast<std::uint32_t>(selected_.size());
    std::uint32_t next = F_ - S;
    for (std::uint32_t j = 0; j < S; ++j) {
        ZYL_DFface& face = mesh_.faces[selected_[j]];
        const QmtVector3 c0 = face.spare;
        face.spare = QmtVector3::ZERO;

        // The centre's entries follow the midpoints.
        const auto centre = V_ + static_cast<std::uint32_t>(newVertices_.size());
        newVertices_.push_back(c0);
        std::uint32_t centreUV = 0;
        if (hasUVs_) {
            centreUV = U_ + static_cast<std::uint32_t>(newUVs_.size());
            newUVs_.push_back(centreUVs_[j]);
        }
        std::uint32_t centreNormal = 0;
        if (hasNormals_) {
            centreNormal = N_ + static_cast<std::uint32_t>(newNormals_.size());
            newNormals_.push_back(averageNormals_[j]);
        }
        const std::uint32_t sets = faceExtraUVSets(face);
        std::uint32_t centreSet = 0;
        if (numSets_ > 0 && (face.flags & FACE_UV_SETS)) {
            centreSet = U_ + setCounter_;
            for (std::uint32_t s = 0; s < std::min(sets, numSets_); ++s) {
                newSetEntries_[s * newSetStride_ + setCounter_] = setCentres_[s * S + j];
            }
            ++setCounter_;
        }

        // Corner 0 is never displaced by the midpoints, so the even corners are the
        // face's own: quad = (corner i, next midpoint, centre, previous midpoint).
        const std::uint32_t n = face.numVertices;
        const std::uint32_t first = next;
        for (std::uint32_t i = 0; i < n; i += 2) {
            ZYL_DFface& quad = out_.faces[next++];
            quad.allocate(4, face.numUVSets);
            if (quad.capacity < 4) {
                continue;
            }
            const std::uint32_t corner[4] = {i, (i + 1) % n, ABSENT_INDEX, (i + n - 1) % n};
            for (std::uint32_t q = 0; q < 4; ++q) {
                const std::uint32_t k = corner[q];
                const bool isCentre = k == ABSENT_INDEX;
                quad.vertices[q] = isCentre ? centre : face.vertices[k];
                quad.uvs[q] = !hasUVs_ ? 0 : isCentre ? centreUV : face.uvs[k];
                quad.normals[q] = !hasNormals_ ? 0 : isCentre ? centreNormal : face.normals[k];
                for (std::uint32_t s = 0; s < extraUVSetCount(quad.numUVSets); ++s) {
                    quad.uvSets[s][q] = s >= sets ? 0 : isCentre ? centreSet : face.uvSets[s][k];
                }
            }
            quad.numVertices = 4;
            quad.numEdges = 0;
            quad.material = face.material;
            quad.flags = static_cast<std::uint16_t>(FACE_CAP | (face.flags & FACE_UV_SETS));
        }
        if (keepEdges_) {
            firstQuad_[j] = first;
            buildSpokes(face, centre, centreUV, first, next - first);
        }
    }
}

void DFTessellationPass::commit() {
    const std::uint32_t newVertexCount = out_.numVertices;
    if (mesh_.worldVertices) {
        std::copy_n(mesh_.worldVertices, V_, out_.worldVertices.get());
    } else {
        std::fill_n(out_.worldVertices.get(), V_, QmtVector3::ZERO);
    }
    std::copy(newVertices_.begin(), newVertices_.end(), out_.worldVertices.get() + V_);
    std::copy_n(out_.worldVertices.get(), newVertexCount, out_.vertices.get());
    // Nothing here reads the per-vertex vectors; they restart at zero, one per vertex.
    std::fill_n(out_.vertexData.get(), newVertexCount, QmtVector3::ZERO);

    takeArray(mesh_.worldVertices, out_.worldVertices);
    takeArray(mesh_.vertices, out_.vertices);
    takeArray(mesh_.vertexData, out_.vertexData);
    mesh_.numVertices = newVertexCount;

    if (hasNormals_) {
        std::copy_n(mesh_.cornerNormals, N_, out_.cornerNormals.get());
        std::copy(newNormals_.begin(), newNormals_.end(), out_.cornerNormals.get() + N_);
        takeArray(mesh_.cornerNormals, out_.cornerNormals);
        mesh_.numCornerNormals = out_.numCornerNormals;
    } else if (keepEdges_) {
        delete[] mesh_.cornerNormals;
        mesh_.cornerNormals = nullptr;
        mesh_.numCornerNormals = 0;
    }

    if (hasUVs_) {
        const std::size_t added = newUVs_.size();
        std::copy_n(mesh_.uvs, U_, out_.uvs.get());
        std::copy(newUVs_.begin(), newUVs_.end(), out_.uvs.get() + U_);
        takeArray(mesh_.uvs, out_.uvs);
        for (std::uint32_t s = 0; s < MAX_EXTRA_UV_SETS; ++s) {
            if (!out_.uvSets[s]) {
                continue;
            }
            // Old entries, the pass's entries, then zeros up to the new UV count.
            QmtVector3* set = out_.uvSets[s].get();
            std::copy_n(mesh_.uvSets[s], U_, set);
            if (s < numSets_) {
                std::copy_n(&newSetEntries_[s * newSetStride_], added, set + U_);
            } else {
                std::fill_n(set + U_, added, QmtVector3::ZERO);
            }
            takeArray(mesh_.uvSets[s], out_.uvSets[s]);
        }
        mesh_.numUVs = out_.numUVs;
    }

    std::fill_n(out_.normals.get(), out_.numFaces, QmtVector3::ZERO);
    std::fill_n(out_.worldNormals.get(), out_.numFaces, QmtVector3::ZERO);
    takeArray(mesh_.faces, out_.faces);
    takeArray(mesh_.normals, out_.normals);
    takeArray(mesh_.worldNormals, out_.worldNormals);
    mesh_.numFaces = out_.numFaces;
}
