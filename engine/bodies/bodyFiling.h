#pragma once

#include <cstdint>

#include "geometry/mesh/pooledList.h"

class HardBody;
class WorldBodyList;

// Where a body sits in the world's lists: per list role, the list, the first node that
// holds the body and how many nodes do. Only WorldBodyList reads or writes it, as it
// links and unlinks nodes, so a membership question or an unlink needs no walk.
// A copied body starts unfiled; an assigned one keeps its own filing.
class BodyFiling {
public:
    static constexpr int ROLES = 6;

    BodyFiling() = default;
    BodyFiling(const BodyFiling&) {}
    BodyFiling& operator=(const BodyFiling&) { return *this; }

    // The body's index changed: the ordered lists that hold it learn their order again.
    void indexChanged() const;

private:
    friend class WorldBodyList;
    struct Entry {
        WorldBodyList* list = nullptr;
        PooledList<HardBody*>::Node* first = nullptr;
        std::uint32_t count = 0;
    };
    Entry entries_[ROLES];
};
