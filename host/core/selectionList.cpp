#include "host/api/selectionList.h"

#include "host/core/runtime.h"

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

MStatus MSelectionList::add(const MString& pattern) {
    const std::string text = pattern.str();
    const auto dot = text.find('.');
    if (dot != std::string::npos) {
        host::Node* n = runtime().scene.findByName(text.substr(0, dot));
        if (!n) return MStatus(MS::kInvalidParameter, "No object matches name: " + text);
        std::string attr = text.substr(dot + 1);
        int index = -1;
        if (const auto b = attr.find('['); b != std::string::npos && attr.back() == ']') {
            index = std::atoi(attr.substr(b + 1).c_str());
            attr = attr.substr(0, b);
        }
        const host::Attribute* a = runtime().scene.findAttribute(*n, attr);
        if (!a) return MStatus(MS::kInvalidParameter, "No object matches name: " + text);
        return add(MPlug(MObject::fromNode(n->id), runtime().scene.attributePtr(*n, a), index));
    }
    bool any = false;
    for (const auto id : runtime().scene.nodeIds()) {
        const host::Node* n = runtime().scene.find(id);
        if (n && host::globMatch(text, n->name)) {
            add(MObject::fromNode(id));
            any = true;
        }
    }
    return any ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "No object matches name: " + text);
}

MStatus MSelectionList::add(const MObject& node) {
    if (node.kind() != MObject::Kind::Node) return MStatus(MS::kInvalidParameter, "not a node");
    if (!hasItem(node)) items_.push_back(Item{node, MPlug()});
    return MS::kSuccess;
}

MStatus MSelectionList::add(const MPlug& plug) {
    for (const auto& i : items_)
        if (i.plug == plug) return MS::kSuccess;
    items_.push_back(Item{plug.node(), plug});
    return MS::kSuccess;
}

MStatus MSelectionList::merge(const MSelectionList& other) {
    for (const auto& i : other.items_) i.plug.attr() ? add(i.plug) : add(i.node);
    return MS::kSuccess;
}

MStatus MSelectionList::remove(unsigned index) {
    if (index >= items_.size()) return MStatus(MS::kInvalidParameter, "index out of range");
    items_.erase(items_.begin() + index);
    return MS::kSuccess;
}

MStatus MSelectionList::clear() {
    items_.clear();
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
            out.append(MString(n->name));
        }
    }
    return MS::kSuccess;
}

bool MSelectionList::hasItem(const MObject& node) const {
    for (const auto& i : items_)
        if (!i.plug.attr() && i.node == node) return true;
    return false;
}
