// The solver's frame routine: reset at the play range's start, replay from the frame
// caches, or simulate one frame's advance in substeps.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "engine/bodies/hardBody.h"
#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "host/api/animControl.h"
#include "host/api/fnTransform.h"
#include "host/api/global.h"
#include "host/api/iterators.h"
#include "host/api/messages.h"
#include "src/bodyShared.h"
#include "src/collisionShapeNode.h"
#include "src/crackerNode.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/sceneUtils.h"
#include "src/solverNode.h"

namespace {

// One frame of the scene's time unit.
MTime oneFrame() { return MTime(1.0, MTime::uiUnit()); }

// A body counts as static when it, or the fracture body it belongs to, is.
bool isStatic(const HardBody* body) {
    return body->isStatic() || (body->getParent() && body->getParent()->isStatic());
}

// Animated bodies follow their host animation: `passive` 2, or members of a fracture
// body that rides on an animated ancestor.
bool followsAnimation(rigidBodyNode& rb) {
    const FractureBodyNode* owner = rb.getOwner();
    return rb.getPassive() == 2 || (owner && owner->hasAnimBody);
}

// Cached frame k onto a body's transform. A static body moves only once it wakes, on a
// first hit or at its fracture body's activation frame (its state now may be that of
// the start, before it woke); until then it shows its rest position, as the run left it.
void playBack(rigidBodyNode& rb, const HardBody& body, std::int64_t k) {
    const FractureBodyNode* owner = rb.getOwner();
    if (!isStatic(&body) || (owner && owner->hasAnimBody)) {
        rb.playBackFrame(static_cast<int>(std::min<std::int64_t>(k, INT_MAX)));
        return;
    }
    if (!rb.getFirstHitActive() && !(owner && owner->wakesDuringRun())) return;
    MFnTransform transform;
    if (rb.frameCache.holdsStartPose(k)) {
        if (transformAbove(rb.thisMObject(), transform)) resetFromRest(transform);
    } else {
        rb.playBackFrame(static_cast<int>(std::min<std::int64_t>(k, INT_MAX)));
    }
}

bool sceneHasFields() { return !MItDependencyNodes(MFn::kField).isDone(); }

// The transforms whose animation moves a run: the crackers', the animated bodies' and
// the animated parents of fracture bodies.
std::vector<MDagPath> animatedTransforms(const SolverNodeLists& nodes) {
    std::vector<MDagPath> transforms;
    const auto addAbove = [&](const MObject& node) {
        if (MDagPath path; MDagPath::getAPathTo(node, path) && path.pop()) transforms.push_back(path);
    };
    for (const zylCrackerNode* cracker : nodes.crackers) addAbove(cracker->thisMObject());
    for (rigidBodyNode* rb : nodes.rigidBodies)
        if (!rb->getOwner() && rb->getPassive() == 2) addAbove(rb->thisMObject());
    for (const FractureBodyNode* fb : nodes.fractureBodies)
        if (fb->hasAnimBody && fb->animBodyPath.isValid()) transforms.push_back(fb->animBodyPath);
    return transforms;
}

constexpr const char* kCachedModeOn = "print \" ZYL bake cached mode is active \"";

}  // namespace

SolverNodeLists zylSolverNode::gatherNodeLists() const {
    SolverNodeLists lists;
    const MObject self = thisMObject();
    lists.rigidBodies = connectedUserNodes<rigidBodyNode>(MPlug(self, rigidBodies), rigidBodyNode::id);
    lists.crackers = connectedUserNodes<zylCrackerNode>(MPlug(self, crackers), zylCrackerNode::id);
    lists.fractureBodies = connectedUserNodes<FractureBodyNode>(MPlug(self, fractureBodies), FractureBodyNode::id);
    return lists;
}

