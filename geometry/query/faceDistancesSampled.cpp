// The sampled facing-face search between two volumes.
#include "geometry/query/faceDistances.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/mesh/bvMesh.h"
#include "geometry/mesh/connectivity.h"

using Qmt::QmtVector3;

namespace {

constexpr double TOLERANCE = 1e-5;
constexpr std::uint32_t MAX_SAMPLES = 512;

// The (vertex, incident face) entries of a sampled mesh, in sample order and then
// face-list order. Each entry names its face by a slot in the list of the distinct
// faces met, whose normals are held column by column for the vectorised products.
struct SampledMesh {
    std::vector<QmtVector3> positions;      // per entry: world position of the vertex
    std::vector<std::uint32_t> vertices;    // per entry: vertex index
    std::vector<std::uint32_t> slots;       // per entry: slot of the face
    std::vector<std::uint32_t> faces;       // per slot: face index
    std::vector<double> nx, ny, nz;         // per slot: world face normal
    // Entries of slot s, ascending: bySlot[slotStart[s]] .. bySlot[slotStart[s + 1] - 1].
    std::vector<std::uint32_t> slotStart;
    std::vector<std::uint32_t> bySlot;
    QmtVector3 normal(std::uint32_t slot) const { return {nx[slot], ny[slot], nz[slot]}; }

    // Builds the per-slot entry lists from the entries' slots.
    void indexSlots() {
        slotStart.assign(faces.size() + 1, 0);
        for (const std::uint32_t slot : slots) {
            ++slotStart[slot + 1];
        }
        for (std::size_t t = 1; t < slotStart.size(); ++t) {
            slotStart[t] += slotStart[t - 1];
        }
        bySlot.resize(slots.size());
        std::vector<std::uint32_t> fill(slotStart.begin(), slotStart.end() - 1);
        for (std::uint32_t j = 0; j < slots.size(); ++j) {
            bySlot[fill[slots[j]]++] = j;
        }
    }
};

// Samples every vertex of a mesh with fewer than 512, else 512 at the stride
// vertex count / 512. Vertices without a vertex record contribute nothing.
void gatherSamples(const BVmesh& volume, SampledMesh& out) {
    const ZYLmesh& mesh = *volume.mesh;
    const std::uint32_t count = mesh.numVertices;
    const std::uint32_t samples = std::min(count, MAX_SAMPLES);
    const std::uint32_t stride = count < MAX_SAMPLES ? 1 : count / MAX_SAMPLES;
    std::vector<std::uint32_t> slotOfFace(mesh.numFaces, ABSENT_INDEX);
    for (std::uint32_t i = 0; i < samples; ++i) {
        const std::uint32_t u = i * stride;
        if (u >= volume.numVertexRecords) {
            continue;
        }
        const connect_vertex& links = volume.vertexRecords[u];
        if (!links.faces) {
            continue;
        }
        for (std::uint32_t k = 0; k < links.numFaces; ++k) {
            const std::uint32_t f = links.faces[k];
            if (f >= mesh.numFaces) {
                continue;
            }
            if (slotOfFace[f] == ABSENT_INDEX) {
                slotOfFace[f] = static_cast<std::uint32_t>(out.faces.size());
                out.faces.push_back(f);
                out.nx.push_back(mesh.worldNormals[f].x);
                out.ny.push_back(mesh.worldNormals[f].y);
                out.nz.push_back(mesh.worldNormals[f].z);
            }
            out.positions.push_back(mesh.worldVertices[u]);
            out.vertices.push_back(u);
            out.slots.push_back(slotOfFace[f]);
        }
    }
    out.indexSlots();
}

// product[s] = n . (normal of b's face slot s), term for term as QmtVector3::Dot, on
// plain arrays so the loop vectorises.
void normalProducts(const QmtVector3& n, const SampledMesh& b, double* __restrict product) {
    const double x = n.x, y = n.y, z = n.z;
    const double* const bx = b.nx.data();
    const double* const by = b.ny.data();
    const double* const bz = b.nz.data();
    const std::size_t count = b.faces.size();
    for (std::size_t s = 0; s < count; ++s) {
        product[s] = x * bx[s] + y * by[s] + z * bz[s];
    }
}

// A volume with a mesh whose world data and vertex face lists are present.
bool sampleable(const BVmesh* volume) {
    return volume && volume->mesh && volume->mesh->worldVertices &&
           volume->mesh->worldNormals && volume->vertexRecords;
}

// World positions of the face's corners (at most 32); returns how many.
std::uint32_t copyCorners(const ZYLmesh& mesh, const ZYLface& face, QmtVector3* out) {
    const std::uint32_t n = std::min(face.numVertices, ZYLFACE_MAX_CORNERS);
    for (std::uint32_t k = 0; k < n; ++k) {
        out[k] = mesh.worldVertices[face.vertices[k]];
    }
    return n;
}

}  // namespace

