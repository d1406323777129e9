#include "geometry/mesh/meshRecords.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace {

std::uint32_t* newIndices(std::uint32_t n) { return new (std::nothrow) std::uint32_t[n]; }

template <class T>
void freeArray(T*& p) {
    delete[] p;
    p = nullptr;
}

void copyIndices(const std::uint32_t* from, std::uint32_t* to, std::uint32_t n) {
    if (from && to && n > 0) {
        std::memcpy(to, from, sizeof(std::uint32_t) * n);
    }
}

// Appends valueAt(0 .. n-1) at the end of the list in index order (pushFront would
// reverse them), following the running tail.
template <class T, class ValueAt>
void appendInOrder(PooledList<T>& list, std::uint32_t n, ValueAt valueAt) {
    if (!list.head) {
        return;
    }
    typename PooledList<T>::Node* tail = list.head;
    while (tail->next) {
        tail = tail->next;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        list.insertAfter(valueAt(i), tail);
        if (tail->next) {
            tail = tail->next;
        }
    }
}

// The same for the first n entries of an array; nothing for a null array.
template <class T>
void appendInOrder(PooledList<T>& list, const T* values, std::uint32_t n) {
    if (values) {
        appendInOrder(list, n, [values](std::uint32_t i) { return values[i]; });
    }
}

}  // namespace

void ZYLmesh::release() {
    freeArray(uvs);
    freeArray(vertices);
    freeArray(worldVertices);
    freeArray(normals);
    freeArray(worldNormals);
    freeArray(vertexVelocities);
    freeArray(faces);
}

ZYL_DFface::ZYL_DFface(std::uint32_t n, std::uint32_t k) {
    k = std::min(k, MAX_UV_SETS);
    allocate(n, k);
    numUVSets = static_cast<std::uint8_t>(k);
    flags = k >= 2 ? FACE_UV_SETS : 0;
    alive = 1;
}

void ZYL_DFface::allocate(std::uint32_t n, std::uint32_t k) {
    if (n == 0) {
        return;
    }
    k = std::min(k, MAX_UV_SETS);
    release();

    vertices = newIndices(n);
    normals = newIndices(n);
    uvs = newIndices(n);
    bool ok = vertices && normals && uvs;
    const std::uint32_t extra = extraUVSetCount(k);
    for (std::uint32_t s = 0; s < extra; ++s) {
        uvSets[s] = newIndices(n);
        ok = ok && uvSets[s];
    }
    edges = newIndices(n);
    ok = ok && edges;

    if (k > 1) {
        flags |= FACE_UV_SETS;
    }
    numUVSets = static_cast<std::uint8_t>(k);
    if (!ok) {
        // A face with a capacity but missing arrays would be written out of bounds.
        release();
        return;
    }
    capacity = n;
    edgeCapacity = n;
}

void ZYL_DFface::resize(std::uint32_t n, std::uint32_t k) {
    k = std::min(k, MAX_UV_SETS);
    n = std::max(n, std::max(numVertices, numEdges));
    const std::uint32_t extra = extraUVSetCount(k);

    // Everything is allocated first so that a failure leaves the face as it was.
    std::uint32_t* newVertices = newIndices(n);
    std::uint32_t* newNormals = newIndices(n);
    std::uint32_t* newUVs = newIndices(n);
    std::uint32_t* newSets[MAX_EXTRA_UV_SETS] = {};
    std::uint32_t* newEdges = newIndices(n);
    bool ok = newVertices && newNormals && newUVs && newEdges;
    for (std::uint32_t s = 0; s < extra; ++s) {
        newSets[s] = newIndices(n);
        ok = ok && newSets[s];
    }
    if (!ok || n == 0) {
        delete[] newVertices;
        delete[] newNormals;
        delete[] newUVs;
        delete[] newEdges;
        for (std::uint32_t*& set : newSets) {
            delete[] set;
        }
        return;
    }

    // Corners the face had no array for get zero indices.
    const auto carry = [this](std::uint32_t*& old, std::uint32_t* fresh) {
        if (old) {
            copyIndices(old, fresh, numVertices);
        } else if (numVertices > 0) {
            std::memset(fresh, 0, sizeof(std::uint32_t) * numVertices);
        }
        delete[] old;
        old = fresh;
    };
    carry(vertices, newVertices);
    carry(normals, newNormals);
    carry(uvs, newUVs);
    for (std::uint32_t s = 0; s < MAX_EXTRA_UV_SETS; ++s) {
        if (s < extra) {
            carry(uvSets[s], newSets[s]);
        } else {
            freeArray(uvSets[s]);
        }
    }
    copyIndices(edges, newEdges, numEdges);
    delete[] edges;
    edges = newEdges;

    if (k > 1) {
        flags |= FACE_UV_SETS;
    }
    numUVSets = static_cast<std::uint8_t>(k);
    capacity = n;
    edgeCapacity = n;
}

