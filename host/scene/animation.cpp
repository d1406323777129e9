#include <functional>
#include <set>

#include "host/api/animControl.h"
#include "host/api/view3d.h"
#include "host/core/runtime.h"
#include "host/scene/animationData.h"
#include "host/scene/curveData.h"
#include "host/scene/timedRead.h"

using host::runtime;

namespace host {

namespace {

PlugKey plugOf(std::uint64_t id, const char* name) {
    Node* n = runtime().scene.find(id);
    const Attribute* a = n ? runtime().scene.findAttribute(*n, name) : nullptr;
    return a ? PlugKey{id, runtime().scene.attributePtr(*n, a), -1} : PlugKey{};
}

template <typename T>
std::shared_ptr<T> dataOf(const Value& v) {
    auto d = std::get_if<std::shared_ptr<DataObject>>(&v);
    return d ? std::dynamic_pointer_cast<T>(*d) : nullptr;
}

bool drivesTime(const Node& n) {
    return MFn::isA(n.type->apiType, MFn::kAnimCurve) || n.type->apiType == MFn::kMotionPath;
}

// Upstream from a plug: its sources (the plug itself, its compound as a whole or,
// for a compound, any child), then inside each source node the attributes that
// affect the source plug. A child answers for itself, not for its siblings.
bool animatedFrom(const PlugKey& plug, std::set<std::pair<std::uint64_t, const Attribute*>>& seen) {
    Scene& scene = runtime().scene;
    Node* n = scene.find(plug.node);
    if (!n || !plug.attr) return false;
    const Attribute* self = plug.attr.get();
    if (!seen.insert({plug.node, self}).second) return false;
    if (drivesTime(*n)) return true;
    auto related = [self](const Attribute* x) { return x == self || x == self->parent || x->parent == self; };
    std::vector<PlugKey> sources;
    for (const Connection& c : scene.connectionsOf(plug.node))
        if (c.dst.node == plug.node && related(c.dst.attr.get())) sources.push_back(c.src);
    // Attributes of this node that affect it (input affecting input or output); the
    // table names a numeric compound as a whole.
    const Attribute* st = self->storage();
    auto consider = [&](const std::vector<AttributePtr>& attrs) {
        for (const auto& a : attrs) {
            for (const Attribute* x : a->affects)
                if (x == st || related(x)) sources.push_back(PlugKey{plug.node, a, -1});
            for (const auto& c : a->children)
                for (const Attribute* x : c->affects)
                    if (x == st || related(x)) sources.push_back(PlugKey{plug.node, c, -1});
        }
    };
    consider(n->type->attributes);
    consider(n->dynamicAttributes);
    for (const PlugKey& s : sources)
        if (animatedFrom(s, seen)) return true;
    return false;
}

bool nodeAnimated(std::uint64_t id) {
    Node* n = runtime().scene.find(id);
    if (!n) return false;
    std::set<std::pair<std::uint64_t, const Attribute*>> seen;
    for (const Connection& c : runtime().scene.connectionsOf(id))
        if (c.dst.node == id && animatedFrom(c.src, seen)) return true;
    return false;
}

void sendRangeChanged() { runtime().messages.event("playbackRangeChanged"); }

}  // namespace

bool evaluateAtTime(std::uint64_t node, const Attribute* attr, const MTime& t, Value& out) {
    Node* n = runtime().scene.find(node);
    if (!n) return false;
    if (MFn::isA(n->type->apiType, MFn::kAnimCurve) && attr->longName == "output") {
        const MTime at = valueAsTime(readInContext(plugOf(node, "input"), MDGContext(t)));
        auto keys = dataOf<AnimKeysData>(runtime().scene.read(plugOf(node, "keys")));
        out = keys ? keys->evaluate(at) : 0.0;
        return true;
    }
    if (n->type->apiType == MFn::kMotionPath && attr->longName == "allCoordinates") {
        const double u = valueAsDouble(readInContext(plugOf(node, "uValue"), MDGContext(t)));
        auto curve = dataOf<CurveData>(readInContext(plugOf(node, "geometryPath"), MDGContext(t)));
        const auto p = curve ? curve->geometry.point(u) : std::array<double, 3>{0, 0, 0};
        out = Vec3{p[0], p[1], p[2]};
        return true;
    }
    return false;
}

}  // namespace host

MTime MAnimControl::currentTime() {
    return host::valueAsTime(runtime().scene.read(host::plugOf(runtime().timeNode(), "outTime")));
}

