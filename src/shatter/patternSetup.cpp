#include "src/shatter/patternSetup.h"

#include "host/api/global.h"
#include "src/sceneUtils.h"

double patternWidth(double width) {
    constexpr double kMinimum = 0.01f;
    return width > kMinimum ? width : kMinimum;
}

bool findPathCurve(const MSelectionList& list, MFnNurbsCurve& curve) {
    MItSelectionList curves(list, MFn::kNurbsCurve);
    if (curves.isDone()) return false;
    MDagPath path;
    curves.getDagPath(path);
    return static_cast<bool>(curve.setObject(path));
}

std::vector<Qmt::QmtVector3> samplePathForPattern(const MFnNurbsCurve& curve, zyl_shatter_params& params) {
    const int count = 4 * curve.numCVs();
    std::vector<Qmt::QmtVector3> samples(count > 0 ? count : 0);
    if (sampleCurvePoints(curve, samples.data(), count)) {
        params.samples = samples.data();
        params.numSamples = static_cast<std::uint32_t>(samples.size());
    }
    return samples;
}

void limitPointsPerRing(zyl_shatter_params& params, unsigned count) {
    if (params.maxRings == 0) return;
    if (static_cast<int>(count) / params.maxRings > 300) {
        params.maxRings = static_cast<int>(count / 300);
        MGlobal::displayWarning("number of rings increased to prevent from too little fragments in dynamics");
    }
}
