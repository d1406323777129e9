#pragma once

#include <cstdint>
#include <string>
#include <vector>

class MObject;

namespace host {

enum class CallbackKind { Scene, Event, NodeAdded, NodeRemoved };

using BasicCallback = void (*)(void*);
using NodeCallback = void (*)(MObject&, void*);

struct CallbackEntry {
    std::uint64_t id = 0;
    CallbackKind kind = CallbackKind::Scene;
    int code = 0;         // scene message
    std::string name;     // event name, or node type filter
    BasicCallback basic = nullptr;
    NodeCallback node = nullptr;
    void* clientData = nullptr;
    std::uint64_t module = 0;  // the module being initialised when it was added
};

// Installed callbacks. Dispatch walks a snapshot, so a callback may remove
// itself or others; removed ones are skipped.
class MessageHub {
public:
    std::uint64_t add(CallbackEntry entry);
    bool remove(std::uint64_t id);
    bool contains(std::uint64_t id) const;
    const std::vector<CallbackEntry>& entries() const { return entries_; }
    void clear() { entries_.clear(); }

    void sceneMessage(int code);
    void event(const std::string& name);
    void nodeAdded(const MObject& node, const std::string& typeName);
    void nodeRemoved(const MObject& node, const std::string& typeName);

private:
    void dispatchNode(CallbackKind kind, const MObject& node, const std::string& typeName);

    std::vector<CallbackEntry> entries_;
    std::uint64_t nextId_ = 1;
};

}  // namespace host
