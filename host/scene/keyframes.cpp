#include "host/scene/keyframes.h"

#include "host/core/runtime.h"
#include "host/scene/animationData.h"
#include "host/scene/dag.h"

namespace host {

namespace {

PlugKey plugOf(std::uint64_t id, const char* name) {
    Node* n = runtime().scene.find(id);
    const Attribute* a = n ? runtime().scene.findAttribute(*n, name) : nullptr;
    return a ? PlugKey{id, runtime().scene.attributePtr(*n, a), -1} : PlugKey{};
}

const char* curveType(const Attribute& attr) {
    const std::string& name = attr.storage()->longName;
    if (name == "translate") return "animCurveTL";
    if (name == "rotate") return "animCurveTA";
    return "animCurveTU";
}

}  // namespace

std::uint64_t animCurveOf(const PlugKey& plug) {
    const Connection* c = runtime().scene.sourceOf(plug);
    if (!c) return 0;
    const Node* n = runtime().scene.find(c->src.node);
    return n && MFn::isA(n->type->apiType, MFn::kAnimCurve) ? n->id : 0;
}

MStatus setKeyframe(const PlugKey& plug, const MTime& time, double value, bool stepped) {
    Scene& scene = runtime().scene;
    Node* target = scene.find(plug.node);
    if (!target || !plug.attr) return MStatus(MS::kInvalidParameter, "invalid plug");
    std::uint64_t curve = animCurveOf(plug);
    if (!curve) {
        if (scene.sourceOf(plug)) return MStatus(MS::kFailure, "the plug is driven by something else");
        NodeType* type = runtime().registry.findType(curveType(*plug.attr));
        MStatus st;
        curve = scene.createNode(*type, target->name + "_" + plug.attr->longName, false, &st);
        if (!st) return st;
        if (!(st = scene.connect(plugOf(runtime().timeNode(), "outTime"), plugOf(curve, "input")))) return st;
        if (!(st = scene.connect(plugOf(curve, "output"), plug))) return st;
        scene.write(plugOf(curve, "keys"), std::shared_ptr<DataObject>(std::make_shared<AnimKeysData>()));
    }
    const PlugKey keys = plugOf(curve, "keys");
    const Value v = scene.read(keys);
    auto d = std::get_if<std::shared_ptr<DataObject>>(&v);
    auto old = d ? std::dynamic_pointer_cast<AnimKeysData>(*d) : nullptr;
    // Copy on write: the stored keys may be shared.
    auto fresh = old ? std::make_shared<AnimKeysData>(*old) : std::make_shared<AnimKeysData>();
    fresh->setKey(AnimKey{time, value, stepped});
    return scene.write(keys, std::shared_ptr<DataObject>(fresh));
}

}  // namespace host
