#pragma once

// Bodies and helpers for the world tests. A world deletes the bodies it holds, so
// tests hand it bodies made with `makeBody` and keep only raw pointers.

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/bodies/sampleBody.h"
#include "engine/world/privateWorld.h"

namespace zyltest {

// A placed body of mass 1 with the given index (-1: none yet) and name.
inline SampleBody* makeBody(std::int32_t index = -1, const char* name = "", eHBodyType kind = HB_PHANTOM,
                            const Qmt::QmtVector3& position = {}) {
    auto* body = new SampleBody(kind);
    place(*body, position);
    body->transform.index = index;
    std::strncpy(body->transform.name, name, sizeof body->transform.name - 1);
    return body;
}

// The list's bodies from first to last.
inline std::vector<HardBody*> bodiesOf(const WorldBodyList& list) {
    return {list.begin(), list.end()};
}

// The list's body indices from first to last.
inline std::vector<std::int32_t> indicesOf(const WorldBodyList& list) {
    std::vector<std::int32_t> out;
    for (const HardBody* body : list) {
        out.push_back(body->transform.index);
    }
    return out;
}

}  // namespace zyltest
