#include "src/clusterCrackerCmds.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <unordered_map>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "host/api/fnDagNode.h"
#include "host/api/fnDependencyNode.h"
#include "host/api/global.h"
#include "host/api/iterators.h"
#include "host/api/selectionList.h"
#include "src/clusterNode.h"
#include "src/collisionShapeNode.h"
#include "src/crackerNode.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/solverNode.h"
#include "src/stressConnections.h"
#include "src/stressNode.h"

namespace {

// The collision-shape type "Cracker".
constexpr int kCrackerShapeType = 6;

// A cluster's threshold over its fracture body's: 1.2 in single precision.
constexpr double kClusterThresholdScale = 1.2000000476837158;

// Every solver of the scene back to its start state; false when there is none.
bool resetAllSolvers() {
    bool found = false;
    for (MItDependencyNodes it(MFn::kPluginDependNode); !it.isDone(); it.next()) {
        if (auto* solver = userNodeAs<zylSolverNode>(it.thisNode(), zylTypes::kSolver)) {
            solver->resetSimulation(solver->gatherNodeLists());
            found = true;
        }
    }
    return found;
}

// A selected fragment that can join a cluster.
struct Fragment {
    MObject node;
    PrivateHardBody* body;
};

}  // namespace

void* zylClusterCmd::creator() { return new (std::nothrow) zylClusterCmd; }

MSyntax zylClusterCmd::newSyntax() {
    MSyntax syntax = objectsSyntax(1);
    syntax.addFlag("-n", "-name", MSyntax::kString);
    syntax.addFlag("-as", "-assign", MSyntax::kNoArg);
    syntax.addFlag("-rem", "-remove", MSyntax::kNoArg);
    return syntax;
}

MStatus zylClusterCmd::doIt(const MArgList& argList) {
    MStatus status;
    const MArgDatabase args(syntax(), argList, &status);
    if (!status) return status;
    MString name;
    readFlag(args, "-n", name);
    if (name.length() == 0) name = "zylCluster0";
    selection_.clear();
    args.getObjects(selection_);
    if (selection_.length() == 0) {
        displayError("invalid selection");
        return MS::kFailure;
    }
    modifier();

    // Clusters change which joints exist and how strong they are: runs start over.
    if (!resetAllSolvers()) {
        displayError("no zyl solver found, abort");
        return MS::kFailure;
    }
    if (args.isFlagSet("-as")) return assign(name);
    if (args.isFlagSet("-rem")) {
        remove();
        return MS::kSuccess;
    }
    return MS::kFailure;
}

MDGModifier& zylClusterCmd::modifier() {
    if (!modifier_) modifier_ = std::make_unique<MDGModifier>();
    return *modifier_;
}

// One edit at a time: a failed one is dropped alone instead of holding back the next.
void zylClusterCmd::execute() { modifier().doIt(); }

void zylClusterCmd::moveConnection(const MPlug& from, const MPlug& onto, const MPlug& to) {
    modifier().disconnect(from, to);
    execute();
    modifier().connect(onto, to);
    execute();
}