void ZYL_DFface::release() {
    freeArray(vertices);
    freeArray(normals);
    freeArray(uvs);
    for (std::uint32_t*& set : uvSets) {
        freeArray(set);
    }
    freeArray(edges);
    numVertices = 0;
    capacity = 0;
    numEdges = 0;
    edgeCapacity = 0;
}

void ZYL_DFmesh::release() {
    freeArray(uvs);
    for (Qmt::QmtVector3*& set : uvSets) {
        freeArray(set);
    }
    freeArray(vertices);
    freeArray(worldVertices);
    freeArray(normals);
    freeArray(worldNormals);
    freeArray(cornerNormals);
    freeArray(vertexData);
    freeArray(faces);
    numVertices = 0;
    numUVs = 0;
    numCornerNormals = 0;
    numUVSets = 0;
    shardId = 0;
    flags = 0;
}

ZYL_DMesh::ZYL_DMesh(const ZYL_DFmesh* mesh) {
    if (!mesh) {
        return;
    }
    if (mesh->faces) {
        appendInOrder(faces, mesh->numFaces, [mesh](std::uint32_t i) { return &mesh->faces[i]; });
    }
    appendInOrder(vertices, mesh->vertices, mesh->numVertices);
    appendInOrder(worldVertices, mesh->worldVertices, mesh->numVertices);
    appendInOrder(uvs, mesh->uvs, mesh->numUVs);
    const std::uint32_t extra = extraUVSetCount(mesh->numUVSets);
    for (std::uint32_t s = 0; s < extra; ++s) {
        appendInOrder(uvSets[s], mesh->uvSets[s], mesh->numUVs);
    }
    appendInOrder(normals, mesh->normals, mesh->numFaces);
    appendInOrder(worldNormals, mesh->worldNormals, mesh->numFaces);
    numPieces = mesh->numPieces;
    numUVSets = mesh->numUVSets;
    shardId = mesh->shardId;
    flags = mesh->flags;
}

void copyDFmeshFace(const ZYL_DFface& source, ZYL_DFface& destination) {
    // allocate() drops the destination's indices, which would lose a self-copy's data.
    if (&source == &destination) {
        return;
    }
    const std::uint32_t n = std::max(source.numVertices, source.numEdges);
    const std::uint32_t k = std::min<std::uint32_t>(source.numUVSets, MAX_UV_SETS);
    destination.allocate(n, k);
    if (destination.capacity < n) {
        return;  // allocation failed; the destination is left empty
    }

    copyIndices(source.edges, destination.edges, source.numEdges);
    destination.numEdges = source.numEdges;

    const std::uint32_t corners = source.numVertices;
    copyIndices(source.vertices, destination.vertices, corners);
    copyIndices(source.normals, destination.normals, corners);
    copyIndices(source.uvs, destination.uvs, corners);
    if (source.flags & FACE_UV_SETS) {
        const std::uint32_t extra = extraUVSetCount(k);
        for (std::uint32_t s = 0; s < extra; ++s) {
            copyIndices(source.uvSets[s], destination.uvSets[s], corners);
        }
    }

    destination.flags = source.flags;
    destination.numUVSets = static_cast<std::uint8_t>(k);
    destination.numVertices = corners;
    destination.piece = source.piece;
    destination.material = source.material;
}

void moveDFmeshFace(ZYL_DFface& from, ZYL_DFface& to) {
    if (&from == &to) {
        return;
    }
    to.release();
    to.numVertices = from.numVertices;
    to.capacity = from.capacity;
    to.vertices = std::exchange(from.vertices, nullptr);
    to.normals = std::exchange(from.normals, nullptr);
    to.uvs = std::exchange(from.uvs, nullptr);
    for (std::uint32_t s = 0; s < MAX_EXTRA_UV_SETS; ++s) {
        to.uvSets[s] = std::exchange(from.uvSets[s], nullptr);
    }
    to.numEdges = from.numEdges;
    to.edgeCapacity = from.edgeCapacity;
    to.edges = std::exchange(from.edges, nullptr);
    to.spare = from.spare;
    to.alive = from.alive;
    to.flags = from.flags;
    to.piece = from.piece;
    to.material = from.material;
    to.numUVSets = from.numUVSets;
    from.release();
}

Qmt::QmtVector3 computeFaceCenter(const Qmt::QmtVector3* points, std::uint32_t n) {
    if (!points || n == 0) {
        return Qmt::QmtVector3::ZERO;
    }
    Qmt::QmtVector3 sum = points[0];
    for (std::uint32_t i = 1; i < n; ++i) {
        sum += points[i];
    }
    return sum / static_cast<double>(n);
}

void BodyTransformRecord::setRotation(const Qmt::QmtMatrix3& m) {
    localAxes = m;
    localOrientation.FromRotationMatrix(m);
}
