// Point clouds of any shape and value into the three hull builders. When a hull comes
// back it must be a closed surface over its own vertices that holds the whole cloud
// (the reduced hull only when it was built from every vertex).
//
// Input: a byte (the reduced hull's bound m), then the cloud (FuzzInput::points).
#include <cstdint>
#include <memory>

#include "fuzz/fuzzCheck.h"
#include "fuzz/fuzzInput.h"
#include "geometry/hull/convexHull.h"
#include "geometry/hull/reducedHull.h"

namespace {

std::vector<std::uint32_t> cornersOf(const ZYLface& face) {
    return {face.vertices, face.vertices + face.numVertices};
}

std::vector<std::uint32_t> cornersOf(const ZYL_DFface& face) {
    return {face.vertices, face.vertices + face.numVertices};
}

template <class Mesh>
void checkHull(const Mesh& m, const std::vector<Qmt::QmtVector3>* cloud) {
    checkClosedHull(m.numFaces, [&](std::uint32_t f) { return cornersOf(m.faces[f]); }, m.normals,
                    m.vertices, m.numVertices, cloud);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint32_t bound = in.u8();
    const std::vector<Qmt::QmtVector3> cloud = in.points();
    const auto n = static_cast<std::uint32_t>(cloud.size());

    if (const std::unique_ptr<ZYLmesh> hull{buildConvexHullMesh(cloud.data(), n)}) checkHull(*hull, &cloud);
    if (const std::unique_ptr<ZYL_DFmesh> hull{buildConvexHullDFmesh(cloud.data(), n)}) checkHull(*hull, &cloud);

    ZYLmesh source;
    source.numVertices = n;
    source.vertices = new Qmt::QmtVector3[n ? n : 1];
    std::copy(cloud.begin(), cloud.end(), source.vertices);
    if (const std::unique_ptr<ZYLmesh> hull{buildReducedHullMesh(&source, bound)}) {
        checkHull(*hull, n <= bound ? &cloud : nullptr);
    }
    ZYL_DFmesh dfSource;
    dfSource.numVertices = n;
    dfSource.vertices = source.vertices;
    source.vertices = nullptr;
    if (const std::unique_ptr<ZYLmesh> hull{buildReducedHullMeshDF(&dfSource, bound)}) {
        checkHull(*hull, n <= bound ? &cloud : nullptr);
    }
    return 0;
}