MStatus zylClusterCmd::assign(const MString& name) {
    MItSelectionList it(selection_, MFn::kPluginLocatorNode);
    if (it.isDone()) {
        displayError("invalid selection, abort");
        return MS::kFailure;
    }
    // Dynamic fragments of a fracture body, in selection order; a body not built yet
    // has no state to judge and stays out.
    std::vector<Fragment> fragments;
    MObject ownerNode;
    for (; !it.isDone(); it.next()) {
        MObject node;
        it.getDependNode(node);
        rigidBodyNode* rb = userNodeAs<rigidBodyNode>(node, zylTypes::kRigidBody);
        HardBody* body = rb ? rb->getBody(false) : nullptr;
        if (!body || body->isStatic()) continue;
        const MObject source = firstConnectedNode(MPlug(node, rigidBodyNode::fracture), ConnectionSide::source);
        if (!hasTypeId(source, zylTypes::kFractureBody)) continue;
        fragments.push_back({node, static_cast<PrivateHardBody*>(body)});
        ownerNode = source;
    }
    FractureBodyNode* owner = userNodeAs<FractureBodyNode>(ownerNode, zylTypes::kFractureBody);
    if (!owner) {
        displayError("fracture node not found, abort");
        return MS::kFailure;
    }
    if (fragments.size() < 2) {
        displayError("not enough fragments to create a cluster, abort");
        return MS::kFailure;
    }

    const MObject cluster = modifier().createNode(clusterFractureNode::id);
    if (cluster.isNull()) {
        displayError("cannot create cluster, abort");
        return MS::kFailure;
    }
    modifier().renameNode(cluster, name);
    execute();

    const MPlug ownerMembers(ownerNode, FractureBodyNode::rigidBodies);
    for (const Fragment& f : fragments) {
        MFnDependencyNode fn(f.node);
        fn.setLocked(false);
        if (const MPlug link(f.node, rigidBodyNode::fracture); link.isConnected())
            moveConnection(ownerMembers, MPlug(cluster, clusterFractureNode::rigidBodies), link);
        fn.setLocked(true);
    }
    modifier().connect(MPlug(ownerNode, FractureBodyNode::clusters), MPlug(cluster, clusterFractureNode::fracture));
    execute();

    // Joints to bodies outside the group in member and joint order, then the joints
    // inside it, each counted once from its earlier member.
    std::unordered_map<const PrivateHardBody*, std::size_t> firstListed;
    for (std::size_t i = 0; i < fragments.size(); ++i) firstListed.try_emplace(fragments[i].body, i);
    const auto memberIndex = [&](const PrivateHardBody* body) {
        const auto at = firstListed.find(body);
        return at == firstListed.end() ? fragments.size() : at->second;
    };
    std::vector<DynamicStress*> outer, inner;
    for (std::size_t i = 0; i < fragments.size(); ++i) {
        PrivateHardBody* body = fragments[i].body;
        for (DynamicStress* joint = body->getFirstJoint(); joint; joint = body->getNextJoint()) {
            const PrivateHardBody* other = joint->getCNode() == body ? joint->getPNode() : joint->getCNode();
            const std::size_t k = memberIndex(other);
            if (k == fragments.size())
                outer.push_back(joint);
            else if (k > i)
                inner.push_back(joint);
        }
    }
    const MPlug ownerStresses(ownerNode, FractureBodyNode::stresses);
    StressConnections connections(*owner);
    const auto take = [&](const std::vector<DynamicStress*>& joints, const MObject& attr) {
        for (const DynamicStress* joint : joints) {
            SceneStress* stress = connections.holding(joint);
            if (!stress) continue;
            const MPlug link(stress->thisMObject(), SceneStress::fracture);
            if (firstConnectedNode(link, ConnectionSide::source) != ownerNode) continue;
            moveConnection(ownerStresses, MPlug(cluster, attr), link);
            connections.released(stress);
        }
    };
    take(outer, clusterFractureNode::outstresses);
    take(inner, clusterFractureNode::instresses);

    MPlug(cluster, clusterFractureNode::stressThreshold).setValue(owner->getStressThreshold() * kClusterThresholdScale);
    if (auto* node = userNodeAs<clusterFractureNode>(cluster, clusterFractureNode::id)) node->assignStresses();
    setResult(MFnDependencyNode(cluster).name());
    return MS::kSuccess;
}

namespace {

// Another cluster of the owner that holds one end of the stress node, else null.
clusterFractureNode* clusterHoldingAnEnd(const FractureBodyNode& owner, const clusterFractureNode& leaving,
                                         const MObject& node) {
    const auto* stress = userNodeAs<SceneStress>(node, SceneStress::id);
    if (!stress) return nullptr;
    const MString first = stress->getBody1Name();
    const MString second = stress->getBody2Name();
    for (clusterFractureNode* cluster : owner.clusterNodes()) {
        if (cluster == &leaving) continue;
        for (const MObject& member : cluster->memberNodes())
            if (const MString name = MFnDependencyNode(member).name(); name == first || name == second)
                return cluster;
    }
    return nullptr;
}

}  // namespace

