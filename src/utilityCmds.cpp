#include "src/utilityCmds.h"

#include <new>
#include <utility>
#include <vector>

#include "host/api/fnDependencyNode.h"
#include "host/api/global.h"
#include "host/api/itDag.h"
#include "host/api/iterators.h"
#include "host/api/quaternion.h"
#include "src/collisionShapeNode.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/typeIds.h"

namespace {

// The live node of the kind and type id with exactly this name, or null.
MObject findModuleNode(MFn::Type kind, const MTypeId& id, const MString& name) {
    for (MItDependencyNodes it(kind); !it.isDone(); it.next()) {
        const MObject node = it.thisNode();
        if (hasTypeId(node, id) && MFnDependencyNode(node).name() == name) return node;
    }
    return {};
}

// The force field of this name, met walking the DAG depth first, or null.
MObject findField(const MString& name) {
    for (MItDag it(MItDag::kDepthFirst, MFn::kField); !it.isDone(); it.next()) {
        const MObject node = it.currentItem();
        if (MFnDependencyNode(node).name() == name) return node;
    }
    return {};
}

// The plug of a node's attribute by name; null when the node has none.
MPlug plugOf(const MObject& node, const char* name) {
    MStatus status;
    const MFnDependencyNode fn(node, &status);
    if (!status) return {};
    return fn.findPlug(name, true, &status);
}

}  // namespace

// --- dComputeRotDist

void* ComputeRotDistCmd::creator() { return new (std::nothrow) ComputeRotDistCmd; }

MSyntax ComputeRotDistCmd::newSyntax() {
    MSyntax syntax;
    syntax.addFlag("-rx", "-rotX", MSyntax::kDouble);
    syntax.addFlag("-ry", "-rotY", MSyntax::kDouble);
    syntax.addFlag("-rz", "-rotZ", MSyntax::kDouble);
    syntax.addFlag("-rx2", "-rotX2", MSyntax::kDouble);
    syntax.addFlag("-ry2", "-rotY2", MSyntax::kDouble);
    syntax.addFlag("-rz2", "-rotZ2", MSyntax::kDouble);
    syntax.addFlag("-tol", "-tolerance", MSyntax::kDouble);
    syntax.enableQuery(false);
    syntax.enableEdit(false);
    return syntax;
}

MStatus ComputeRotDistCmd::doIt(const MArgList& args) {
    MStatus status;
    argData_ = std::make_unique<MArgDatabase>(syntax(), args, &status);
    if (!status) return status;
    const auto value = [&](const char* flag) {
        double v = 0.0;
        if (argData_->isFlagSet(flag)) argData_->getFlagArgument(flag, 0, v);
        return v;
    };
    const MEulerRotation first(value("-rx"), value("-ry"), value("-rz"), MEulerRotation::kXYZ);
    const MEulerRotation second(value("-rx2"), value("-ry2"), value("-rz2"), MEulerRotation::kXYZ);
    setResult(first.isEquivalent(second, value("-tol")));
    return MS::kSuccess;
}

// --- zylConnectForceFields

void* connectForceFieldsCmd::creator() { return new (std::nothrow) connectForceFieldsCmd; }

MSyntax connectForceFieldsCmd::newSyntax() {
    MSyntax syntax;
    syntax.addFlag("-con", "-connect");
    syntax.addFlag("-bn", "-bodyName", MSyntax::kString);
    syntax.addFlag("-fbn", "-fbodyName", MSyntax::kString);
    syntax.addFlag("-cal", "-connectAll", MSyntax::kString);
    syntax.setObjectType(MSyntax::kSelectionList, 0);
    syntax.enableQuery(false);
    syntax.enableEdit(false);
    return syntax;
}

bool connectForceFieldsCmd::connectNow(const MPlug& source, const MPlug& destination) {
    return modifier().connect(source, destination) && modifier().doIt();
}

void connectForceFieldsCmd::connectFieldsTo(const MPlug& fieldList) {
    // Every connection of the plug (of each element of an array) goes first.
    std::vector<std::pair<MPlug, MPlug>> old;
    const auto collect = [&](const MPlug& plug) {
        MPlugArray ends;
        plug.connectedTo(ends, true, false);
        for (const MPlug& source : ends) old.emplace_back(source, plug);
        plug.connectedTo(ends, false, true);
        for (const MPlug& destination : ends) old.emplace_back(plug, destination);
    };
    if (fieldList.isArray()) {
        for (unsigned i = 0; i < fieldList.numElements(); ++i) collect(fieldList.elementByPhysicalIndex(i));
    } else {
        collect(fieldList);
    }
    for (const auto& [source, destination] : old) modifier().disconnect(source, destination);
    modifier().doIt();

    unsigned element = 0;
    for (unsigned i = 0; i < selection_.length(); ++i) {
        MObject node;
        selection_.getDependNode(i, node);
        if (!isForceField(node)) continue;
        const MPlug field = plugOf(node, "zylfield");
        if (field.isNull()) continue;
        const MPlug target = fieldList.isArray() ? fieldList.elementByLogicalIndex(element) : fieldList;
        if (connectNow(field, target)) ++element;
    }
}

