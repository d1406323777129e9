#pragma once

#include <cstdint>
#include <memory>

#include "host/api/matrix.h"
#include "host/api/status.h"
#include "host/scene/meshGeometry.h"

namespace host {

class MatrixData : public DataObject {
public:
    explicit MatrixData(const MMatrix& m = MMatrix()) : matrix(m) {}
    MFn::Type kind() const override { return MFn::kMatrixData; }
    std::shared_ptr<DataObject> clone() const override { return std::make_shared<MatrixData>(*this); }
    MMatrix matrix;
};

// A mesh shape's own geometry ("outMesh"), or null.
std::shared_ptr<MeshData> shapeMeshData(std::uint64_t shape);
// Whether any "pnts" tweak is stored.
bool hasTweaks(std::uint64_t shape);
// Its geometry with the "pnts" tweaks applied, in object space.
MeshGeometry tweakedGeometry(std::uint64_t shape);
// Points by the matrix, locked normals by its inverse transpose (renormalised).
void transformGeometry(MeshGeometry& mesh, const MMatrix& m);
// Stores geometry on a shape: "outMesh" without history, tweaks with history.
MStatus setShapeGeometry(std::uint64_t shape, const MeshGeometry& mesh);

}  // namespace host
