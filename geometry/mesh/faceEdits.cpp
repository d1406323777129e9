#include "geometry/mesh/faceEdits.h"

#include <algorithm>
#include <memory>
#include <new>

#include "geometry/query/proximity.h"
#include "math/qmtMatrix3.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

constexpr std::uint32_t NO_INDEX = 0xFFFFFFFF;
constexpr double TOLERANCE = 1e-5;
// A halving test of n >= limit - 1 with the limit of 32 that every nested split uses.
constexpr std::uint32_t NESTED_THRESHOLD = ZYLFACE_MAX_CORNERS - 1;

template <class T>
std::unique_ptr<T[]> newArray(std::uint32_t n) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[n]);
}

// The fan split shared by the four members. `threshold` is limit - 1 in unsigned
// arithmetic, so a limit of 0 never halves. emit(run, count) writes one piece.
template <class Emit>
void fanSplit(const std::uint32_t* loop, std::uint32_t n, std::uint32_t threshold, Emit& emit) {
    if (n < 2) {
        return;
    }
    while (n >= threshold) {
        const std::uint32_t h = n / 2;
        fanSplit(loop, h, NESTED_THRESHOLD, emit);
        loop += h - 1;  // the next run starts on the last index of the piece just made
        n = n - h + 1;
        threshold = NESTED_THRESHOLD;
        if (n < 2) {
            return;
        }
    }
    emit(loop, n);
}

std::uint32_t firstThreshold(std::uint32_t limit) { return limit - 1; }

// A ZYLface holds 32 corners: never let a first piece grow beyond 31 loop indices.
std::uint32_t inlineThreshold(std::uint32_t limit) {
    return std::min(firstThreshold(limit), NESTED_THRESHOLD);
}

bool validFanArguments(const std::uint32_t* loop, int n, const void* faces, const int* faceCount) {
    return loop && faces && faceCount && n >= 2;
}

// Sizes a DF piece for the apex plus `count` loop indices; false when allocation failed.
bool allocateDFPiece(ZYL_DFface& face, std::uint32_t apex, const std::uint32_t* run,
                     std::uint32_t count) {
    const std::uint32_t corners = count + 1;
    face.allocate(corners, 1);
    if (face.capacity < corners) {
        return false;
    }
    face.vertices[0] = apex;
    std::copy(run, run + count, face.vertices + 1);
    std::fill(face.normals, face.normals + corners, NO_INDEX);
    face.numVertices = corners;
    face.numEdges = 0;
    face.alive = 1;
    return true;
}

void writeInlinePiece(ZYLface& face, std::uint32_t apex, const std::uint32_t* run, std::uint32_t count) {
    face.vertices[0] = apex;
    std::copy(run, run + count, face.vertices + 1);
    face.numVertices = count + 1;
    face.numEdges = 0;
    face.marker = 1;
}

QmtVector3 toLocal(const QmtVector3& world, const QmtMatrix3& R, const QmtVector3& T, const QmtVector3& S) {
    const QmtVector3 r = (world - T) * R;  // R^T (world - T)
    return {r.x / S.x, r.y / S.y, r.z / S.z};
}

// Mean of the indexed points: summed in loop order, then divided by n.
QmtVector3 computeCornerMean(const std::uint32_t* idx, std::uint32_t n, const QmtVector3* points) {
    QmtVector3 sum = points[idx[0]];
    for (std::uint32_t i = 1; i < n; ++i) {
        sum += points[idx[i]];
    }
    return sum / static_cast<double>(n);
}

// Writes the loop's corners interleaved with edge midpoints, then the corners' mean:
// 2n + 1 points into out.
void writeLoopAndCentre(const std::uint32_t* idx, std::uint32_t n, const QmtVector3* points, QmtVector3* out) {
    computeFaceEdgeMidpoints(idx, n, points, out);
    out[2 * n] = computeCornerMean(idx, n, points);
}

// UV indices of a fan piece: the apex's, then those of its run of loop corners.
void writeFanUVs(std::uint32_t* uvs, std::uint32_t apexUV, const std::uint32_t* uvRun, std::uint32_t count) {
    uvs[0] = apexUV;
    std::copy(uvRun, uvRun + count, uvs + 1);
}

}  // namespace

