#include "src/solverNode.h"

#include <cstring>

#include "engine/bodies/hardBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "host/api/animControl.h"
#include "host/api/fnAttribute.h"
#include "host/api/global.h"
#include "host/api/iterators.h"
#include "src/bodyShared.h"
#include "src/crackerNode.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/sceneUtils.h"

MObject zylSolverNode::version;
MObject zylSolverNode::inTime;
MObject zylSolverNode::startTime;
MObject zylSolverNode::startFrame;
MObject zylSolverNode::rigidBodies;
MObject zylSolverNode::fractureBodies;
MObject zylSolverNode::crackers;
MObject zylSolverNode::gravity;
MObject zylSolverNode::substeps;
MObject zylSolverNode::fitUnitsToMayaScale;
MObject zylSolverNode::gravityEnabled;
MObject zylSolverNode::useGroundGrid;
MObject zylSolverNode::ca_solverParams;
MObject zylSolverNode::numThreads;
MObject zylSolverNode::ca_numThreads;
MObject zylSolverNode::ca_indexFbodies;
MObject zylSolverNode::displaySelected;
MObject zylSolverNode::ca_displaySelected;
MObject zylSolverNode::cacheSize;
MObject zylSolverNode::ca_cacheSize;
MObject zylSolverNode::cachedMode;
MObject zylSolverNode::cacheActive;

namespace {

// The world's gravity until the solver's own is first pushed.
constexpr double kInitialGravity = -10.0 * 4.0;
// Gravity is given in metres; fitted to the host's units it is four times as strong.
constexpr double kFitUnitsGravityScale = 4.0;
constexpr const char* kGroundName = "groundGrid";
constexpr const char* kGridShownColour = "displayColor -dormant \"grid\" 15";
constexpr const char* kGridColour = "displayColor -dormant \"grid\" 3";
constexpr const char* kCachedModeOff = " ZYL bake cached mode has been deactivated ";
constexpr const char* kCacheTooSmall = " ZYL cache size is less than current time range ";

MString number(int n) { return MString() += n; }

}  // namespace

int zylSolverNode::cacheFrames() const {
    const MPlug size(thisMObject(), cacheSize);
    return size.isNull() ? 0 : std::min(size.asInt(), playRangeFrames());
}

void zylSolverNode::reportCacheFailure(int frames) {
    MGlobal::displayError(" ZYL frame caches of " + number(frames) +
                          " frames could not be allocated: frames are not cached ");
}

zylSolverNode::zylSolverNode() {
    PublicWorld*& world = engineWorld();
    if (world) {
        releaseAllModuleBodies(this);
        destroyWorld(&world);
    }
    createWorld();
    // Without a world the node lives on, and every world operation is skipped.
    if (!world) return;
    world->reset();
    world->SetGravity(Qmt::QmtVector3(0.0, kInitialGravity, 0.0));
    enableContactGroups();
    world->worldFlags |= WORLD_GRAVITY | WORLD_BODY_DEACTIVATION;

    MString axis;
    MGlobal::executeCommand("upAxis -q -axis", axis);
    Qmt::QmtVector3 normal = axis == "z" ? Qmt::QmtVector3(0.0, 0.0, 1.0) : Qmt::QmtVector3(0.0, 1.0, 0.0);
    groundPlane = createBarrierBody(Qmt::QmtVector3::ZERO, normal);
    if (!groundPlane) return;
    std::strncpy(groundPlane->transform.name, kGroundName, sizeof groundPlane->transform.name - 1);
    // The ground takes part only while `useGroundGrid` is on.
    world->removeBody(groundPlane);
}

zylSolverNode::~zylSolverNode() { teardown(); }

void* zylSolverNode::creator() { return new (std::nothrow) zylSolverNode; }