void zylSolverNode::advanceFrame(const MPlug& plug, MDataBlock& data) {
    PublicWorld* world = engineWorld();
    if (!world) {
        data.setClean(plug);
        return;
    }
    const MTime t = data.inputValue(inTime).asTime();
    const MTime tmin = MAnimControl::minTime();
    // No substep at all would divide the frame by zero: a frame is at least one step.
    const int n = std::max(1, data.inputValue(substeps).asInt());
    const SolverNodeLists nodes = gatherNodeLists();
    const bool cached = data.inputValue(cachedMode).asBool();

    if (t == tmin) {
        if (world->getNumberOfBodies() == 0) return;
        startAtMinTime(nodes, tmin, n, cached);
        return;
    }

    // Frame numbers far beyond any range saturate: such times are before or after the
    // range like any other.
    const std::int64_t f = wholeFrames(t - tmin);
    const std::int64_t s = std::int64_t{data.inputValue(startFrame).asInt()} - wholeFrames(tmin);
    const std::int64_t d = wholeFrames(t - lastTime);
    const std::int64_t m = wholeFrames(lastSimulatedTime - tmin);
    const bool cacheActiveOn = data.inputValue(cacheActive).asBool();
    const bool runStart = d >= 0 && f == s + 1;
    if (runStart) leaveStart(nodes, t, n);
    showsStart_ = false;

    if (cacheActiveOn && (MPlug(thisMObject(), cachedMode).asBool() || f <= m)) {
        const std::int64_t k = f > s ? f - s - 1 : 0;
        for (rigidBodyNode* rb : nodes.rigidBodies) {
            if (const HardBody* body = rb->getBody(false)) playBack(*rb, *body, k);
            lastTime = t;
        }
        return;
    }
    if (runStart) {
        // The run is timed from here; this frame itself is not simulated.
        simulationTimer.clear();
        simulationTimer.beginTimer();
        MPlug(thisMObject(), startTime).setValue(tmin);
        lastTime = t;
        return;
    }
    if (f >= s && t > lastTime && d <= 1) {
        // Settings changed since the last frame shape this one: the ground follows
        // `useGroundGrid` as soon as it is set.
        MPlug(thisMObject(), ca_solverParams).asBool();
        MPlug(thisMObject(), ca_numThreads).asBool();
        const double dt = (t - lastTime).as(MTime::kSeconds) / n;
        stepFrame(nodes, t, n, dt);
        lastTime = lastSimulatedTime = t;
        if (MAnimControl::maxTime() <= lastSimulatedTime) finishRun(cacheActiveOn);
    }
    // Anything else (a jump back past the caches, more than one frame forward, a time
    // before the start frame) leaves the bodies where they are.
}

void zylSolverNode::startAtMinTime(const SolverNodeLists& nodes, const MTime& tmin, int substepCount, bool cached) {
    MAnimControl::setPlaybackSpeed(0.0);
    adoptMovedTransforms(nodes);
    const MObject self = thisMObject();
    MPlug(self, ca_solverParams).asBool();
    MPlug(self, ca_numThreads).asBool();
    // A cache size set since takes effect as the run starts, as an opened scene takes it.
    renewingCaches_ = true;
    MPlug(self, ca_cacheSize).asBool();
    renewingCaches_ = false;
    // Back at the start, the bodies take what was set on them since: a pose or centre
    // read now is the rest pose, as in a saved scene. A change drops the cached frames.
    resetSimulation(nodes);
    if (cachedRunHolds(nodes) && cached) {
        for (rigidBodyNode* rb : nodes.rigidBodies)
            if (const HardBody* body = rb->getBody(false)) playBack(*rb, *body, 0);
        for (zylCrackerNode* cracker : nodes.crackers) {
            cracker->resetNodeToRestPosition();
            cracker->updateBodyFromNodeTransform(tmin);
        }
    } else {
        startSimulation(nodes, tmin, substepCount);
        lastSimulatedTime = tmin;
        runMotion_.clear();
        runMotion_.record(animatedTransforms(nodes), tmin);
        startDue_ = false;
    }
    lastTime = tmin;
    showsStart_ = true;
}

void zylSolverNode::leaveStart(const SolverNodeLists& nodes, const MTime& t, int substepCount) {
    const bool cached = MPlug(thisMObject(), cachedMode).asBool();
    const bool holds = cachedRunHolds(nodes);
    PublicWorld* world = engineWorld();
    if ((cached ? holds : !startDue_) || !world || world->getNumberOfBodies() == 0) return;
    startAtMinTime(nodes, MAnimControl::minTime(), substepCount, false);
    // The start pass put the animated transforms where the range starts; this frame
    // shows them where their animation has them now, as a run from the start does.
    for (const MDagPath& transform : animatedTransforms(nodes)) showDrivenChannelsAt(transform.node(), t);
}

