// Mesh MEL: blind-data types and values, polyEvaluate, makeIdentity, UV links, forced
// evaluation, the history switch and the confirm dialog.

#include <algorithm>
#include <string_view>

#include "host/api/dagPath.h"
#include "host/api/fnMesh.h"
#include "host/api/meshIterators.h"
#include "host/api/selectionList.h"
#include "host/core/runtime.h"
#include "host/mel/builtinArgs.h"
#include "host/scene/componentRange.h"
#include "host/scene/dag.h"
#include "host/scene/dagEdit.h"
#include "host/scene/meshShape.h"

namespace host::mel {
namespace {

// The mesh shape path named by a word (a transform goes to its shape), and a face range when
// given (appended to `faces`); `polygons` receives the mesh's polygon count when asked for.
bool meshItem(const std::string& word, MDagPath& path, std::vector<int>* faces, std::string* why = nullptr,
              int* polygons = nullptr) {
    const auto dot = word.find(".f[");
    const std::string_view object = std::string_view(word).substr(0, dot);
    if (object.find_first_of(".|*?") == std::string_view::npos) {
        // A plain name: the node of that name, as a selection list finds it.
        const Node* n = runtime().scene.findByName(std::string(object));
        if (!n || !dag::isDagNode(n->id)) return false;
        path = MDagPath(dag::firstPathTo(n->id));
        if (path.length() == 0) return false;
    } else {
        MSelectionList list;
        if (!list.add(MString(object)) || !list.getDagPath(0, path)) return false;
    }
    if (!path.hasFn(MFn::kMesh) && !path.extendToShape()) return false;
    if (!path.hasFn(MFn::kMesh)) return false;
    if (polygons) *polygons = MFnMesh(path).numPolygons();
    if (dot == std::string::npos || !faces) return dot == std::string::npos;
    const auto close = word.find(']', dot);
    if (close == std::string::npos) return false;
    return componentRange(std::string_view(word).substr(dot + 3, close - dot - 3),
                          polygons ? *polygons : MFnMesh(path).numPolygons(), "faces", *faces, why);
}

MStatus blindDataTypeCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("blindDataType", args,
                               {{"q", "query", 0}, {"id", "id", 1}, {"dt", "dataType", 1}, {"ldn", "longDataName", 1},
                                {"sdn", "shortDataName", 1}},
                               p);
        !st)
        return st;
    if (!p.has("id")) return commandError("blindDataType", "No type id given");
    // In query mode flags take no value: the id is the word after them.
    if (p.has("q") && p.words.empty()) return commandError("blindDataType", "No type id given");
    const int id = MString(p.has("q") ? p.words[0].text : p.value("id")).asInt();
    if (p.has("q")) {
        // An empty answer until the type exists.
        result = runtime().blindDataTypes.count(id) ? std::vector<int>{id} : std::vector<int>{};
        return MS::kSuccess;
    }
    const auto& dt = p.flags["dt"];
    const auto& ln = p.flags["ldn"];
    const auto& sn = p.flags["sdn"];
    if (dt.empty() || dt.size() != ln.size() || dt.size() != sn.size())
        return commandError("blindDataType", "Give a data type, a long and a short name per attribute");
    MStringArray l, s, f;
    for (std::size_t i = 0; i < dt.size(); ++i) {
        l.append(MString(ln[i]));
        s.append(MString(sn[i]));
        f.append(MString(dt[i]));
    }
    if (MStatus st = MFnMesh().createBlindDataType(id, l, s, f); !st)
        return commandError("blindDataType", st.errorString().str());
    return MS::kSuccess;
}

