#include "src/solverCmd.h"

#include <new>

#include "host/api/fnDependencyNode.h"
#include "host/api/global.h"
#include "host/api/iterators.h"
#include "src/nodeHelpers.h"
#include "src/sceneUtils.h"
#include "src/solverNode.h"
#include "src/uiScript.h"

void* SolverCmd::creator() { return new (std::nothrow) SolverCmd; }

MSyntax SolverCmd::newSyntax() {
    MSyntax syntax;
    syntax.addFlag("-rc", "-repportCollisions", MSyntax::kBoolean);
    syntax.addFlag("-cac", "-clearAllcollisions");
    syntax.enableQuery(false);
    syntax.enableEdit(false);
    return syntax;
}

MStatus SolverCmd::redoIt() {
    MObject solver = findFirstSolver();
    if (solver.isNull()) {
        solver = createSolver();
        applyFlags(solver);
        MGlobal::executeCommandOnIdle(uiScript::kSetGravityAxis);
    } else {
        applyFlags(solver);
    }
    return MS::kSuccess;
}

void SolverCmd::applyFlags(const MObject& solver) {
    auto* node = userNodeAs<zylSolverNode>(solver, zylSolverNode::id);
    if (args().isFlagSet("-rc")) {
        bool on = false;
        args().getFlagArgument("-rc", 0, on);
        if (node) node->setCollisionReporting(on);
        setResult(on ? "repport collisions enabled" : "repport collisions disabled");
    } else if (args().isFlagSet("-cac")) {
        if (node) node->clearCollisionReport();
    } else {
        setResult(MFnDependencyNode(solver).name());
    }
}

MObject SolverCmd::createSolver() {
    using S = zylSolverNode;
    const MObject solver = modifier().createNode(S::id);
    modifier().doIt();

    if (MPlug version(solver, S::version); !version.isNull()) version.setValue(MString("3.5"));
    if (MItDependencyNodes time(MFn::kTime); !time.isDone()) {
        modifier().connect(MFnDependencyNode(time.thisNode()).findPlug("outTime"), MPlug(solver, S::inTime));
        modifier().doIt();
    }
    // The first evaluation runs the frame routine at the current time.
    MPlug(solver, S::rigidBodies).asBool();
    MPlug(solver, S::cacheSize).setValue(playRangeFrames());
    MPlug(solver, S::ca_cacheSize).asBool();
    return solver;
}