void splitPolygonFan(std::uint32_t apex, const std::uint32_t* loop, int n, ZYL_DFface* faces,
                     int* faceCount, std::uint32_t limit) {
    if (!validFanArguments(loop, n, faces, faceCount)) {
        return;
    }
    auto emit = [&](const std::uint32_t* run, std::uint32_t count) {
        ZYL_DFface& face = faces[*faceCount];
        if (!allocateDFPiece(face, apex, run, count)) {
            return;
        }
        std::fill(face.uvs, face.uvs + count + 1, 0u);
        face.flags |= FACE_CAP;
        ++*faceCount;
    };
    fanSplit(loop, static_cast<std::uint32_t>(n), firstThreshold(limit), emit);
}

void splitPolygonFanWithAttr(std::uint32_t apex, const std::uint32_t* loop, std::uint32_t apexUV,
                             const std::uint32_t* loopUV, int n, ZYL_DFface* faces, int* faceCount,
                             std::uint32_t limit) {
    if (!validFanArguments(loop, n, faces, faceCount) || !loopUV) {
        return;
    }
    auto emit = [&](const std::uint32_t* run, std::uint32_t count) {
        ZYL_DFface& face = faces[*faceCount];
        if (!allocateDFPiece(face, apex, run, count)) {
            return;
        }
        writeFanUVs(face.uvs, apexUV, loopUV + (run - loop), count);
        ++*faceCount;
    };
    fanSplit(loop, static_cast<std::uint32_t>(n), firstThreshold(limit), emit);
}

void splitPolygonFanInline(std::uint32_t apex, const std::uint32_t* loop, int n, ZYLface* faces,
                           int* faceCount, std::uint32_t limit) {
    if (!validFanArguments(loop, n, faces, faceCount)) {
        return;
    }
    auto emit = [&](const std::uint32_t* run, std::uint32_t count) {
        ZYLface& face = faces[*faceCount];
        writeInlinePiece(face, apex, run, count);
        face.flags = FACE_CAP;
        ++*faceCount;
    };
    fanSplit(loop, static_cast<std::uint32_t>(n), inlineThreshold(limit), emit);
}

void splitPolygonFanPtrs(std::uint32_t apex, const std::uint32_t* loop, std::uint32_t apexUV,
                         const std::uint32_t* loopUV, int n, ZYLface* faces, int* faceCount,
                         std::uint32_t limit) {
    if (!validFanArguments(loop, n, faces, faceCount) || !loopUV) {
        return;
    }
    auto emit = [&](const std::uint32_t* run, std::uint32_t count) {
        ZYLface& face = faces[*faceCount];
        writeInlinePiece(face, apex, run, count);
        writeFanUVs(face.uvs, apexUV, loopUV + (run - loop), count);
        ++*faceCount;
    };
    fanSplit(loop, static_cast<std::uint32_t>(n), inlineThreshold(limit), emit);
}

std::uint32_t computeFaceEdgeMidpoints(const std::uint32_t* idx, std::uint32_t n,
                                       const QmtVector3* points, QmtVector3* out) {
    if (n == 0 || !idx || !points || !out) {
        return 0;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        const QmtVector3& corner = points[idx[i]];
        const QmtVector3& next = points[idx[i + 1 == n ? 0 : i + 1]];
        out[2 * i] = corner;
        out[2 * i + 1] = (next + corner) * 0.5;
    }
    return 2 * n;
}

void replaceDFmeshFaceFlags(ZYL_DFmesh* mesh, std::uint16_t mask, std::uint16_t value) {
    if (!mesh || !mesh->faces) {
        return;
    }
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        ZYL_DFface& face = mesh->faces[f];
        if (face.flags & mask) {
            face.flags = static_cast<std::uint16_t>((face.flags & ~mask) | value);
        }
    }
}

