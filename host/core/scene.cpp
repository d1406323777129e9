#include "host/core/scene.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "host/api/plug.h"
#include "host/api/pxNode.h"
#include "host/core/registry.h"
#include "host/core/runtime.h"
#include "host/scene/shading.h"

namespace host {

Scene::~Scene() { clear(); }

Node* Scene::find(std::uint64_t id) const {
    Node* node = findIncludingLimbo(id);
    return node && node->limbo && !node->pending ? nullptr : node;
}

Node* Scene::findIncludingLimbo(std::uint64_t id) const {
    return id >= idBase_ && id - idBase_ < byId_.size() ? byId_[id - idBase_] : nullptr;
}

Node* Scene::findByName(const std::string& name) const { return names_.find(name); }

std::vector<std::uint64_t> Scene::nodeIds() const {
    std::vector<std::uint64_t> ids;
    for (const auto& [id, node] : nodes_)
        if (!node->limbo) ids.push_back(id);
    return ids;
}

std::string Scene::uniqueName(const std::string& wanted) const {
    if (!findByName(wanted)) return wanted;
    // Raise the trailing number until the name is free.
    std::size_t digits = wanted.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(wanted[digits - 1]))) --digits;
    std::string stem = wanted.substr(0, digits);
    std::size_t first = digits;
    while (first < wanted.size() && wanted[first] == '0') ++first;
    std::string number = wanted.substr(first);
    if (number.size() < 19) {
        std::uint64_t n = 0;
        std::from_chars(number.data(), number.data() + number.size(), n);
        return stem + std::to_string(names_.firstFree(stem, n + 1));
    }
    // Too long for a machine number: count on in decimal text.
    while (true) {
        std::size_t i = number.size();
        while (i > 0 && number[i - 1] == '9') number[--i] = '0';
        if (i == 0)
            number.insert(number.begin(), '1');
        else
            ++number[i - 1];
        if (!findByName(stem + number)) return stem + number;
    }
}

std::string Scene::defaultName(const NodeType& type) const {
    return type.name + std::to_string(names_.firstFree(type.name, 1));
}

void Scene::initSlots(Node& node, const Attribute& attr) {
    if (attr.array) return;  // elements appear on demand
    Slot& s = node.slots.findOrAdd(SlotKey{&attr, -1}, Slot{});
    s.value = attr.defaultValue;
    s.dirty = attr.affected;
}

std::uint64_t Scene::createNode(NodeType& type, const std::string& name, bool limbo, MStatus* status) {
    auto node = std::make_unique<Node>();
    node->id = nextId_++;
    node->type = &type;
    node->name = name.empty() ? defaultName(type) : uniqueName(name);
    // Reachable by handle at once, so that its postConstructor can read and write
    // its plugs; by name and in iterators only once shown.
    node->limbo = limbo;
    node->pending = limbo;
    node->slots.assignWholes(type.attributes);
    Node* raw = node.get();
    nodes_.emplace(raw->id, std::move(node));
    byId_.resize(raw->id - idBase_ + 1, nullptr);
    byId_[raw->id - idBase_] = raw;
    if (!limbo) names_.add(*raw);
    const MObject obj = MObject::fromNode(raw->id);
    if (type.creator) {
        auto* user = static_cast<MPxNode*>(type.creator());
        if (!user) {
            names_.remove(*raw);
            byId_[raw->id - idBase_] = nullptr;
            nodes_.erase(raw->id);
            if (status) *status = MStatus(MS::kFailure, "node creation failed");
            return 0;
        }
        raw->user.reset(user);
        user->setThisObject(obj);
        user->postConstructor();
    }
    if (status) *status = MS::kSuccess;
    if (!limbo && !readingFile) runtime().messages.nodeAdded(obj, type.name);
    return raw->id;
}

