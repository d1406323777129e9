#include "src/rigidBodyCmd.h"

#include <new>

#include "engine/bodies/hardBody.h"
#include "host/api/fnDagNode.h"
#include "host/api/fnDependencyNode.h"
#include "host/api/global.h"
#include "src/collisionShapeNode.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/sceneUtils.h"
#include "src/solverNode.h"
#include "src/uiScript.h"

namespace {

// Mass and mass centre so small that the body takes them from its mesh again.
constexpr double kUnset = 1.1920929e-7;

// Whether the mesh's first world mesh feeds a mesh-producing node.
bool worldMeshFeedsType989(const MObject& mesh) {
    const MPlug worldMesh = MFnDependencyNode(mesh).findPlug("worldMesh");
    if (worldMesh.isNull()) return false;
    MPlugArray ends;
    worldMesh.elementByLogicalIndex(0).connectedTo(ends, false, true);
    for (const MPlug& end : ends)
        if (end.node().apiType() == MFn::kPolyCreator) return true;
    return false;
}

// The collision shape feeding the body's plug, or null.
MObject shapeFeeding(const MPlug& plug) {
    const MObject node = firstConnectedNode(plug, ConnectionSide::source);
    return hasTypeId(node, collisionShapeNode::id) ? node : MObject();
}

// The shape takes the type, and its type output and mesh are brought up to date.
void setShapeType(const MObject& shape, unsigned type) {
    MPlug(shape, collisionShapeNode::type).setValue(static_cast<int>(type));
    MPlug(shape, collisionShapeNode::outCollisionType).asInt();
    MPlug(shape, collisionShapeNode::ca_collisionShape).asBool();
}

}  // namespace

MString zylBodyName(const MString& transformName) {
    const std::string name = transformName.asChar();
    const std::size_t last = name.find_last_not_of("0123456789");
    const std::size_t at = last == std::string::npos ? 0 : last + 1;
    return MString((name.substr(0, at) + "ZylBody" + name.substr(at)).c_str());
}

void* RigidBodyCmd::creator() { return new (std::nothrow) RigidBodyCmd; }

MSyntax RigidBodyCmd::newSyntax() {
    MSyntax syntax = objectsSyntax(1);
    syntax.addFlag("-a", "-active", MSyntax::kUnsigned);
    syntax.addFlag("-st", "-shapeType", MSyntax::kUnsigned);
    syntax.addFlag("-mul", "-multiple", MSyntax::kBoolean);
    return syntax;
}

MStatus RigidBodyCmd::redoIt() {
    Options options;
    readFlag(args(), "-a", options.active);
    readFlag(args(), "-st", options.shapeType);
    readFlag(args(), "-mul", options.multiple);
    if (!takeSelection()) return MS::kFailure;
    modifier();

    const MObject solver = findLastSolver();
    if (solver.isNull()) {
        displayError("no zyl solver found, abort");
        return MS::kFailure;
    }
    moveToStartForMovingSelection();

    made_ = 0;
    bool qualifying = false, created = false;
    for (MItSelectionList it(selection_, MFn::kGeometric); !it.isDone(); it.next()) {
        MDagPath path;
        it.getDagPath(path);
        if (path.apiType() == MFn::kNurbsSurface) {
            displayInfo(" ZYL doesnt work on NURBS, convert it to poly.");
        } else if (path.apiType() == MFn::kMesh) {
            qualifying |= handleMesh(path, options, solver, created);
        }
    }
    if (!qualifying) {
        displayInfo(" Select one or more polygonal objects( not instances).");
        return MS::kFailure;
    }
    if (created) MGlobal::executeCommandOnIdle(uiScript::kUpdateManagePanel);
    return MS::kSuccess;
}

bool RigidBodyCmd::handleMesh(const MDagPath& selected, const Options& options, const MObject& solver,
                              bool& created) {
    const MFnDagNode selectedFn(selected);
    if (selectedFn.isIntermediateObject()) return false;
    // A jagged mesh's body is made from the mesh it was jagged from.
    const bool jagged = hasMeshOpUpstream(selected.node());
    const MDagPath mesh = jagged ? findFarthestUpstreamMesh(selected) : selected;
    const MObject meshNode = mesh.node();

    if (selectedFn.isInstanced(true)) {
        displayError("Object " + MFnDependencyNode(meshNode).name() +
                     " is an instance, convert it to object( Modify->convert->instance to object)");
        return true;
    }
    MDagPath transformPath = selected;
    transformPath.pop();
    const MObject transform = transformPath.node();

    // The host's own rigid bodies and meshes made into other meshes are left alone.
    if (MObject hostBody; findHostRigidBodyChild(transform, hostBody)) return true;
    if (!isInMeshFedByType989(meshNode) && worldMeshFeedsType989(meshNode)) return true;

    if (!options.multiple) {
        if (MObject existing; findZylRigidBodyChild(transform, existing)) {
            if (auto* body = userNodeAs<rigidBodyNode>(existing, rigidBodyNode::id)) updateBody(*body, options);
            return true;
        }
    }
    createBody(transform, mesh, selected.instanceNumber(), jagged, options, solver);
    created = true;
    return true;
}