std::uint32_t clipPolygonByPlane(const QmtVector3* loop, const std::uint32_t& n, std::uint32_t /*unused*/,
                                 const QmtVector3& point, const QmtVector3& normal, QmtVector3* below,
                                 QmtVector3* above, std::uint32_t& aboveCount) {
    const std::uint32_t count = n;  // read before aboveCount is written: they may alias
    aboveCount = 0;
    // The distance table holds 32 corners; a longer loop would overrun it.
    if (!loop || !below || !above || count > ZYLFACE_MAX_CORNERS) {
        return 0;
    }
    double d[ZYLFACE_MAX_CORNERS];
    bool anyBelow = false;
    bool anyAbove = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        d[i] = normal.Dot(loop[i] - point);
        if (d[i] >= TOLERANCE) {
            anyAbove = true;
        } else if (d[i] <= -TOLERANCE) {
            anyBelow = true;
        } else {
            d[i] = 0.0;
        }
    }
    if (!anyBelow) {
        std::copy(loop, loop + count, above);
        aboveCount = count;
        return 0;
    }
    if (!anyAbove) {
        std::copy(loop, loop + count, below);
        return count;
    }

    std::uint32_t belowCount = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t j = i + 1 == count ? 0 : i + 1;
        const QmtVector3& a = loop[i];
        const double da = d[i];
        const double db = d[j];
        if (da <= 0.0) {
            below[belowCount++] = a;
        }
        if (da >= 0.0) {
            above[aboveCount++] = a;
        }
        if ((da < 0.0 && db > 0.0) || (da > 0.0 && db < 0.0)) {
            const double t = da / (da - db);
            const QmtVector3 crossing = a * (1.0 - t) + loop[j] * t;
            below[belowCount++] = crossing;
            above[aboveCount++] = crossing;
        }
    }
    return belowCount;
}

int classifyEdgeTurn(const std::uint32_t e0[2], const std::uint32_t e1[2], const QmtVector3* points,
                     const QmtVector3& normal) {
    if (!e0 || !e1 || !points) {
        return 0;
    }
    const QmtVector3& U = points[e0[0]];
    const QmtVector3& V = points[e0[1]];
    const QmtVector3& W = points[e1[1]];
    const QmtVector3& X = points[e1[0]];
    if (!isDegenerateTriangle(U, V, W, false, TOLERANCE)) {
        QmtVector3 d0 = V - U;
        QmtVector3 d1 = W - X;
        d0.Unitize(QmtMatrix3::EPSILON);
        d1.Unitize(QmtMatrix3::EPSILON);
        const double c = d1.Cross(d0).Dot(normal);
        if (c > TOLERANCE) {
            return 1;
        }
        return c < -TOLERANCE ? -1 : 0;
    }
    // U, V, W in a line: straight on when V lies strictly between U and W.
    QmtVector3 u = W - U;
    u.Unitize(QmtMatrix3::EPSILON);
    const double pu = U.Dot(u);
    const double pv = V.Dot(u);
    const double pw = W.Dot(u);
    const bool between = (pu < pv && pv < pw) || (pw < pv && pv < pu);
    return between ? 0 : -1;
}

namespace {

// Rebuilds `faces` as a copy of the mesh's face array with `extra` default records
// behind it; null when any allocation fails.
std::unique_ptr<ZYL_DFface[]> copyFaceArray(const ZYL_DFmesh& mesh, std::uint32_t extra) {
    auto faces = newArray<ZYL_DFface>(mesh.numFaces + extra);
    if (!faces) {
        return nullptr;
    }
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYL_DFface& source = mesh.faces[f];
        copyDFmeshFace(source, faces[f]);
        if (faces[f].capacity < std::max(source.numVertices, source.numEdges)) {
            return nullptr;
        }
    }
    return faces;
}

