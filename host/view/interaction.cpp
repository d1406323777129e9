#include "host/view/interaction.h"

#include <algorithm>

#include "host/core/runtime.h"

namespace host::view {

namespace {

MSelectionMask defaultObjectMask() {
    MSelectionMask m(MSelectionMask::kSelectTransforms);
    for (const auto t : {MSelectionMask::kSelectMeshes, MSelectionMask::kSelectNurbsCurves, MSelectionMask::kSelectLocators})
        m.addMask(t);
    return m;
}

MSelectionMask defaultComponentMask() {
    MSelectionMask m(MSelectionMask::kSelectMeshVerts);
    m.addMask(MSelectionMask::kSelectMeshEdges);
    m.addMask(MSelectionMask::kSelectMeshFaces);
    return m;
}

void nodeRemoved(MObject& node, void*) { interaction().nodeGone(node.id()); }

}  // namespace

Interaction& interaction() { return runtime().interaction(); }

Interaction::Interaction() : objectMask(defaultObjectMask()), componentMask(defaultComponentMask()) {}

// The runtime clears this before it goes; nothing module-made is left here then.
Interaction::~Interaction() = default;

void Interaction::destroyModule(std::uint64_t module) {
    for (std::size_t i = contexts_.size(); i-- > 0;)
        if (i < contexts_.size() && contexts_[i].module == module) destroyContext(i);
    std::erase_if(commands_, [&](const ContextCommandEntry& c) { return c.module == module; });
    for (std::size_t i = shown_.size(); i-- > 0;)
        if (i < shown_.size() && shown_[i].module == module) destroyShown(i);
    std::erase_if(connectTable_, [&](const auto& e) { return e.second == module; });
}

void Interaction::destroyContainersOfType(const NodeType* type) {
    for (std::size_t i = shown_.size(); i-- > 0;)
        if (i < shown_.size() && shown_[i].type == type) destroyShown(i);
}

void Interaction::nodeGone(std::uint64_t node) {
    for (std::size_t i = shown_.size(); i-- > 0;)
        if (i < shown_.size() && shown_[i].node == node) destroyShown(i);
}

void Interaction::clear() {
    useTool("");
    while (!contexts_.empty()) destroyContext(contexts_.size() - 1);
    commands_.clear();
    hideManips();
    connectTable_.clear();
    triads_.clear();
    watchDeletions(false);
    selectionMode = MGlobal::kSelectObjectMode;
    objectMask = defaultObjectMask();
    componentMask = defaultComponentMask();
}

void Interaction::destroyContext(std::size_t index) {
    if (contexts_[index].name == current_) useTool("");
    // Out of the list first: the destructors are module code and may call back.
    ContextEntry entry = std::move(contexts_[index]);
    contexts_.erase(contexts_.begin() + static_cast<std::ptrdiff_t>(index));
    entry.context.reset();
    entry.maker.reset();
}

void Interaction::destroyShown(std::size_t index) {
    if (shown_[index].container.get() == busy_) {
        shown_[index].doomed = true;
        return;
    }
    Shown entry = std::move(shown_[index]);
    shown_.erase(shown_.begin() + static_cast<std::ptrdiff_t>(index));
    const MPxManipContainer* owner = entry.container.get();
    std::erase_if(triads_, [&](const Triad& t) { return t.owner == owner; });
    entry.container.reset();
    if (shown_.empty()) watchDeletions(false);
}

// A node-removed callback of the host's own, installed while containers are shown.
void Interaction::watchDeletions(bool on) {
    MessageHub& hub = runtime().messages;
    if (on && !hub.contains(removedCallback_)) {
        CallbackEntry e;
        e.kind = CallbackKind::NodeRemoved;
        e.name = "dependNode";
        e.node = nodeRemoved;
        removedCallback_ = hub.add(e);
    } else if (!on && removedCallback_) {
        hub.remove(removedCallback_);
        removedCallback_ = 0;
    }
}

}  // namespace host::view
