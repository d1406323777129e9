#include "src/sceneCallbacks.h"

#include <cstdio>
#include <iostream>
#include <optional>

#include "host/api/animControl.h"
#include "host/api/dagPath.h"
#include "host/api/fnAttribute.h"
#include "host/api/global.h"
#include "host/api/iterators.h"
#include "host/api/view3d.h"
#include "src/collisionShapeNode.h"
#include "src/crackerNode.h"
#include "src/fractureBodyNode.h"
#include "src/moduleRegistry.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/sceneUpgrade.h"
#include "src/sceneUtils.h"
#include "src/shatter/voronoiNode.h"
#include "src/solverNode.h"
#include "src/typeIds.h"
#include "src/uiScript.h"

namespace {

zylSolverNode* firstSolver() { return userNodeAs<zylSolverNode>(findFirstSolver(), zylSolverNode::id); }

// The next shatter continues after the largest index the opened scene holds; a scene
// without history leaves the counter as it was.
void resumeShatterIndex() {
    std::optional<int> largest;
    for (MItDependencyNodes it(MFn::kPluginLocatorNode); !it.isDone(); it.next()) {
        auto* history = userNodeAs<voronoiNode>(it.thisNode(), zylTypes::kVoronoi);
        if (!history) continue;
        if (const int index = history->getIndex(); !largest || index > *largest) {
            largest = index;
            history->setCurrentIndex(index + 1);
        }
    }
}

// Force fields get the message attribute the bodies' `fieldList` connects to, and are
// tied to every body at once.
void linkForceField(MFnDependencyNode& field) {
    MStatus status;
    MFnMessageAttribute fn;
    const MObject link = fn.create("zylfield", "zylf", &status);
    if (!status) {
        std::cerr << "Error creating new attribute" << std::endl;
        return;
    }
    fn.setConnectable(true);
    fn.setKeyable(false);
    if (!field.addAttribute(link, MFnDependencyNode::kLocalDynamicAttr))
        std::cerr << "Error adding dynamic attribute" << std::endl;
    MGlobal::executeCommand("zylConnectForceFields -connectAll " + field.name());
}

// The host's own rigid body may not sit on a transform that carries one of ours: it goes
// on idle, with an error.
void refuseHostRigidBody(const MObject& node) {
    MDagPath path;
    if (!MDagPath::getAPathTo(node, path)) return;
    MDagPath parent = path;
    parent.pop();
    MObject ours;
    if (!findZylRigidBodyChild(parent.node(), ours)) return;
    MGlobal::executeCommandOnIdle("delete " + path.fullPathName());
    MGlobal::executeCommandOnIdle("error \"cannot add a Maya rigid body to a Zyl object\"");
}

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
    const MObject node = solver->thisMObject();
    MPlug size(node, zylSolverNode::cacheSize);
    const MPlug resize(node, zylSolverNode::ca_cacheSize);
    if (!size.isNull() && !resize.isNull()) {
        size.setValue(playRangeFrames());
        resize.asBool();
    }
    const int first = wholeFrames(min);
    MPlug start(node, zylSolverNode::startFrame);
    if (start.asInt() < first) {
        start.setValue(first);
        MGlobal::executeCommandOnIdle(uiScript::kUpdateSolverPanel);
    }
}

void resetToStartCallback(void*) {
    zylSolverNode* solver = firstSolver();
    if (solver && MAnimControl::currentTime() != MAnimControl::minTime()) {
        MAnimControl::setCurrentTime(MAnimControl::minTime());
        solver->resetSimulation(solver->gatherNodeLists());
    }
    // What is saved is what the next run would start from.
    if (solver) {
        const SolverNodeLists nodes = solver->gatherNodeLists();
        solver->takePendingChanges(nodes);
        // Shown stress colours are drawn lazily by whatever edit touched a joint; the file
        // gets them drawn from the state it stores, as opening it draws them again.
        for (FractureBodyNode* fb : nodes.fractureBodies) fb->recolorShownStresses();
    }
    int mainWindow = 0;
    MGlobal::executeCommand(uiScript::kMainWindowQuery, mainWindow);
    if (mainWindow) MGlobal::executeCommand(uiScript::kDeleteLocators);
}

void afterOpenCallback(void*) {
    resumeShatterIndex();
    zylSolverNode* solver = firstSolver();
    if (!solver) return;
    // The rebuild runs the solver's start frame, which sets the playback speed: the
    // scene keeps the speed its file holds, so saving it again writes the same.
    const double speed = MAnimControl::playbackSpeed();
    solver->rebuildingScene = true;
    upgradeOlderScene(*solver);
    solver->refreshAfterLoad();
    solver->rebuildingScene = false;
    MAnimControl::setPlaybackSpeed(speed);
}

void nodeAddedCallback(MObject& node, void*) {
    MStatus status;
    MFnDependencyNode fn(node, &status);
    if (!status) {
        std::cerr << "Error creating MFnDependencyNode" << std::endl;
        return;
    }
    if (isForceField(node))
        linkForceField(fn);
    else if (fn.typeName() == "rigidBody")
        refuseHostRigidBody(node);
}

void exitingCallback(void*) {
    // The grid colour that `useGroundGrid` changed goes back before the colours are saved.
    MGlobal::executeCommand("displayColor -dormant \"grid\" 3");
    MGlobal::executeCommand("savePrefs -colors");
    // The host deletes the node afterwards; its own teardown then finds nothing to do.
    if (zylSolverNode* solver = firstSolver()) solver->teardown();
}

void beforeNewOrOpenCallback(void*) {
    zylSolverNode* solver = firstSolver();
    if (!solver) return;
    for (FractureBodyNode* fb : solver->gatherNodeLists().fractureBodies) fb->destroyFractureBody();
    if (uiScript::isWindowOpen(uiScript::kBasicFracturesWindow))
        MGlobal::executeCommandOnIdle(uiScript::kUpdateBasicFracturesPanel);
    if (uiScript::isWindowOpen(uiScript::kManageWorldWindow))
        MGlobal::executeCommandOnIdle(uiScript::kClearBodiesList);
}

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
