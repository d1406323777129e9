#pragma once

#include <vector>

#include "host/api/arrays.h"
#include "host/api/object.h"
#include "host/api/status.h"

// A set of mesh components (faces, edges or vertices) by index.
class MFnSingleIndexedComponent {
public:
    MFnSingleIndexedComponent() = default;
    explicit MFnSingleIndexedComponent(const MObject& component, MStatus* status = nullptr);
    MStatus setObject(const MObject& component);
    MObject create(MFn::Type type, MStatus* status = nullptr);
    MStatus addElement(int index);
    MStatus addElements(const MIntArray& indices);
    MStatus getElements(MIntArray& indices) const;
    int element(int i, MStatus* status = nullptr) const;
    int elementCount(MStatus* status = nullptr) const;
    MFn::Type componentType() const;

private:
    MObject object_;
};

namespace host {
// The indices held by a component object (empty for anything else).
std::vector<int> componentIndices(const MObject& component);
MObject makeComponent(MFn::Type type, std::vector<int> indices);
}  // namespace host
