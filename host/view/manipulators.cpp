// The manipulator connect table, shown containers and their triads.

#include <algorithm>

#include "host/core/runtime.h"
#include "host/view/interaction.h"

namespace host::view {

namespace {

// Triad ids live far above any scene node id, so a triad's path never names a node.
constexpr std::uint64_t kTriadIdBase = std::uint64_t(1) << 62;

}  // namespace

void Interaction::addConnectable(const MTypeId& nodeType, std::uint64_t module) {
    removeConnectable(nodeType);
    connectTable_.emplace_back(nodeType, module);
}

bool Interaction::removeConnectable(const MTypeId& nodeType) {
    return std::erase_if(connectTable_, [&](const auto& e) { return e.first == nodeType; }) != 0;
}

MStatus Interaction::showManip(std::uint64_t node) {
    Runtime& rt = runtime();
    const Node* n = rt.scene.find(node);
    if (!n) return MStatus(MS::kInvalidParameter, "No such node.");
    const bool listed = std::any_of(connectTable_.begin(), connectTable_.end(),
                                    [&](const auto& e) { return e.first == n->type->id; });
    const NodeType* type = listed ? rt.registry.findType(n->type->name + "Manip") : nullptr;
    if (!type || type->pxType != MPxNode::kManipContainer || !type->creator)
        return MStatus(MS::kFailure, "No manipulator for node type '" + n->type->name + "'.");
    hideManips();
    auto* container = static_cast<MPxManipContainer*>(type->creator());
    if (!container) return MStatus(MS::kFailure, "Cannot create manipulator '" + type->name + "'.");
    Shown shown;
    shown.container.reset(container);
    shown.type = type;
    shown.module = type->module;
    shown.node = node;
    shown_.push_back(std::move(shown));
    watchDeletions(true);
    busy_ = container;
    MStatus st = container->createChildren();
    if (st) st = container->connectToDependNode(MObject::fromNode(node));
    busy_ = nullptr;
    if (!st || doomed(container)) {
        destroy(container);
        return st ? MStatus(MS::kFailure, "The node went while its manipulator was made.")
                  : MStatus(MS::kFailure, "Manipulator '" + type->name + "' did not connect: " + st.errorString().str());
    }
    return MS::kSuccess;
}

void Interaction::hideManips() {
    for (std::size_t i = shown_.size(); i-- > 0;)
        if (i < shown_.size()) destroyShown(i);
}

MStatus Interaction::dragManip(unsigned index, const MPoint& point) {
    if (shown_.empty()) return MStatus(MS::kFailure, "No manipulator is shown.");
    MPxManipContainer* container = shown_.back().container.get();
    const auto triads = triadsOf(container);
    if (index >= triads.size()) return MStatus(MS::kInvalidParameter, "No triad " + std::to_string(index) + ".");
    Triad* t = triad(triads[index]->id);
    if (!t->visible) return MStatus(MS::kFailure, "Triad " + std::to_string(index) + " is hidden.");
    t->point = point;
    const MPlug plug = t->plug;
    // Written through the plug: what depends on it is dirty before the release pulls it.
    for (unsigned k = 0; k < 3 && !plug.isNull(); ++k)
        if (MStatus st = plug.child(k).setValue(point[k]); !st) return st;
    busy_ = container;
    const MStatus st = container->doRelease();
    busy_ = nullptr;
    if (doomed(container)) destroy(container);
    return st;
}

std::vector<MPxManipContainer*> Interaction::shownContainers() const {
    std::vector<MPxManipContainer*> out;
    for (const auto& s : shown_)
        if (!s.doomed) out.push_back(s.container.get());
    return out;
}

std::uint64_t Interaction::addTriad(const MPxManipContainer* owner, const std::string& name,
                                    const std::string& pointName) {
    Triad t;
    t.id = kTriadIdBase + ++nextTriad_;
    t.owner = owner;
    t.name = name;
    t.pointName = pointName;
    triads_.push_back(t);
    return t.id;
}

Triad* Interaction::triad(std::uint64_t id) {
    const auto it = std::find_if(triads_.begin(), triads_.end(), [&](const Triad& t) { return t.id == id; });
    return it == triads_.end() ? nullptr : &*it;
}

std::vector<const Triad*> Interaction::triadsOf(const MPxManipContainer* owner) const {
    std::vector<const Triad*> out;
    for (const auto& t : triads_)
        if (t.owner == owner) out.push_back(&t);
    return out;
}

bool Interaction::doomed(const MPxManipContainer* container) const {
    return std::any_of(shown_.begin(), shown_.end(),
                       [&](const Shown& s) { return s.container.get() == container && s.doomed; });
}

void Interaction::destroy(const MPxManipContainer* container) {
    for (std::size_t i = 0; i < shown_.size(); ++i)
        if (shown_[i].container.get() == container) return destroyShown(i);
}

}  // namespace host::view
