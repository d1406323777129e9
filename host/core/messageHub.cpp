#include "host/core/messageHub.h"

#include <algorithm>

#include "host/api/object.h"

namespace host {

std::uint64_t MessageHub::add(CallbackEntry entry) {
    entry.id = nextId_++;
    entries_.push_back(entry);
    return entry.id;
}

bool MessageHub::remove(std::uint64_t id) {
    return std::erase_if(entries_, [&](const CallbackEntry& e) { return e.id == id; }) != 0;
}

bool MessageHub::contains(std::uint64_t id) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const CallbackEntry& e) { return e.id == id; });
}

void MessageHub::sceneMessage(int code) {
    const auto snapshot = entries_;
    for (const auto& e : snapshot)
        if (e.kind == CallbackKind::Scene && e.code == code && contains(e.id)) e.basic(e.clientData);
}

void MessageHub::event(const std::string& name) {
    const auto snapshot = entries_;
    for (const auto& e : snapshot)
        if (e.kind == CallbackKind::Event && e.name == name && contains(e.id)) e.basic(e.clientData);
}

void MessageHub::nodeAdded(const MObject& node, const std::string& typeName) {
    dispatchNode(CallbackKind::NodeAdded, node, typeName);
}

void MessageHub::nodeRemoved(const MObject& node, const std::string& typeName) {
    dispatchNode(CallbackKind::NodeRemoved, node, typeName);
}

void MessageHub::dispatchNode(CallbackKind kind, const MObject& node, const std::string& typeName) {
    // The snapshot holds only the callbacks for this node: their filters never change.
    struct Due {
        std::uint64_t id;
        NodeCallback call;
        void* clientData;
    };
    std::vector<Due> due;
    for (const auto& e : entries_)
        if (e.kind == kind && (e.name == "dependNode" || e.name == typeName)) due.push_back({e.id, e.node, e.clientData});
    for (const Due& d : due) {
        if (!contains(d.id)) continue;
        MObject copy = node;
        d.call(copy, d.clientData);
    }
}

}  // namespace host