MStatus Scene::deleteNode(std::uint64_t id, bool force) {
    Node* node = findIncludingLimbo(id);
    if (!node) return MStatus(MS::kInvalidParameter, "no such node");
    if (node->deleting) return MS::kSuccess;
    if (node->limbo) {
        destroyLimbo(id);
        return MS::kSuccess;
    }
    if (node->locked) return MStatus(MS::kFailure, "Cannot delete locked node '" + node->name + "'.");
    if (!node->type->deletable && !force) return MStatus(MS::kFailure, "Cannot delete '" + node->name + "'.");
    node->deleting = true;
    const MObject obj = MObject::fromNode(id);
    runtime().messages.nodeRemoved(obj, node->type->name);
    // The module object goes while plugs and connections are still in place:
    // a destructor may look at what is connected to its node.
    if (Node* n = findIncludingLimbo(id)) n->user.reset();
    // Children only this node holds go with it; instanced ones just lose this parent.
    if (Node* n = findIncludingLimbo(id)) {
        const std::vector<std::uint64_t> children = n->children;
        for (const auto c : children) {
            Node* child = findIncludingLimbo(c);
            if (!child) continue;
            if (child->parents.size() > 1) {
                std::erase(child->parents, id);
            } else {
                child->locked = false;
                deleteNode(c, true);
            }
        }
    }
    unlinkDag(id);
    std::vector<Connection> broken;
    breakConnections(id, &broken);
    // A member gone for good leaves its sets' face lists too.
    shading::forgetMembers(broken);
    freeNode(id);
    return MS::kSuccess;
}

MStatus Scene::sendToLimbo(std::uint64_t id, std::vector<Connection>* removed) {
    Node* node = find(id);
    if (!node || node->limbo) return MStatus(MS::kInvalidParameter, "no such node");
    if (node->deleting) return MS::kSuccess;
    if (node->locked) return MStatus(MS::kFailure, "Cannot delete locked node '" + node->name + "'.");
    if (!node->type->deletable) return MStatus(MS::kFailure, "Cannot delete '" + node->name + "'.");
    node->deleting = true;
    runtime().messages.nodeRemoved(MObject::fromNode(id), node->type->name);
    breakConnections(id, removed);
    if (Node* n = findIncludingLimbo(id)) {
        n->deleting = false;
        n->limbo = true;
        names_.remove(*n);
        // Parents forget it; it keeps its own links to come back to.
        for (const auto p : n->parents)
            if (Node* parent = findIncludingLimbo(p)) std::erase(parent->children, id);
    }
    runtime().selection.erase(std::remove(runtime().selection.begin(), runtime().selection.end(), id),
                              runtime().selection.end());
    return MS::kSuccess;
}

MStatus Scene::restoreFromLimbo(std::uint64_t id, const std::vector<Connection>& reconnect) {
    Node* node = findIncludingLimbo(id);
    if (!node || !node->limbo) return MStatus(MS::kInvalidParameter, "no such node");
    node->name = uniqueName(node->name);
    node->limbo = node->pending = false;
    names_.add(*node);
    for (const auto p : node->parents)
        if (Node* parent = findIncludingLimbo(p))
            if (std::find(parent->children.begin(), parent->children.end(), id) == parent->children.end())
                parent->children.push_back(id);
    for (const Connection& c : reconnect) {
        if (!find(c.src.node) || !find(c.dst.node) || sourceOf(c.dst)) continue;
        addConnection(c);  // back in its place: the order is kept
        dirtyDestination(c.dst);
    }
    if (!readingFile) runtime().messages.nodeAdded(MObject::fromNode(id), node->type->name);
    return MS::kSuccess;
}

void Scene::destroyLimbo(std::uint64_t id) {
    Node* node = findIncludingLimbo(id);
    if (!node || !node->limbo || node->deleting) return;
    node->deleting = true;
    node->user.reset();
    unlinkDag(id);
    freeNode(id);
}

void Scene::unlinkDag(std::uint64_t id) {
    Node* node = findIncludingLimbo(id);
    if (!node) return;
    // A parent being deleted drops its whole list after its children: erasing them one
    // by one from its front would cost the list's length each.
    for (const auto p : node->parents)
        if (Node* parent = findIncludingLimbo(p); parent && !parent->deleting) std::erase(parent->children, id);
    for (const auto c : node->children)
        if (Node* child = findIncludingLimbo(c)) std::erase(child->parents, id);
    node->parents.clear();
    node->children.clear();
}

void Scene::deleteAllOfType(const NodeType* type) {
    std::vector<std::uint64_t> ids;
    for (const auto& [id, node] : nodes_)
        if (node->type == type) ids.push_back(id);
    for (const auto id : ids) {
        Node* n = findIncludingLimbo(id);
        if (!n) continue;  // went with an earlier one
        n->locked = false;
        deleteNode(id, true);
    }
}