void RigidBodyCmd::updateBody(rigidBodyNode& body, const Options& options) {
    const MObject node = body.thisMObject();
    if (body.getOwner()) {
        displayWarning("Object " + MFnDependencyNode(node).name() +
                       " belong to a fracture body, use fracture options to modify it state");
        return;
    }
    MPlug(node, rigidBodyNode::usercommand).setValue(true);
    // Unset, so that the parameter push takes both from the mesh again.
    MPlug(node, rigidBodyNode::mass).setValue(kUnset);
    const MPlug centre(node, rigidBodyNode::massCenter);
    for (unsigned i = 0; i < 3; ++i) centre.child(i).setValue(kUnset);

    if (const MObject shape = shapeFeeding(MPlug(node, rigidBodyNode::inCollisionType)); !shape.isNull()) {
        setShapeType(shape, options.shapeType);
    } else if (const MObject animatedShape = shapeFeeding(MPlug(node, rigidBodyNode::animated));
               !animatedShape.isNull()) {
        modifier().connect(MPlug(animatedShape, collisionShapeNode::outCollisionType),
                           MPlug(node, rigidBodyNode::inCollisionType));
        modifier().doIt();
        setShapeType(animatedShape, options.shapeType);
    }
    MPlug(node, rigidBodyNode::passive).setValue(options.active);
    MPlug firstHit(node, rigidBodyNode::firstHitActive);
    if (body.isParentAnimated() && !firstHit.asBool()) firstHit.setValue(true);
    body.dirtyAllChangeFlags();
}

void RigidBodyCmd::createBody(const MObject& transform, const MDagPath& mesh, unsigned instance, bool jagged,
                              const Options& options, const MObject& solver) {
    const MObject node = modifier().createNode(rigidBodyNode::id, transform);
    modifier().renameNode(node, zylBodyName(MFnDependencyNode(transform).name()));
    modifier().connect(MPlug(solver, zylSolverNode::rigidBodies), MPlug(node, rigidBodyNode::solver));
    modifier().doIt();

    const auto* solverNode = userNodeAs<zylSolverNode>(solver, zylSolverNode::id);
    const int cacheFrames = solverNode ? solverNode->cacheFrames() : 0;
    MPlug(node, rigidBodyNode::passive).setValue(options.active);
    MPlug(node, rigidBodyNode::jaggy).setValue(jagged);

    // The shape is named after the body's name as the host gave it.
    const MObject shape = addCollisionShape(modifier(), node, rigidBodyNode::inCollisionType, mesh, instance,
                                            static_cast<int>(options.shapeType), &rigidBodyNode::animated);

    auto* body = userNodeAs<rigidBodyNode>(node, rigidBodyNode::id);
    if (!body) return;
    MPlug(node, rigidBodyNode::usercommand).setValue(true);
    MPlug firstHit(node, rigidBodyNode::firstHitActive);
    if (body->isParentAnimated() && !firstHit.asBool()) firstHit.setValue(true);
    // A deforming mesh needs a mesh body that follows it.
    MPlug followsMesh(shape, collisionShapeNode::animatedMesh);
    if (body->isAnimatedAspect(2) && !followsMesh.asBool()) {
        MPlug(shape, collisionShapeNode::type).setValue(3);
        followsMesh.setValue(true);
    }
    // Fracture bodies under an animated transform follow it: they look for it again.
    if (body->isAnimatedAspect(1)) {
        MPlugArray ends;
        MPlug(solver, zylSolverNode::fractureBodies).connectedTo(ends, true, true);
        for (const MPlug& end : ends)
            if (auto* fbody = userNodeAs<FractureBodyNode>(end.node(), FractureBodyNode::id);
                fbody && fbody->detectAnimBody())
                fbody->linkAnimBody();
    }
    MPlug index(node, rigidBodyNode::index);
    if (made_ < madeIndices_.size()) index.setValue(madeIndices_[made_]);
    body->dirtyAllChangeFlags();
    if (made_ == madeIndices_.size()) madeIndices_.push_back(index.asInt());
    ++made_;
    if (HardBody* engineBody = body->getBody(false)) engineBody->enableJagginess();
    if (!body->frameCache.allocate(cacheFrames)) zylSolverNode::reportCacheFailure(cacheFrames);
}