MStatus MAnimControl::setCurrentTime(const MTime& t) {
    auto& state = runtime().time;
    // Handlers may set the time again; past this depth the change is refused.
    if (state.changeDepth >= 16) return MStatus(MS::kFailure, "time changes nested too deeply");
    MTime value = t;
    value.setUnit(MTime::uiUnit());
    const MStatus st = runtime().scene.write(host::plugOf(runtime().timeNode(), "outTime"), value);
    if (!st) return st;
    ++state.changeDepth;
    runtime().messages.event("timeChanged");
    --state.changeDepth;
    // The view follows the time line (the outermost change only, once its handlers ran).
    if (state.changeDepth == 0 && !runtime().options.batch) {
        M3dView::active3dView().refresh(false, false);
    }
    return MS::kSuccess;
}

MTime MAnimControl::minTime() { return runtime().time.minTime; }
MTime MAnimControl::maxTime() { return runtime().time.maxTime; }

MStatus MAnimControl::setMinTime(const MTime& t) { return setMinMaxTime(t, maxTime()); }
MStatus MAnimControl::setMaxTime(const MTime& t) { return setMinMaxTime(minTime(), t); }

MStatus MAnimControl::setMinMaxTime(const MTime& min, const MTime& max) {
    auto& state = runtime().time;
    if (min == state.minTime && max == state.maxTime) return MS::kSuccess;
    state.minTime = min;
    state.maxTime = max;
    host::sendRangeChanged();
    return MS::kSuccess;
}

MTime MAnimControl::animationStartTime() { return runtime().time.animationStart; }
MTime MAnimControl::animationEndTime() { return runtime().time.animationEnd; }
MStatus MAnimControl::setAnimationStartTime(const MTime& t) { return setAnimationStartEndTime(t, animationEndTime()); }
MStatus MAnimControl::setAnimationEndTime(const MTime& t) { return setAnimationStartEndTime(animationStartTime(), t); }

MStatus MAnimControl::setAnimationStartEndTime(const MTime& start, const MTime& end) {
    runtime().time.animationStart = start;
    runtime().time.animationEnd = end;
    return MS::kSuccess;
}

double MAnimControl::playbackSpeed() { return runtime().time.playbackSpeed; }

MStatus MAnimControl::setPlaybackSpeed(double speed) {
    runtime().time.playbackSpeed = speed;
    return MS::kSuccess;
}

bool MAnimControl::isPlaying() { return runtime().playingBack; }

MStatus MAnimControl::playForward() {
    const MTime min = minTime(), max = maxTime();
    runtime().playingBack = true;
    MStatus result;
    const MTime one(1.0, MTime::uiUnit());
    for (MTime t = min; t <= max; t += one) {
        const MStatus st = setCurrentTime(t);
        runtime().idle.flush();
        if (!st) {
            result = st;
            break;
        }
    }
    runtime().playingBack = false;
    return result;
}

bool MAnimUtil::isAnimated(const MPlug& plug, bool, MStatus* status) {
    if (status) *status = plug.isNull() ? MStatus(MS::kInvalidParameter, "invalid plug") : MStatus(MS::kSuccess);
    if (plug.isNull()) return false;
    std::set<std::pair<std::uint64_t, const host::Attribute*>> seen;
    return host::animatedFrom(host::keyOf(plug), seen);
}

bool MAnimUtil::isAnimated(const MObject& node, bool checkParent, MStatus* status) {
    if (node.kind() != MObject::Kind::Node || node.isNull()) {
        if (status) *status = MStatus(MS::kInvalidParameter, "not a node");
        return false;
    }
    if (checkParent) {
        MDagPath path;
        if (MDagPath::getAPathTo(node, path)) return isAnimated(path, true, status);
    }
    if (status) *status = MS::kSuccess;
    return host::nodeAnimated(node.id());
}

bool MAnimUtil::isAnimated(const MDagPath& path, bool checkParent, MStatus* status) {
    if (!path.isValid() || path.length() == 0) {
        if (status) *status = MStatus(MS::kInvalidParameter, "invalid path");
        return false;
    }
    if (status) *status = MS::kSuccess;
    const auto& nodes = path.nodes();
    if (host::nodeAnimated(nodes.back())) return true;
    if (checkParent)
        for (std::size_t i = 0; i + 1 < nodes.size(); ++i)
            if (host::nodeAnimated(nodes[i])) return true;
    return false;
}
