#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/api/dgContext.h"
#include "host/api/matrix.h"
#include "host/api/status.h"

namespace host {
struct Node;
struct NodeType;
}

// The DAG over the scene's nodes: links, paths and world matrices.
namespace host::dag {

using Path = std::vector<std::uint64_t>;  // root first; empty is the world

bool isDagNode(std::uint64_t id);
// Every path to the node, in instance order (depth first over parents in order).
std::vector<Path> pathsTo(std::uint64_t id);
// The first of them (through every first parent); empty for no node.
Path firstPathTo(std::uint64_t id);
unsigned instanceCount(std::uint64_t id);
// Roots: live DAG nodes without a parent, in creation order.
std::vector<std::uint64_t> roots();
bool isAncestor(std::uint64_t ancestor, std::uint64_t node);
// Links child under parent (0: the world). Fails on cycles and on a second link to the same parent.
MStatus addChild(std::uint64_t parent, std::uint64_t child);
MStatus removeChild(std::uint64_t parent, std::uint64_t child);
// Every node below, depth first, each once.
std::vector<std::uint64_t> descendants(std::uint64_t id);

// The node's local matrix (identity for nodes without transform channels).
MMatrix localMatrix(std::uint64_t id, const MDGContext& ctx = MDGContext::fsNormal);
// Product of the local matrices of the first `count` nodes of the path, leaf first.
MMatrix pathMatrix(const Path& path, std::size_t count, const MDGContext& ctx = MDGContext::fsNormal);
// Whether the node or an ancestor on the path has "visibility" off.
bool hidden(const Path& path);
bool isIntermediate(std::uint64_t id);

// A transform changed: the world-space outputs below it are stale.
void dirtyBelow(std::uint64_t id);

}  // namespace host::dag

namespace host::dag {

// Makes a node of the type under the parent (0: the world). A shape without a
// parent gets a new transform "<type>N" and becomes "<type>ShapeN". Links are made
// before the node-added callbacks run. With `limbo` the nodes stay hidden for a
// modifier to show. Returns the ids made, transform first; empty on failure.
std::vector<std::uint64_t> createNode(NodeType& type, const std::string& name, std::uint64_t parent, bool limbo,
                                      MStatus* status = nullptr);
bool isShapeType(const NodeType& type);

}  // namespace host::dag
