#include "geometry/mesh/dmeshSubdivision.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

#include "geometry/mesh/faceEdits.h"
#include "math/qmtMatrix3.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

using VectorList = PooledList<QmtVector3>;

constexpr std::uint32_t NO_INDEX = 0xFFFFFFFF;
constexpr double MERGE_DISTANCE_SQ = 1e-5;

template <class T>
std::unique_ptr<T[]> newArray(std::uint64_t n) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[n == 0 ? 1 : n]);
}

// Appends values behind the last node, so list positions follow the order of appending.
class ListAppender {
public:
    void start(VectorList& list) {
        list_ = &list;
        tail_ = list.head;
        while (tail_ && tail_->next) {
            tail_ = tail_->next;
        }
    }
    void append(const QmtVector3& value) {
        list_->insertAfter(value, tail_);
        if (tail_ && tail_->next) {
            tail_ = tail_->next;
        }
    }

private:
    VectorList* list_ = nullptr;
    VectorList::Node* tail_ = nullptr;
};

// Makes sure that, once the list is cleared, `needed` nodes can be taken without
// allocating. False when the spare nodes cannot be had.
template <class T>
bool reserveNodes(PooledList<T>& list, std::uint32_t needed) {
    if (!list.head) {
        return false;
    }
    const std::uint32_t missing = needed > list.count ? needed - list.count : 0;
    list.reserveSpares(missing);
    std::uint32_t spares = 0;
    for (const auto* s = list.spare; s && spares < missing; s = s->next) {
        ++spares;
    }
    return spares >= missing;
}

QmtVector3 toLocal(const QmtVector3& world, const QmtMatrix3& R, const QmtVector3& T, const QmtVector3& S) {
    const QmtVector3 r = (world - T) * R;  // R^T (world - T)
    return {r.x / S.x, r.y / S.y, r.z / S.z};
}

// Centroid of the face's k corners followed by its interleaved corner/midpoint loop.
void writeCentroidAndLoop(const std::uint32_t* idx, std::uint32_t k, const QmtVector3* points, QmtVector3* out) {
    QmtVector3 sum = points[idx[0]];
    for (std::uint32_t i = 1; i < k; ++i) {
        sum += points[idx[i]];
    }
    out[0] = sum / static_cast<double>(k);
    computeFaceEdgeMidpoints(idx, k, points, out + 1);
}

// For every point the earliest earlier point it merges onto, or itself. A point j
// merges onto the smallest-index kept point i < j with |p_i - p_j|^2 < 1e-5, which is
// what comparing every point with all later ones, earlier ones winning, yields. A hash
// grid of kept points with cells wider than the merge distance limits the comparisons
// to the 27 cells around a point.
class DuplicateFinder {
public:
    // Scratch for up to n points; false when it cannot be allocated.
    bool reserve(std::uint32_t n) {
        buckets_ = 16;
        while (buckets_ < 2ull * n) {
            buckets_ *= 2;
        }
        head_ = newArray<std::uint32_t>(buckets_);
        next_ = newArray<std::uint32_t>(n);
        return head_ && next_;
    }

    void find(const QmtVector3* points, std::uint32_t n, std::uint32_t* keeper) {
        std::fill(head_.get(), head_.get() + buckets_, NO_INDEX);

        for (std::uint32_t j = 0; j < n; ++j) {
            const QmtVector3& p = points[j];
            keeper[j] = j;
            // A non-finite point is never within the merge distance of anything.
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
                continue;
            }
            const std::int64_t cx = cell(p.x);
            const std::int64_t cy = cell(p.y);
            const std::int64_t cz = cell(p.z);
            for (std::int64_t dx = -1; dx <= 1; ++dx) {
                for (std::int64_t dy = -1; dy <= 1; ++dy) {
                    for (std::int64_t dz = -1; dz <= 1; ++dz) {
                        for (std::uint32_t i = head_[bucket(cx + dx, cy + dy, cz + dz)]; i != NO_INDEX;
                             i = next_[i]) {
                            if (i < keeper[j] && (points[i] - p).SquaredLength() < MERGE_DISTANCE_SQ) {
                                keeper[j] = i;
                            }
                        }
                    }
                }
            }
            if (keeper[j] == j) {
                const std::uint64_t b = bucket(cx, cy, cz);
                next_[j] = head_[b];
                head_[b] = j;
            }
        }
    }

private:
    // Cells three times the merge distance wide, so merging points are never more than
    // one cell apart even after the division rounds.
    static std::int64_t cell(double v) {
        constexpr double CELL = 0.01;
        constexpr double LIMIT = 1099511627776.0;  // 2^40; clamping keeps neighbours adjacent
        return static_cast<std::int64_t>(std::clamp(std::floor(v / CELL), -LIMIT, LIMIT));
    }
    std::uint64_t bucket(std::int64_t x, std::int64_t y, std::int64_t z) const {
        std::uint64_t h = static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull;
        h ^= static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4Full + (h >> 29);
        h ^= static_cast<std::uint64_t>(z) * 0x165667B19E3779F9ull + (h >> 31);
        return (h ^ (h >> 32)) & (buckets_ - 1);
    }

    std::uint64_t buckets_ = 0;
    std::unique_ptr<std::uint32_t[]> head_;
    std::unique_ptr<std::uint32_t[]> next_;
};