// Sizes one quad of a split face and writes its indices; false when allocation failed.
bool writeSplitQuad(ZYL_DFface& quad, const std::uint32_t vertices[4], const std::uint32_t uvs[4],
                    std::uint32_t uvSetCount, std::uint16_t flags, std::uint16_t piece,
                    std::uint8_t material) {
    quad.allocate(4, uvSetCount);
    if (quad.capacity < 4) {
        return false;
    }
    std::copy(vertices, vertices + 4, quad.vertices);
    std::copy(uvs, uvs + 4, quad.uvs);
    std::fill(quad.normals, quad.normals + 4, NO_INDEX);
    for (std::uint32_t* set : quad.uvSets) {
        if (set) {
            std::copy(uvs, uvs + 4, set);
        }
    }
    quad.numVertices = 4;
    quad.numEdges = 0;
    quad.alive = 1;
    quad.flags = static_cast<std::uint16_t>(flags | (quad.flags & FACE_UV_SETS));
    quad.piece = piece;
    quad.material = material;
    return true;
}

// Old entries followed by one face's 2n + 1 loop-and-centre points, or zeros when the
// face carries no indices for this set.
std::unique_ptr<QmtVector3[]> grownUVArray(const QmtVector3* old, std::uint32_t count,
                                           const std::uint32_t* faceIndices, std::uint32_t n) {
    auto grown = newArray<QmtVector3>(count + 2 * n + 1);
    if (!grown) {
        return nullptr;
    }
    std::copy(old, old + count, grown.get());
    if (faceIndices) {
        writeLoopAndCentre(faceIndices, n, old, grown.get() + count);
    } else {
        std::fill(grown.get() + count, grown.get() + count + 2 * n + 1, QmtVector3::ZERO);
    }
    return grown;
}

template <class T>
void replaceArray(T*& target, std::unique_ptr<T[]>& replacement) {
    delete[] target;
    target = replacement.release();
}

}  // namespace