double closestFacingFacesSampled(const BVmesh* a, const BVmesh* b, std::uint32_t& vertexA,
                                 std::uint32_t& vertexB, std::uint32_t& faceA,
                                 std::uint32_t& faceB, QmtVector3& pointA, QmtVector3& pointB) {
    vertexA = ABSENT_INDEX;
    vertexB = ABSENT_INDEX;
    faceA = ABSENT_INDEX;
    faceB = ABSENT_INDEX;
    if (!sampleable(a) || !sampleable(b)) {
        return FACE_DISTANCE_NONE;
    }

    SampledMesh samplesA;
    SampledMesh samplesB;
    gatherSamples(*a, samplesA);
    gatherSamples(*b, samplesB);
    const std::size_t facesB = samplesB.faces.size();
    std::vector<double> products(facesB);   // nf . ng per face slot of b
    // Entries of b worth testing for one entry of a, sorted into scan order.
    std::vector<std::uint32_t> candidates(samplesB.positions.size());
    // Per face slot of a, its slice of the pool: the faces of b that may still pair
    // with it, and their normal products.
    struct OpenFace {
        std::uint32_t slot;
        double product;
    };
    struct Slice {
        std::uint32_t begin = ABSENT_INDEX;  // not made yet
        std::uint32_t count = 0;
    };
    std::vector<OpenFace> pool;
    std::vector<Slice> openOf(samplesA.faces.size());

    double bestPlane = FACE_DISTANCE_NONE;    // D: squared distance along a's face normal
    double bestProduct = FACE_DISTANCE_NONE;  // K: normal product of the best pair
    double bestSpan = 0.0;                    // squared distance of the best vertex pair
    // Both ways of becoming the best need k <= K, and K never rises: a face pair whose
    // product fails that once can be dropped for the rest of the scan. The entries of
    // b that remain are visited in their scan order, so ties resolve as in a full scan.
    for (std::size_t ia = 0; ia < samplesA.positions.size(); ++ia) {
        const std::uint32_t slotA = samplesA.slots[ia];
        const QmtVector3 nf = samplesA.normal(slotA);
        Slice& slice = openOf[slotA];
        if (slice.begin == ABSENT_INDEX) {
            // First entry of this face: every face of b that faces it.
            normalProducts(nf, samplesB, products.data());
            slice.begin = static_cast<std::uint32_t>(pool.size());
            for (std::size_t t = 0; t < facesB; ++t) {
                if (products[t] < -TOLERANCE && products[t] <= bestProduct) {
                    pool.push_back({static_cast<std::uint32_t>(t), products[t]});
                }
            }
            slice.count = static_cast<std::uint32_t>(pool.size()) - slice.begin;
        } else {
            // Later entries: drop what K has passed since.
            OpenFace* const open = pool.data() + slice.begin;
            std::uint32_t kept = 0;
            for (std::uint32_t o = 0; o < slice.count; ++o) {
                if (open[o].product <= bestProduct) {
                    open[kept++] = open[o];
                }
            }
            slice.count = kept;
        }
        if (slice.count == 0) {
            continue;
        }
        std::size_t numCandidates = 0;
        const OpenFace* const open = pool.data() + slice.begin;
        for (std::uint32_t o = 0; o < slice.count; ++o) {
            const std::uint32_t slot = open[o].slot;
            products[slot] = open[o].product;
            for (std::uint32_t t = samplesB.slotStart[slot]; t < samplesB.slotStart[slot + 1]; ++t) {
                candidates[numCandidates++] = samplesB.bySlot[t];
            }
        }
        std::sort(candidates.begin(), candidates.begin() + numCandidates);

        const QmtVector3& pu = samplesA.positions[ia];
        for (std::size_t c = 0; c < numCandidates; ++c) {
            const std::uint32_t j = candidates[c];
            const std::uint32_t slotB = samplesB.slots[j];
            const double k = products[slotB];
            const QmtVector3& pv = samplesB.positions[j];
            const double along = (pu - pv).Dot(nf);
            const double e = along * along;
            bool take = e < bestPlane && k <= bestProduct;
            if (!take && std::fabs(e - bestPlane) < TOLERANCE && bestProduct >= k) {
                // Level with the best along the normal: the closer vertex pair wins.
                take = bestSpan > (pu - pv).SquaredLength();
            }
            if (take) {
                bestPlane = e;
                bestProduct = k;
                bestSpan = (pu - pv).SquaredLength();
                vertexA = samplesA.vertices[ia];
                vertexB = samplesB.vertices[j];
                faceA = samplesA.faces[slotA];
                faceB = samplesB.faces[slotB];
            }
        }
    }
    if (vertexA == ABSENT_INDEX) {
        return FACE_DISTANCE_NONE;
    }

    QmtVector3 loopA[ZYLFACE_MAX_CORNERS];
    QmtVector3 loopB[ZYLFACE_MAX_CORNERS];
    const ZYLmesh& meshA = *a->mesh;
    const ZYLmesh& meshB = *b->mesh;
    const std::uint32_t nA = copyCorners(meshA, meshA.faces[faceA], loopA);
    const std::uint32_t nB = copyCorners(meshB, meshB.faces[faceB], loopB);
    return distanceSqConvexPolygons(loopA, nA, meshA.worldNormals[faceA], loopB, nB,
                                    meshB.worldNormals[faceB], pointA, pointB);
}
