// Host-only commands for scripts and tests: primitives and explicit meshes,
// curves, fields, motion paths, and OBJ and transform output.

#include <limits>
#include <sstream>

#include "host/api/animControl.h"
#include "host/api/selectionList.h"
#include "host/core/runtime.h"
#include "host/io/sceneWriters.h"
#include "host/mel/builtinArgs.h"
#include "host/scene/shading.h"
#include "host/scene/curveData.h"
#include "host/scene/dag.h"
#include "host/scene/keyframes.h"
#include "host/scene/meshShape.h"
#include "host/scene/transformChannels.h"

namespace host::mel {

namespace {

PlugKey plugOf(std::uint64_t id, const char* name, int index = -1) {
    Node* n = runtime().scene.find(id);
    const Attribute* a = n ? runtime().scene.findAttribute(*n, name) : nullptr;
    return a ? PlugKey{id, runtime().scene.attributePtr(*n, a), index} : PlugKey{};
}

// Divisions of the primitives: a million faces at most.
constexpr int kMaxDivisions = 1000;

MStatus numbers(const char* command, const char* flag, const std::string& text, std::vector<double>& out) {
    std::istringstream in(text);
    for (std::string w; in >> w;) {
        double v = 0;
        if (MStatus st = realArg(command, flag, w, v); !st) return st;
        out.push_back(v);
    }
    return MS::kSuccess;
}

// "0 1 2 3, 4 5 6; 7 8 9": polygons split by ';', loops (outer, then holes) by ','.
MStatus polygons(const std::string& text, std::vector<std::vector<std::vector<int>>>& out) {
    std::istringstream polys(text);
    for (std::string poly; std::getline(polys, poly, ';');) {
        std::vector<std::vector<int>> loops;
        std::istringstream ls(poly);
        for (std::string loop; std::getline(ls, loop, ',');) {
            std::vector<int> ids;
            std::istringstream words(loop);
            for (std::string w; words >> w;) {
                int id = 0;
                if (MStatus st = intArg("makeMesh", "-faces", w, 0, std::numeric_limits<int>::max(), id); !st) return st;
                ids.push_back(id);
            }
            if (!ids.empty()) loops.push_back(std::move(ids));
        }
        if (!loops.empty()) out.push_back(std::move(loops));
    }
    return MS::kSuccess;
}

// Makes "<type>" under a new transform named `name` (its shape "<name>Shape").
MStatus makeShape(const char* cmd, const char* typeName, const std::string& name, std::uint64_t parent,
                  std::vector<std::uint64_t>& made) {
    MStatus st;
    NodeType* type = runtime().registry.findType(typeName);
    if (parent || !name.empty()) {
        NodeType* transform = runtime().registry.findType("transform");
        made = dag::createNode(*transform, name, parent, false, &st);
        if (made.empty()) return commandError(cmd, st.errorString().str());
        const std::string shapeName = runtime().scene.find(made[0])->name + "Shape";
        const auto shape = dag::createNode(*type, shapeName, made[0], false, &st);
        if (shape.empty()) return commandError(cmd, st.errorString().str());
        made.push_back(shape[0]);
    } else {
        made = dag::createNode(*type, {}, 0, false, &st);
        if (made.empty()) return commandError(cmd, st.errorString().str());
    }
    return MS::kSuccess;
}

std::uint64_t parentNamed(const ParsedArgs& p) {
    if (!p.has("p")) return 0;
    const auto path = resolveName(p.value("p"));
    return path.empty() ? 0 : path.back();
}

MStatus makeMeshCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("makeMesh", args,
                               {{"c", "cube", 0}, {"pl", "plane", 0}, {"sp", "sphere", 0}, {"s", "size", 1},
                                {"d", "divisions", 1}, {"n", "name", 1}, {"pts", "points", 1}, {"fc", "faces", 1},
                                {"p", "parent", 1}},
                               p);
        !st)
        return st;
    double size = 1.0;
    if (p.has("s"))
        if (MStatus st = realArg("makeMesh", "-size", p.value("s"), size); !st) return st;
    int divisions = 1;
    if (p.has("d"))
        if (MStatus st = intArg("makeMesh", "-divisions", p.value("d"), 1, kMaxDivisions, divisions); !st) return st;
    MeshGeometry g;
    if (p.has("c")) {
        g = makeCube(size);
    } else if (p.has("pl")) {
        g = makePlane(size, divisions);
    } else if (p.has("sp")) {
        g = makeSphere(size / 2, std::max(8, divisions), std::max(4, divisions / 2));
    } else if (p.has("pts") && p.has("fc")) {
        std::vector<double> xyz;
        if (MStatus st = numbers("makeMesh", "-points", p.value("pts"), xyz); !st) return st;
        std::vector<std::vector<std::vector<int>>> faces;
        if (MStatus st = polygons(p.value("fc"), faces); !st) return st;
        for (std::size_t i = 0; i + 2 < xyz.size(); i += 3)
            g.points.push_back({static_cast<float>(xyz[i]), static_cast<float>(xyz[i + 1]), static_cast<float>(xyz[i + 2])});
        for (const auto& poly : faces) {
            for (const auto& loop : poly)
                for (const int v : loop)
                    if (v < 0 || static_cast<std::size_t>(v) >= g.points.size())
                        return commandError("makeMesh", "Vertex " + std::to_string(v) + " does not exist");
            g.addPolygon(poly);
        }
    } else {
        return commandError("makeMesh", "Give -cube, -plane, -sphere or -points with -faces");
    }
    if (p.has("p") && !parentNamed(p)) return commandError("makeMesh", "No object matches name: " + p.value("p"));
    std::vector<std::uint64_t> made;
    if (MStatus st = makeShape("makeMesh", "mesh", p.value("n"), parentNamed(p), made); !st) return st;
    auto data = std::make_shared<MeshData>();
    data->geometry = std::move(g);
    runtime().scene.write(plugOf(made.back(), "outMesh"), std::shared_ptr<DataObject>(data));
    // Primitives come shaded, as the interactive tools make them.
    if (Node* initial = runtime().scene.findByName("initialShadingGroup"))
        shading::addMembers(initial->id, made.back(), 0, true, {}, true);
    runtime().selection = {made.front()};
    result = runtime().scene.find(made.front())->name;
    return MS::kSuccess;
}

