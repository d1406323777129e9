#include "host/api/fnMatrixData.h"

#include "host/scene/meshShape.h"

MFnMatrixData::MFnMatrixData(const MObject& data, MStatus* status) {
    const bool ok = data.hasFn(MFn::kMatrixData);
    if (ok) data_ = data;
    if (status) *status = ok ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "not matrix data");
}

MObject MFnMatrixData::create(const MMatrix& m, MStatus* status) {
    data_ = MObject::fromData(std::make_shared<host::MatrixData>(m));
    if (status) *status = MS::kSuccess;
    return data_;
}

MMatrix MFnMatrixData::matrix(MStatus* status) const {
    const bool ok = data_.hasFn(MFn::kMatrixData);
    if (status) *status = ok ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "not matrix data");
    return ok ? static_cast<const host::MatrixData&>(*data_.data()).matrix : MMatrix();
}
