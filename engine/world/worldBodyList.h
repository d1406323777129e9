#pragma once

#include <cstdint>

#include "engine/world/bodyList.h"

// One of the world's body lists. Every link and unlink goes through these members,
// which keep each body's filing (the node that holds it, see BodyFiling) and, in the
// lists ordered by index, the last node and the number of neighbouring pairs out of
// index order. So membership, removal and the usual ordered insertion (a new body of
// the largest index) take constant time, and the lists hold the same bodies in the
// same order as plain walks over them would give.
//
// A body sits in the lists of one world at a time.
class WorldBodyList : private BodyList {
public:
    enum Role : int { DYNAMIC, STATIC, DEACTIVATED, REACTIVATION, CRACKERS, BARRIERS };
    static_assert(BARRIERS + 1 == BodyFiling::ROLES);

    explicit WorldBodyList(Role role);
    WorldBodyList(const WorldBodyList&) = delete;
    WorldBodyList& operator=(const WorldBodyList&) = delete;
    // Lets go of the bodies still listed; they are not deleted.
    ~WorldBodyList();

    // Reading the nodes as a plain list.
    using BodyList::begin;
    using BodyList::count;
    using BodyList::end;
    using BodyList::head;
    using BodyList::Node;
    using BodyList::releaseSpares;
    const BodyList& nodes() const { return *this; }

    bool contains(const HardBody* body) const;
    void pushFront(HardBody* body);
    // Ordered insertion: a walk from the first node stops before the first body of
    // greater index and the body goes after the last node passed (the head when
    // none), so bodies of equal index keep the order in which they arrived.
    void insertByIndex(HardBody* body);
    // Unlinks the body's first node; true when the body was in the list.
    bool remove(HardBody* body);
    // Unlinks the element node n; a walk keeps n's successor before the call.
    void unlink(Node* n);
    void clear();
    // Deletes every body, empties the list and frees its nodes.
    void deleteBodies();

private:
    friend class BodyFiling;

    // Books the node just linked (null when no node could be had).
    void linked(Node* n);
    void forget(HardBody* body);
    // An index of a listed body changed: the order is counted again when needed.
    void orderChanged() { orderKnown_ = false; }
    // Whether the bodies are in index order, counting the pairs out of order first
    // when an index changed since.
    bool sorted();

    Role role_;
    bool ordered_;          // kept in index order by insertByIndex
    bool orderKnown_ = true;
    std::uint32_t descents_ = 0;  // neighbouring pairs out of index order
    Node* tail_;                  // last element node, the head while empty
};

inline bool listContains(const WorldBodyList& list, const HardBody* body) { return listContains(list.nodes(), body); }