bool zylSolverNode::cachedRunHolds(const SolverNodeLists& nodes) {
    takePendingChanges(nodes);
    MPlug cached(thisMObject(), cachedMode);
    if (!cached.asBool()) return false;
    if (cachedStartInvalidated(nodes)) {
        cached.setValue(false);
        startDue_ = true;
        return false;
    }
    if (!runMotion_.matches(animatedTransforms(nodes))) {
        disableCachedMode();
        return false;
    }
    return true;
}

// Cached frames stay valid only while nothing that shapes the run is animated: while
// playing back, the rigid bodies' parameters or passive states; otherwise also force
// fields anywhere and the fracture bodies' thresholds.
bool zylSolverNode::cachedStartInvalidated(const SolverNodeLists& nodes) const {
    const auto animatedBody = [](rigidBodyNode* rb) { return rb->isAnimatedAspect(4 | 8); };
    if (MConditionMessage::getConditionState("playingBack")) return std::ranges::any_of(nodes.rigidBodies, animatedBody);
    if (sceneHasFields()) return true;
    if (std::ranges::any_of(nodes.rigidBodies, animatedBody)) return true;
    return std::ranges::any_of(nodes.fractureBodies, [](FractureBodyNode* fb) { return fb->isAnimatedAspect(4); });
}

void zylSolverNode::finishRun(bool cacheActiveOn) {
    simulationTimer.endTimer();
    MGlobal::executeCommandOnIdle(" print  \"\\n simulation time " + elapsedTimeText(simulationTimer.elapsedTime()) +
                                  "\\n\"");
    if (!cacheActiveOn) return;
    MPlug(thisMObject(), cachedMode).setValue(true);
    MGlobal::executeCommandOnIdle(kCachedModeOn);
}

void zylSolverNode::takePendingChanges(const SolverNodeLists& nodes) {
    if (rebuildingScene) return;
    adoptMovedTransforms(nodes);
    // A mesh deleted or changed under a body leaves it without one, or with another, as
    // the saved scene has it.
    rebuildBodiesOfChangedMeshes();
    for (rigidBodyNode* rb : nodes.rigidBodies) rb->pullChangeFlags();
    for (zylCrackerNode* cracker : nodes.crackers) cracker->pullChangeFlags();
    for (FractureBodyNode* fb : nodes.fractureBodies) {
        fb->pullChangeFlags();
        fb->settleMembers();
    }
}

void zylSolverNode::adoptMovedTransforms(const SolverNodeLists& nodes) {
    if (!showsStart_ || rebuildingScene) return;
    // A keyed transform goes where its keys say; a member moves with its fracture body.
    for (rigidBodyNode* rb : nodes.rigidBodies)
        if (!rb->getOwner() && rb->movedFromRest() && !rb->isAnimatedAspect(1)) rb->rebuildWhereTransformStands();
}

void zylSolverNode::resetSimulation(const SolverNodeLists& nodes) {
    // A fracture body that lost members starts the run as its scene now stores it.
    for (FractureBodyNode* fb : nodes.fractureBodies) fb->settleMembers();
    if (PublicWorld* world = engineWorld()) world->clear();
    const MTime tmin = MAnimControl::minTime();
    for (rigidBodyNode* rb : nodes.rigidBodies) {
        const HardBody* body = rb->getBody(false);
        if (!body || rb->getOwner()) continue;
        rb->resetToRest();
        if (body->isStatic() && rb->getPassive() == 2) rb->readAnimatedTransform(tmin, true);
    }
    for (FractureBodyNode* fb : nodes.fractureBodies) fb->resetMembers();
    for (zylCrackerNode* cracker : nodes.crackers) {
        cracker->resetNodeToRestPosition();
        cracker->updateBodyFromNodeTransform(tmin);
    }
}

