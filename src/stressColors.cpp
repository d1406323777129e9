// Stress colouring: each member mesh shows, per vertex, the strength of its nearest
// joint against the fracture body's threshold.

#include "src/stressColors.h"

#include <algorithm>
#include <cfloat>
#include <vector>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "host/api/dagPath.h"
#include "host/api/fnMesh.h"
#include "src/clusterNode.h"
#include "src/collisionShapeNode.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"

namespace {

const MString kColorSet = "colorStresses";
// The hue of the ramp: blue.
constexpr double kHue = 0.666667;
// Below this a break energy counts as none.
constexpr double kNoEnergy = 1e-5;

struct JointSample {
    Qmt::QmtVector3 anchor;
    double strength;
    double energy;
};

// The joints tying the body: a joint that breaks by force has its tolerance as strength,
// any other cannot break by force at all.
std::vector<JointSample> jointSamples(PrivateHardBody& body) {
    std::vector<JointSample> samples;
    for (DynamicStress* joint = body.getFirstJoint(); joint; joint = body.getNextJoint()) {
        JointSample sample{};
        joint->getAnchorState(sample.anchor);
        sample.strength = joint->isBreakableByForce() ? joint->get_break_tolerance() : FLT_MAX;
        sample.energy = joint->getBreakEnergy();
        samples.push_back(sample);
    }
    return samples;
}

// The nearest sample to p; the earlier one on equal distances.
const JointSample& nearest(const std::vector<JointSample>& samples, const Qmt::QmtVector3& p) {
    const JointSample* best = &samples.front();
    double bestDistance = (best->anchor - p).SquaredLength();
    for (const JointSample& sample : samples) {
        const double d = (sample.anchor - p).SquaredLength();
        if (d < bestDistance) {
            bestDistance = d;
            best = &sample;
        }
    }
    return *best;
}

}  // namespace

MColor hsvToRgb(double h, double s, double v) {
    const float hf = static_cast<float>(h) * 360.0f / 60.0f;
    const int sector = static_cast<int>(hf) % 6;
    const float f = hf - static_cast<float>(sector);
    const float sf = static_cast<float>(s);
    const float vf = static_cast<float>(v);
    const float p = (1.0f - sf) * vf;
    const float q = (1.0f - f * sf) * vf;
    const float t = (1.0f - (1.0f - f) * sf) * vf;
    switch (sector) {
        case 0: return {vf, t, p};
        case 1: return {q, vf, p};
        case 2: return {p, vf, t};
        case 3: return {p, q, vf};
        case 4: return {t, p, vf};
        default: return {vf, p, q};
    }
}

void FractureBodyNode::colorStresses(const MObject& member, short mode) {
    auto* rb = userNodeAs<rigidBodyNode>(member, zylTypes::kRigidBody);
    if (!rb) return;
    const double threshold = getStressThreshold();
    HardBody* const body = rb->getBody(true);
    if (!body) return;
    const MObject mesh = memberMesh(*rb);
    MDagPath path;
    if (mesh.isNull() || !MDagPath::getAPathTo(mesh, path)) return;
    MFnMesh fn(path);
    if (!fn.setCurrentColorSetName(kColorSet)) return;

    MPointArray points;
    fn.getPoints(points, MSpace::kWorld);
    MColorArray colors;
    MIntArray vertices;
    if (body->isStatic()) {
        for (unsigned i = 0; i < points.length(); ++i) {
            colors.append(MColor(0.0f, 0.0f, 0.0f, 1.0f));
            vertices.append(static_cast<int>(i));
        }
    } else {
        auto* fragment = dynamic_cast<PrivateHardBody*>(body);
        if (!fragment) return;
        const std::vector<JointSample> samples = jointSamples(*fragment);
        if (samples.empty()) return;
        for (unsigned i = 0; i < points.length(); ++i) {
            const JointSample& k = nearest(samples, Qmt::QmtVector3(points[i].x, points[i].y, points[i].z));
            // Weaker than the threshold fades to white, stronger darkens to black.
            double saturation = 1.0;
            double value = 1.0;
            if (threshold > k.strength)
                saturation = k.strength / threshold;
            else if (k.strength > threshold)
                value = threshold / k.strength;
            MColor color = hsvToRgb(kHue, saturation, value);
            if (k.energy > kNoEnergy) color = MColor(std::min(color.b + 0.5f, 1.0f), 0.0f, 0.0f);
            if (mode > 0) {
                color.r = 0.0f;
                color.g = 0.75f;
            }
            colors.append(color);
            vertices.append(static_cast<int>(i));
        }
    }
    fn.setVertexColors(colors, vertices);
    fn.updateSurface();
}

void FractureBodyNode::recolorStresses() {
    for (rigidBodyNode* member : memberNodes()) colorStresses(member->thisMObject(), 0);
    for (clusterFractureNode* cluster : clusterNodes()) cluster->refreshStressColours();
}

void FractureBodyNode::recolorShownStresses() {
    if (plug(displayStressses).asBool()) recolorStresses();
}
