#include "host/scene/duplicate.h"

#include <map>

#include "host/core/runtime.h"
#include "host/scene/dag.h"

namespace host::dag {

namespace {

using AttributeMap = std::map<const Attribute*, Attribute*>;

bool ownedByNode(const Attribute* a) {
    while (a->parent) a = a->parent;
    return a->dynamic;
}

// A dynamic attribute owned by one node: the copy gets its own tree.
AttributePtr cloneAttribute(const Attribute& a, Attribute* parent, AttributeMap& map) {
    auto c = std::make_shared<Attribute>(a);
    c->parent = parent;
    c->children.clear();
    for (const auto& child : a.children) c->children.push_back(cloneAttribute(*child, c.get(), map));
    map[&a] = c.get();
    return c;
}

// Dynamic attributes first, then the stored values of every attribute (outputs
// recompute in the copy; connections are not copied).
void copyAttributes(const Node& from, Node& to) {
    Scene& scene = runtime().scene;
    AttributeMap map;
    for (const auto& a : from.dynamicAttributes) {
        if (scene.findAttribute(to, a->longName)) continue;  // the copy's type already has one of that name
        AttributeMap tree;
        const AttributePtr copy = cloneAttribute(*a, nullptr, tree);
        if (scene.addDynamicAttribute(to, copy)) map.insert(tree.begin(), tree.end());
    }
    for (auto& [old, copy] : map)
        for (auto& target : copy->affects)
            if (const auto it = map.find(target); it != map.end()) target = it->second;
    for (const auto& [key, slot] : from.slots) {
        const Attribute* a = key.attr;
        if (ownedByNode(a)) {
            const auto it = map.find(a);
            if (it == map.end()) continue;
            a = it->second;
        } else if (!scene.hasAttribute(to, a)) {
            continue;
        }
        const Attribute* stored = a->storage();
        if (!stored->storable || stored->isMessage()) continue;
        scene.store(to, a, key.index, slot.value);
        if (!slot.dirty) scene.markClean(to, a, key.index);
    }
}

class Copier {
public:
    std::uint64_t copyNode(std::uint64_t id, std::uint64_t parent, MStatus* status) {
        Scene& scene = runtime().scene;
        Node* from = scene.find(id);
        const auto made = createNode(*from->type, scene.uniqueName(from->name), parent, false, status);
        if (made.empty()) return 0;
        copyAttributes(*scene.find(id), *scene.find(made.back()));
        copies_[id] = made.back();
        return made.back();
    }
    // A node met again below the copied node is an instance there: the copy is
    // instanced the same way instead of copied twice.
    std::uint64_t copyTree(std::uint64_t id, std::uint64_t parent, MStatus* status) {
        if (const auto it = copies_.find(id); it != copies_.end()) {
            const MStatus st = addChild(parent, it->second);
            if (status) *status = st;
            return st ? it->second : 0;
        }
        const std::uint64_t top = copyNode(id, parent, status);
        if (!top) return 0;
        for (const std::uint64_t c : std::vector<std::uint64_t>(runtime().scene.find(id)->children))
            if (!copyTree(c, top, status)) return 0;
        return top;
    }

    // Instances in the copy come in the order of the original's.
    void orderParents() const {
        Scene& scene = runtime().scene;
        for (const auto& [original, copy] : copies_) {
            const Node* o = scene.find(original);
            Node* c = scene.find(copy);
            if (!o || !c || c->parents.size() < 2) continue;
            std::vector<std::uint64_t> ordered;
            for (const auto p : o->parents)
                if (const auto it = copies_.find(p); it != copies_.end()) ordered.push_back(it->second);
            if (ordered.size() == c->parents.size()) c->parents = std::move(ordered);
        }
    }

private:
    std::map<std::uint64_t, std::uint64_t> copies_;  // original -> copy
};

}  // namespace

std::uint64_t duplicate(std::uint64_t node, MStatus* status) {
    Node* n = runtime().scene.find(node);
    if (!n || !isDagNode(node)) {
        if (status) *status = MStatus(MS::kInvalidParameter, "not a DAG node");
        return 0;
    }
    MStatus st;
    std::uint64_t top = 0;
    Copier copier;
    if (isShapeType(*n->type) && !n->parents.empty()) {
        // A shape comes with a copy of its (first) transform, as the first child of it.
        top = copier.copyNode(n->parents.front(), 0, &st);
        if (top && !copier.copyNode(node, top, &st)) top = 0;
    } else {
        top = copier.copyTree(node, 0, &st);
        copier.orderParents();
    }
    if (status) *status = top ? MStatus(MS::kSuccess) : (st ? MStatus(MS::kFailure, "duplicate failed") : st);
    return top;
}

}  // namespace host::dag
