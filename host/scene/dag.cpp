#include "host/scene/dag.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "host/api/plug.h"
#include "host/core/runtime.h"
#include "host/scene/transformChannels.h"

namespace host::dag {

bool isDagNode(std::uint64_t id) {
    const Node* n = runtime().scene.find(id);
    return n && (MFn::isA(n->type->apiType, MFn::kDagNode) || n->type->pxType == 1);
}

namespace {

// The path up through every first parent to the world; false when one of them is gone.
// `single`: no node on it has another parent.
bool firstParentsPath(const Scene& scene, std::uint64_t id, Path& path, bool& single) {
    path.clear();
    path.reserve(8);
    single = true;
    for (const Node* at = scene.find(id); at; at = scene.find(at->parents.front())) {
        path.push_back(at->id);
        single = single && at->parents.size() <= 1;
        if (at->parents.empty()) {
            std::reverse(path.begin(), path.end());
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<Path> pathsTo(std::uint64_t id) {
    std::vector<Path> out;
    const Node* n = runtime().scene.find(id);
    if (!n) return out;
    // A chain of single parents up to the world has one path.
    if (n->parents.size() == 1) {
        Path chain;
        if (bool single = false; firstParentsPath(runtime().scene, id, chain, single) && single) {
            out.push_back(std::move(chain));
            return out;
        }
    }
    if (n->parents.empty()) return {Path{id}};
    for (const auto p : n->parents)
        for (Path path : pathsTo(p)) {
            path.push_back(id);
            out.push_back(std::move(path));
        }
    return out;
}

Path firstPathTo(std::uint64_t id) {
    Path path;
    if (bool single = false; firstParentsPath(runtime().scene, id, path, single)) return path;
    // A parent that is gone: the first path there is.
    auto all = pathsTo(id);
    return all.empty() ? Path{} : std::move(all.front());
}

unsigned instanceCount(std::uint64_t id) { return static_cast<unsigned>(pathsTo(id).size()); }

std::vector<std::uint64_t> roots() {
    std::vector<std::uint64_t> out;
    for (const auto id : runtime().scene.nodeIds())
        if (isDagNode(id) && runtime().scene.find(id)->parents.empty()) out.push_back(id);
    return out;
}

bool isAncestor(std::uint64_t ancestor, std::uint64_t node) {
    const Node* n = runtime().scene.find(node);
    if (!n) return false;
    for (const auto p : n->parents)
        if (p == ancestor || isAncestor(ancestor, p)) return true;
    return false;
}

MStatus addChild(std::uint64_t parent, std::uint64_t child) {
    Scene& scene = runtime().scene;
    Node* c = scene.find(child);
    if (!c || !isDagNode(child)) return MStatus(MS::kInvalidParameter, "not a DAG node");
    if (parent == 0) {
        if (!c->parents.empty()) return MStatus(MS::kInvalidParameter, "already has a parent");
        return MS::kSuccess;  // under the world: no link
    }
    Node* p = scene.find(parent);
    if (!p || !isDagNode(parent)) return MStatus(MS::kInvalidParameter, "not a DAG node");
    if (parent == child || isAncestor(child, parent)) return MStatus(MS::kInvalidParameter, "would make a cycle");
    if (std::find(c->parents.begin(), c->parents.end(), parent) != c->parents.end())
        return MStatus(MS::kInvalidParameter, "already a child");
    c->parents.push_back(parent);
    p->children.push_back(child);
    dirtyBelow(child);
    return MS::kSuccess;
}

MStatus removeChild(std::uint64_t parent, std::uint64_t child) {
    Scene& scene = runtime().scene;
    Node* c = scene.find(child);
    Node* p = scene.find(parent);
    if (!c || !p) return MStatus(MS::kInvalidParameter, "no such node");
    std::erase(c->parents, parent);
    std::erase(p->children, child);
    dirtyBelow(child);
    return MS::kSuccess;
}

namespace {

// Depth first, each node once: only a node with several parents can be reached twice.
void walkBelow(const Scene& scene, std::uint64_t id, std::vector<std::uint64_t>& out,
               std::unordered_set<std::uint64_t>& instanced) {
    const Node* node = scene.find(id);
    if (!node) return;
    for (const auto c : node->children) {
        const Node* child = scene.find(c);
        if (child && child->parents.size() > 1 && !instanced.insert(c).second) continue;
        out.push_back(c);
        walkBelow(scene, c, out, instanced);
    }
}

}  // namespace

std::vector<std::uint64_t> descendants(std::uint64_t id) {
    std::vector<std::uint64_t> out;
    std::unordered_set<std::uint64_t> instanced;
    walkBelow(runtime().scene, id, out, instanced);
    return out;
}

MMatrix localMatrix(std::uint64_t id, const MDGContext& ctx) {
    if (!hasChannels(id)) return MMatrix();
    return readChannels(id, ctx).asMatrix();
}

MMatrix pathMatrix(const Path& path, std::size_t count, const MDGContext& ctx) {
    MMatrix m;
    for (std::size_t i = std::min(count, path.size()); i-- > 0;) m = m * localMatrix(path[i], ctx);
    return m;
}

bool hidden(const Path& path) {
    Scene& scene = runtime().scene;
    for (const auto id : path) {
        Node* n = scene.find(id);
        if (!n) return true;
        if (const Attribute* v = scene.findAttribute(*n, "visibility"))
            if (valueAsInt(scene.read(PlugKey{id, scene.attributePtr(*n, v), -1})) == 0) return true;
    }
    return false;
}

bool isIntermediate(std::uint64_t id) {
    Scene& scene = runtime().scene;
    Node* n = scene.find(id);
    if (!n) return false;
    const Attribute* a = scene.findAttribute(*n, "intermediateObject");
    return a && valueAsInt(scene.read(PlugKey{id, scene.attributePtr(*n, a), -1})) != 0;
}

void dirtyBelow(std::uint64_t id) {
    Scene& scene = runtime().scene;
    const Node* top = scene.find(id);
    if (!top) return;
    std::vector<std::uint64_t> nodes;
    nodes.reserve(8);
    if (!top->children.empty()) {
        std::unordered_set<std::uint64_t> instanced;
        walkBelow(scene, id, nodes, instanced);
    }
    nodes.push_back(id);
    static constexpr std::string_view kNames[] = {"worldMesh", "worldSpace", "worldMatrix"};
    for (const auto d : nodes) {
        const Node* n = scene.find(d);
        if (!n) continue;
        const auto outputs = n->type->worldOutputs();
        const bool own = !n->dynamicAttributes.empty();
        for (std::size_t k = 0; k < outputs.size(); ++k) {
            // A node's own attributes may only add a name its type lacks.
            const Attribute* a = outputs[k];
            if (!a && own && (n = scene.find(d))) a = scene.findAttribute(*n, kNames[k]);
            if (a) scene.dirtyElements(d, a);
        }
    }
}

bool isShapeType(const NodeType& type) { return MFn::isA(type.apiType, MFn::kShape) || type.pxType == 1; }

std::vector<std::uint64_t> createNode(NodeType& type, const std::string& name, std::uint64_t parent, bool limbo,
                                      MStatus* status) {
    Scene& scene = runtime().scene;
    auto fail = [&](MStatus st) {
        if (status) *status = st;
        return std::vector<std::uint64_t>{};
    };
    const bool dagType = MFn::isA(type.apiType, MFn::kDagNode) || type.pxType == 1;
    if (parent && (!dagType || !scene.find(parent) || !isDagNode(parent)))
        return fail(MStatus(MS::kInvalidParameter, "invalid parent"));
    std::vector<std::uint64_t> made;
    MStatus st;
    if (dagType && !parent && isShapeType(type)) {
        NodeType* transform = runtime().registry.findType("transform");
        // The lowest number free for both the transform and the shape.
        std::uint64_t n = scene.freeNumber(type.name, 1);
        for (std::uint64_t m; (m = scene.freeNumber(type.name + "Shape", n)) != n;) n = scene.freeNumber(type.name, m);
        const std::string suffix = std::to_string(n);
        parent = scene.createNode(*transform, type.name + suffix, true, &st);
        if (!st) return fail(st);
        made.push_back(parent);
        const std::uint64_t shape =
            scene.createNode(type, name.empty() ? type.name + "Shape" + suffix : name, true, &st);
        if (!st) {
            scene.destroyLimbo(parent);
            return fail(st);
        }
        made.push_back(shape);
    } else {
        const std::uint64_t id = scene.createNode(type, name, true, &st);
        if (!st) return fail(st);
        made.push_back(id);
    }
    if (dagType && parent) scene.findIncludingLimbo(made.back())->parents = {parent};
    if (!limbo)
        for (const auto id : made) scene.restoreFromLimbo(id, {});
    if (status) *status = MS::kSuccess;
    return made;
}

}  // namespace host::dag
