#include "host/core/registry.h"

#include <algorithm>

#include "host/core/runtime.h"

namespace host {

const Attribute* NodeType::findAttribute(const std::string& name) const {
    // While its initialize adds attributes, the type is read as it stands.
    if (runtime().initializingType == this) return scan(name);
    if (const auto it = found_.find(name); it != found_.end()) return it->second;
    return found_.emplace(name, scan(name)).first->second;
}

const Attribute* NodeType::scan(const std::string& name) const {
    for (const auto& a : attributes) {
        if (a->matches(name)) return a.get();
        for (const auto& c : a->children)
            if (c->matches(name)) return c.get();
    }
    return nullptr;
}

NodeType* Registry::findType(const std::string& name) const {
    for (const auto& t : types_)
        if (t->name == name) return t.get();
    return nullptr;
}

NodeType* Registry::findType(MTypeId id) const {
    for (const auto& t : types_)
        if (t->id == id) return t.get();
    return nullptr;
}

MStatus Registry::addType(std::unique_ptr<NodeType> type) {
    if (findType(type->name)) return MStatus(MS::kFailure, "node type '" + type->name + "' already registered");
    if (type->id.id() != 0 && findType(type->id))
        return MStatus(MS::kFailure, "type id of '" + type->name + "' already registered");
    types_.push_back(std::move(type));
    return MS::kSuccess;
}

void Registry::removeType(const NodeType* type) {
    std::erase_if(types_, [&](const auto& t) { return t.get() == type; });
}

const CommandType* Registry::findCommand(const std::string& name) const {
    const auto it = commands_.find(name);
    return it == commands_.end() ? nullptr : &it->second;
}

MStatus Registry::addCommand(CommandType command) {
    if (commands_.count(command.name)) return MStatus(MS::kFailure, "command '" + command.name + "' already registered");
    commands_.emplace(command.name, command);
    return MS::kSuccess;
}

MStatus Registry::removeCommand(const std::string& name) {
    return commands_.erase(name) ? MStatus(MS::kSuccess) : MStatus(MS::kFailure, "no command '" + name + "'");
}

std::vector<std::string> Registry::commandNames(std::uint64_t module) const {
    std::vector<std::string> out;
    for (const auto& [name, c] : commands_)
        if (c.module == module) out.push_back(name);
    return out;
}

}  // namespace host
