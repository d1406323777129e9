#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/api/fn.h"
#include "host/api/status.h"
#include "host/api/typeId.h"
#include "host/core/attribute.h"

class MSyntax;

namespace host {

using CreatorFunction = void* (*)();
using InitializeFunction = MStatus (*)();
using SyntaxFunction = MSyntax (*)();

struct NodeType {
    std::string name;
    MTypeId id;
    MFn::Type apiType = MFn::kDependencyNode;
    int pxType = 0;  // MPxNode::Type
    CreatorFunction creator = nullptr;
    InitializeFunction initialize = nullptr;
    std::vector<AttributePtr> attributes;  // top level, in creation order
    std::uint64_t module = 0;              // 0: built in
    std::string classification;
    bool deletable = true;
    bool builtin = false;  // the host's own type: its node object is not the module's

    const Attribute* findAttribute(std::string_view name) const;
    // The outputs that follow a node's place in the DAG: its attributes "worldMesh",
    // "worldSpace" and "worldMatrix", each null when the type has none.
    std::array<const Attribute*, 3> worldOutputs() const;

private:
    const Attribute* scan(std::string_view name) const;
    // Names looked up once the type is complete (its attributes no longer change), found
    // or not: open addressing over a power-of-two table, at most half full.
    class NameCache {
    public:
        // The cached answer for the name, or null when it was never looked up.
        const Attribute* const* find(std::string_view name) const;
        void add(std::string_view name, const Attribute* attr);

    private:
        struct Entry {
            std::uint64_t hash = 0;
            std::string name;
            const Attribute* attr = nullptr;
            bool used = false;
        };
        static std::uint64_t hashOf(std::string_view name);
        void place(Entry entry);
        std::vector<Entry> entries_;
        std::size_t count_ = 0;
    };
    mutable NameCache found_;
    mutable std::optional<std::array<const Attribute*, 3>> worldOutputs_;
};

struct CommandType {
    std::string name;
    CreatorFunction creator = nullptr;
    SyntaxFunction syntax = nullptr;
    std::uint64_t module = 0;
};

// Node types and commands known to the host.
class Registry {
public:
    NodeType* findType(const std::string& name) const;
    NodeType* findType(MTypeId id) const;
    // Fails when the name or the id is taken.
    MStatus addType(std::unique_ptr<NodeType> type);
    void removeType(const NodeType* type);
    const std::vector<std::unique_ptr<NodeType>>& types() const { return types_; }

    const CommandType* findCommand(const std::string& name) const;
    MStatus addCommand(CommandType command);
    MStatus removeCommand(const std::string& name);
    std::vector<std::string> commandNames(std::uint64_t module) const;

private:
    std::vector<std::unique_ptr<NodeType>> types_;
    std::map<std::string, CommandType> commands_;
};

}  // namespace host
