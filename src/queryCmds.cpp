#include "src/queryCmds.h"

#include <new>

#include "engine/bodies/hardBody.h"
#include "host/api/arrays.h"
#include "host/api/dagPath.h"
#include "host/api/fnDependencyNode.h"
#include "host/api/plug.h"
#include "src/commandBase.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/solverNode.h"
#include "src/typeIds.h"

namespace {

constexpr const char* kAddFlag = "-add";
constexpr const char* kListFlag = "-cl";
constexpr const char* kPointsFlag = "-cp";
constexpr const char* kTransitionFlag = "-itr";
constexpr const char* kMassFlag = "-imn";
constexpr const char* kTransformsFlag = "-gtn";

// The nodes at the far end of the plug's outgoing connections, in connection order.
std::vector<MObject> destinations(const MObject& node, const char* plugName) {
    return connectedNodes(MFnDependencyNode(node).findPlug(plugName, true), ConnectionSide::destination);
}

// The name of the transform right above a DAG node, when there is one.
void appendTransformName(const MObject& node, MStringArray& names) {
    MDagPath path;
    if (!MDagPath::getAPathTo(node, path) || !path.pop() || path.apiType() != MFn::kTransform) return;
    names.append(MFnDependencyNode(path.node()).name());
}

}  // namespace

// --- ManageZylListCmd

void* ManageZylListCmd::creator() { return static_cast<MPxCommand*>(new (std::nothrow) ManageZylListCmd); }

MSyntax ManageZylListCmd::newSyntax() {
    MSyntax syntax = objectsSyntax();
    syntax.addFlag(kAddFlag, "-additems", MSyntax::kBoolean);
    return syntax;
}

MStatus ManageZylListCmd::doIt(const MArgList& args) {
    MStatus status;
    const MArgDatabase db(syntax(), args, &status);
    if (!status) return status;
    bool add = false;
    readFlag(db, kAddFlag, add);
    db.getObjects(objects_);
    if (objects_.length() == 0) {
        displayError("invalid selection");
        return MS::kFailure;
    }
    auto* solver = userNodeAs<zylSolverNode>(findSolverByName(), zylSolverNode::id);
    if (!solver) {
        displayError("no ZYL solver found");
        return MS::kFailure;
    }
    // The solver files each body and drops its cached play-back; a body it cannot build,
    // or a scene without a world, is passed over.
    for (MItSelectionList it(objects_, MFn::kPluginLocatorNode); !it.isDone(); it.next()) {
        MObject node;
        it.getDependNode(node);
        const auto* rb = userNodeAs<rigidBodyNode>(node, rigidBodyNode::id);
        if (!rb) continue;
        // A free body records in `enabled` what was done even while update_dFBody -stf
        // keeps its attributes locked: the saved scene would otherwise put it back.
        MPlug enabled(node, rigidBodyNode::enabled);
        const bool member = rb->getOwner() || MPlug(node, rigidBodyNode::fracture).isConnected();
        const bool unlock = !member && enabled.isLocked();
        if (unlock) enabled.setLocked(false);
        if (add)
            solver->addBodyToWorld(node);
        else
            solver->removeBodyFromWorld(node);
        if (unlock) enabled.setLocked(true);
    }
    return MS::kSuccess;
}

// --- queryZylBody

void* queryZylBodyCmd::creator() { return static_cast<MPxCommand*>(new (std::nothrow) queryZylBodyCmd); }

MSyntax queryZylBodyCmd::newSyntax() {
    MSyntax syntax = objectsSyntax();
    syntax.addFlag(kListFlag, "-collisionList");
    syntax.addFlag(kPointsFlag, "-collisionPoints");
    syntax.addFlag(kTransitionFlag, "-isTransition");
    syntax.addFlag(kMassFlag, "-isMassNegative");
    return syntax;
}