void Scene::freeNode(std::uint64_t id) {
    auto it = nodes_.find(id);
    if (it == nodes_.end()) return;
    auto& sel = runtime().selection;
    sel.erase(std::remove(sel.begin(), sel.end(), id), sel.end());
    runtime().selectionComponents.erase(id);
    runtime().restPositions.erase(id);
    // Moved out first: the node's destructor must not see the map mid-erase.
    std::unique_ptr<Node> doomed = std::move(it->second);
    names_.remove(*doomed);
    nodes_.erase(it);
    byId_[id - idBase_] = nullptr;
}

void Scene::clear() {
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::uint64_t> ids;
        for (const auto& [id, node] : nodes_) ids.push_back(id);
        std::reverse(ids.begin(), ids.end());
        for (const auto id : ids) {
            Node* n = findIncludingLimbo(id);
            if (!n) continue;
            if (n->limbo) {
                destroyLimbo(id);
                continue;
            }
            n->locked = false;
            deleteNode(id, true);
        }
    }
    if (nodes_.empty()) {
        // Ids are never reused: the table starts again at the next one.
        byId_.clear();
        idBase_ = nextId_;
    }
    connections_.clear();
    byNode_.clear();
    sources_.clear();
    outgoing_.clear();
}

MStatus Scene::rename(std::uint64_t id, const std::string& name, std::string* given) {
    Node* node = find(id);
    if (!node) return MStatus(MS::kInvalidParameter, "no such node");
    if (node->locked) return MStatus(MS::kFailure, "Cannot rename locked node '" + node->name + "'.");
    if (!node->type->deletable) return MStatus(MS::kFailure, "Cannot rename '" + node->name + "'.");
    if (name.empty()) return MStatus(MS::kInvalidParameter, "empty name");
    if (name != node->name) {
        // Its old name is free for it again.
        names_.remove(*node);
        node->name.clear();
        node->name = uniqueName(name);
        if (!node->limbo) names_.add(*node);
    }
    if (given) *given = node->name;
    return MS::kSuccess;
}

const Attribute* Scene::findAttribute(const Node& node, std::string_view name) const {
    if (const Attribute* a = node.type->findAttribute(name)) return a;
    for (const auto& a : node.dynamicAttributes) {
        if (a->matches(name)) return a.get();
        for (const auto& c : a->children)
            if (c->matches(name)) return c.get();
    }
    return nullptr;
}

AttributePtr Scene::attributePtr(const Node&, const Attribute* attr) const {
    // Attributes are always owned by shared pointers (types, nodes, module statics).
    return attr ? const_cast<Attribute*>(attr)->shared_from_this() : nullptr;
}

bool Scene::hasAttribute(const Node& node, const Attribute* attr) const {
    auto in = [&](const std::vector<AttributePtr>& list) {
        for (const auto& a : list) {
            if (a.get() == attr) return true;
            for (const auto& c : a->children)
                if (c.get() == attr) return true;
        }
        return false;
    };
    return attr && (in(node.type->attributes) || in(node.dynamicAttributes));
}

MStatus Scene::addDynamicAttribute(Node& node, const AttributePtr& attr) {
    if (!attr || findAttribute(node, attr->longName) || findAttribute(node, attr->shortName))
        return MStatus(MS::kInvalidParameter, "attribute exists");
    attr->dynamic = true;
    attr->added = true;
    node.dynamicAttributes.push_back(attr);
    initSlots(node, *attr);
    return MS::kSuccess;
}

MStatus Scene::removeDynamicAttribute(Node& node, const Attribute* attr) {
    const auto it = std::find_if(node.dynamicAttributes.begin(), node.dynamicAttributes.end(),
                                 [&](const AttributePtr& a) { return a.get() == attr; });
    if (it == node.dynamicAttributes.end()) return MStatus(MS::kInvalidParameter, "not a dynamic attribute");
    for (const Connection& c : connectionsOf(node.id))
        if ((c.src.node == node.id && c.src.attr->storage() == attr) ||
            (c.dst.node == node.id && c.dst.attr->storage() == attr))
            removeConnection(c.order);
    node.slots.eraseAttribute(attr);
    node.dynamicAttributes.erase(it);
    return MS::kSuccess;
}

}  // namespace host
