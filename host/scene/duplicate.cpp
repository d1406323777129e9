#include "host/scene/duplicate.h"

#include <algorithm>

#include "host/core/runtime.h"
#include "host/scene/dag.h"

namespace host::dag {

namespace {

// Stored values of the type's own attributes (outputs recompute in the copy).
void copyValues(const Node& from, Node& to) {
    Scene& scene = runtime().scene;
    for (const auto& [key, slot] : from.slots) {
        const Attribute* a = key.attr->storage();
        if (!a->storable || a->isMessage() || !scene.hasAttribute(to, key.attr)) continue;
        if (std::find_if(from.dynamicAttributes.begin(), from.dynamicAttributes.end(),
                         [&](const AttributePtr& d) { return d.get() == a; }) != from.dynamicAttributes.end())
            continue;
        scene.store(to, key.attr, key.index, slot.value);
        if (!slot.dirty) scene.markClean(to, key.attr, key.index);
    }
}

std::uint64_t copyNode(std::uint64_t id, std::uint64_t parent, MStatus* status) {
    Scene& scene = runtime().scene;
    Node* from = scene.find(id);
    const std::string name = scene.uniqueName(from->name);
    const auto made = createNode(*from->type, name, parent, false, status);
    if (made.empty()) return 0;
    Node* to = scene.find(made.back());
    copyValues(*from, *to);
    return made.back();
}

std::uint64_t copyTree(std::uint64_t id, std::uint64_t parent, MStatus* status) {
    const std::uint64_t top = copyNode(id, parent, status);
    if (!top) return 0;
    for (const std::uint64_t c : std::vector<std::uint64_t>(runtime().scene.find(id)->children))
        if (!copyTree(c, top, status)) return 0;
    return top;
}

}  // namespace

std::uint64_t duplicate(std::uint64_t node, MStatus* status) {
    Node* n = runtime().scene.find(node);
    if (!n || !isDagNode(node)) {
        if (status) *status = MStatus(MS::kInvalidParameter, "not a DAG node");
        return 0;
    }
    MStatus st;
    std::uint64_t top = 0;
    if (isShapeType(*n->type) && !n->parents.empty()) {
        // A shape comes with a copy of its transform, as the first child of it.
        top = copyNode(n->parents.front(), 0, &st);
        if (top && !copyNode(node, top, &st)) top = 0;
    } else {
        top = copyTree(node, 0, &st);
    }
    if (status) *status = top ? MStatus(MS::kSuccess) : (st ? MStatus(MS::kFailure, "duplicate failed") : st);
    return top;
}

}  // namespace host::dag