MStatus zylSolverNode::initialize() {
    using T = MFnNumericData;
    MStatus status;
    {
        MFnTypedAttribute fn;
        MFnStringData text;
        version = fn.create("version", "vs", MFnData::kString, text.create("0.0"));
        status = addWithProps(fn, version, kHidden | kNotKeyable);
    }
    inTime = addUnitAttr("inTime", "it", MFnUnitAttribute::kTime, 0.0, kHidden, &status);
    startTime = addUnitAttr("startTime", "stm", MFnUnitAttribute::kTime, 1.0, kHidden | kNotKeyable, &status);
    startFrame = addNumericAttr("startFrame", "stf", T::kInt, 1, kNotKeyable, &status);
    rigidBodies = addMessageAttr("rigidBodies", "rbds", kHidden, false, &status);
    fractureBodies = addMessageAttr("fractureBodies", "fbds", kHidden, false, &status);
    crackers = addMessageAttr("crackers", "crks", kHidden, false, &status);
    {
        MFnNumericAttribute fn;
        gravity = fn.createPoint("gravity", "grvt");
        fn.setDefault(0.0f, -9.81f, 0.0f);
        status = addWithProps(fn, gravity, kNotKeyable);
    }
    substeps = addNumericAttr("substeps", "sbs", T::kInt, 5, kKeyable, &status);
    fitUnitsToMayaScale = addNumericAttr("fitUnitsToMayaScale", "umu", T::kBoolean, 0, kHidden, &status);
    gravityEnabled = addNumericAttr("gravityEnabled", "genbl", T::kBoolean, 1, kNotKeyable, &status);
    useGroundGrid = addNumericAttr("useGroundGrid", "ugrid", T::kBoolean, 0, kNotKeyable, &status);
    ca_solverParams = addChangeFlag("ca_solverParams", "cgr", &status);
    numThreads = addNumericAttr("numThreads", "nth", T::kInt, 1, kNotConnectable | kNotKeyable, &status);
    ca_numThreads = addChangeFlag("ca_numThreads", "cnth", &status);
    ca_indexFbodies =
        addNumericAttr("ca_indexFbodies", "caif", T::kInt, 0, kNotConnectable | kHidden | kNotKeyable, &status);
    displaySelected = addNumericAttr("displaySelected", "dis", T::kBoolean, 1, 0, &status);
    ca_displaySelected = addChangeFlag("ca_displaySelected", "cadi", &status);
    // Sized to the play range the host has when the type is registered.
    const int rangeFrames = wholeFrames(MAnimControl::maxTime() - MAnimControl::minTime());
    cacheSize = addNumericAttr("cacheSize", "chs", T::kInt, rangeFrames, kNotConnectable | kNotKeyable, &status);
    ca_cacheSize = addChangeFlag("ca_cacheSize", "cchs", &status);
    cachedMode = addNumericAttr("cachedMode", "cm", T::kBoolean, 0,
                                kNotConnectable | kHidden | kNotStorable | kNotKeyable, &status);
    cacheActive = addNumericAttr("cacheActive", "cha", T::kBoolean, 1, kNotConnectable | kNotKeyable, &status);

    attributeAffects(inTime, rigidBodies);
    for (const MObject& input : {startFrame, gravity, substeps, fitUnitsToMayaScale, gravityEnabled, useGroundGrid})
        attributeAffects(input, ca_solverParams);
    attributeAffects(numThreads, ca_numThreads);
    attributeAffects(displaySelected, ca_displaySelected);
    attributeAffects(cacheSize, ca_cacheSize);
    status = attributeAffects(cacheActive, ca_cacheSize);
    return status;
}

void zylSolverNode::postConstructor() {
    const MTime start = MAnimControl::minTime();
    MPlug(thisMObject(), startTime).setValue(start);
    MPlug(thisMObject(), startFrame).setValue(wholeFrames(start.value()));
    setExistWithoutOutConnections(true);
}

MStatus zylSolverNode::compute(const MPlug& plug, MDataBlock& data) {
    PublicWorld* world = engineWorld();
    if (plug.attribute() == ca_solverParams) {
        applySolverParams(data);
    } else if (plug.attribute() == rigidBodies) {
        advanceFrame(plug, data);
        data.setClean(plug);
        return MS::kSuccess;
    } else if (plug.attribute() == ca_numThreads) {
        if (world) {
            if (data.inputValue(numThreads).asInt() < 2)
                world->useSingleThread();
            else
                world->useAllThreads();
        }
        disableCachedMode();
    } else if (plug.attribute() == ca_cacheSize) {
        if (data.inputValue(cacheActive).asBool()) resizeCaches(data);
        disableCachedMode();
    } else if (plug.attribute() == ca_displaySelected) {
        ::displaySelected = data.inputValue(displaySelected).asBool();
    } else {
        return MS::kUnknownParameter;
    }
    markFlagDone(data, plug);
    return MS::kSuccess;
}

