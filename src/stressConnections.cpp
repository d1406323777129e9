#include "src/stressConnections.h"

#include <algorithm>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "host/api/arrays.h"
#include "host/api/plug.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/stressNode.h"

StressConnections::StressConnections(const FractureBodyNode& node) {
    MPlugArray ends;
    MPlug(node.thisMObject(), FractureBodyNode::stresses).connectedTo(ends, false, true);
    const std::uint32_t n = ends.length();
    ends_.resize(n, nullptr);
    live_.assign(n, 1);
    tree_.assign(n + 1, 0);
    for (std::uint32_t i = 1; i <= n; ++i) {
        tree_[i] = i & (~i + 1);  // every position live
    }
    for (std::uint32_t p = 0; p < n; ++p) {
        auto* stress = userNodeAs<SceneStress>(ends[p].node(), SceneStress::id);
        ends_[p] = stress;
        if (!stress) continue;
        positions_[stress].push_back(p);
        const DynamicStress* joint = stress->getJoint();
        if (!joint) continue;
        byJoint_.try_emplace(joint, p);
        for (const HardBody* end : {static_cast<const HardBody*>(joint->getCNode()),
                                    static_cast<const HardBody*>(joint->getPNode())}) {
            std::vector<std::uint32_t>& on = byBody_[end];
            if (on.empty() || on.back() != p) on.push_back(p);
        }
    }
}

SceneStress* StressConnections::holding(const DynamicStress* joint) const {
    const auto it = byJoint_.find(joint);
    if (it == byJoint_.end()) return nullptr;
    // The first holder may have left since: the next one in order holds it now.
    for (std::uint32_t p = it->second; p < ends_.size(); ++p)
        if (live_[p] && ends_[p] && ends_[p]->getJoint() == joint) return ends_[p];
    return nullptr;
}

std::vector<SceneStress*> StressConnections::touching(const HardBody* body) const {
    std::vector<SceneStress*> out;
    const auto it = byBody_.find(body);
    if (it == byBody_.end()) return out;
    for (const std::uint32_t p : it->second) {
        SceneStress* stress = ends_[p];
        const DynamicStress* joint = live_[p] ? stress->getJoint() : nullptr;
        const bool touches = joint && (joint->getCNode() == body || joint->getPNode() == body);
        if (touches && std::ranges::find(out, stress) == out.end()) out.push_back(stress);
    }
    return out;
}

std::vector<SceneStress*> StressConnections::holdingAny(const std::vector<DynamicStress*>& joints) const {
    // A node holds a joint it held when the connections were read: the joint's ends list it.
    std::vector<std::uint32_t> candidates;
    for (const DynamicStress* joint : joints)
        for (const HardBody* end : {static_cast<const HardBody*>(joint->getCNode()),
                                    static_cast<const HardBody*>(joint->getPNode())})
            if (const auto it = byBody_.find(end); it != byBody_.end())
                candidates.insert(candidates.end(), it->second.begin(), it->second.end());
    std::ranges::sort(candidates);
    const auto [last, end] = std::ranges::unique(candidates);
    candidates.erase(last, end);
    std::vector<SceneStress*> out;
    for (const std::uint32_t p : candidates) {
        SceneStress* stress = ends_[p];
        const DynamicStress* joint = live_[p] ? stress->getJoint() : nullptr;
        if (joint && std::ranges::find(joints, joint) != joints.end() && std::ranges::find(out, stress) == out.end())
            out.push_back(stress);
    }
    return out;
}

void StressConnections::released(const SceneStress* stress) {
    const auto it = positions_.find(stress);
    if (it == positions_.end()) return;
    for (const std::uint32_t p : it->second) {
        if (!live_[p]) continue;
        live_[p] = 0;
        for (std::uint32_t i = p + 1; i < tree_.size(); i += i & (~i + 1)) --tree_[i];
    }
}

std::uint32_t StressConnections::liveBefore(std::uint32_t p) const {
    std::uint32_t sum = 0;
    for (std::uint32_t i = p; i > 0; i -= i & (~i + 1)) sum += tree_[i];
    return sum;
}

void StressConnections::numberLeaving(const SceneStress* stress) const {
    DynamicStress* joint = stress ? stress->getJoint() : nullptr;
    const auto it = positions_.find(stress);
    if (!renumberDue_ || !joint || it == positions_.end()) return;
    // A node linked twice was numbered last at its later position.
    for (auto p = it->second.rbegin(); p != it->second.rend(); ++p)
        if (live_[*p]) {
            joint->setIndex(liveBefore(*p));
            return;
        }
}

void StressConnections::renumber() {
    if (!renumberDue_) return;
    std::uint32_t position = 0;
    for (std::uint32_t p = 0; p < ends_.size(); ++p) {
        if (!live_[p]) continue;
        if (DynamicStress* joint = ends_[p] ? ends_[p]->getJoint() : nullptr) joint->setIndex(position);
        ++position;
    }
    renumberDue_ = false;
}