void zylClusterCmd::remove() {
    MGlobal::executeCommand("undoInfo -swf off");
    for (unsigned i = 0; i < selection_.length(); ++i) {
        MObject node;
        selection_.getDependNode(i, node);
        auto* cluster = userNodeAs<clusterFractureNode>(node, clusterFractureNode::id);
        FractureBodyNode* owner = cluster ? cluster->getFractureNode() : nullptr;
        if (!owner) continue;
        // Released while still wired: the cluster's destructor finds nothing left.
        cluster->releaseStresses();
        const MObject ownerNode = owner->thisMObject();
        const MPlug members(node, clusterFractureNode::rigidBodies);
        for (const MPlug& to : connectedPlugs(members, ConnectionSide::destination))
            moveConnection(members, MPlug(ownerNode, FractureBodyNode::rigidBodies), to);
        for (const MObject* attr : {&clusterFractureNode::outstresses, &clusterFractureNode::instresses}) {
            const MPlug stresses(node, *attr);
            for (const MPlug& to : connectedPlugs(stresses, ConnectionSide::destination)) {
                // A stress to a member of another cluster is that cluster's outer stress,
                // as a scene file builds it; the fracture body is built so at the next start.
                clusterFractureNode* other = clusterHoldingAnEnd(*owner, *cluster, to.node());
                if (!other) {
                    moveConnection(stresses, MPlug(ownerNode, FractureBodyNode::stresses), to);
                    continue;
                }
                moveConnection(stresses, MPlug(other->thisMObject(), clusterFractureNode::outstresses), to);
                owner->markRebuildDue();
            }
        }
        MGlobal::deleteNode(node);
    }
    MGlobal::executeCommand("undoInfo -swf on");
}

void* zylCrackerCmd::creator() { return new (std::nothrow) zylCrackerCmd; }

MSyntax zylCrackerCmd::newSyntax() {
    MSyntax syntax = objectsSyntax(1);
    syntax.addFlag("-dia", "-diameter", MSyntax::kDouble);
    syntax.addFlag("-new", "-new", MSyntax::kNoArg);
    return syntax;
}

MStatus zylCrackerCmd::redoIt() {
    if (!takeSelection()) return MS::kFailure;
    modifier();

    const MObject solver = findLastSolver();
    if (solver.isNull()) {
        displayError("no zyl solver found");
        return MS::kFailure;
    }
    moveToStartForMovingSelection();

    // Meshes only; surfaces and everything else are passed over without a word.
    bool qualifying = false;
    for (MItSelectionList it(selection_, MFn::kGeometric); !it.isDone(); it.next()) {
        MDagPath path;
        it.getDagPath(path);
        if (path.apiType() != MFn::kMesh) continue;
        const MFnDagNode mesh(path);
        if (mesh.isIntermediateObject()) continue;
        qualifying = true;
        if (mesh.isInstanced(true)) {
            displayError("Object " + mesh.name() +
                         " is an instance, convert it to object( Modify->convert->instance to object)");
            continue;
        }
        createCracker(path, solver);
    }
    if (!qualifying) {
        displayInfo(" error creating cracker");
        return MS::kFailure;
    }
    return MS::kSuccess;
}

void zylCrackerCmd::createCracker(const MDagPath& mesh, const MObject& solver) {
    MDagPath transformPath = mesh;
    transformPath.pop();
    const MObject transform = transformPath.node();

    const MObject node = modifier().createNode(zylCrackerNode::id, transform);
    modifier().renameNode(node, "Zyl" + MFnDependencyNode(transform).name());
    modifier().doIt();
    modifier().connect(MPlug(solver, zylSolverNode::crackers), MPlug(node, zylCrackerNode::solver));
    modifier().doIt();

    // The shape is named after the cracker's name as the host gave it.
    const MString name = MFnDependencyNode(node).name();
    addCollisionShape(modifier(), node, zylCrackerNode::inCollisionType, mesh, mesh.instanceNumber(),
                      kCrackerShapeType);

    if (auto* cracker = userNodeAs<zylCrackerNode>(node, zylCrackerNode::id)) {
        MPlug(node, zylCrackerNode::usercommand).setValue(true);
        cracker->evaluateAttributes();
    }
    setResult(name);
}
