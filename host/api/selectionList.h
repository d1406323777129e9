#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "host/api/dagPath.h"
#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/status.h"

// An ordered list of scene items (nodes, DAG paths with optional components,
// plugs), without duplicates.
class MSelectionList {
public:
    // A name or full path (wildcards allowed), node.attribute, or components
    // such as "m.f[3]", "m.f[2:5]", "m.vtx[0]", "m.e[1]".
    MStatus add(const MString& pattern);
    MStatus add(const MObject& node);
    MStatus add(const MPlug& plug);
    MStatus add(const MDagPath& path, const MObject& component = MObject::kNullObj, bool merge = false);
    MStatus merge(const MSelectionList& other);
    MStatus remove(unsigned index);
    MStatus clear();
    unsigned length(MStatus* status = nullptr) const;
    bool isEmpty() const { return items_.empty(); }
    MStatus getDependNode(unsigned index, MObject& node) const;
    MStatus getDagPath(unsigned index, MDagPath& path, MObject& component) const;
    MStatus getDagPath(unsigned index, MDagPath& path) const;
    MStatus getPlug(unsigned index, MPlug& plug) const;
    MStatus getSelectionStrings(MStringArray& out) const;
    bool hasItem(const MObject& node) const;

    // Host side.
    struct Item {
        MObject node;
        MPlug plug;
        std::vector<std::uint64_t> path;  // DAG items
        MObject component;
    };
    const std::vector<Item>& items() const { return items_; }

private:
    void push(Item item);

    std::vector<Item> items_;
    // The items' node ids: an add compares with the items only when its node has some.
    std::unordered_multiset<std::uint64_t> nodes_;
};

// Walks a selection list. Filters of the geometric family (geometric, mesh,
// curve, surface) take a selected transform to its shapes of that family,
// intermediate objects included; other filters test each item itself.
class MItSelectionList {
public:
    enum selItemType { kUnknownItem = 0, kDagSelectionItem, kAnimSelectionItem, kDNselectionItem, kPlugSelectionItem };

    explicit MItSelectionList(const MSelectionList& list, MFn::Type filter = MFn::kInvalid, MStatus* status = nullptr);
    MStatus setFilter(MFn::Type filter);
    MStatus reset();
    bool isDone(MStatus* status = nullptr) const;
    MStatus next();
    MStatus getDagPath(MDagPath& path, MObject& component) const;
    MStatus getDagPath(MDagPath& path) const;
    MStatus getDependNode(MObject& node) const;
    MStatus getPlug(MPlug& plug) const;
    bool hasComponents(MStatus* status = nullptr) const;
    selItemType itemType(MStatus* status = nullptr) const;

private:
    void build();

    MSelectionList list_;
    MFn::Type filter_;
    std::vector<MSelectionList::Item> items_;
    std::size_t at_ = 0;
};

namespace host {
// Resolves a node name, "|a|b" full path or "a|b" partial path to a DAG path
// (non-DAG nodes: their id alone). Empty when nothing matches.
std::vector<std::uint64_t> resolveName(const std::string& text);
}  // namespace host
