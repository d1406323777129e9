#include "src/fractureBodyLinks.h"

#include <algorithm>

#include "host/api/dgModifier.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/stressNode.h"

namespace {

// The nodes come back on `ours` in the given order: those it still feeds are cut first.
// A node gone, or fed by another node by now, is left alone.
void relink(MDGModifier& mod, const MPlug& ours, const MObject& theirs, const std::vector<MObject>& nodes,
            std::vector<MObject>& back) {
    for (const MObject& node : nodes) {
        if (node.isNull()) continue;
        const MPlug link(node, theirs);
        const MPlug from = firstConnectedPlug(link, ConnectionSide::source);
        if (!from.isNull() && from.node() != ours.node()) continue;
        if (!from.isNull()) mod.disconnect(from, link);
        back.push_back(node);
    }
    for (const MObject& node : back) mod.connect(ours, MPlug(node, theirs));
}

}  // namespace

FractureBodyLinks::FractureBodyLinks(const FractureBodyNode& node)
    : node_(node.thisMObject()), mass_(MPlug(node_, FractureBodyNode::mass).asDouble()) {
    constexpr auto side = ConnectionSide::destination;
    for (const MObject& member : connectedNodes(MPlug(node_, FractureBodyNode::rigidBodies), side))
        if (hasTypeId(member, rigidBodyNode::id)) members_.push_back(member);
    for (const MObject& stress : connectedNodes(MPlug(node_, FractureBodyNode::stresses), side)) {
        if (!hasTypeId(stress, SceneStress::id)) continue;
        const auto at = [&](const MObject& attr) { return MPlug(stress, attr); };
        stresses_.push_back({stress, at(SceneStress::forceStrenght).asDouble(), at(SceneStress::breakEnergy).asDouble(),
                             at(SceneStress::frameToBreak).asInt(), at(SceneStress::enabled).asBool(),
                             at(SceneStress::torsion).asBool(), at(SceneStress::breakByForce).asBool(),
                             at(SceneStress::breakByFrame).asBool()});
    }
}

void FractureBodyLinks::restore(const MTime& t) const {
    auto* fb = userNodeAs<FractureBodyNode>(node_, FractureBodyNode::id);
    if (!fb) return;
    MDGModifier mod;
    std::vector<MObject> members, stresses;
    relink(mod, MPlug(node_, FractureBodyNode::rigidBodies), rigidBodyNode::fracture, members_, members);
    std::vector<MObject> recorded;
    for (const Stress& s : stresses_) recorded.push_back(s.node);
    relink(mod, MPlug(node_, FractureBodyNode::stresses), SceneStress::fracture, recorded, stresses);
    mod.doIt();

    for (const Stress& s : stresses_) {
        if (std::ranges::find(stresses, s.node) == stresses.end()) continue;
        const auto at = [&](const MObject& attr) { return MPlug(s.node, attr); };
        at(SceneStress::forceStrenght).setValue(s.forceStrenght);
        at(SceneStress::breakEnergy).setValue(s.breakEnergy);
        at(SceneStress::frameToBreak).setValue(s.frameToBreak);
        at(SceneStress::enabled).setValue(s.enabled);
        at(SceneStress::torsion).setValue(s.torsion);
        at(SceneStress::breakByForce).setValue(s.breakByForce);
        at(SceneStress::breakByFrame).setValue(s.breakByFrame);
    }
    MPlug(node_, FractureBodyNode::mass).setValue(mass_);
    fb->rebuildFromScene(t, false);
    fb->createColorSets();
}
