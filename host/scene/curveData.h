#pragma once

#include <array>
#include <memory>
#include <vector>

#include "host/core/value.h"

namespace host {

// A non-rational NURBS curve with clamped uniform knots (CVs + degree − 1 of
// them, the host's convention): the parameter runs over [0, CVs − degree].
struct CurveGeometry {
    int degree = 3;
    std::vector<std::array<double, 3>> cvs;
    std::vector<double> knots;

    static CurveGeometry clampedUniform(std::vector<std::array<double, 3>> cvs, int degree);
    double domainStart() const { return knots.empty() ? 0 : knots.front(); }
    double domainEnd() const { return knots.empty() ? 0 : knots.back(); }
    std::array<double, 3> point(double t) const;
};

class CurveData : public DataObject {
public:
    MFn::Type kind() const override { return MFn::kNurbsCurveData; }
    std::shared_ptr<DataObject> clone() const override { return std::make_shared<CurveData>(*this); }
    CurveGeometry geometry;
};

}  // namespace host
