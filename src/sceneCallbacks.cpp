#include "src/sceneCallbacks.h"

#include <cstdio>

#include "host/api/animControl.h"
#include "host/api/global.h"
#include "host/api/view3d.h"
#include "src/collisionShapeNode.h"
#include "src/crackerNode.h"
#include "src/fractureBodyNode.h"
#include "src/moduleRegistry.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/solverNode.h"
#include "src/uiScript.h"

namespace {

zylSolverNode* firstSolver() { return userNodeAs<zylSolverNode>(findFirstSolver(), zylSolverNode::id); }

}  // namespace

void timeChangedCallback(void*) {
    if (mainWindowExists() == 0) {
        char text[64];
        std::snprintf(text, sizeof text, " print (\"\\nbaking frame..%d\")", bakedFrameCounter);
        MGlobal::executeCommand(text);
    }
    // Pulling the solver runs its frame even when no body pulls it.
    if (zylSolverNode* solver = firstSolver()) MPlug(solver->thisMObject(), zylSolverNode::rigidBodies).asBool();
    M3dView::active3dView().refresh(false, false);
    ++bakedFrameCounter;
}

void playbackRangeChangedCallback(void*) {
    zylSolverNode* solver = firstSolver();
    if (!solver) return;
    const MTime min = MAnimControl::minTime();
    const MTime max = MAnimControl::maxTime();
    const MObject node = solver->thisMObject();
    MPlug size(node, zylSolverNode::cacheSize);
    const MPlug resize(node, zylSolverNode::ca_cacheSize);
    if (!size.isNull() && !resize.isNull()) {
        size.setValue(static_cast<int>((max - min).as(MTime::uiUnit()) + 1.0));
        resize.asBool();
    }
    const int first = static_cast<int>(min.as(MTime::uiUnit()));
    MPlug start(node, zylSolverNode::startFrame);
    if (start.asInt() < first) {
        start.setValue(first);
        MGlobal::executeCommandOnIdle(uiScript::kUpdateSolverPanel);
    }
}

void resetToStartCallback(void*) {
    if (zylSolverNode* solver = firstSolver(); solver && MAnimControl::currentTime() != MAnimControl::minTime()) {
        MAnimControl::setCurrentTime(MAnimControl::minTime());
        solver->resetSimulation(solver->gatherNodeLists());
    }
    int mainWindow = 0;
    MGlobal::executeCommand(uiScript::kMainWindowQuery, mainWindow);
    if (mainWindow) MGlobal::executeCommand(uiScript::kDeleteLocators);
}

void afterOpenCallback(void*) {}
void nodeAddedCallback(MObject&, void*) {}

void exitingCallback(void*) {
    // The grid colour that `useGroundGrid` changed goes back before the colours are saved.
    MGlobal::executeCommand("displayColor -dormant \"grid\" 3");
    MGlobal::executeCommand("savePrefs -colors");
    // The host deletes the node afterwards; its own teardown then finds nothing to do.
    if (zylSolverNode* solver = firstSolver()) solver->teardown();
}

void beforeNewOrOpenCallback(void*) {}

void collisionShapeRemovedCallback(MObject& node, void* clientData) {
    collisionShapeNode::nodeRemovedCallback(node, clientData);
}
void rigidBodyRemovedCallback(MObject& node, void* clientData) { rigidBodyNode::nodeRemovedCallback(node, clientData); }
void fractureBodyRemovedCallback(MObject& node, void* clientData) {
    FractureBodyNode::nodeRemovedCallback(node, clientData);
}
void crackerRemovedCallback(MObject& node, void* clientData) {
    zylCrackerNode::crackerNodeRemovedCallback(node, clientData);
}

// An import needs no rebuild, and messages 23 and 24 no action: these stay empty.
void afterImportCallback(void*) {}
void emptySceneCallback(void*) {}
