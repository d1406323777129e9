#include "src/moduleRegistry.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <ranges>
#include <vector>

#include "host/api/fnPlugin.h"
#include "host/api/global.h"
#include "host/api/messages.h"
#include "host/api/pxManipContainer.h"
#include "src/clusterCrackerCmds.h"
#include "src/clusterNode.h"
#include "src/collisionShapeNode.h"
#include "src/crackerNode.h"
#include "src/fractureBodyCmd.h"
#include "src/fractureBodyNode.h"
#include "src/fractureEditCmds.h"
#include "src/modifiers/jagginessCmd.h"
#include "src/modifiers/meshOpNode.h"
#include "src/queryCmds.h"
#include "src/rigidBodyCmd.h"
#include "src/rigidBodyNode.h"
#include "src/sceneCallbacks.h"
#include "src/selectContext.h"
#include "src/shatter/shatterCmd.h"
#include "src/shatter/shatterLocator.h"
#include "src/shatter/shatterLocatorManip.h"
#include "src/shatter/shatterPreviewCmd.h"
#include "src/shatter/voronoiNode.h"
#include "src/solverCmd.h"
#include "src/solverNode.h"
#include "src/stressNode.h"
#include "src/transCmd.h"
#include "src/typeIds.h"
#include "src/uiScript.h"
#include "src/utilityCmds.h"

