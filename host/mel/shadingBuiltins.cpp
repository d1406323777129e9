// Shading MEL: "sets" (create, -e -fe, -rm) and "shadingNode".

#include <string_view>

#include "host/api/fnMesh.h"
#include "host/core/runtime.h"
#include "host/scene/componentRange.h"
#include "host/mel/builtinArgs.h"
#include "host/scene/shading.h"

namespace host::mel {
namespace {

// A set item: a mesh instance with an optional face list ("m.f[3]", "m.f[2:5]").
struct Item {
    std::uint64_t mesh = 0;
    bool whole = true;
    std::vector<int> faces;
};

std::uint64_t meshNamed(const std::string& name) {
    Node* n = runtime().scene.findByName(name);
    if (!n) return 0;
    if (n->type->apiType == MFn::kMesh) return n->id;
    for (const std::uint64_t c : n->children) {
        Node* child = runtime().scene.find(c);
        if (child && child->type->apiType == MFn::kMesh) return c;
    }
    return 0;
}

// The face count of the mesh last asked about, for the words that follow on it.
struct FaceCount {
    std::uint64_t mesh = 0;
    int count = 0;
    int of(std::uint64_t id) {
        if (id != mesh) {
            mesh = id;
            count = MFnMesh(MObject::fromNode(id)).numPolygons();
        }
        return count;
    }
};

// The mesh of the name last asked about, for the words that follow on it: the words are
// all read before any set changes, so a name keeps its mesh meanwhile.
struct MeshByName {
    std::string name;
    std::uint64_t mesh = 0;
    std::uint64_t of(std::string_view wanted) {
        if (name.empty() || wanted != name) {
            name = wanted;
            mesh = meshNamed(name);
        }
        return mesh;
    }
};

// Adds the word's item to the list; the faces of a face list of the mesh the list ends
// with join its last item.
// `more`: the words left, this one included, which a new face list makes room for.
bool parseItem(const std::string& word, std::size_t more, std::vector<Item>& items, std::string& why,
               MeshByName& meshes, FaceCount& faces) {
    const auto dot = word.find(".f[");
    const std::uint64_t mesh = meshes.of(std::string_view(word).substr(0, dot));
    if (!mesh) return false;
    const bool whole = dot == std::string::npos;
    if (whole || items.empty() || items.back().whole || items.back().mesh != mesh) {
        items.push_back(Item{mesh, whole, {}});
        if (!whole) items.back().faces.reserve(more);
    }
    if (whole) return true;
    const auto close = word.find(']', dot);
    if (close == std::string::npos) return false;
    return componentRange(std::string_view(word).substr(dot + 3, close - dot - 3), faces.of(mesh), "faces",
                          items.back().faces, &why);
}

MStatus setsCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("sets", args,
                               {{"e", "edit", 0}, {"fe", "forceElement", 1}, {"rm", "remove", 1},
                                {"r", "renderable", 1}, {"nss", "noSurfaceShader", 1}, {"em", "empty", 0},
                                {"n", "name", 1}},
                               p);
        !st)
        return st;
    // Face lists of one mesh in a row make one item: its faces go in one edit.
    std::vector<Item> items;
    MeshByName meshes;
    FaceCount faces;
    std::string why;
    for (std::size_t k = 0; k < p.words.size(); ++k) {
        const Arg& w = p.words[k];
        if (!parseItem(w.text, p.words.size() - k, items, why, meshes, faces))
            return commandError("sets", why.empty() ? "No object matches name: " + w.text : w.text + ": " + why);
    }
    const bool edit = p.has("fe") || p.has("rm");
    if (edit) {
        const std::string setName = p.has("fe") ? p.value("fe") : p.value("rm");
        Node* set = runtime().scene.findByName(setName);
        if (!set || !shading::isShadingGroup(set->id)) return commandError("sets", "No set matches name: " + setName);
        for (const Item& item : items) {
            const MStatus st = p.has("fe") ? shading::addMembers(set->id, item.mesh, 0, item.whole, item.faces, true)
                                           : shading::removeMembers(set->id, item.mesh, 0, item.whole, item.faces);
            if (!st) return commandError("sets", st.errorString().str());
        }
        return MS::kSuccess;
    }
    if (p.has("e")) return commandError("sets", "Give -forceElement or -remove to edit a set");
    if (!p.has("r") || !truthy(p.value("r")))
        return commandError("sets", "Only renderable sets (shading groups) are supported");
    NodeType* type = runtime().registry.findType("shadingEngine");
    MStatus st;
    const std::string wanted = p.has("n") ? p.value("n") : std::string("set1");
    const std::uint64_t id = runtime().scene.createNode(*type, runtime().scene.uniqueName(wanted), false, &st);
    if (!id) return commandError("sets", st.errorString().str());
    if (!p.has("em"))
        for (const Item& item : items) shading::addMembers(id, item.mesh, 0, item.whole, item.faces, false);
    result = runtime().scene.find(id)->name;
    return MS::kSuccess;
}

MStatus shadingNodeCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("shadingNode", args,
                               {{"as", "asShader", 0}, {"au", "asUtility", 0}, {"at", "asTexture", 0}, {"n", "name", 1}},
                               p);
        !st)
        return st;
    if (p.words.size() != 1) return commandError("shadingNode", "Give one node type");
    NodeType* type = runtime().registry.findType(p.words[0].text);
    if (!type) return commandError("shadingNode", "Unknown node type: " + p.words[0].text);
    MStatus st;
    const std::string wanted = p.has("n") ? p.value("n") : runtime().scene.defaultName(*type);
    const std::uint64_t id = runtime().scene.createNode(*type, runtime().scene.uniqueName(wanted), false, &st);
    if (!id) return commandError("shadingNode", st.errorString().str());
    // The new node is the selection, so that a following addAttr without a node lands on it.
    runtime().selection = {id};
    result = runtime().scene.find(id)->name;
    return MS::kSuccess;
}

}  // namespace

void addShadingBuiltins(std::map<std::string, Builtin>& table) {
    table["sets"] = setsCmd;
    table["shadingNode"] = shadingNodeCmd;
}

}  // namespace host::mel
