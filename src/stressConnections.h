#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

class DynamicStress;
class FractureBodyNode;
class HardBody;
class SceneStress;

// A fracture-body node's stress connections, read once for an edit that looks up or lets
// go of many of them: the stress node holding a joint, the stress nodes on a body and
// the numbering removeStressNode leaves, each without walking every connection again.
//
// It sees the connections as they were when it was made, less the nodes the edit says
// it released; the edit makes no other change to them, nor gives a connected node
// another joint, while it is used.
class StressConnections {
public:
    explicit StressConnections(const FractureBodyNode& node);

    // The first connected stress node holding the joint, as findStressNode answers.
    SceneStress* holding(const DynamicStress* joint) const;
    // The connected stress nodes whose joint has the body at an end, each once, in
    // connection order.
    std::vector<SceneStress*> touching(const HardBody* body) const;
    // The connected stress nodes holding any of the joints, each once, in connection
    // order: the nodes a walk of every connection would find holding one.
    std::vector<SceneStress*> holdingAny(const std::vector<DynamicStress*>& joints) const;
    // Every link from the fracture body to the node is gone.
    void released(const SceneStress* stress);

    // removeStressNode numbers the joints of the nodes left by their connection positions
    // after each removal that had a joint. Here that waits: a node about to leave takes
    // the number the last renumbering would have given its joint (numberLeaving), a
    // removal only marks one as due (renumberDue), and renumber gives the nodes left
    // theirs. Nothing reads their numbers in between.
    void numberLeaving(const SceneStress* stress) const;
    void renumberDue() { renumberDue_ = true; }
    void renumber();

private:
    // Live connections before position p (a Fenwick tree over the positions).
    std::uint32_t liveBefore(std::uint32_t p) const;

    std::vector<SceneStress*> ends_;   // by connection position; null for other nodes
    std::vector<std::uint8_t> live_;
    std::vector<std::uint32_t> tree_;  // Fenwick tree over live_, from index 1
    std::unordered_map<const DynamicStress*, std::uint32_t> byJoint_;  // its first position
    std::unordered_map<const HardBody*, std::vector<std::uint32_t>> byBody_;
    std::unordered_map<const SceneStress*, std::vector<std::uint32_t>> positions_;
    bool renumberDue_ = false;
};