MStatus polyBlindDataCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    ParsedArgs p;
    if (MStatus st = parseArgs("polyBlindData", args,
                               {{"id", "typeId", 1}, {"at", "associationType", 1}, {"ldn", "longDataName", 1},
                                {"ind", "intData", 1}},
                               p);
        !st)
        return st;
    if (p.value("at") != "face") return commandError("polyBlindData", "Only face blind data is supported");
    const int id = MString(p.value("id")).asInt();
    const int value = MString(p.value("ind")).asInt();
    const MString attr(p.value("ldn"));
    // Words naming faces of the object just named gather into one edit of its mesh.
    MDagPath path;
    std::string object;
    int polygons = 0;
    MIntArray gathered;
    bool pending = false;
    const auto apply = [&]() -> MStatus {
        if (!pending) return MS::kSuccess;
        pending = false;
        const MStatus st = MFnMesh(path).setIntBlindData(gathered, MFn::kMeshPolygonComponent, id, attr, value);
        gathered.clear();
        return st ? st : commandError("polyBlindData", st.errorString().str());
    };
    const auto failed = [&](const std::string& word, const std::string& why) {
        if (MStatus st = apply(); !st) return st;
        return commandError("polyBlindData", why.empty() ? "No polygon object: " + word : word + ": " + why);
    };
    std::vector<int> faces;
    std::string why;
    for (const Arg& w : p.words) {
        const auto dot = w.text.find(".f[");
        faces.clear();
        why.clear();
        if (pending && dot != std::string::npos && w.text.compare(0, dot, object) == 0 && dot == object.size()) {
            const auto close = w.text.find(']', dot);
            if (close == std::string::npos ||
                !componentRange(std::string_view(w.text).substr(dot + 3, close - dot - 3), polygons, "faces", faces,
                                &why))
                return failed(w.text, why);
        } else {
            if (MStatus st = apply(); !st) return st;
            if (!meshItem(w.text, path, &faces, &why, &polygons)) return failed(w.text, why);
            object = w.text.substr(0, dot);
            if (faces.empty())
                for (int f = 0; f < polygons; ++f) faces.push_back(f);
        }
        for (const int f : faces) gathered.append(f);
        pending = true;
    }
    return apply();
}

MStatus polyEvaluateCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("polyEvaluate", args,
                               {{"wa", "worldArea", 0}, {"a", "area", 0}, {"ae", "accurateEvaluation", 0},
                                {"f", "face", 0}, {"v", "vertex", 0}},
                               p);
        !st)
        return st;
    std::vector<MDagPath> meshes;
    std::vector<std::string> words;
    for (const Arg& w : p.words) words.push_back(w.text);
    if (words.empty())
        for (const std::uint64_t id : runtime().selection) words.push_back(runtime().scene.find(id)->name);
    for (const auto& w : words) {
        MDagPath path;
        if (!meshItem(w, path, nullptr)) return commandError("polyEvaluate", "No polygon object: " + w);
        meshes.push_back(path);
    }
    if (meshes.empty()) return commandError("polyEvaluate", "No polygon object given or selected");
    if (p.has("f") || p.has("v")) {
        int count = 0;
        for (const auto& m : meshes) count += p.has("f") ? MFnMesh(m).numPolygons() : MFnMesh(m).numVertices();
        result = count;
        return MS::kSuccess;
    }
    const MSpace::Space space = p.has("wa") ? MSpace::kWorld : MSpace::kObject;
    double area = 0;
    for (const auto& m : meshes)
        for (MItMeshPolygon it(m); !it.isDone(); it.next()) {
            double a = 0;
            it.getArea(a, space);
            area += a;
        }
    result = std::vector<double>{area};
    return MS::kSuccess;
}

