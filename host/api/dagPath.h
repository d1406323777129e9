#pragma once

#include <cstdint>
#include <vector>

#include "host/api/matrix.h"
#include "host/api/object.h"
#include "host/api/status.h"
#include "host/api/text.h"

// One way down the DAG from the world to a node: the node's instance is the
// index of this way among all of the node's paths. An empty path is the world.
class MDagPath {
public:
    MDagPath() = default;

    static MStatus getAPathTo(const MObject& node, MDagPath& path);
    static MStatus getAllPathsTo(const MObject& node, class MDagPathArray& paths);

    bool isValid(MStatus* status = nullptr) const;
    MObject node(MStatus* status = nullptr) const;
    MObject transform(MStatus* status = nullptr) const;
    MFn::Type apiType(MStatus* status = nullptr) const;
    bool hasFn(MFn::Type type, MStatus* status = nullptr) const;
    unsigned length(MStatus* status = nullptr) const;
    MStatus push(const MObject& child);
    MStatus pop(unsigned count = 1);
    unsigned childCount(MStatus* status = nullptr) const;
    MObject child(unsigned index, MStatus* status = nullptr) const;
    // Goes down to the one shape below a transform (first non-intermediate when several).
    MStatus extendToShape();
    MStatus extendToShapeDirectlyBelow(unsigned index);
    MStatus numberOfShapesDirectlyBelow(unsigned& count) const;
    MMatrix inclusiveMatrix(MStatus* status = nullptr) const;
    MMatrix exclusiveMatrix(MStatus* status = nullptr) const;
    MMatrix inclusiveMatrixInverse(MStatus* status = nullptr) const { return inclusiveMatrix(status).inverse(); }
    MMatrix exclusiveMatrixInverse(MStatus* status = nullptr) const { return exclusiveMatrix(status).inverse(); }
    unsigned instanceNumber(MStatus* status = nullptr) const;
    // The node or one of its ancestors has several parents.
    bool isInstanced(MStatus* status = nullptr) const;
    bool isVisible(MStatus* status = nullptr) const;
    MString fullPathName(MStatus* status = nullptr) const;
    MString partialPathName(MStatus* status = nullptr) const;
    bool operator==(const MDagPath& o) const { return nodes_ == o.nodes_; }
    bool operator!=(const MDagPath& o) const { return nodes_ != o.nodes_; }

    // Host side.
    explicit MDagPath(std::vector<std::uint64_t> nodes) : nodes_(std::move(nodes)) {}
    const std::vector<std::uint64_t>& nodes() const { return nodes_; }

private:
    std::vector<std::uint64_t> nodes_;
};

class MDagPathArray : public host::ValueArray<MDagPath> {
public:
    using ValueArray::ValueArray;
};
