#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/api/dagPath.h"
#include "host/api/fn.h"

namespace host {

// How many components of a kind (faces, edges, vertices) the mesh at `path` has
// at most: edges are bounded by its face-vertices.
int componentCount(const MDagPath& path, MFn::Type kind);

// The indices of "3" or "2:5" (the text inside a component's brackets), checked
// against the `count` components there are, before any is listed: an index past
// the mesh gives an error naming it and the count, never a huge list. `what`
// names the components ("faces").
// The indices are appended to `indices`.
bool componentRange(std::string_view text, int count, const char* what, std::vector<int>& indices,
                    std::string* why = nullptr);

}  // namespace host
