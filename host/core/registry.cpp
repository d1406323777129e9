#include "host/core/registry.h"

#include <algorithm>
#include <cstring>

#include "host/core/runtime.h"

namespace host {

const Attribute* NodeType::findAttribute(std::string_view name) const {
    // Only a complete type has answers kept.
    if (const Attribute* const* cached = found_.find(name)) return *cached;
    const Attribute* a = scan(name);
    // While its initialize adds attributes, the type is read as it stands.
    if (runtime().initializingType != this) found_.add(name, a);
    return a;
}

namespace {

// Up to 8 bytes of the text as one number.
std::uint64_t word(const char* text, std::size_t n) {
    std::uint64_t w = 0;
    std::memcpy(&w, text, std::min<std::size_t>(n, 8));
    return w;
}

}  // namespace

std::uint64_t NodeType::NameCache::hashOf(std::string_view name) {
    // Names differ in their length, their first or their last eight bytes.
    const std::size_t n = name.size();
    std::uint64_t h = (n + 1) * 0x9E3779B97F4A7C15ull;
    h ^= word(name.data(), n) * 0xFF51AFD7ED558CCDull;
    h = (h ^ (h >> 31)) * 0xC4CEB9FE1A85EC53ull;
    if (n > 8) h ^= word(name.data() + n - 8, 8) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

const Attribute* const* NodeType::NameCache::find(std::string_view name) const {
    if (entries_.empty()) return nullptr;
    const std::uint64_t h = hashOf(name);
    const std::size_t mask = entries_.size() - 1;
    for (std::size_t i = h & mask; entries_[i].used; i = (i + 1) & mask)
        if (entries_[i].hash == h && entries_[i].name == name) return &entries_[i].attr;
    return nullptr;
}

void NodeType::NameCache::place(Entry entry) {
    const std::size_t mask = entries_.size() - 1;
    std::size_t i = entry.hash & mask;
    while (entries_[i].used) i = (i + 1) & mask;
    entries_[i] = std::move(entry);
}

void NodeType::NameCache::add(std::string_view name, const Attribute* attr) {
    if (2 * (count_ + 1) > entries_.size()) {
        std::vector<Entry> old(std::max<std::size_t>(16, 2 * entries_.size()));
        old.swap(entries_);
        for (Entry& e : old)
            if (e.used) place(std::move(e));
    }
    place(Entry{hashOf(name), std::string(name), attr, true});
    ++count_;
}

std::array<const Attribute*, 3> NodeType::worldOutputs() const {
    if (worldOutputs_) return *worldOutputs_;
    const std::array<const Attribute*, 3> found{findAttribute("worldMesh"), findAttribute("worldSpace"),
                                                findAttribute("worldMatrix")};
    if (runtime().initializingType != this) worldOutputs_ = found;
    return found;
}

const Attribute* NodeType::scan(std::string_view name) const {
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