MStatus queryZylBodyCmd::doIt(const MArgList& args) {
    MStatus status;
    args_ = MArgDatabase(syntax(), args, &status);
    if (!status) return status;
    args_.getObjects(objects_);
    if (objects_.length() == 0) {
        displayError("invalid selection");
        return MS::kFailure;
    }
    if (args_.isFlagSet(kPointsFlag) && objects_.length() < 2) {
        displayError("expected two objects");
        return MS::kFailure;
    }
    solver_ = userNodeAs<zylSolverNode>(findSolverByName(), zylSolverNode::id);
    if (!solver_) {
        displayError("zyl solver not found");
        return MS::kFailure;
    }
    if (args_.isFlagSet(kListFlag)) return collisionList();
    if (args_.isFlagSet(kPointsFlag)) return collisionPoints();
    if (args_.isFlagSet(kTransitionFlag)) {
        setResult(false);
    } else if (args_.isFlagSet(kMassFlag)) {
        isMassNegative();
    }
    return MS::kSuccess;
}

// Bodies without an engine body, or a scene without a world, add no names.
MStatus queryZylBodyCmd::collisionList() {
    MItSelectionList it(objects_, MFn::kPluginLocatorNode);
    if (it.isDone()) {
        displayError("not zyl bodies selected");
        return MS::kFailure;
    }
    MStringArray names;
    for (; !it.isDone(); it.next()) {
        MObject node;
        it.getDependNode(node);
        if (!hasTypeId(node, rigidBodyNode::id)) continue;
        HardBody** colliding = nullptr;
        const int n = solver_->queryCollisionCount(node, colliding);
        for (int k = 0; k < n && colliding; ++k)
            if (colliding[k]) names.append(MString(colliding[k]->transform.name));
    }
    if (names.length() > 0) setResult(names);
    return MS::kSuccess;
}

MStatus queryZylBodyCmd::collisionPoints() {
    MObject first, second;
    objects_.getDependNode(0, first);
    objects_.getDependNode(1, second);
    if (!hasTypeId(first, rigidBodyNode::id) || !hasTypeId(second, rigidBodyNode::id)) {
        displayError("not zyl bodies selected");
        return MS::kFailure;
    }
    Qmt::QmtVector3* points = nullptr;
    const int n = solver_->queryCollisionPair(first, second, points);
    if (n < 1 || !points) return MS::kSuccess;
    MDoubleArray xyz;
    for (int k = 0; k < n; ++k) {
        xyz.append(points[k].x);
        xyz.append(points[k].y);
        xyz.append(points[k].z);
    }
    setResult(xyz);
    return MS::kSuccess;
}

void queryZylBodyCmd::isMassNegative() {
    for (MItSelectionList it(objects_, MFn::kPluginLocatorNode); !it.isDone(); it.next()) {
        MObject node;
        it.getDependNode(node);
        if (const auto* body = userNodeAs<rigidBodyNode>(node, rigidBodyNode::id); body && body->isZeroSize()) {
            setResult(true);
            return;
        }
    }
    setResult(false);
}

// --- queryZylFBody

void* queryZylFBodyCmd::creator() { return static_cast<MPxCommand*>(new (std::nothrow) queryZylFBodyCmd); }

MSyntax queryZylFBodyCmd::newSyntax() {
    MSyntax syntax = objectsSyntax();
    syntax.addFlag(kTransformsFlag, "-getTransformNodes");
    return syntax;
}

MStatus queryZylFBodyCmd::doIt(const MArgList& args) {
    MStatus status;
    args_ = MArgDatabase(syntax(), args, &status);
    if (!status) return status;
    args_.getObjects(objects_);
    if (objects_.length() == 0) {
        displayError("not fracture body selected");
        return MS::kFailure;
    }
    if (!args_.isFlagSet(kTransformsFlag)) return MS::kSuccess;
    MObject node;
    objects_.getDependNode(0, node);
    if (!hasTypeId(node, zylTypes::kFractureBody)) {
        displayError("not fracture body selected");
        return MS::kFailure;
    }
    MStringArray names;
    for (const MObject& member : destinations(node, "rigidBodies")) appendTransformName(member, names);
    for (const MObject& cluster : destinations(node, "clusters"))
        for (const MObject& member : destinations(cluster, "rigidBodies")) appendTransformName(member, names);
    setResult(names);
    return MS::kSuccess;
}