bool zylSolverNode::setInternalValueInContext(const MPlug&, const MDataHandle&, MDGContext&) { return false; }

MStatus zylSolverNode::setDependentsDirty(const MPlug&, MPlugArray&) { return MS::kSuccess; }

void zylSolverNode::applySolverParams(MDataBlock& data) {
    PublicWorld* world = engineWorld();
    if (world) {
        if (data.inputValue(gravityEnabled).asBool())
            world->enableGravity();
        else
            world->disableGravity();
        // A pull beyond single precision leaves the world's gravity as it was.
        if (std::optional<Qmt::QmtVector3> pull = singleVector(data.inputValue(gravity).asFloatVector())) {
            if (data.inputValue(fitUnitsToMayaScale).asBool()) *pull *= kFitUnitsGravityScale;
            world->SetGravity(*pull);
        }
    }
    // The ground follows the host's grid: with the grid hidden, neither changes.
    int gridShown = 0;
    MGlobal::executeCommand("grid -q -toggle", gridShown);
    if (gridShown) {
        const bool ground = data.inputValue(useGroundGrid).asBool();
        MGlobal::executeCommand(ground ? kGridShownColour : kGridColour);
        if (world && groundPlane) {
            if (ground)
                world->addBody(groundPlane, 0);
            else
                world->removeBody(groundPlane);
        }
    }
    disableCachedMode();
}

void zylSolverNode::resizeCaches(MDataBlock& data) {
    // A cache never holds more frames than a run through the play range makes.
    const int wanted = data.inputValue(cacheSize).asInt();
    const int n = cacheFrames();
    if (n < wanted)
        MGlobal::displayWarning(" ZYL cache size " + number(wanted) + " is more than the play range needs: " +
                                number(n) + " frames are cached ");
    const MTime tmin = MAnimControl::minTime();
    // At a run's start nothing simulated is kept: the caches are made anew.
    const int simulated = renewingCaches_ ? 0 : wholeFrames(lastSimulatedTime - tmin);
    const bool fits = cacheCapacity >= n;
    if (fits && simulated != 0) return;
    const bool grow = !fits && simulated > 0;

    MGlobal::executeCommand("undoInfo -swf off");
    bool allocated = true;
    for (rigidBodyNode* body : gatherNodeLists().rigidBodies)
        allocated = (grow ? body->frameCache.resize(n) : body->frameCache.allocate(n)) && allocated;
    if (!allocated) reportCacheFailure(n);
    MPlug cached(thisMObject(), cachedMode);
    if (grow) {
        cached.setValue(false);
        MGlobal::displayWarning(kCachedModeOff);
    } else {
        lastSimulatedTime = MTime(0.0);
        if (cached.asBool()) {
            cached.setValue(false);
            MGlobal::displayInfo(kCachedModeOff);
        }
        if ((MAnimControl::maxTime() - tmin).as(MTime::uiUnit()) > n) MGlobal::displayWarning(kCacheTooSmall);
    }
    startDue_ = true;
    cacheCapacity = n;
    MGlobal::executeCommand("undoInfo -swf on");
}

bool zylSolverNode::getFitUnits() { return MPlug(thisMObject(), fitUnitsToMayaScale).asBool(); }

void zylSolverNode::disableCachedMode() {
    // Nodes deleted by the tear-down tell a solver that no longer plays anything back.
    if (tornDown_) return;
    MPlug plug(thisMObject(), cachedMode);
    if (plug.isNull()) return;
    const bool wasOn = plug.asBool();
    plug.setValue(false);
    if (wasOn) MGlobal::displayWarning(kCachedModeOff);
    // What changed reaches the next run, which starts from the start state anew.
    startDue_ = true;
}

namespace {

rigidBodyNode* rigidBodyOf(const MObject& node) { return userNodeAs<rigidBodyNode>(node, rigidBodyNode::id); }

}  // namespace