MStatus makeIdentityCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    ParsedArgs p;
    if (MStatus st = parseArgs("makeIdentity", args,
                               {{"a", "apply", 1}, {"t", "translate", 1}, {"r", "rotate", 1}, {"s", "scale", 1}}, p);
        !st)
        return st;
    if (!p.has("a") || !truthy(p.value("a"))) return commandError("makeIdentity", "Only -apply true is supported");
    for (const Arg& w : p.words) {
        Node* n = runtime().scene.findByName(w.text);
        if (!n || n->type->apiType != MFn::kTransform) return commandError("makeIdentity", "No transform: " + w.text);
        const MMatrix local = dag::localMatrix(n->id);
        // The transform's effect moves into what lies below it.
        for (const std::uint64_t c : std::vector<std::uint64_t>(n->children)) {
            Node* child = runtime().scene.find(c);
            if (!child) continue;
            if (child->type->apiType == MFn::kTransform) {
                dag::setLocalMatrix(c, dag::localMatrix(c) * local);
            } else if (child->type->apiType == MFn::kMesh) {
                MeshGeometry g = tweakedGeometry(c);
                transformGeometry(g, local);
                if (MStatus st = setShapeGeometry(c, g); !st) return commandError("makeIdentity", st.errorString().str());
            }
        }
        if (MStatus st = dag::setLocalMatrix(n->id, MMatrix()); !st)
            return commandError("makeIdentity", st.errorString().str());
    }
    return MS::kSuccess;
}

MStatus confirmDialogCmd(Interpreter& in, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("confirmDialog", args,
                               {{"t", "title", 1}, {"m", "message", 1}, {"b", "button", 1}, {"db", "defaultButton", 1},
                                {"cb", "cancelButton", 1}, {"ds", "dismissString", 1}},
                               p);
        !st)
        return st;
    in.record("confirmDialog", args);
    // The scripted answer when one is set, else what pressing Enter would give.
    const std::string& scripted = runtime().options.confirmAnswer;
    result = !scripted.empty() ? scripted : p.value("db");
    return MS::kSuccess;
}

// Texture links per UV set are only stored and answered: nothing is textured.
MStatus uvLinkCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("uvLink", args, {{"q", "query", 0}, {"uvs", "uvSet", 1}, {"t", "texture", 1}}, p); !st)
        return st;
    if (p.has("q")) {
        if (p.words.empty()) return commandError("uvLink", "No UV set given");
        const auto it = runtime().uvLinks.find(p.words[0].text);
        result = it != runtime().uvLinks.end() ? it->second : std::vector<std::string>{};
        return MS::kSuccess;
    }
    if (!p.has("uvs") || !p.has("t")) return commandError("uvLink", "Give -uvSet and -texture");
    auto& textures = runtime().uvLinks[p.value("uvs")];
    if (std::find(textures.begin(), textures.end(), p.value("t")) == textures.end()) textures.push_back(p.value("t"));
    return MS::kSuccess;
}

// Pulls the plug's value (its source first), as a forced evaluation does.
MStatus dgevalCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    ParsedArgs p;
    if (MStatus st = parseArgs("dgeval", args, {{"src", "src", 0}, {"v", "verbose", 0}}, p); !st) return st;
    for (const Arg& w : p.words) {
        MSelectionList list;
        MPlug plug;
        if (!list.add(MString(w.text)) || !list.getPlug(0, plug)) return commandError("dgeval", "No plug: " + w.text);
        MStatus st;
        runtime().scene.read(keyOf(plug), &st);
        if (!st) return commandError("dgeval", st.errorString().str());
    }
    return MS::kSuccess;
}

MStatus constructionHistoryCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("constructionHistory", args, {{"q", "query", 0}, {"tgl", "toggle", 1}}, p); !st)
        return st;
    bool& on = runtime().options.historyOn;
    if (p.has("q")) result = on ? 1 : 0;
    else if (p.has("tgl")) on = truthy(p.value("tgl"));
    return MS::kSuccess;
}

}  // namespace

void addMeshBuiltins(std::map<std::string, Builtin>& table) {
    table["blindDataType"] = blindDataTypeCmd;
    table["polyBlindData"] = polyBlindDataCmd;
    table["polyEvaluate"] = polyEvaluateCmd;
    table["makeIdentity"] = makeIdentityCmd;
    table["confirmDialog"] = confirmDialogCmd;
    table["uvLink"] = uvLinkCmd;
    table["dgeval"] = dgevalCmd;
    table["constructionHistory"] = constructionHistoryCmd;
}

}  // namespace host::mel
