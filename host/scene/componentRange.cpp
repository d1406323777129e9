#include "host/scene/componentRange.h"

#include <charconv>

#include "host/api/fnMesh.h"

namespace host {

namespace {

bool index(std::string_view text, int& out) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size() && out >= 0;
}

}  // namespace

int componentCount(const MDagPath& path, MFn::Type kind) {
    const MFnMesh mesh(path);
    switch (kind) {
        case MFn::kMeshPolygonComponent: return mesh.numPolygons();
        case MFn::kMeshVertComponent: return mesh.numVertices();
        default: return mesh.numFaceVertices();
    }
}

bool componentRange(std::string_view text, int count, const char* what, std::vector<int>& indices,
                    std::string* why) {
    const auto colon = text.find(':');
    int first = 0, last = 0;
    const bool read = index(text.substr(0, colon), first) &&
                      (colon == std::string_view::npos ? (last = first, true) : index(text.substr(colon + 1), last));
    if (!read || last < first) {
        if (why) *why = "bad component range '" + std::string(text) + "'";
        return false;
    }
    if (last >= count) {
        if (why) *why = "index " + std::to_string(last) + " past the mesh's " + std::to_string(count) + " " + what;
        return false;
    }
    for (int i = first; i <= last; ++i) indices.push_back(i);
    return true;
}

}  // namespace host
