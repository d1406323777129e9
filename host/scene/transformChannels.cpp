#include "host/scene/transformChannels.h"

#include <algorithm>
#include <cstring>

#include "host/core/runtime.h"
#include "host/scene/timedRead.h"

namespace host::dag {

namespace {

PlugKey key(std::uint64_t id, const char* attr) {
    Node* n = runtime().scene.find(id);
    if (!n) return {};
    const Attribute* a = runtime().scene.findAttribute(*n, attr);
    return a ? PlugKey{id, runtime().scene.attributePtr(*n, a), -1} : PlugKey{};
}

// A channel of a transform of the host's own that holds exactly this value (bit for bit),
// clean, fed by nothing and feeding nothing: writing it again would change no value
// anywhere, so it is left as it is.
bool holds(const Scene& scene, const PlugKey& k, const Vec3& value, bool connected) {
    const Node* n = scene.find(k.node);
    if (!n || !n->type->builtin || n->type->apiType != MFn::kTransform ||
        (connected && (scene.sourceOf(k) || scene.feedsAnything(k.node, k.attr.get()))))
        return false;
    const Slot* s = n->slots.find(SlotKey{k.attr->storage(), k.index});
    if (!s || s->dirty || s->evaluating) return false;
    const auto* stored = std::get_if<Vec3>(&s->value);
    return stored && std::memcmp(stored->data(), value.data(), sizeof(double) * 3) == 0;
}

}  // namespace

bool hasChannels(std::uint64_t id) { return key(id, "translate").attr != nullptr; }

MVector readVector(std::uint64_t id, const char* attr, const MDGContext& ctx) {
    const PlugKey k = key(id, attr);
    if (!k.attr) return {};
    const Value v = readInContext(k, ctx);
    if (auto p = std::get_if<Vec3>(&v)) return {(*p)[0], (*p)[1], (*p)[2]};
    return {};
}

MStatus writeVector(std::uint64_t id, const char* attr, const MVector& v) {
    const PlugKey k = key(id, attr);
    if (!k.attr) return MStatus(MS::kInvalidParameter, "no attribute " + std::string(attr));
    Scene& scene = runtime().scene;
    // Channels driven child by child take their values child by child too; so do clamped
    // children, and locked ones (their message names the child). Else one write does.
    // A node without connections has no channel fed or feeding anything.
    const bool connected = scene.hasConnections(id);
    const auto own = [&](const AttributePtr& c) {
        return c->minValue || c->maxValue || (connected && scene.sourceOf(PlugKey{id, c, -1}));
    };
    if (k.attr->children.size() == 3 && std::none_of(k.attr->children.begin(), k.attr->children.end(), own) &&
        !scene.plugLocked(k)) {
        const Vec3 value{v.x, v.y, v.z};
        if (holds(scene, k, value, connected)) return MS::kSuccess;
        return scene.write(k, value);
    }
    MStatus result;
    for (int i = 0; i < 3; ++i) {
        const MStatus st = runtime().scene.write(PlugKey{id, k.attr->children[i], -1}, v[i]);
        if (!st) result = st;
    }
    return result;
}

bool channelsFed(std::uint64_t id) {
    Scene& scene = runtime().scene;
    if (!scene.hasConnections(id)) return false;
    for (const char* name : {"translate", "rotate", "scale", "rotatePivot", "rotatePivotTranslate", "scalePivot",
                             "scalePivotTranslate"}) {
        const PlugKey k = key(id, name);
        if (!k.attr) continue;
        if (scene.sourceOf(k)) return true;
        for (const AttributePtr& c : k.attr->children)
            if (scene.sourceOf(PlugKey{id, c, -1})) return true;
    }
    return false;
}

MTransformationMatrix readChannels(std::uint64_t id, const MDGContext& ctx) {
    MTransformationMatrix m;
    if (!hasChannels(id)) return m;
    m.setTranslation(readVector(id, "translate", ctx));
    m.rotateTo(MEulerRotation(readVector(id, "rotate", ctx)));
    const MVector s = readVector(id, "scale", ctx);
    const double sc[3] = {s.x, s.y, s.z};
    m.setScale(sc);
    m.setRotatePivot(MPoint(readVector(id, "rotatePivot", ctx)));
    m.setRotatePivotTranslation(readVector(id, "rotatePivotTranslate", ctx));
    m.setScalePivot(MPoint(readVector(id, "scalePivot", ctx)));
    m.setScalePivotTranslation(readVector(id, "scalePivotTranslate", ctx));
    return m;
}

MStatus writeChannels(std::uint64_t id, const MTransformationMatrix& m) {
    if (!hasChannels(id)) return MStatus(MS::kInvalidParameter, "not a transform");
    double s[3];
    m.getScale(s);
    MStatus result;
    for (const MStatus& st : {writeVector(id, "translate", m.getTranslation()),
                             writeVector(id, "rotate", m.eulerRotation().asVector()),
                             writeVector(id, "scale", MVector(s)),
                             writeVector(id, "rotatePivot", MVector(m.rotatePivot())),
                             writeVector(id, "rotatePivotTranslate", m.rotatePivotTranslation()),
                             writeVector(id, "scalePivot", MVector(m.scalePivot())),
                             writeVector(id, "scalePivotTranslate", m.scalePivotTranslation())})
        if (!st) result = st;
    return result;
}

}  // namespace host::dag
