#pragma once

#include <cstdint>
#include <vector>

#include "host/api/fn.h"
#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/status.h"

// Live nodes in creation order, optionally of one kind.
class MItDependencyNodes {
public:
    explicit MItDependencyNodes(MFn::Type filter = MFn::kInvalid, MStatus* status = nullptr);
    MStatus reset(MFn::Type filter = MFn::kInvalid);
    bool isDone(MStatus* status = nullptr) const;
    MStatus next();
    // Skips nodes deleted since the walk began.
    MObject thisNode(MStatus* status = nullptr) const;
    MObject item(MStatus* status = nullptr) const { return thisNode(status); }

private:
    void skipDead();

    std::vector<std::uint64_t> ids_;
    std::size_t at_ = 0;
};

// Walks connections from a node or plug, upstream or downstream.
class MItDependencyGraph {
public:
    enum Direction { kDownstream = 0, kUpstream };
    enum Traversal { kDepthFirst = 0, kBreadthFirst };
    enum Level { kNodeLevel = 0, kPlugLevel };

    MItDependencyGraph(const MObject& root, MFn::Type filter = MFn::kInvalid, Direction direction = kDownstream,
                       Traversal traversal = kDepthFirst, Level level = kNodeLevel, MStatus* status = nullptr);
    MItDependencyGraph(const MPlug& root, MFn::Type filter = MFn::kInvalid, Direction direction = kDownstream,
                       Traversal traversal = kDepthFirst, Level level = kNodeLevel, MStatus* status = nullptr);

    bool isDone(MStatus* = nullptr) const { return at_ >= items_.size(); }
    MStatus next();
    MObject currentItem(MStatus* status = nullptr) const;
    MObject thisNode(MStatus* status = nullptr) const { return currentItem(status); }
    // The plug the walk arrived through.
    MPlug thisPlug(MStatus* status = nullptr) const;
    MStatus reset();

private:
    struct Item {
        std::uint64_t node;
        MPlug plug;
    };
    void build(std::uint64_t root, const MPlug* rootPlug, MFn::Type filter, Direction direction,
               Traversal traversal);

    std::vector<Item> items_;
    std::size_t at_ = 0;
};
