#pragma once

#include <vector>

#include "host/api/dagPath.h"

// Depth-first walk of the DAG from the world (or a root), one step per path:
// an instanced node is visited once per instance.
class MItDag {
public:
    enum TraversalType { kInvalidType = 0, kDepthFirst, kBreadthFirst };

    explicit MItDag(TraversalType type = kDepthFirst, MFn::Type filter = MFn::kInvalid, MStatus* status = nullptr);
    MStatus reset(const MObject& root = MObject::kNullObj, TraversalType type = kDepthFirst,
                  MFn::Type filter = MFn::kInvalid);
    MStatus reset(const MDagPath& root, TraversalType type = kDepthFirst, MFn::Type filter = MFn::kInvalid);
    bool isDone(MStatus* status = nullptr) const { (void)status; return at_ >= paths_.size(); }
    MStatus next();
    MObject currentItem(MStatus* status = nullptr) const;
    MObject item(MStatus* status = nullptr) const { return currentItem(status); }
    MStatus getPath(MDagPath& path) const;
    MString fullPathName(MStatus* status = nullptr) const;
    MString partialPathName(MStatus* status = nullptr) const;
    unsigned depth(MStatus* status = nullptr) const;

private:
    void build(const std::vector<std::vector<std::uint64_t>>& starts, TraversalType type, MFn::Type filter);

    std::vector<MDagPath> paths_;
    std::size_t at_ = 0;
};
