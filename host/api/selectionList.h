#pragma once

#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/status.h"

// An ordered list of scene items (nodes or plugs), without duplicates.
class MSelectionList {
public:
    // A node name (wildcards allowed) or node.attribute.
    MStatus add(const MString& pattern);
    MStatus add(const MObject& node);
    MStatus add(const MPlug& plug);
    MStatus merge(const MSelectionList& other);
    MStatus remove(unsigned index);
    MStatus clear();
    unsigned length(MStatus* status = nullptr) const;
    bool isEmpty() const { return items_.empty(); }
    MStatus getDependNode(unsigned index, MObject& node) const;
    MStatus getPlug(unsigned index, MPlug& plug) const;
    MStatus getSelectionStrings(MStringArray& out) const;
    bool hasItem(const MObject& node) const;

private:
    struct Item {
        MObject node;
        MPlug plug;
    };
    std::vector<Item> items_;
};
