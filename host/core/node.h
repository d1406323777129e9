#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/core/attribute.h"

class MPxNode;

namespace host {

struct NodeType;

struct SlotKey {
    const Attribute* attr = nullptr;
    int index = -1;  // logical index of an array element; -1 otherwise
    auto operator<=>(const SlotKey&) const = default;
};

struct Slot {
    Value value;
    bool dirty = false;
    bool propagated = false;  // this slot's dirtiness already reached its dependents
    bool locked = false;
    bool evaluating = false;
    bool reported = false;    // a failed compute was logged
};

// One scene node: its values, locks, dynamic attributes and module object.
struct Node {
    std::uint64_t id = 0;
    NodeType* type = nullptr;
    std::string name;
    std::map<SlotKey, Slot> slots;
    std::vector<AttributePtr> dynamicAttributes;
    std::unique_ptr<MPxNode> user;
    bool locked = false;
    bool deleting = false;
    bool limbo = false;
    bool pending = false;  // made, not shown yet: reachable by handle, not by name
    bool existWithoutOutConnections = false;
    // DAG links (DAG kinds only): parents in instance order, no entry for the world; children in order.
    std::vector<std::uint64_t> parents;
    std::vector<std::uint64_t> children;
};

}  // namespace host
