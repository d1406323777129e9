#pragma once

#include "engine/bodies/hardBody.h"
#include "engine/collision/pairListMoves.h"
#include "geometry/mesh/pooledList.h"

// The world's body lists: pooled lists of body pointers that never own their bodies.
using BodyList = PooledList<HardBody*>;

inline bool listContains(const BodyList& list, const HardBody* body) {
    for (const HardBody* b : list) {
        if (b == body) {
            return true;
        }
    }
    return false;
}

// Unlinks the body's node; true when the body was in the list.
inline bool unlinkBody(BodyList& list, HardBody* body) {
    const auto before = list.count;
    list.remove(body);
    return list.count != before;
}

// Ordered insertion by body index: after the last node, the head included, whose
// body's index is not greater than the new body's, so bodies of equal index keep the
// order in which they arrived.
inline void insertByIndex(BodyList& list, HardBody* body) {
    BodyList::Node* position = list.head;
    if (!position) {
        return;
    }
    const std::int32_t index = body->transform.index;
    for (BodyList::Node* n = position->next; n && n->value->transform.index <= index; n = n->next) {
        position = n;
    }
    list.insertAfter(body, position);
}