// One refinement level. ownsOldFaces: the faces in the list were made by an earlier
// level of this call and are deleted; otherwise they belong to someone else and are
// only unlinked. False, with the mesh untouched, when scratch memory cannot be had.
bool subdivideLevel(ZYL_DMesh& mesh, bool ownsOldFaces) {
    const std::uint32_t faceCount = mesh.faces.count;
    auto oldFaces = newArray<ZYL_DFface*>(faceCount);
    if (!oldFaces) {
        return false;
    }
    std::uint64_t vertexTotal = 0;
    std::uint64_t quadTotal = 0;
    std::uint32_t largest = 0;
    std::uint32_t f = 0;
    for (ZYL_DFface* face : mesh.faces) {
        oldFaces[f++] = face;
        if (face && face->vertices && face->numVertices > 0) {
            vertexTotal += 2ull * face->numVertices + 1;
            quadTotal += face->numVertices;
            largest = std::max(largest, face->numVertices);
        }
    }
    if (vertexTotal > std::numeric_limits<std::uint32_t>::max()) {
        return false;
    }
    const auto newCount = static_cast<std::uint32_t>(vertexTotal);
    const auto quadCount = static_cast<std::uint32_t>(quadTotal);

    const bool uvWork = mesh.uvs.count > 0;
    const std::uint32_t extraSets = uvWork ? meshExtraUVSets(mesh) : 0;
    const bool normalWork = mesh.worldNormals.count > 0;

    // Scratch copies of the old data, the new world vertices and one face's loop.
    auto oldWorld = newArray<QmtVector3>(mesh.worldVertices.count);
    auto oldUVs = newArray<QmtVector3>(mesh.uvs.count);
    std::unique_ptr<QmtVector3[]> oldSets[MAX_EXTRA_UV_SETS];
    auto oldNormals = newArray<QmtVector3>(mesh.worldNormals.count);
    auto newWorld = newArray<QmtVector3>(newCount);
    auto loop = newArray<QmtVector3>(2ull * largest + 1);
    auto keeper = newArray<std::uint32_t>(newCount);
    DuplicateFinder finder;
    if (!oldWorld || !oldUVs || !oldNormals || !newWorld || !loop || !keeper || !finder.reserve(newCount)) {
        return false;
    }
    for (std::uint32_t s = 0; s < extraSets; ++s) {
        if (!(oldSets[s] = newArray<QmtVector3>(mesh.uvSets[s].count))) {
            return false;
        }
    }
    // Taking every node up front means no list operation below can fail.
    bool nodes = reserveNodes(mesh.faces, quadCount) && reserveNodes(mesh.worldVertices, newCount) &&
                 reserveNodes(mesh.vertices, newCount);
    if (uvWork) {
        nodes = nodes && reserveNodes(mesh.uvs, newCount);
        for (std::uint32_t s = 0; s < extraSets; ++s) {
            nodes = nodes && reserveNodes(mesh.uvSets[s], newCount);
        }
    }
    if (normalWork) {
        nodes = nodes && reserveNodes(mesh.worldNormals, quadCount) && reserveNodes(mesh.normals, quadCount);
    }
    if (!nodes) {
        return false;
    }

    copyVectorListToArray(mesh.worldVertices, oldWorld.get());
    copyVectorListToArray(mesh.uvs, oldUVs.get());
    for (std::uint32_t s = 0; s < extraSets; ++s) {
        copyVectorListToArray(mesh.uvSets[s], oldSets[s].get());
    }
    const std::uint32_t oldNormalCount = copyVectorListToArray(mesh.worldNormals, oldNormals.get());

    mesh.faces.clear();
    if (uvWork) {
        mesh.uvs.clear();
        for (std::uint32_t s = 0; s < extraSets; ++s) {
            mesh.uvSets[s].clear();
        }
    }
    if (normalWork) {
        mesh.worldNormals.clear();
        mesh.normals.clear();
    }
    ListAppender uvOut;
    ListAppender setOut[MAX_EXTRA_UV_SETS];
    if (uvWork) {
        uvOut.start(mesh.uvs);
        for (std::uint32_t s = 0; s < extraSets; ++s) {
            setOut[s].start(mesh.uvSets[s]);
        }
    }

    const QmtMatrix3& R = mesh.rotation;
    std::uint32_t c = 0;  // creation number of the next face's centroid (vertex and UV alike)
    for (std::uint32_t fi = 0; fi < faceCount; ++fi) {
        const ZYL_DFface* const face = oldFaces[fi];
        if (!face || !face->vertices || face->numVertices == 0) {
            continue;  // nothing to refine; the face is dropped with the others
        }
        const std::uint32_t k = face->numVertices;
        const std::uint32_t loopSize = 2 * k + 1;
        writeCentroidAndLoop(face->vertices, k, oldWorld.get(), newWorld.get() + c);

        if (uvWork) {
            if (face->uvs) {
                writeCentroidAndLoop(face->uvs, k, oldUVs.get(), loop.get());
            } else {
                std::fill(loop.get(), loop.get() + loopSize, QmtVector3::ZERO);
            }
            for (std::uint32_t i = 0; i < loopSize; ++i) {
                uvOut.append(loop[i]);
            }
            for (std::uint32_t s = 0; s < extraSets; ++s) {
                // A face without its own set indices gets zero entries in that set.
                if (face->uvSets[s]) {
                    writeCentroidAndLoop(face->uvSets[s], k, oldSets[s].get(), loop.get());
                } else {
                    std::fill(loop.get(), loop.get() + loopSize, QmtVector3::ZERO);
                }
                for (std::uint32_t i = 0; i < loopSize; ++i) {
                    setOut[s].append(loop[i]);
                }
            }
        }

        const QmtVector3 worldNormal = fi < oldNormalCount ? oldNormals[fi] : QmtVector3::ZERO;
        QmtVector3 localNormal = worldNormal * R;  // R^T n
        localNormal.Unitize(QmtMatrix3::EPSILON);

        for (std::uint32_t i = 0; i < k; ++i) {
            auto* quad = new (std::nothrow) ZYL_DFface();
            if (!quad) {
                continue;
            }
            quad->flags = face->flags;
            quad->allocate(4, face->numUVSets);
            if (quad->capacity < 4) {
                delete quad;
                continue;
            }
            // Midpoint before corner i, corner i, midpoint after corner i, centroid.
            const std::uint32_t before = i == 0 ? c + 2 * k : c + 2 * i;
            const std::uint32_t indices[4] = {before, c + 2 * i + 1, c + 2 * i + 2, c};
            std::copy(indices, indices + 4, quad->vertices);
            std::copy(indices, indices + 4, quad->uvs);  // UV numbers run with the vertex numbers
            std::fill(quad->normals, quad->normals + 4, NO_INDEX);
            for (std::uint32_t* set : quad->uvSets) {
                if (set) {
                    std::copy(indices, indices + 4, set);
                }
            }
            quad->numVertices = 4;
            quad->alive = 1;
            quad->piece = face->piece;
            quad->material = face->material;
            mesh.faces.pushFront(quad);
            // The normal lists stay parallel to the face list.
            if (normalWork) {
                mesh.worldNormals.pushFront(worldNormal);
                mesh.normals.pushFront(localNormal);
            }
        }
        c += loopSize;
    }

    if (ownsOldFaces) {
        for (std::uint32_t i = 0; i < faceCount; ++i) {
            delete oldFaces[i];
        }
    }

    // Merge duplicate world vertices and renumber the faces onto the kept ones.
    finder.find(newWorld.get(), newCount, keeper.get());
    std::uint32_t kept = 0;
    for (std::uint32_t j = 0; j < newCount; ++j) {
        keeper[j] = keeper[j] == j ? kept++ : keeper[keeper[j]];
    }
    for (ZYL_DFface* quad : mesh.faces) {
        for (std::uint32_t i = 0; i < quad->numVertices; ++i) {
            quad->vertices[i] = keeper[quad->vertices[i]];
        }
    }

    mesh.worldVertices.clear();
    mesh.vertices.clear();
    ListAppender worldOut;
    ListAppender localOut;
    worldOut.start(mesh.worldVertices);
    localOut.start(mesh.vertices);
    std::uint32_t next = 0;
    for (std::uint32_t j = 0; j < newCount; ++j) {
        if (keeper[j] == next) {
            worldOut.append(newWorld[j]);
            localOut.append(toLocal(newWorld[j], R, mesh.translation, mesh.scale));
            ++next;
        }
    }
    return true;
}

}  // namespace

std::uint32_t copyVectorListToArray(const PooledList<QmtVector3>& list, QmtVector3* out) {
    if (!out) {
        return 0;
    }
    std::uint32_t n = 0;
    for (const QmtVector3& v : list) {
        out[n++] = v;
    }
    return n;
}

std::uint32_t subdivideDMeshFaces(ZYL_DMesh* mesh, std::uint32_t levels) {
    if (!mesh) {
        return 0;
    }
    const std::uint32_t runs = std::max<std::uint32_t>(levels, 1);
    for (std::uint32_t level = 0; level < runs; ++level) {
        // Only faces made by this call's earlier levels are ours to delete.
        if (!subdivideLevel(*mesh, level > 0)) {
            return 0;
        }
    }
    return mesh->faces.count;
}
