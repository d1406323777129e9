#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/api/status.h"
#include "host/core/nameIndex.h"
#include "host/core/node.h"

class MPlug;
class MObject;

namespace host {

struct NodeType;

// A plug by node id, attribute and element index.
struct PlugKey {
    std::uint64_t node = 0;
    AttributePtr attr;
    int index = -1;
    bool operator==(const PlugKey& o) const { return node == o.node && attr == o.attr && index == o.index; }
};

struct Connection {
    PlugKey src, dst;
    std::uint64_t order = 0;  // connection order, kept across undo
};

// The scene: nodes in creation order, unique names, connections, and the
// evaluator (push dirty, pull compute).
class Scene {
public:
    Scene() = default;
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    ~Scene();

    // Live nodes (not in limbo); null for deleted ids.
    Node* find(std::uint64_t id) const;
    Node* findIncludingLimbo(std::uint64_t id) const;
    Node* findByName(const std::string& name) const;
    std::vector<std::uint64_t> nodeIds() const;  // live, creation order

    // Builds the node, runs its postConstructor, then (unless in limbo) the node-added callbacks.
    // A node made in limbo is pending: its plugs work before it is shown.
    std::uint64_t createNode(NodeType& type, const std::string& name, bool limbo, MStatus* status);
    // Deletes at once; nested requests run at once too, nodes already being deleted are skipped.
    MStatus deleteNode(std::uint64_t id, bool force = false);
    // Undoable deletion: removal callbacks run, connections are kept in `removed`, the node hides.
    MStatus sendToLimbo(std::uint64_t id, std::vector<Connection>* removed);
    MStatus restoreFromLimbo(std::uint64_t id, const std::vector<Connection>& reconnect);
    // Frees a node in limbo (its module object is destroyed).
    void destroyLimbo(std::uint64_t id);
    // Every node of the type, live (locks ignored) or in limbo.
    void deleteAllOfType(const NodeType* type);
    // Deletes every node (deletable or not) in reverse creation order, limbo included.
    void clear();

    MStatus rename(std::uint64_t id, const std::string& name, std::string* given = nullptr);
    // The name itself when free, else its stem with the lowest free number above its own.
    std::string uniqueName(const std::string& wanted) const;
    // The type's name with the lowest free number from 1.
    std::string defaultName(const NodeType& type) const;
    // The lowest n >= from for which the stem followed by n is no shown node's name.
    std::uint64_t freeNumber(const std::string& stem, std::uint64_t from) const { return names_.firstFree(stem, from); }

    // Attributes.
    const Attribute* findAttribute(const Node& node, std::string_view name) const;
    AttributePtr attributePtr(const Node& node, const Attribute* attr) const;
    bool hasAttribute(const Node& node, const Attribute* attr) const;
    MStatus addDynamicAttribute(Node& node, const AttributePtr& attr);
    MStatus removeDynamicAttribute(Node& node, const Attribute* attr);

    // Connections.
    MStatus connect(const PlugKey& src, const PlugKey& dst, bool force = false);
    MStatus disconnect(const PlugKey& src, const PlugKey& dst);
    // Connections touching the node, in connection order.
    std::vector<Connection> connectionsOf(std::uint64_t node) const;
    const Connection* sourceOf(const PlugKey& dst) const;
    // Connections whose source is exactly this plug, in connection order.
    std::vector<Connection> connectionsFrom(const PlugKey& src) const;
    // visit(const Connection&) on each of them, in place (no connection may change meanwhile).
    template <class Visit>
    void forEachConnectionFrom(const PlugKey& src, Visit&& visit) const {
        if (!src.attr) return;
        if (const Outgoing* out = outgoingOrders(src.node, src.attr->storage()))
            for (const auto& entry : *out)
                if (entry.second->src == src) visit(*entry.second);
    }
    // Whether any connection touches the node.
    bool hasConnections(std::uint64_t node) const;
    // Whether any plug of the attribute (an element or child included) is a source.
    bool feedsAnything(std::uint64_t node, const Attribute* attr) const;

