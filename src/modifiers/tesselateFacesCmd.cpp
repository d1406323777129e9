#include "src/modifiers/tesselateFacesCmd.h"

#include <cstdint>
#include <iostream>
#include <new>
#include <string>

#include "engine/tools/meshTools.h"
#include "engine/world/engineApi.h"
#include "host/api/componentListData.h"
#include "host/api/fnMesh.h"
#include "host/api/global.h"
#include "host/api/selectionList.h"
#include "src/meshReader.h"
#include "src/meshWriter.h"
#include "src/modifiers/modifierBaseNode.h"
#include "src/sceneUtils.h"
#include "src/typeIds.h"

namespace {

MString faceItem(const MString& mesh, std::uint32_t face) {
    return MString(" ") + mesh + ".f[" + std::to_string(face) + "]";
}

}  // namespace

// An empty component list rather than none: a null object would fail the node's
// assignment and leave the node passing the mesh through.
tesselateFacesCmd::tesselateFacesCmd() : componentList_(MFnComponentListData().create()) {}

void* tesselateFacesCmd::creator() { return new (std::nothrow) tesselateFacesCmd; }

MStatus tesselateFacesCmd::setupModifierNode(MObject node) {
    const MFnDependencyNode fn(node);
    MStatus status = fn.findPlug("inputComponents").setValue(componentList_);
    if (!status) return status;
    fn.findPlug("operationType").setValue(operationType_);
    fn.findPlug("operationMode").setValue(operationMode_);
    status = fn.findPlug("operationIter").setValue(operationIterations_);

    if (auto* modifier = dynamic_cast<zylModifierBaseNode*>(fn.userNode())) {
        modifier->saveShadingAndUVSets(meshPath_);
        // The mesh leaves its first group now; the chain's first evaluation gives the faces back.
        if (modifier->shadingSets().length() > 0)
            MGlobal::executeCommand("sets -rm " + MFnDependencyNode(modifier->shadingSets()[0]).name() + " " +
                                    MFnDagNode(meshPath_).name());
    }
    return status;
}

// Only faces that already carry the tessellation flag are subdivided, at level 2.
MStatus tesselateFacesCmd::modifyMeshDirectly(MObject) {
    MFnMesh mesh(meshPath_);
    MObjectArray groups;
    MIntArray groupIndices;
    getMeshShaders(meshPath_, groups, groupIndices);
    if (mesh.name().empty()) mesh.setName("modopmesh");

    MStringArray uvSets;
    ZYL_DFmesh* engineMesh = readMeshIntoDFmesh(mesh, groupIndices, uvSets);
    if (!engineMesh) return MS::kFailure;
    tessellateDFmesh(engineMesh, 2, true);

    MStatus status;
    createMeshFromDFmesh(status, engineMesh, mesh, uvSets, nullptr);
    if (status) {
        const MString name = mesh.name();
        const std::uint32_t faces = engineMesh->numFaces;
        if (groups.length() > 1) {
            for (std::uint32_t i = 0; i < faces; ++i) {
                const unsigned k = engineMesh->faces[i].material;
                if (k >= groups.length()) continue;  // no group
                MGlobal::executeCommand("sets -e  -fe " + MFnDependencyNode(groups[k]).name() + faceItem(name, i));
            }
        } else if (groups.length() == 1) {
            MString command = "sets -e -fe " + MFnDependencyNode(groups[0]).name();
            for (std::uint32_t i = 0; i < faces; ++i) command += faceItem(name, i);
            MGlobal::executeCommand(command);
        } else {
            MGlobal::executeCommand("sets -e -fe initialShadingGroup " + name);
        }
    }
    deleteDFmesh(&engineMesh);
    return status;
}

MStatus tesselateFacesCmd::doIt(const MArgList& args) {
    if (args.length() != 1) {
        std::cerr << "Expecting one parameter: the operation type.\n"
                  << "Valid types are: \n"
                  << "   0 - Subdivide edge(s).\n"
                  << "   1 - Subdivide face(s).\n"
                  << "   2 - Extrude edge(s).\n"
                  << "   3 - Extrude face(s).\n"
                  << "   4 - Collapse edge(s).\n"
                  << "   5 - Collapse face(s).\n"
                  << "   6 - Duplicate face(s).\n"
                  << "   7 - Extract face(s).\n"
                  << "   8 - Split face(s).\n";
        displayError(" Expecting one parameter: the operation type.");
        return MS::kFailure;
    }
    operationType_ = args.asInt(0);

    MSelectionList selection;
    MGlobal::getActiveSelectionList(selection);
    bool found = false;
    for (MItSelectionList it(selection, MFn::kMesh); !it.isDone(); it.next()) {
        MDagPath path;
        MObject component;
        it.getDagPath(path, component);
        if (component.isNull() || component.apiType() != MFn::kMeshPolygonComponent) continue;
        if (found) {
            displayWarning("Found more than one object with selected components.");
            displayWarning("Only operating on first found object.");
            break;
        }
        MFnComponentListData list;
        componentList_ = list.create();
        list.add(component);
        path.extendToShape();
        setMeshPath(path);
        found = true;
    }
    if (!found) {
        displayError("meshOp command failed: Unable to find selected components");
        return MS::kFailure;
    }
    setModifierNodeType(zylTypes::kMeshOp);
    const MStatus status = applyModifier();
    if (!status)
        displayError("meshOp command failed!");
    else
        setResult("meshOp command succeeded!");
    return status;
}

MStatus tesselateFacesCmd::redoIt() {
    const MStatus status = reapplyModifier();
    if (!status)
        displayError("meshOp command failed!");
    else
        setResult("meshOp command succeeded!");
    return status;
}

MStatus tesselateFacesCmd::undoIt() {
    const MStatus status = revertModifier();
    setResult(status ? "meshOp undo succeeded!" : "meshOp undo failed!");
    return status;
}