void subdivideDFmeshFace(ZYL_DFmesh* mesh, std::uint32_t faceIndex) {
    if (!mesh || !mesh->faces || faceIndex >= mesh->numFaces || !mesh->vertices || !mesh->worldVertices) {
        return;
    }
    const ZYL_DFface& face = mesh->faces[faceIndex];
    const std::uint32_t n = face.numVertices;
    if (n == 0 || !face.vertices) {
        return;
    }
    const std::uint32_t V = mesh->numVertices;
    const std::uint32_t U = mesh->numUVs;
    const std::uint32_t F = mesh->numFaces;
    const std::uint32_t added = 2 * n + 1;
    const bool withUVs = mesh->uvs && U > 0 && face.uvs;
    const std::uint32_t extraSets = withUVs ? meshExtraUVSets(*mesh) : 0;

    // Everything is allocated before the mesh changes, so a failure leaves it intact.
    auto world = newArray<QmtVector3>(V + added);
    auto local = newArray<QmtVector3>(V + added);
    std::unique_ptr<QmtVector3[]> uvs;
    std::unique_ptr<QmtVector3[]> uvSets[MAX_EXTRA_UV_SETS];
    std::unique_ptr<QmtVector3[]> worldNormals;
    std::unique_ptr<QmtVector3[]> normals;
    if (!world || !local) {
        return;
    }
    writeLoopAndCentre(face.vertices, n, mesh->worldVertices, world.get() + V);
    if (withUVs) {
        uvs = grownUVArray(mesh->uvs, U, face.uvs, n);
        if (!uvs) {
            return;
        }
        for (std::uint32_t s = 0; s < extraSets; ++s) {
            // The face may carry fewer sets than the mesh: its missing sets get zeros.
            if (mesh->uvSets[s] && !(uvSets[s] = grownUVArray(mesh->uvSets[s], U, face.uvSets[s], n))) {
                return;
            }
        }
    }
    if (mesh->worldNormals && !(worldNormals = newArray<QmtVector3>(F + n - 1))) {
        return;
    }
    if (mesh->normals && !(normals = newArray<QmtVector3>(F + n - 1))) {
        return;
    }
    auto faces = copyFaceArray(*mesh, n - 1);
    if (!faces) {
        return;
    }

    // New quads: face f keeps its slot, the other n - 1 go behind the old faces.
    const std::uint32_t c = V + 2 * n;
    const std::uint32_t cu = U + 2 * n;
    const std::uint16_t flags = static_cast<std::uint16_t>(face.flags | FACE_SPLIT);
    for (std::uint32_t j = 0; j < n; ++j) {
        // Quad j = 0 is (last midpoint, corner 0, first midpoint); quad j > 0 starts at
        // the midpoint before corner j.
        const std::uint32_t first = j == 0 ? 2 * n - 1 : 2 * j - 1;
        const std::uint32_t vertices[4] = {V + first, V + 2 * j, V + 2 * j + 1, c};
        const std::uint32_t uvIndices[4] = {U + first, U + 2 * j, U + 2 * j + 1, cu};
        ZYL_DFface& quad = j == 0 ? faces[faceIndex] : faces[F + j - 1];
        if (!writeSplitQuad(quad, vertices, uvIndices, face.numUVSets, flags, face.piece, face.material)) {
            return;
        }
    }

    // Commit.
    std::copy(mesh->worldVertices, mesh->worldVertices + V, world.get());
    std::copy(mesh->vertices, mesh->vertices + V, local.get());
    for (std::uint32_t i = V; i < V + added; ++i) {
        local[i] = toLocal(world[i], mesh->rotation, mesh->translation, mesh->scale);
    }
    if (worldNormals || normals) {
        QmtVector3 localNormal;
        if (mesh->worldNormals) {
            localNormal = mesh->worldNormals[faceIndex] * mesh->rotation;  // R^T n
            localNormal.Unitize(QmtMatrix3::EPSILON);
        } else {
            localNormal = mesh->normals[faceIndex];
        }
        if (worldNormals) {
            std::copy(mesh->worldNormals, mesh->worldNormals + F, worldNormals.get());
            std::fill(worldNormals.get() + F, worldNormals.get() + F + n - 1, mesh->worldNormals[faceIndex]);
            replaceArray(mesh->worldNormals, worldNormals);
        }
        if (normals) {
            std::copy(mesh->normals, mesh->normals + F, normals.get());
            std::fill(normals.get() + F, normals.get() + F + n - 1, localNormal);
            replaceArray(mesh->normals, normals);
        }
    }
    replaceArray(mesh->worldVertices, world);
    replaceArray(mesh->vertices, local);
    mesh->numVertices = V + added;
    if (withUVs) {
        replaceArray(mesh->uvs, uvs);
        for (std::uint32_t s = 0; s < extraSets; ++s) {
            if (uvSets[s]) {
                replaceArray(mesh->uvSets[s], uvSets[s]);
            }
        }
        mesh->numUVs = U + added;
    }
    replaceArray(mesh->faces, faces);
    mesh->numFaces = F + n - 1;
}

