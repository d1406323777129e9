#pragma once

#include "host/api/object.h"
#include "host/api/status.h"

// A list of component objects, as a data object (values of component-list attributes).
class MFnComponentListData {
public:
    MFnComponentListData() = default;
    explicit MFnComponentListData(const MObject& data, MStatus* status = nullptr);
    MStatus setObject(const MObject& data);
    MObject create(MStatus* status = nullptr);
    MStatus add(const MObject& component);
    MStatus clear();
    unsigned length(MStatus* status = nullptr) const;
    // The i-th component; null when out of range.
    MObject operator[](unsigned index) const;

private:
    MObject object_;
};