namespace {

struct NodeTypeRow {
    const char* name;
    MTypeId id;
    MPxNode::Type kind;
    const char* drawClassification;  // null: none
    MCreatorFunction creator;
    MInitializeFunction initialize;
};

struct CommandRow {
    const char* name;
    MCreatorFunction creator;
    MCreateSyntaxFunction syntax;
    bool context = false;  // registered as a context command
};

// Node types in registration order; each joins, in its place, once its class exists:
// { name, id, kind, draw classification, creator, initialize }.
const std::vector<NodeTypeRow> kNodeTypes = {
    {zylTypes::kSolverName, zylTypes::kSolver, MPxNode::kDependNode, nullptr, zylSolverNode::creator,
     zylSolverNode::initialize},
    {zylTypes::kRigidBodyName, zylTypes::kRigidBody, MPxNode::kLocatorNode, "drawdb/geometry/rigidBodyNode",
     rigidBodyNode::creator, rigidBodyNode::initialize},
    {zylTypes::kCollisionShapeName, zylTypes::kCollisionShape, MPxNode::kDependNode, nullptr,
     collisionShapeNode::creator, collisionShapeNode::initialize},
    {zylTypes::kFractureBodyName, zylTypes::kFractureBody, MPxNode::kDependNode, nullptr, FractureBodyNode::creator,
     FractureBodyNode::initialize},
    {zylTypes::kStressName, zylTypes::kStress, MPxNode::kDependNode, nullptr, SceneStress::creator,
     SceneStress::initialize},
    {zylTypes::kClusterName, zylTypes::kCluster, MPxNode::kDependNode, nullptr, clusterFractureNode::creator,
     clusterFractureNode::initialize},
    {zylTypes::kCrackerName, zylTypes::kCracker, MPxNode::kLocatorNode, nullptr, zylCrackerNode::creator,
     zylCrackerNode::initialize},
    {zylTypes::kVoronoiName, zylTypes::kVoronoi, MPxNode::kLocatorNode, "drawdb/geometry/voronoiPoints",
     voronoiNode::creator, voronoiNode::initialize},
    {zylTypes::kShatterLocatorName, zylTypes::kShatterLocator, MPxNode::kLocatorNode, "drawdb/geometry/ShatterLocator",
     ShatterLocatorNode::creator, ShatterLocatorNode::initialize},
    {zylTypes::kShatterLocatorManipName, zylTypes::kShatterLocatorManip, MPxNode::kManipContainer, nullptr,
     ShatterLocatorManip::creator, MPxManipContainer::initialize},
    {zylTypes::kMeshOpName, zylTypes::kMeshOp, MPxNode::kDependNode, nullptr, zylMeshOpNode::creator,
     zylMeshOpNode::initialize},
};

// Commands in registration order, the selection context among them; each joins, in
// its place, once its class exists: { name, creator, syntax[, context] }.
const std::vector<CommandRow> kCommands = {
    {"zylSolver", SolverCmd::creator, SolverCmd::newSyntax},
    {"new_ZYLBody", RigidBodyCmd::creator, RigidBodyCmd::newSyntax},
    {"ManageZylListCmd", ManageZylListCmd::creator, ManageZylListCmd::newSyntax},
    {"selectZylContext", SelectZylContextCmd::creator, nullptr, true},
    {"zylTrans", dResumeCmd::creator, dResumeCmd::newSyntax},
    {"zylFractureBody", FractureBodyCmd::creator, FractureBodyCmd::newSyntax},
    {"deleteZylFBody", FBodyDeleteCmd::creator, FBodyDeleteCmd::newSyntax},
    {"Detach_FBody", FBodyDetachCmd::creator, FBodyDetachCmd::newSyntax},
    {"fBody_selStresses", FBodyStressesCmd::creator, FBodyStressesCmd::newSyntax},
    {"zylCluster", zylClusterCmd::creator, zylClusterCmd::newSyntax},
    {"dComputeRotDist", ComputeRotDistCmd::creator, ComputeRotDistCmd::newSyntax},
    {"update_dFBody", FBodyUpdateCmd::creator, FBodyUpdateCmd::newSyntax},
    {"zylShatter", shatterCmd::creator, shatterCmd::newSyntax},
    {"deleteUserNode", deleteUserNodeCmd::creator, deleteUserNodeCmd::newSyntax},
    {"queryZylBody", queryZylBodyCmd::creator, queryZylBodyCmd::newSyntax},
    {"queryZylFBody", queryZylFBodyCmd::creator, queryZylFBodyCmd::newSyntax},
    {"zylConnectForceFields", connectForceFieldsCmd::creator, connectForceFieldsCmd::newSyntax},
    {"zylJagginess", jagginessCmd::creator, jagginessCmd::newSyntax},
    {"zylShatterPreview", shatterLocatorCmd::creator, shatterLocatorCmd::newSyntax},
    {"zylCracker", zylCrackerCmd::creator, zylCrackerCmd::newSyntax},
};

// The collision-shape removal callback is installed once the first three node types
// (solver, rigid body, collision shape) are registered, whichever of them exist.
constexpr std::array kTypesBeforeShapeCallback = {zylTypes::kSolver, zylTypes::kRigidBody, zylTypes::kCollisionShape};

// After the solver, which goes first, the node types leave in this order.
constexpr std::array kTypeDeregistrationOrder = {
    zylTypes::kMeshOp,       zylTypes::kVoronoi,        zylTypes::kCracker,   zylTypes::kStress,
    zylTypes::kCluster,      zylTypes::kFractureBody,   zylTypes::kCollisionShape,
    zylTypes::kRigidBody,    zylTypes::kShatterLocator, zylTypes::kShatterLocatorManip,
};

// The sixteen callbacks, in installation order.
enum Callback : std::size_t {
    kCollisionShapeRemoved,
    kTimeChanged,
    kFractureBodyRemoved,
    kRigidBodyRemoved,
    kCrackerRemoved,
    kPlaybackRangeChanged,
    kBeforeExport,
    kBeforeSave,
    kAfterOpen,
    kAfterImport,
    kScene23,
    kScene24,
    kNodeAdded,
    kExiting,
    kBeforeNew,
    kBeforeOpen,
    kCallbackCount
};

MCallbackId onScene(int code, MMessage::MBasicFunction handler) {
    // 23 and 24 have no name in MSceneMessage::Message: they are passed by number.
    return MSceneMessage::addCallback(static_cast<MSceneMessage::Message>(code), handler);
}

using Installer = MCallbackId (*)();
constexpr std::array<Installer, kCallbackCount> kInstallers = {
    [] { return MDGMessage::addNodeRemovedCallback(collisionShapeRemovedCallback, zylTypes::kCollisionShapeName); },
    [] { return MEventMessage::addEventCallback("timeChanged", timeChangedCallback); },
    [] { return MDGMessage::addNodeRemovedCallback(fractureBodyRemovedCallback, zylTypes::kFractureBodyName); },
    [] { return MDGMessage::addNodeRemovedCallback(rigidBodyRemovedCallback, zylTypes::kRigidBodyName); },
    [] { return MDGMessage::addNodeRemovedCallback(crackerRemovedCallback, zylTypes::kCrackerName); },
    [] { return MEventMessage::addEventCallback("playbackRangeChanged", playbackRangeChangedCallback); },
    [] { return onScene(11, resetToStartCallback); },
    [] { return onScene(9, resetToStartCallback); },
    [] { return onScene(6, afterOpenCallback); },
    [] { return onScene(4, afterImportCallback); },
    [] { return onScene(23, emptySceneCallback); },
    [] { return onScene(24, emptySceneCallback); },
    [] { return MDGMessage::addNodeAddedCallback(nodeAddedCallback, "dependNode"); },
    [] { return onScene(29, exitingCallback); },
    [] { return onScene(1, beforeNewOrOpenCallback); },
    [] { return onScene(5, beforeNewOrOpenCallback); },
};

// Unload removes them in its own order, not the reverse of installation.
constexpr std::array<Callback, kCallbackCount> kRemovalOrder = {
    kTimeChanged,         kPlaybackRangeChanged, kAfterOpen,    kAfterImport,
    kBeforeNew,           kBeforeOpen,           kRigidBodyRemoved, kCollisionShapeRemoved,
    kFractureBodyRemoved, kCrackerRemoved,       kBeforeExport, kBeforeSave,
    kScene23,             kScene24,              kNodeAdded,    kExiting,
};

// Module state, from load to unload.
std::int32_t windowExists = 1;
std::array<MCallbackId, kCallbackCount> callbackIds{};

void install(Callback c) { callbackIds[c] = kInstallers[c](); }

const NodeTypeRow* findRow(const MTypeId& id) {
    const auto row = std::ranges::find_if(kNodeTypes, [&](const NodeTypeRow& r) { return r.id == id; });
    return row == kNodeTypes.end() ? nullptr : &*row;
}

bool registeredBeforeShapeCallback(const MTypeId& id) {
    return std::ranges::find(kTypesBeforeShapeCallback, id) != kTypesBeforeShapeCallback.end();
}

void registerNodeTypes(MFnPlugin& plugin) {
    bool shapeCallback = false;
    for (const NodeTypeRow& row : kNodeTypes) {
        if (!shapeCallback && !registeredBeforeShapeCallback(row.id)) {
            install(kCollisionShapeRemoved);
            shapeCallback = true;
        }
        const MString classification(row.drawClassification ? row.drawClassification : "");
        plugin.registerNode(row.name, row.id, row.creator, row.initialize, row.kind,
                            row.drawClassification ? &classification : nullptr);
    }
    if (!shapeCallback) install(kCollisionShapeRemoved);
}

// The status of the last command registration (success while there is none).
MStatus registerCommands(MFnPlugin& plugin) {
    MStatus last;
    for (const CommandRow& row : kCommands) {
        if (row.context)
            plugin.registerContextCommand(row.name, row.creator);
        else
            last = plugin.registerCommand(row.name, row.creator, row.syntax);
    }
    return last;
}

}  // namespace