MStatus makeCurveCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("makeCurve", args, {{"d", "degree", 1}, {"pt", "point", 3}, {"n", "name", 1}, {"p", "parent", 1}}, p);
        !st)
        return st;
    if (MStatus st = realFlags("makeCurve", p, {"pt"}); !st) return st;
    int degree = 3;
    if (p.has("d"))
        if (MStatus st = intArg("makeCurve", "-degree", p.value("d"), 1, 7, degree); !st) return st;
    const auto& xyz = p.flags["pt"];
    std::vector<std::array<double, 3>> cvs;
    for (std::size_t i = 0; i + 2 < xyz.size(); i += 3)
        cvs.push_back({MString(xyz[i]).asDouble(), MString(xyz[i + 1]).asDouble(), MString(xyz[i + 2]).asDouble()});
    if (cvs.size() < 2) return commandError("makeCurve", "A curve needs at least two points");
    std::vector<std::uint64_t> made;
    if (MStatus st = makeShape("makeCurve", "nurbsCurve", p.value("n"), parentNamed(p), made); !st) return st;
    auto data = std::make_shared<CurveData>();
    data->geometry = CurveGeometry::clampedUniform(std::move(cvs), degree);
    runtime().scene.write(plugOf(made.back(), "local"), std::shared_ptr<DataObject>(data));
    result = runtime().scene.find(made.front())->name;
    return MS::kSuccess;
}

MStatus makeFieldCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("makeField", args,
                               {{"t", "type", 1}, {"m", "magnitude", 1}, {"d", "direction", 3}, {"md", "maxDistance", 1},
                                {"pos", "position", 3}, {"n", "name", 1}},
                               p);
        !st)
        return st;
    if (MStatus st = realFlags("makeField", p, {"m", "d", "md", "pos"}); !st) return st;
    const std::string kind = p.has("t") ? p.value("t") : "uniform";
    NodeType* type = runtime().registry.findType(kind + "Field");
    if (!type) return commandError("makeField", "Unknown field type '" + kind + "'");
    MStatus st;
    const auto made = dag::createNode(*type, p.value("n"), 0, false, &st);
    if (made.empty()) return commandError("makeField", st.errorString().str());
    const std::uint64_t id = made.front();
    Scene& scene = runtime().scene;
    if (p.has("m")) scene.write(plugOf(id, "magnitude"), MString(p.value("m")).asDouble());
    if (p.has("md")) scene.write(plugOf(id, "maxDistance"), MString(p.value("md")).asDouble());
    auto vec = [&](const char* f) {
        return MVector(MString(p.value(f, 0)).asDouble(), MString(p.value(f, 1)).asDouble(), MString(p.value(f, 2)).asDouble());
    };
    if (p.has("d")) dag::writeVector(id, "direction", vec("d"));
    if (p.has("pos")) dag::writeVector(id, "translate", vec("pos"));
    result = scene.find(id)->name;
    return MS::kSuccess;
}

