#include "host/scene/timedRead.h"

#include "host/api/dataBlock.h"
#include "host/api/pxNode.h"
#include "host/core/registry.h"
#include "host/core/runtime.h"

namespace host {

namespace {

// Deeper chains of sources and computes read their normal values.
constexpr int kMaxDepth = 64;

Value component(const Value& v, const Attribute* attr) {
    if (attr->childIndex < 0 || !attr->parent || attr->parent->kind != AttrKind::Numeric) return v;
    if (auto p = std::get_if<Vec3>(&v)) return (*p)[attr->childIndex];
    return 0.0;
}

Value readAt(const PlugKey& plug, TimedValues& values, int depth);

// A module node's output computed at the time, on the scratch values.
Value computeAt(Node& node, const PlugKey& plug, TimedValues& values, int depth) {
    const Attribute* st = plug.attr->storage();
    const std::uint64_t id = node.id;
    TimedValues::Entry& e = values.entry(id, st, plug.index);
    // Computed already, or read during its own compute: the value held.
    if (e.clean || e.computing) return component(e.value, plug.attr.get());
    e.computing = true;
    const int outer = values.depth;
    values.depth = depth + 1;
    MDataBlock block(id, &values);
    const MPlug p = makePlug(PlugKey{id, runtime().scene.attributePtr(node, st), plug.index});
    node.user->compute(p, block);
    values.depth = outer;
    e.computing = false;
    return component(e.value, plug.attr.get());
}

Value readAt(const PlugKey& plug, TimedValues& values, int depth) {
    Scene& scene = runtime().scene;
    Node* node = scene.find(plug.node);
    if (!node || !plug.attr || depth > kMaxDepth) return {};
    const MTime& t = values.time();
    const Attribute* attr = plug.attr.get();
    const Attribute* st = attr->storage();
    if (plug.node == runtime().timeNode() && st->longName == "outTime") return t;
    Value v;
    if (evaluateAtTime(plug.node, st, t, v)) return component(v, attr);
    if (const Connection* c = scene.sourceOf(plug)) return readAt(c->src, values, depth + 1);
    const AttributePtr whole = scene.attributePtr(*node, st);
    if (attr != st)
        if (const Connection* c = scene.sourceOf(PlugKey{plug.node, whole, plug.index}))
            return component(readAt(c->src, values, depth + 1), attr);
    // A three-number compound: each child from its own source, else the normal value.
    if (st->kind == AttrKind::Numeric && st->children.size() == 3) {
        bool fed = false;
        for (const auto& child : st->children) fed = fed || scene.sourceOf(PlugKey{plug.node, child, plug.index});
        if (fed) {
            Vec3 out = std::get_if<Vec3>(&(v = scene.read(PlugKey{plug.node, whole, plug.index}))) ? std::get<Vec3>(v)
                                                                                                    : Vec3{};
            for (int i = 0; i < 3; ++i)
                if (const Connection* c = scene.sourceOf(PlugKey{plug.node, st->children[i], plug.index}))
                    out[i] = valueAsDouble(readAt(c->src, values, depth + 1));
            return component(out, attr);
        }
    }
    // The host's own types keep their values in the scene as they compute: only module
    // nodes compute at another time.
    if (st->affected && node->user && !node->type->builtin) return computeAt(*node, plug, values, depth);
    return scene.read(plug);
}

}  // namespace

TimedValues::Entry& TimedValues::entry(std::uint64_t node, const Attribute* attr, int index) {
    const Attribute* st = attr->storage();
    const auto [it, made] = entries_.try_emplace({node, st, index});
    if (made)
        if (const Node* n = runtime().scene.find(node)) {
            const Slot* stored = n->slots.find(SlotKey{st, index});
            it->second.value = stored ? stored->value : st->defaultValue;
        }
    return it->second;
}

Value readTimed(const PlugKey& plug, TimedValues& values) { return readAt(plug, values, values.depth); }

Value readInContext(const PlugKey& plug, const MDGContext& ctx, MStatus* status) {
    if (ctx.isNormal()) return runtime().scene.read(plug, status);
    if (status) *status = runtime().scene.find(plug.node) && plug.attr ? MStatus(MS::kSuccess)
                                                                       : MStatus(MS::kInvalidParameter, "invalid plug");
    TimedValues values(ctx.getTime());
    return readAt(plug, values, 0);
}

}  // namespace host
