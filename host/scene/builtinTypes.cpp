#include "host/scene/builtinTypes.h"

#include <cmath>

#include "host/api/fnAttribute.h"
#include "host/core/runtime.h"
#include "host/scene/builtinNodes.h"
#include "host/scene/dag.h"

namespace host {

namespace {

// Adds attributes to a type under construction, through the attribute function sets.
class TypeBuilder {
public:
    TypeBuilder(Registry& registry, const char* name, MFn::Type kind, CreatorFunction creator = nullptr)
        : registry_(registry), type_(std::make_unique<NodeType>()) {
        type_->name = name;
        type_->apiType = kind;
        type_->builtin = true;
        type_->creator = creator;
        type_->id = MTypeId(0x7f000000u + static_cast<unsigned>(registry.types().size()));
        type_->attributes = {MPxNode::message.attribute()};
        runtime().initializingType = type_.get();
    }
    ~TypeBuilder() {
        runtime().initializingType = nullptr;
        registry_.addType(std::move(type_));
    }
    TypeBuilder(const TypeBuilder&) = delete;
    TypeBuilder& operator=(const TypeBuilder&) = delete;

    MObject number(const char* l, const char* s, MFnNumericData::Type t, double def, bool keyable = false) {
        MFnNumericAttribute fn;
        MObject a = fn.create(l, s, t, def);
        fn.setKeyable(keyable);
        MPxNode::addAttribute(a);
        return a;
    }
    MObject vector(const char* l, const char* s, double def, bool keyable = false) {
        MFnNumericAttribute fn;
        MObject a = fn.create(l, s, MFnNumericData::k3Double, def);
        fn.setKeyable(keyable);
        for (auto& c : a.attribute()->children) c->keyable = keyable;
        MPxNode::addAttribute(a);
        return a;
    }
    MObject typed(const char* l, const char* s, MFnData::Type t, bool array = false, bool hidden = false) {
        MFnTypedAttribute fn;
        MObject a = fn.create(l, s, t);
        fn.setArray(array);
        fn.setHidden(hidden);
        fn.setStorable(!array);
        MPxNode::addAttribute(a);
        return a;
    }
    MObject message(const char* l, const char* s, bool array = false) {
        MFnMessageAttribute fn;
        MObject a = fn.create(l, s);
        fn.setArray(array);
        MPxNode::addAttribute(a);
        return a;
    }
    MObject time(const char* l, const char* s) {
        MFnUnitAttribute fn;
        MObject a = fn.create(l, s, MTime(0.0));
        MPxNode::addAttribute(a);
        return a;
    }
    static void affects(const MObject& from, const MObject& to) { MPxNode::attributeAffects(from, to); }

private:
    Registry& registry_;
    std::unique_ptr<NodeType> type_;
};

// Channels of a transform, shared by transforms and fields.
std::vector<MObject> addChannels(TypeBuilder& b) {
    std::vector<MObject> channels{b.vector("translate", "t", 0, true), b.vector("rotate", "r", 0, true),
                                  b.vector("scale", "s", 1, true), b.vector("rotatePivot", "rp", 0),
                                  b.vector("rotatePivotTranslate", "rpt", 0), b.vector("scalePivot", "sp", 0),
                                  b.vector("scalePivotTranslate", "spt", 0)};
    b.number("visibility", "v", MFnNumericData::kBoolean, 1, true);
    MObject world = b.typed("worldMatrix", "wm", MFnData::kMatrix, true);
    for (const auto& c : channels) TypeBuilder::affects(c, world);
    return channels;
}

void addShapeFlags(TypeBuilder& b) {
    b.number("visibility", "v", MFnNumericData::kBoolean, 1, true);
    b.number("intermediateObject", "io", MFnNumericData::kBoolean, 0);
}

void registerGeometry(Registry& r) {
    {
        TypeBuilder b(r, "transform", MFn::kTransform, builtin::TransformNode::creator);
        addChannels(b);
        b.message("specifiedManipLocation", "sml");
    }
    {
        TypeBuilder b(r, "mesh", MFn::kMesh, builtin::MeshNode::creator);
        addShapeFlags(b);
        MObject in = b.typed("inMesh", "i", MFnData::kMesh);
        MObject out = b.typed("outMesh", "o", MFnData::kMesh);
        // Set once an edit left an overlay: a saved outMesh then carries it, and an
        // opened scene lays that outMesh's decorations over the evaluated input again.
        b.number("overlaid", "ovl", MFnNumericData::kBoolean, 0);
        MFnNumericAttribute fn;
        MObject pnts = fn.create("pnts", "pt", MFnNumericData::k3Float, 0);
        fn.setArray(true);
        MPxNode::addAttribute(pnts);
        MObject world = b.typed("worldMesh", "w", MFnData::kMesh, true);
        b.message("blindDataNodes", "bn", true);
        b.message("instObjGroups", "iog", true);
        MFnTypedAttribute uvName;
        MObject name = uvName.create("uvSetName", "uvsn", MFnData::kString);
        MFnMessageAttribute uvSet;
        // "uvSet[k].uvSetName": an array of compounds holding one name each.
        MObject set = uvSet.create("uvSet", "uvst");
        set.attribute()->kind = AttrKind::Compound;
        set.attribute()->array = true;
        name.attribute()->parent = set.attribute().get();
        set.attribute()->children.push_back(name.attribute());
        MPxNode::addAttribute(set);
        TypeBuilder::affects(in, out);
        TypeBuilder::affects(in, world);
        TypeBuilder::affects(out, world);
        TypeBuilder::affects(pnts, world);
        TypeBuilder::affects(in, name);
        TypeBuilder::affects(out, name);
    }
    {
        TypeBuilder b(r, "nurbsCurve", MFn::kNurbsCurve, builtin::CurveNode::creator);
        addShapeFlags(b);
        MObject create = b.typed("create", "cr", MFnData::kNurbsCurve);
        MObject local = b.typed("local", "l", MFnData::kNurbsCurve);
        MObject world = b.typed("worldSpace", "ws", MFnData::kNurbsCurve, true);
        TypeBuilder::affects(create, local);
        TypeBuilder::affects(create, world);
        TypeBuilder::affects(local, world);
    }
    {
        TypeBuilder b(r, "nurbsSurface", MFn::kNurbsSurface);
        addShapeFlags(b);
        b.typed("create", "cr", MFnData::kNurbsSurface);
        b.typed("local", "l", MFnData::kNurbsSurface);
        b.typed("worldSpace", "ws", MFnData::kNurbsSurface, true);
    }
    {
        TypeBuilder b(r, "camera", MFn::kCamera);
        addShapeFlags(b);
        b.number("focalLength", "fl", MFnNumericData::kDouble, 35);
    }
    {
        TypeBuilder b(r, "rigidBody", MFn::kRigidBody);
        addShapeFlags(b);
        b.number("mass", "mas", MFnNumericData::kDouble, 1);
    }
}

void registerAnimation(Registry& r) {
    for (const auto& [name, kind] : {std::pair{"animCurveTL", MFn::kAnimCurveTimeToDistance},
                                     std::pair{"animCurveTA", MFn::kAnimCurveTimeToAngular},
                                     std::pair{"animCurveTU", MFn::kAnimCurveTimeToUnitless}}) {
        TypeBuilder b(r, name, kind, builtin::AnimCurveNode::creator);
        MObject input = b.time("input", "i");
        MObject keys = b.typed("keys", "ks", MFnData::kInvalid, false, true);
        // Worked out from the keys at the input time: evaluating a curve stores nothing.
        MObject output = b.number("output", "o", MFnNumericData::kDouble, 0);
        MFnNumericAttribute(output).setStorable(false);
        TypeBuilder::affects(input, output);
        TypeBuilder::affects(keys, output);
    }
    TypeBuilder b(r, "motionPath", MFn::kMotionPath, builtin::MotionPathNode::creator);
    MObject path = b.typed("geometryPath", "gp", MFnData::kNurbsCurve);
    MObject u = b.number("uValue", "u", MFnNumericData::kDouble, 0, true);
    MObject all = b.vector("allCoordinates", "ac", 0);
    MFnNumericAttribute(all).setStorable(false);
    TypeBuilder::affects(path, all);
    TypeBuilder::affects(u, all);
}

void registerFields(Registry& r) {
    struct FieldKind {
        const char* name;
        MFn::Type kind;
        double magnitude;
        double dir[3];
    };
    for (const FieldKind& f : {FieldKind{"uniformField", MFn::kUniformField, 1, {1, 0, 0}},
                               FieldKind{"gravityField", MFn::kGravityField, 9.8, {0, -1, 0}},
                               FieldKind{"radialField", MFn::kRadialField, 5, {0, 0, 0}}}) {
        TypeBuilder b(r, f.name, f.kind, builtin::TransformNode::creator);
        addChannels(b);
        b.number("magnitude", "m", MFnNumericData::kDouble, f.magnitude, true);
        MObject dir = b.vector("direction", "d", 0, true);
        dir.attribute()->defaultValue = Vec3{f.dir[0], f.dir[1], f.dir[2]};
        for (int i = 0; i < 3; ++i) dir.attribute()->children[static_cast<std::size_t>(i)]->defaultValue = f.dir[i];
        b.number("maxDistance", "max", MFnNumericData::kDouble, -1, true);
    }
}

// Kinds the host only needs to recognise and connect: their inputs pass through.
void registerPassThrough(Registry& r) {
    struct Kind {
        const char* name;
        MFn::Type kind;
        std::vector<std::pair<const char*, const char*>> inputs;
    };
    for (const Kind& k : {Kind{"skinCluster", MFn::kSkinClusterFilter, {{"matrix", "ma"}, {"inputGeometry", "ig"}}},
                          Kind{"tweak", MFn::kTweak, {{"inputGeometry", "ig"}}},
                          Kind{"polyTweak", MFn::kPolyTweak, {{"inputPolymesh", "ip"}}},
                          Kind{"vertexColour", MFn::kVertexColour, {{"inputPolymesh", "ip"}}},
                          Kind{"colourSetSource", MFn::kColourSetSource, {{"inMesh", "im"}}},
                          Kind{"polyMerge", MFn::kPolyMerge, {{"inMesh", "im"}}},
                          Kind{"polyTweakUV", MFn::kPolyTweakUV, {{"inputPolymesh", "ip"}}},
                          Kind{"polyCreator", MFn::kPolyCreator, {}}}) {
        TypeBuilder b(r, k.name, k.kind, builtin::PassThroughNode::creator);
        std::vector<MObject> inputs;
        for (const auto& [l, s] : k.inputs)
            if (std::string(l) == "matrix")
                inputs.push_back(b.typed(l, s, MFnData::kMatrix, true));
            else
                inputs.push_back(b.typed(l, s, MFnData::kMesh));
        if (k.kind == MFn::kPolyTweak) {
            // Per vertex a float3 whose children can each be driven.
            MFnNumericAttribute fn;
            MObject tweak = fn.create("tweak", "tk", MFnNumericData::k3Float, 0);
            fn.setArray(true);
            MPxNode::addAttribute(tweak);
            inputs.push_back(tweak);
        }
        const MObject og = b.typed("outputGeometry", "og", MFnData::kMesh);
        const MObject out = b.typed("output", "out", MFnData::kMesh);
        for (const MObject& in : inputs) {
            TypeBuilder::affects(in, og);
            TypeBuilder::affects(in, out);
        }
    }
}

void registerShading(Registry& r) {
    {
        TypeBuilder b(r, "lambert", MFn::kLambert, builtin::LambertNode::creator);
        MObject color = b.vector("color", "c", 0.5);
        MObject out = b.vector("outColor", "oc", 0);
        TypeBuilder::affects(color, out);
    }
    {
        TypeBuilder b(r, "shadingEngine", MFn::kShadingEngine);
        b.vector("surfaceShader", "ss", 0);
        b.message("dagSetMembers", "dsm", true);
        // Per member element: the faces it holds (none: the whole object).
        // Stored in scene files, unlike other typed arrays: membership must survive a save.
        MFnTypedAttribute(b.typed("memberFaces", "mfc", MFnData::kComponentList, true, true)).setStorable(true);
    }
}

}  // namespace

void registerSceneTypes(Registry& registry) {
    registerShading(registry);
    registerGeometry(registry);
    registerAnimation(registry);
    registerFields(registry);
    registerPassThrough(registry);
}

std::uint64_t createViewCamera() {
    NodeType* type = runtime().registry.findType("camera");
    const auto made = dag::createNode(*type, "viewCameraShape", 0, false);
    if (made.size() != 2) return 0;
    Scene& scene = runtime().scene;
    scene.rename(made[0], "viewCamera");
    // Up and to the side, looking at the origin.
    Node* t = scene.find(made[0]);
    auto set = [&](const char* name, Vec3 v) {
        const Attribute* a = scene.findAttribute(*t, name);
        scene.write(PlugKey{made[0], scene.attributePtr(*t, a), -1}, v);
    };
    const double pitch = -std::atan2(21.0, std::hypot(28.0, 28.0));
    const double yaw = std::atan2(28.0, 28.0);
    set("translate", Vec3{28, 21, 28});
    set("rotate", Vec3{pitch, yaw, 0});
    return made[1];
}

}  // namespace host