void zylSolverNode::startSimulation(const SolverNodeLists& nodes, const MTime& time, int substepCount) {
    PublicWorld* world = engineWorld();
    if (!world || world->getNumberOfBodies() == 0) return;
    const bool cacheActiveOn = MPlug(thisMObject(), cacheActive).asBool();
    const double dt = oneFrame().as(MTime::kSeconds) / substepCount;
    const double frameLength = substepCount * dt;
    const MTime nextFrame = time + oneFrame();

    for (rigidBodyNode* rb : nodes.rigidBodies) {
        HardBody* body = rb->getBody(false);
        if (!body) continue;
        rb->setRestFromCurrent(time);
        if (isStatic(body)) {
            if (followsAnimation(*rb)) {
                rb->readAnimatedTransform(time, false);
                rb->setKinematicVelocity(frameLength, time, nextFrame);
            }
        } else {
            rb->applyInitialVelocities();
        }
        if (cacheActiveOn) {
            rb->frameCache.count = 0;
            rb->frameCache.append(body);
        }
        rb->resetToRest();
    }
    for (zylCrackerNode* cracker : nodes.crackers) {
        if (!cracker->isActive()) continue;
        cracker->storeRestPosition(time);
        cracker->updateBodyFromNodeTransform(time);
        cracker->computeBodyVelocityFromAnimation(frameLength);
        cracker->resetNodeToRestPosition();
    }
    for (FractureBodyNode* fb : nodes.fractureBodies) {
        fb->prepareAtTime(time);
        fb->splitAtStart();
        fb->resetMembers();
    }
}

void zylSolverNode::stepFrame(const SolverNodeLists& nodes, const MTime& t, int substepCount, double dt) {
    PublicWorld* world = engineWorld();
    if (!world) return;
    const int frame = wholeFrames(t);
    const bool cacheActiveOn = MPlug(thisMObject(), cacheActive).asBool();
    const double frameLength = substepCount * dt;
    const MTime previous = t - oneFrame();

    for (rigidBodyNode* rb : nodes.rigidBodies) {
        const HardBody* body = rb->getBody(false);
        if (!body || !isStatic(body) || !followsAnimation(*rb)) continue;
        rb->captureKinematicTarget();
        rb->setKinematicVelocity(frameLength, previous, t);
    }
    for (zylCrackerNode* cracker : nodes.crackers) {
        if (!cracker->isActive()) continue;
        cracker->readNodeTransformWithScale(t);
        cracker->computeBodyVelocityFromAnimation(frameLength);
    }

    for (int i = 1; i <= substepCount; ++i) {
        const double alpha = static_cast<double>(i) / substepCount;
        for (rigidBodyNode* rb : nodes.rigidBodies) {
            // Only a body that is itself static is moved along its animation here.
            const HardBody* body = rb->getBody(false);
            if (body && body->isStatic() && rb->getPassive() == 2) rb->interpolateKinematic(alpha, previous, t);
        }
        for (zylCrackerNode* cracker : nodes.crackers) cracker->interpolateBodyPlacement(alpha);
        world->manageCollisions(dt);
        applyForceFields(nodes, frame, dt);
        std::uint64_t out = 0;
        world->step(dt, &out);
    }

    for (rigidBodyNode* rb : nodes.rigidBodies) {
        HardBody* body = rb->getBody(false);
        if (!body) continue;
        if (!isStatic(body))
            rb->writeBackTransform();
        else if (followsAnimation(*rb))
            rb->readAnimatedTransform(t, false);
        if (cacheActiveOn) rb->frameCache.append(body);
    }
    for (zylCrackerNode* cracker : nodes.crackers) cracker->updateBodyFromNodeTransform(t);
    // Only a run that reaches the range's end is served from the caches again.
    if (t <= MAnimControl::maxTime()) runMotion_.record(animatedTransforms(nodes), t);
    for (FractureBodyNode* fb : nodes.fractureBodies) {
        FractureBody* body = fb->fractureBody;
        if (!body) continue;
        fb->breakStressesAtFrame(frame);
        fb->updateStressPositions();
        if (fb->hasAnimBody && body->isStatic()) fb->followAnimBody(frameLength, previous, t);
        if (fb->isActivatedAtFrame() && fb->getActFrame() <= frame) fb->releaseStaticParts();
        if (!body->isBreakable() && fb->getBreakFrame() <= frame) body->setBreakable();
    }
}