bool zylSolverNode::addBodyToWorld(const MObject& node) {
    PublicWorld* world = engineWorld();
    rigidBodyNode* rb = rigidBodyOf(node);
    if (!world || !rb || !rb->getBody(true)) return false;
    rb->addToWorld();
    disableCachedMode();
    return true;
}

bool zylSolverNode::removeBodyFromWorld(const MObject& node) {
    PublicWorld* world = engineWorld();
    rigidBodyNode* rb = rigidBodyOf(node);
    if (!world || !rb || !rb->getBody(true)) return false;
    rb->removeFromWorld();
    disableCachedMode();
    return true;
}

int zylSolverNode::queryCollisionCount(const MObject& bodyNode, HardBody**& index) {
    PublicWorld* world = engineWorld();
    rigidBodyNode* rb = rigidBodyOf(bodyNode);
    HardBody* body = rb ? rb->getBody(true) : nullptr;
    if (!world || !body) return 0;
    return world->getCollidingBodies(body, &index);
}

int zylSolverNode::queryCollisionPair(const MObject& bodyNode, const MObject& otherNode, Qmt::QmtVector3*& index) {
    PublicWorld* world = engineWorld();
    rigidBodyNode* a = rigidBodyOf(bodyNode);
    rigidBodyNode* b = rigidBodyOf(otherNode);
    HardBody* bodyA = a ? a->getBody(true) : nullptr;
    HardBody* bodyB = b ? b->getBody(true) : nullptr;
    if (!world || !bodyA || !bodyB) return 0;
    return world->getReportedContactPoints(bodyA, bodyB, &index);
}

void zylSolverNode::setCollisionReporting(bool on) {
    PublicWorld* world = engineWorld();
    if (!world) return;
    if (on)
        world->enableRepportCollisions();
    else
        world->disableRepportCollisions();
}

void zylSolverNode::clearCollisionReport() {
    if (PublicWorld* world = engineWorld()) world->clearCollisionReport();
}

namespace {

void deleteNodes(const std::vector<MObject>& nodes) {
    for (const MObject& node : nodes)
        if (!node.isNull()) MGlobal::deleteNode(node);
}

}  // namespace

void zylSolverNode::teardown() {
    if (tornDown_) return;
    tornDown_ = true;
    const MObject self = thisMObject();
    if (!self.isNull()) {
        const std::vector<MObject> bodies = connectedNodes(MPlug(self, rigidBodies));
        const std::vector<MObject> fractures = connectedNodes(MPlug(self, fractureBodies));
        deleteNodes(bodies);
        deleteNodes(fractures);
        deleteNodes(connectedNodes(MPlug(self, crackers)));
    }
    if (groundPlane) {
        if (PublicWorld* world = engineWorld()) world->removeBody(groundPlane);
        deleteBody(&groundPlane);
    }
    releaseAllModuleBodies(this);
    destroyWorld(&engineWorld());
    MGlobal::executeCommandOnIdle(kGridColour);
}

void releaseAllModuleBodies(const zylSolverNode* except) {
    // Fracture bodies first: their fragments are the rigid bodies' engine bodies.
    for (MItDependencyNodes it(MFn::kPluginDependNode); !it.isDone(); it.next())
        if (auto* fb = userNodeAs<FractureBodyNode>(it.thisNode(), FractureBodyNode::id)) fb->releaseEngineBody();
    for (MItDependencyNodes it(MFn::kPluginLocatorNode); !it.isDone(); it.next()) {
        const MObject node = it.thisNode();
        if (rigidBodyNode* rb = rigidBodyOf(node))
            rb->releaseBody();
        else if (auto* cracker = userNodeAs<zylCrackerNode>(node, zylCrackerNode::id))
            cracker->releaseBody();
    }
    PublicWorld* world = engineWorld();
    if (!world) return;
    for (MItDependencyNodes it(MFn::kPluginDependNode); !it.isDone(); it.next()) {
        auto* solver = userNodeAs<zylSolverNode>(it.thisNode(), zylSolverNode::id);
        if (solver && solver != except && solver->groundPlane) world->removeBody(solver->groundPlane);
    }
}
