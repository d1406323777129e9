#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

namespace host {

struct Node;

// The shown nodes by name, and for each name stem the trailing numbers its names use,
// kept as runs of consecutive numbers, so that the lowest free number from any start
// is found without looking at the nodes.
class NameIndex {
public:
    Node* find(std::string_view name) const;
    // Indexes the node under its name (a name is held by one node at most).
    void add(Node& node);
    // Forgets the node's name, if it is this node that holds it.
    void remove(const Node& node);
    // The lowest n >= from such that stem followed by n in decimal is no node's name.
    std::uint64_t firstFree(std::string_view stem, std::uint64_t from) const;
    void clear();

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using Runs = std::map<std::uint64_t, std::uint64_t>;  // first -> last of each run
    void take(std::string_view stem, std::uint64_t n);
    void release(std::string_view stem, std::uint64_t n);

    std::unordered_map<std::string, Node*, Hash, std::equal_to<>> byName_;
    std::unordered_map<std::string, Runs, Hash, std::equal_to<>> runs_;
};

}  // namespace host