std::int32_t mainWindowExists() { return windowExists; }

// Every registration's and MEL call's status is ignored: load goes on regardless
// (a missing user-interface script only makes the host report it).
MStatus initializeModule(MObject obj) {
    MFnPlugin plugin(obj, "Kavrentis", "3.5", "Any");
    MGlobal::executeCommand(uiScript::kSourceScript, false, false);
    int exists = windowExists;
    MGlobal::executeCommand(uiScript::kMainWindowQuery, exists, false, false);
    windowExists = exists;
    // Module state starts afresh with every load, linked in or opened.
    bakedFrameCounter = 0;
    displaySelected = true;
    zylCrackerNode::bodyCounter = zylCrackerNode::kFirstBodyCounter;

    registerNodeTypes(plugin);
    const MStatus status = registerCommands(plugin);
    for (std::size_t c = kTimeChanged; c < kCallbackCount; ++c) install(static_cast<Callback>(c));

    MGlobal::executeCommand(uiScript::kInitialize, false, false);
    if (windowExists == 0) MGlobal::executeCommand(uiScript::kBatchBanner, true, false);
    MGlobal::executeCommand(uiScript::kAutoCreateOff, false, false);
    return status;
}

// Returns the status of the last deregistration (success when there is none).
MStatus uninitializeModule(MObject obj) {
    if (obj.isNull()) return MS::kFailure;
    MGlobal::executeCommand(uiScript::kDeleteAllBodies, false, false);
    MFnPlugin plugin(obj, "Unknown", "Unknown", "Any");
    MStatus last;

    if (findRow(zylTypes::kSolver)) last = plugin.deregisterNode(zylTypes::kSolver);
    for (const Callback c : kRemovalOrder) {
        MMessage::removeCallback(callbackIds[c]);
        callbackIds[c] = 0;
    }
    for (const CommandRow& row : kCommands)
        if (row.context) last = plugin.deregisterContextCommand(row.name);
    for (const CommandRow& row : std::views::reverse(kCommands))
        if (!row.context) last = plugin.deregisterCommand(row.name);
    for (const MTypeId& id : kTypeDeregistrationOrder)
        if (findRow(id)) last = plugin.deregisterNode(id);
    return last;
}
