#pragma once

#include "engine/bodies/hardBody.h"
#include "geometry/mesh/pooledList.h"

// A pooled list of body pointers that never owns its bodies. The world's own lists
// are WorldBodyList, which link and unlink through it.
using BodyList = PooledList<HardBody*>;

// Whether the list holds the pointer, by a walk that reads no body (so the pointer may
// name a body deleted since).
inline bool listContains(const BodyList& list, const HardBody* body) {
    for (const HardBody* b : list) {
        if (b == body) {
            return true;
        }
    }
    return false;
}
