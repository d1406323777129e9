#include "host/api/selectionList.h"

#include "host/api/component.h"
#include "host/core/runtime.h"
#include "host/scene/componentRange.h"
#include "host/scene/dag.h"

using host::runtime;

namespace host {

bool globMatch(const std::string& pattern, const std::string& text) {
    std::size_t p = 0, t = 0, star = std::string::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace host

namespace host {

std::vector<std::uint64_t> resolveName(const std::string& text) {
    Scene& scene = runtime().scene;
    if (text.find('|') == std::string::npos) {
        const Node* n = scene.findByName(text);
        if (!n) return {};
        return dag::isDagNode(n->id) ? dag::firstPathTo(n->id) : std::vector<std::uint64_t>{n->id};
    }
    // Names along the way, the leading bar anchoring the first at the world.
    std::vector<std::string> names;
    std::size_t start = text[0] == '|' ? 1 : 0;
    while (start <= text.size()) {
        const auto bar = text.find('|', start);
        names.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    const Node* leaf = scene.findByName(names.back());
    if (!leaf) return {};
    for (const auto& path : dag::pathsTo(leaf->id)) {
        if (path.size() < names.size() || (text[0] == '|' && path.size() != names.size())) continue;
        bool ok = true;
        for (std::size_t i = 0; i < names.size() && ok; ++i) {
            const Node* n = scene.find(path[path.size() - names.size() + i]);
            ok = n && n->name == names[i];
        }
        if (ok) return path;
    }
    return {};
}

}  // namespace host

namespace {

// "f[2:5]" and the like: the component kind and the text of its range.
bool parseComponent(const std::string& text, MFn::Type& type, std::string& range) {
    const auto b = text.find('[');
    if (b == std::string::npos || text.back() != ']') return false;
    const std::string kind = text.substr(0, b);
    type = MFn::kInvalid;
    if (kind == "f") type = MFn::kMeshPolygonComponent;
    if (kind == "e") type = MFn::kMeshEdgeComponent;
    if (kind == "vtx") type = MFn::kMeshVertComponent;
    range = text.substr(b + 1, text.size() - b - 2);
    return type != MFn::kInvalid;
}

}  // namespace

MStatus MSelectionList::add(const MString& pattern) {
    const std::string text = pattern.str();
    const auto none = [&] { return MStatus(MS::kInvalidParameter, "No object matches name: " + text); };
    const auto dot = text.find('.');
    if (dot != std::string::npos) {
        const auto path = host::resolveName(text.substr(0, dot));
        host::Node* n = path.empty() ? nullptr : runtime().scene.find(path.back());
        if (!n) return none();
        std::string attr = text.substr(dot + 1);
        MFn::Type kind = MFn::kInvalid;
        std::string range;
        if (parseComponent(attr, kind, range)) {
            if (!n->type || !MFn::isA(n->type->apiType, MFn::kDagNode)) return none();
            MDagPath p(path);
            if (p.apiType() != MFn::kMesh && p.extendToShape() != MS::kSuccess) return none();
            std::vector<int> indices;
            std::string why;
            const char* what = kind == MFn::kMeshPolygonComponent ? "faces"
                               : kind == MFn::kMeshVertComponent  ? "vertices"
                                                                  : "edges";
            if (!host::componentRange(range, host::componentCount(p, kind), what, indices, &why))
                return MStatus(MS::kInvalidParameter, text + ": " + why);
            return add(p, host::makeComponent(kind, std::move(indices)), true);
        }
        int index = -1;
        if (const auto b = attr.find('['); b != std::string::npos && attr.back() == ']') {
            const MString element(attr.substr(b + 1, attr.size() - b - 2));
            if (!element.isInt() || element.asInt() < 0) return none();
            index = element.asInt();
            attr = attr.substr(0, b);
        }
        const host::Attribute* a = runtime().scene.findAttribute(*n, attr);
        if (!a) return none();
        return add(MPlug(MObject::fromNode(n->id), runtime().scene.attributePtr(*n, a), index));
    }
    if (text.find('|') != std::string::npos && text.find_first_of("*?") == std::string::npos) {
        const auto path = host::resolveName(text);
        if (path.empty()) return none();
        return add(MDagPath(path));
    }
    if (text.find_first_of("*?") == std::string::npos) {
        const host::Node* n = runtime().scene.findByName(text);
        if (!n) return none();
        return add(MObject::fromNode(n->id));
    }
    bool any = false;
    for (const auto id : runtime().scene.nodeIds()) {
        const host::Node* n = runtime().scene.find(id);
        if (n && host::globMatch(text, n->name)) {
            add(MObject::fromNode(id));
            any = true;
        }
    }
    return any ? MStatus(MS::kSuccess) : none();
}

void MSelectionList::push(Item item) {
    nodes_.insert(item.node.id());
    items_.push_back(std::move(item));
}

MStatus MSelectionList::add(const MObject& node) {
    if (node.kind() != MObject::Kind::Node) return MStatus(MS::kInvalidParameter, "not a node");
    if (hasItem(node)) return MS::kSuccess;
    Item item{node, MPlug(), {}, MObject()};
    if (host::dag::isDagNode(node.id())) item.path = host::dag::firstPathTo(node.id());
    push(std::move(item));
    return MS::kSuccess;
}

MStatus MSelectionList::add(const MDagPath& path, const MObject& component, bool merge) {
    if (!path.isValid() || path.length() == 0) return MStatus(MS::kInvalidParameter, "invalid DAG path");
    if (nodes_.contains(path.nodes().back()))
        for (auto& i : items_)
            if (i.path == path.nodes()) {
                if (component.isNull() && i.component.isNull()) return MS::kSuccess;
                if (merge && !component.isNull() && !i.component.isNull() &&
                    component.apiType() == i.component.apiType()) {
                    auto a = host::componentIndices(i.component);
                    const auto b = host::componentIndices(component);
                    a.insert(a.end(), b.begin(), b.end());
                    i.component = host::makeComponent(component.apiType(), std::move(a));
                    return MS::kSuccess;
                }
            }
    push(Item{path.node(), MPlug(), path.nodes(), component});
    return MS::kSuccess;
}

MStatus MSelectionList::add(const MPlug& plug) {
    if (nodes_.contains(plug.node().id()))
        for (const auto& i : items_)
            if (i.plug == plug) return MS::kSuccess;
    push(Item{plug.node(), plug, {}, MObject()});
    return MS::kSuccess;
}

MStatus MSelectionList::merge(const MSelectionList& other) {
    for (const auto& i : other.items_) {
        if (i.plug.attr())
            add(i.plug);
        else if (!i.path.empty())
            add(MDagPath(i.path), i.component, true);
        else
            add(i.node);
    }
    return MS::kSuccess;
}

MStatus MSelectionList::remove(unsigned index) {
    if (index >= items_.size()) return MStatus(MS::kInvalidParameter, "index out of range");
    nodes_.erase(nodes_.find(items_[index].node.id()));
    items_.erase(items_.begin() + index);
    return MS::kSuccess;
}

MStatus MSelectionList::clear() {
    items_.clear();
    nodes_.clear();
    return MS::kSuccess;
}

unsigned MSelectionList::length(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return static_cast<unsigned>(items_.size());
}

MStatus MSelectionList::getDependNode(unsigned index, MObject& node) const {
    if (index >= items_.size()) return MStatus(MS::kInvalidParameter, "index out of range");
    node = items_[index].node;
    return MS::kSuccess;
}

MStatus MSelectionList::getDagPath(unsigned index, MDagPath& path, MObject& component) const {
    if (index >= items_.size() || items_[index].path.empty()) return MStatus(MS::kInvalidParameter, "not a DAG item");
    path = MDagPath(items_[index].path);
    component = items_[index].component;
    return MS::kSuccess;
}

MStatus MSelectionList::getDagPath(unsigned index, MDagPath& path) const {
    MObject component;
    return getDagPath(index, path, component);
}

MStatus MSelectionList::getPlug(unsigned index, MPlug& plug) const {
    if (index >= items_.size() || !items_[index].plug.attr()) return MStatus(MS::kInvalidParameter, "not a plug");
    plug = items_[index].plug;
    return MS::kSuccess;
}

MStatus MSelectionList::getSelectionStrings(MStringArray& out) const {
    out.clear();
    for (const auto& i : items_) {
        if (i.plug.attr()) {
            out.append(i.plug.name());
        } else if (const host::Node* n = runtime().scene.find(i.node.id())) {
            const auto indices = host::componentIndices(i.component);
            if (indices.empty()) {
                out.append(MString(n->name));
                continue;
            }
            const char* kind = i.component.apiType() == MFn::kMeshPolygonComponent ? "f"
                               : i.component.apiType() == MFn::kMeshEdgeComponent  ? "e"
                                                                                    : "vtx";
            for (const int k : indices) out.append(MString(n->name + "." + kind + "[" + std::to_string(k) + "]"));
        }
    }
    return MS::kSuccess;
}

bool MSelectionList::hasItem(const MObject& node) const {
    if (node.kind() != MObject::Kind::Node || !nodes_.contains(node.id())) return false;
    for (const auto& i : items_)
        if (!i.plug.attr() && i.component.isNull() && i.node == node) return true;
    return false;
}
