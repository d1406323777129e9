#pragma once

#include <cstdint>
#include <vector>

#include "host/api/status.h"
#include "host/core/scene.h"

// Shading groups: sets with a "surfaceShader" input. A mesh instance is a member
// through a connection "instObjGroups[i]" -> "dagSetMembers[k]"; the set's
// "memberFaces[k]" holds the faces (none stored: the whole object).
namespace host::shading {

struct Membership {
    std::uint64_t set = 0;
    int element = -1;        // the "dagSetMembers" element
    std::vector<int> faces;  // ascending; empty: the whole object
};

bool isShadingGroup(std::uint64_t node);
// Sets holding the mesh instance, in connection order.
std::vector<Membership> membershipsOf(std::uint64_t mesh, int instance);
// Adds the faces (or, when `whole`, the whole object). With `force` they leave
// every other shading group first, so that no face is in two groups.
MStatus addMembers(std::uint64_t set, std::uint64_t mesh, int instance, bool whole, std::vector<int> faces,
                   bool force);
// Takes the faces (or the whole object) out of the set.
MStatus removeMembers(std::uint64_t set, std::uint64_t mesh, int instance, bool whole, std::vector<int> faces);
// The sets among the broken connections' destinations forget the faces they kept for
// members that are gone for good (nothing connected to the element any more).
void forgetMembers(const std::vector<Connection>& broken);
// Per polygon the shading group holding it, 0 for none.
std::vector<std::uint64_t> faceGroups(std::uint64_t mesh, int instance, int polygonCount);
// The scene's default shader "lambert1" and its group "initialShadingGroup".
void createDefaults();

}  // namespace host::shading
