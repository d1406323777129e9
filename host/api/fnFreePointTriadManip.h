#pragma once

#include <cstdint>

#include "host/api/dagPath.h"
#include "host/api/matrix.h"
#include "host/api/plug.h"
#include "host/api/status.h"

// A free-point triad manipulator of a shown container: a point the user drags,
// optionally connected to a three-number plug that each move writes.
class MFnFreePointTriadManip {
public:
    MFnFreePointTriadManip() = default;
    explicit MFnFreePointTriadManip(const MDagPath& manip, MStatus* status = nullptr);
    explicit MFnFreePointTriadManip(const MObject& manip, MStatus* status = nullptr);

    MStatus setObject(const MDagPath& manip);
    MStatus setObject(const MObject& manip);

    // The plug needs three numeric children (a double3 or float3 plug, or an element of one).
    MStatus connectToPointPlug(const MPlug& pointPlug);
    MStatus setPoint(const MPoint& point);
    MPoint point(MStatus* status = nullptr) const;
    MStatus setVisible(bool visible);
    bool isVisible(MStatus* status = nullptr) const;
    MStatus show() { return setVisible(true); }
    MStatus hide() { return setVisible(false); }

private:
    std::uint64_t id_ = 0;
};
