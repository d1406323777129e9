#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/core/attribute.h"
#include "host/core/slotTable.h"

class MPxNode;

namespace host {

struct NodeType;

// One scene node: its values, locks, dynamic attributes and module object.
struct Node {
    std::uint64_t id = 0;
    NodeType* type = nullptr;
    std::string name;
    SlotTable slots;
    std::vector<AttributePtr> dynamicAttributes;
    std::unique_ptr<MPxNode> user;
    bool locked = false;
    bool deleting = false;
    bool limbo = false;
    bool pending = false;  // made, not shown yet: reachable by handle, not by name
    bool existWithoutOutConnections = false;
    // The stored attributes that connections leave from or arrive at (any element or child
    // of them), with their counts: a plug of any other attribute needs no look-up in the
    // scene's connection tables.
    std::vector<std::pair<const Attribute*, int>> sourceAttributes, destinationAttributes;
    // DAG links (DAG kinds only): parents in instance order, no entry for the world; children in order.
    std::vector<std::uint64_t> parents;
    std::vector<std::uint64_t> children;
};

}  // namespace host