MStatus makeMotionPathCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("makeMotionPath", args, {{"c", "curve", 1}, {"st", "startTime", 1}, {"et", "endTime", 1}, {"n", "name", 1}}, p);
        !st)
        return st;
    if (p.words.size() != 1 || !p.has("c")) return commandError("makeMotionPath", "Give -curve and one object");
    if (MStatus st = realFlags("makeMotionPath", p, {"st", "et"}); !st) return st;
    auto curvePath = resolveName(p.value("c"));
    auto objectPath = resolveName(p.words[0].text);
    if (curvePath.empty()) return commandError("makeMotionPath", "No object matches name: " + p.value("c"));
    if (objectPath.empty() || !dag::hasChannels(objectPath.back()))
        return commandError("makeMotionPath", "No transform matches name: " + p.words[0].text);
    MDagPath curve(curvePath);
    if (!curve.hasFn(MFn::kNurbsCurve) && (curve.extendToShape() != MS::kSuccess || !curve.hasFn(MFn::kNurbsCurve)))
        return commandError("makeMotionPath", "'" + p.value("c") + "' is not a curve");
    Scene& scene = runtime().scene;
    MStatus st;
    const std::uint64_t path = scene.createNode(*runtime().registry.findType("motionPath"), p.value("n"), false, &st);
    if (!st) return commandError("makeMotionPath", st.errorString().str());
    const std::uint64_t shape = curve.nodes().back();
    const std::uint64_t object = objectPath.back();
    const Value local = scene.read(plugOf(shape, "local"));
    auto data = std::get_if<std::shared_ptr<DataObject>>(&local);
    auto c = data ? std::dynamic_pointer_cast<CurveData>(*data) : nullptr;
    const double u0 = c ? c->geometry.domainStart() : 0, u1 = c ? c->geometry.domainEnd() : 1;
    const MTime t0 = p.has("st") ? MTime(MString(p.value("st")).asDouble(), MTime::uiUnit()) : MAnimControl::minTime();
    const MTime t1 = p.has("et") ? MTime(MString(p.value("et")).asDouble(), MTime::uiUnit()) : MAnimControl::maxTime();
    for (const MStatus& s : {scene.connect(plugOf(shape, "worldSpace", static_cast<int>(curve.instanceNumber())),
                                           plugOf(path, "geometryPath")),
                             setKeyframe(plugOf(path, "uValue"), t0, u0, false),
                             setKeyframe(plugOf(path, "uValue"), t1, u1, false),
                             scene.connect(plugOf(path, "allCoordinates"), plugOf(object, "translate")),
                             scene.connect(plugOf(path, "message"), plugOf(object, "specifiedManipLocation"))})
        if (!s) return commandError("makeMotionPath", s.errorString().str());
    result = scene.find(path)->name;
    return MS::kSuccess;
}

MStatus writeObjCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    if (args.size() != 1) return commandError("writeObj", "Give one file name");
    const MStatus st = io::writeObj(args[0].text);
    return st ? st : commandError("writeObj", st.errorString().str());
}

MStatus writeTransformsCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    if (args.size() != 1) return commandError("writeTransforms", "Give one file name");
    const MStatus st = io::writeTransforms(args[0].text, MAnimControl::currentTime().as(MTime::uiUnit()));
    return st ? st : commandError("writeTransforms", st.errorString().str());
}

}  // namespace

void addMakeBuiltins(std::map<std::string, Builtin>& table) {
    table["makeMesh"] = makeMeshCmd;
    table["makeCurve"] = makeCurveCmd;
    table["makeField"] = makeFieldCmd;
    table["makeMotionPath"] = makeMotionPathCmd;
    table["writeObj"] = writeObjCmd;
    table["writeTransforms"] = writeTransformsCmd;
}

}  // namespace host::mel
