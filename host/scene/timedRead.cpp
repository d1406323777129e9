#include "host/scene/timedRead.h"

#include "host/core/runtime.h"

namespace host {

namespace {

Value component(const Value& v, const Attribute* attr) {
    if (attr->childIndex < 0 || !attr->parent || attr->parent->kind != AttrKind::Numeric) return v;
    if (auto p = std::get_if<Vec3>(&v)) return (*p)[attr->childIndex];
    return 0.0;
}

Value readAt(const PlugKey& plug, const MTime& t, int depth) {
    Scene& scene = runtime().scene;
    Node* node = scene.find(plug.node);
    if (!node || !plug.attr || depth > 64) return {};
    const Attribute* attr = plug.attr.get();
    const Attribute* st = attr->storage();
    if (plug.node == runtime().timeNode() && st->longName == "outTime") return t;
    Value v;
    if (evaluateAtTime(plug.node, st, t, v)) return component(v, attr);
    if (const Connection* c = scene.sourceOf(plug)) return readAt(c->src, t, depth + 1);
    const AttributePtr whole = scene.attributePtr(*node, st);
    if (attr != st)
        if (const Connection* c = scene.sourceOf(PlugKey{plug.node, whole, plug.index}))
            return component(readAt(c->src, t, depth + 1), attr);
    // A three-number compound: each child from its own source, else the normal value.
    if (st->kind == AttrKind::Numeric && st->children.size() == 3) {
        bool fed = false;
        for (const auto& child : st->children) fed = fed || scene.sourceOf(PlugKey{plug.node, child, plug.index});
        if (fed) {
            Vec3 out = std::get_if<Vec3>(&(v = scene.read(PlugKey{plug.node, whole, plug.index}))) ? std::get<Vec3>(v)
                                                                                                    : Vec3{};
            for (int i = 0; i < 3; ++i)
                if (const Connection* c = scene.sourceOf(PlugKey{plug.node, st->children[i], plug.index}))
                    out[i] = valueAsDouble(readAt(c->src, t, depth + 1));
            return component(out, attr);
        }
    }
    return scene.read(plug);
}

}  // namespace

Value readInContext(const PlugKey& plug, const MDGContext& ctx, MStatus* status) {
    if (ctx.isNormal()) return runtime().scene.read(plug, status);
    if (status) *status = runtime().scene.find(plug.node) && plug.attr ? MStatus(MS::kSuccess)
                                                                       : MStatus(MS::kInvalidParameter, "invalid plug");
    return readAt(plug, ctx.getTime(), 0);
}

}  // namespace host
