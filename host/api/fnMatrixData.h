#pragma once

#include "host/api/matrix.h"
#include "host/api/object.h"
#include "host/api/status.h"

// A matrix value, as "worldMatrix[i]" and other matrix plugs hold it.
class MFnMatrixData {
public:
    MFnMatrixData() = default;
    explicit MFnMatrixData(const MObject& data, MStatus* status = nullptr);
    MObject create(const MMatrix& m, MStatus* status = nullptr);
    MMatrix matrix(MStatus* status = nullptr) const;

private:
    MObject data_;
};
