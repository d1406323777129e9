#include "src/clusterCrackerCmds.h"

#include <new>

#include "host/api/fnDagNode.h"
#include "host/api/fnDependencyNode.h"
#include "host/api/global.h"
#include "host/api/selectionList.h"
#include "src/collisionShapeNode.h"
#include "src/crackerNode.h"
#include "src/nodeHelpers.h"
#include "src/solverNode.h"

namespace {

// The collision-shape type "Cracker".
constexpr int kCrackerShapeType = 6;

}  // namespace

void* zylCrackerCmd::creator() { return new (std::nothrow) zylCrackerCmd; }

MSyntax zylCrackerCmd::newSyntax() {
    MSyntax syntax;
    syntax.addFlag("-dia", "-diameter", MSyntax::kDouble);
    syntax.addFlag("-new", "-new", MSyntax::kNoArg);
    syntax.setObjectType(MSyntax::kSelectionList, 1);
    syntax.useSelectionAsDefault(true);
    syntax.enableQuery(false);
    syntax.enableEdit(false);
    return syntax;
}

MStatus zylCrackerCmd::redoIt() {
    selection_.clear();
    args().getObjects(selection_);
    if (selection_.length() == 0) {
        displayError("invalid selection");
        return MS::kFailure;
    }
    modifier();

    const MObject solver = findLastSolver();
    if (solver.isNull()) {
        displayError("no zyl solver found");
        return MS::kFailure;
    }
    moveToStartForAnimatedSelection();

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
    const MObject shape = modifier().createNode(collisionShapeNode::id);
    modifier().renameNode(shape, name + "Shape");
    modifier().connect(MPlug(shape, collisionShapeNode::outCollisionType), MPlug(node, zylCrackerNode::inCollisionType));
    modifier().connect(MFnDependencyNode(mesh.node()).findPlug("worldMesh").elementByLogicalIndex(mesh.instanceNumber()),
                       MPlug(shape, collisionShapeNode::inShape));
    modifier().doIt();
    MPlug(shape, collisionShapeNode::type).setValue(kCrackerShapeType);
    MPlug(shape, collisionShapeNode::ca_collisionShape).asBool();

    if (auto* cracker = userNodeAs<zylCrackerNode>(node, zylCrackerNode::id)) {
        MPlug(node, zylCrackerNode::usercommand).setValue(true);
        cracker->evaluateAttributes();
    }
    setResult(name);
}