namespace {

// The outside test reads the distance in single precision.
bool aboveFloatThreshold(double d) {
    if (!(d > 0.0001)) {
        return false;  // rounding to float cannot lift a distance over 0.0001
    }
    if (d >= 3.4028234663852886e38) {
        return true;  // beyond float range, where the conversion is undefined
    }
    return static_cast<double>(static_cast<float>(d)) > 0.0001;
}

bool isOutsideConvex(const ZYLmesh& convex, const QmtVector3& x) {
    for (std::uint32_t f = 0; f < convex.numFaces; ++f) {
        const ZYLface& face = convex.faces[f];
        if (face.numVertices == 0) {
            continue;
        }
        const QmtVector3& q = convex.vertices[face.vertices[0]];
        if (aboveFloatThreshold(convex.normals[f].Dot(x - q))) {
            return true;
        }
    }
    return false;
}

// Position of v among a face's first three corners, or 3 when absent.
std::uint32_t cornerSlot(const ZYLface& face, std::uint32_t v) {
    std::uint32_t slot = 0;
    while (slot < 3 && face.vertices[slot] != v) {
        ++slot;
    }
    return slot;
}

bool usableTriangle(const ZYLface& face, std::uint32_t vertexCount) {
    return face.numVertices >= 3 && face.vertices[0] < vertexCount && face.vertices[1] < vertexCount &&
           face.vertices[2] < vertexCount;
}

// True when v lies on a straight line through the triangles i and j that share it.
bool isOnStraightLine(const ZYLmesh& mesh, std::uint32_t v, const ZYLface& fi, const ZYLface& fj) {
    const std::uint32_t si = cornerSlot(fi, v);
    const std::uint32_t sj = cornerSlot(fj, v);
    const std::uint32_t a[2] = {fi.vertices[(si + 1) % 3], fi.vertices[(si + 2) % 3]};
    const std::uint32_t b[2] = {fj.vertices[(sj + 1) % 3], fj.vertices[(sj + 2) % 3]};
    const QmtVector3* const p = mesh.vertices;
    for (const std::uint32_t ak : a) {
        for (const std::uint32_t bl : b) {
            if (ak != bl && isDegenerateTriangle(p[ak], p[v], p[bl], true, TOLERANCE)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

std::uint32_t sampleVerticesOutsideConvex(const ZYLmesh* source, const ZYLmesh* convex, std::uint32_t n,
                                          QmtVector3* out) {
    if (!source || !convex || !source->vertices || !out || n == 0) {
        return 0;
    }
    if (!convex->faces || !convex->vertices || !convex->normals || source->numVertices == 0) {
        return 0;  // nothing can lie outside a mesh without faces
    }
    auto gathered = newArray<std::uint32_t>(source->numVertices);
    if (!gathered) {
        return 0;
    }
    std::uint32_t count = 0;
    for (std::uint32_t i = source->numVertices; i-- > 0;) {
        if (isOutsideConvex(*convex, source->vertices[i])) {
            gathered[count++] = i;
        }
    }
    const std::uint32_t step = std::max<std::uint32_t>(count / n, 1);
    const std::uint32_t written = std::min(count, n);
    for (std::uint32_t k = 0; k < written; ++k) {
        out[k] = source->vertices[gathered[k * step]];
    }
    return written;
}

std::uint32_t collectCornerVertices(const ZYLmesh* mesh, QmtVector3* out) {
    if (!mesh || !mesh->vertices || !out) {
        return 0;
    }
    const std::uint32_t V = mesh->numVertices;
    const std::uint32_t F = mesh->faces ? mesh->numFaces : 0;

    // Faces around each vertex, in face order (compressed rows: start[v] .. start[v+1]).
    auto start = newArray<std::uint32_t>(V + 1);
    auto around = newArray<std::uint32_t>(3 * F + 1);
    if (!start || !around) {
        return 0;
    }
    std::fill(start.get(), start.get() + V + 1, 0u);
    for (std::uint32_t f = 0; f < F; ++f) {
        const ZYLface& face = mesh->faces[f];
        if (!usableTriangle(face, V)) {
            continue;
        }
        for (std::uint32_t s = 0; s < 3; ++s) {
            if (cornerSlot(face, face.vertices[s]) == s) {  // a repeated corner counts once
                ++start[face.vertices[s] + 1];
            }
        }
    }
    for (std::uint32_t v = 0; v < V; ++v) {
        start[v + 1] += start[v];
    }
    for (std::uint32_t f = 0; f < F; ++f) {
        const ZYLface& face = mesh->faces[f];
        if (!usableTriangle(face, V)) {
            continue;
        }
        for (std::uint32_t s = 0; s < 3; ++s) {
            const std::uint32_t v = face.vertices[s];
            if (cornerSlot(face, v) == s) {
                around[start[v]++] = f;
            }
        }
    }
    // The fill advanced each row start to the next row's start; shift back.
    for (std::uint32_t v = V; v > 0; --v) {
        start[v] = start[v - 1];
    }
    start[0] = 0;

    std::uint32_t written = 0;
    for (std::uint32_t v = 0; v < V; ++v) {
        bool corner = true;
        for (std::uint32_t i = start[v]; corner && i < start[v + 1]; ++i) {
            for (std::uint32_t j = i + 1; corner && j < start[v + 1]; ++j) {
                corner = !isOnStraightLine(*mesh, v, mesh->faces[around[i]], mesh->faces[around[j]]);
            }
        }
        if (corner) {
            out[written++] = mesh->vertices[v];
        }
    }
    return written;
}