    // Values.
    Slot* slot(Node& node, const Attribute* attr, int index, bool create);
    // Evaluates what is dirty and returns the stored value.
    Value read(const PlugKey& plug, MStatus* status = nullptr);
    // Fails unchanged on a locked plug; stores clean and dirties dependents.
    MStatus write(const PlugKey& plug, Value value);
    // Stores without dirtying anything (compute outputs).
    void store(Node& node, const Attribute* attr, int index, Value value);
    void markClean(Node& node, const Attribute* attr, int index);
    // Marks the plug stale and pushes that downstream (no hook is called).
    void dirtyPlug(const PlugKey& plug);
    // dirtyPlug on every element of the array attribute, in index order.
    void dirtyElements(std::uint64_t node, const Attribute* attr);
    std::vector<int> elementIndices(const Node& node, const Attribute* attr) const;
    // The highest element index of the array attribute, -1 when it has none.
    int lastElementIndex(const Node& node, const Attribute* attr) const;
    bool plugLocked(const PlugKey& plug) const;
    void setPlugLocked(const PlugKey& plug, bool locked);

    bool readingFile = false;

private:
    void initSlots(Node& node, const Attribute& attr);
    void dirtyFrom(Node& node, const Attribute* attr, int index, bool callHook);
    void dirtySlot(Node& node, const Attribute* attr, int index);
    // A destination that just got (or got back) its source: dirty, the node told.
    void dirtyDestination(const PlugKey& dst);
    void breakConnections(std::uint64_t id, std::vector<Connection>* removed);
    void freeNode(std::uint64_t id);
    void unlinkDag(std::uint64_t id);
    void addConnection(const Connection& c);
    // Keeps the end nodes' counts of connected attributes.
    void countConnection(const Connection& c, int delta);
    void removeConnection(std::uint64_t order);
    // The orders of the connections leaving any plug of the node's attribute (by storage), ascending.
    // Each with its connection, which stays in place in connections_ until removed.
    using Outgoing = std::map<std::uint64_t, const Connection*>;
    const Outgoing* outgoingOrders(std::uint64_t node, const Attribute* storage) const;

    struct PlugHash {
        std::size_t operator()(const PlugKey& k) const {
            return std::hash<std::uint64_t>{}(k.node * 0x9E3779B97F4A7C15ULL ^
                                              reinterpret_cast<std::uintptr_t>(k.attr.get()) ^
                                              static_cast<std::uint64_t>(static_cast<std::uint32_t>(k.index)) << 48);
        }
    };
    struct SourceKey {
        std::uint64_t node = 0;
        const Attribute* storage = nullptr;
        bool operator==(const SourceKey&) const = default;
    };
    struct SourceHash {
        std::size_t operator()(const SourceKey& k) const {
            return std::hash<std::uint64_t>{}(k.node * 0x9E3779B97F4A7C15ULL ^
                                              reinterpret_cast<std::uintptr_t>(k.storage));
        }
    };

    std::map<std::uint64_t, std::unique_ptr<Node>> nodes_;  // id order = creation order
    // By id from idBase_ (ids are handed out in order and never reused): a freed node leaves a null.
    std::vector<Node*> byId_;
    std::uint64_t idBase_ = 1;
    NameIndex names_;                                         // shown nodes (not in limbo) by name
    std::map<std::uint64_t, Connection> connections_;       // by connection order
    // Orders are sets: a node's connections go one by one, often oldest first, as it is deleted.
    std::map<std::uint64_t, std::set<std::uint64_t>> byNode_;  // node id -> its connections' orders
    std::unordered_map<PlugKey, std::uint64_t, PlugHash> sources_;  // destination plug -> its connection's order
    std::unordered_map<SourceKey, Outgoing, SourceHash> outgoing_;  // source attribute -> its connections
    std::uint64_t nextId_ = 1;
    std::uint64_t nextConnection_ = 1;
};

// Shell-style match: * any run, ? one character.
bool globMatch(const std::string& pattern, const std::string& text);

MPlug makePlug(const PlugKey& key);
PlugKey keyOf(const MPlug& plug);

}  // namespace host