void connectForceFieldsCmd::connectToAffected(const MPlug& bodies, const MPlug& field) {
    MPlugArray ends;
    bodies.connectedTo(ends, true, true);
    for (const MPlug& end : ends) {
        const MObject body = end.node();
        const MPlug affects = plugOf(body, "affectForceFields");
        const MPlug fieldList = plugOf(body, "fieldList");
        if (affects.isNull() || !affects.asBool() || fieldList.isNull()) continue;
        connectNow(field, fieldList.isArray() ? fieldList.elementByLogicalIndex(fieldList.numElements()) : fieldList);
    }
}

MStatus connectForceFieldsCmd::redoIt() {
    const bool connect = args().isFlagSet("-con");
    const bool connectAll = args().isFlagSet("-cal");
    if (!connect && !connectAll) {
        displayError("invalid arguments");
        return MS::kFailure;
    }
    selection_.clear();
    args().getObjects(selection_);
    modifier();

    MString fbodyName, bodyName, fieldName;
    readFlag(args(), "-fbn", fbodyName);
    readFlag(args(), "-bn", bodyName);
    if (connectAll) args().getFlagArgument("-cal", 0, fieldName);

    // A named body that is missing, or has no field list, leaves everything as it is.
    if (fbodyName.length() > 0 || bodyName.length() > 0) {
        // Rigid bodies are plug-in locators, fracture bodies plug-in dependency nodes.
        const MObject body = fbodyName.length() > 0
                                 ? findModuleNode(MFn::kPluginDependNode, zylTypes::kFractureBody, fbodyName)
                                 : findModuleNode(MFn::kPluginLocatorNode, zylTypes::kRigidBody, bodyName);
        const MPlug fieldList = plugOf(body, "fieldList");
        if (!fieldList.isNull()) connectFieldsTo(fieldList);
        return MS::kSuccess;
    }
    if (!connectAll) return MS::kSuccess;

    const MObject fieldNode = findField(fieldName);
    if (fieldNode.isNull()) {
        displayError("no field found");
        return MS::kFailure;
    }
    const MPlug field = plugOf(fieldNode, "zylfield");
    if (field.isNull()) {
        displayError(" zylfield attribute not found");
        return MS::kFailure;
    }
    const MObject solver = findLastSolver();
    if (solver.isNull()) {
        displayError("no zyl solver found");
        return MS::kFailure;
    }
    connectToAffected(plugOf(solver, "rigidBodies"), field);
    connectToAffected(plugOf(solver, "fractureBodies"), field);
    return MS::kSuccess;
}

// --- deleteUserNode

void* deleteUserNodeCmd::creator() { return new (std::nothrow) deleteUserNodeCmd; }

MSyntax deleteUserNodeCmd::newSyntax() { return objectsSyntax(1); }

MStatus deleteUserNodeCmd::doIt(const MArgList& args) {
    MStatus status;
    argData_ = std::make_unique<MArgDatabase>(syntax(), args, &status);
    if (!status) return status;
    selection_.clear();
    argData_->getObjects(selection_);
    if (selection_.length() == 0) {
        displayError("invalid selection");
        return MS::kFailure;
    }
    // Handles are taken first: a node deleted with an earlier one (a shape under a
    // deleted transform) then reads null and is passed over.
    std::vector<MObject> nodes;
    for (unsigned i = 0; i < selection_.length(); ++i) {
        MObject node;
        selection_.getDependNode(i, node);
        nodes.push_back(node);
    }
    for (const MObject& node : nodes)
        if (!node.isNull()) MGlobal::deleteNode(node);
    // What is left is what a saved scene would bring back.
    rebuildBodiesOfChangedMeshes();
    std::vector<MObject> fractureBodies;
    for (MItDependencyNodes it(MFn::kPluginDependNode); !it.isDone(); it.next())
        if (hasTypeId(it.thisNode(), FractureBodyNode::id)) fractureBodies.push_back(it.thisNode());
    for (const MObject& node : fractureBodies)
        if (auto* fb = userNodeAs<FractureBodyNode>(node, FractureBodyNode::id)) fb->settleMembers();
    return MS::kSuccess;
}
