#include "src/modifiers/modifierCmd.h"

#include <array>
#include <string>
#include <vector>

#include "host/api/fnAttribute.h"
#include "host/api/fnDagNode.h"
#include "host/api/fnMesh.h"
#include "host/api/global.h"
#include "src/modifiers/modifierBaseNode.h"

namespace {

MString faceItem(const MString& mesh, int face) { return MString(" ") + mesh + ".f[" + std::to_string(face) + "]"; }

MString nodeName(const MObject& node) { return MFnDependencyNode(node).name(); }

// A three-float numeric data object, the value type of a "pnts" or "tweak" element.
MObject float3Data(float x, float y, float z) {
    MFnNumericData fn;
    const MObject data = fn.create(MFnNumericData::k3Float);
    fn.setData(x, y, z);
    return data;
}

bool hasNonZeroTweak(const MPlug& pnts) {
    for (unsigned i = 0; i < pnts.numElements(); ++i) {
        float x = 0.0f, y = 0.0f, z = 0.0f;
        MFnNumericData(pnts.elementByPhysicalIndex(i).asMObject()).getData(x, y, z);
        if (x != 0.0f || y != 0.0f || z != 0.0f) return true;
    }
    return false;
}

// The element of an array plug with logical index `index`, without creating it; null when absent.
MPlug existingElement(const MPlug& array, unsigned index) {
    for (unsigned i = 0; i < array.numElements(); ++i) {
        const MPlug element = array.elementByPhysicalIndex(i);
        if (element.logicalIndex() == index) return element;
    }
    return {};
}

}  // namespace

MStatus zylModifierCmd::setupModifierNode(MObject) { return MS::kSuccess; }

MStatus zylModifierCmd::modifyMeshDirectly(MObject) { return MS::kSuccess; }

void zylModifierCmd::setMeshPath(const MDagPath& path) {
    meshPath_ = path;
    meshPathSet_ = true;
}

void zylModifierCmd::setModifierNodeType(const MTypeId& id) {
    nodeTypeId_ = id;
    nodeTypeIdSet_ = true;
}

void zylModifierCmd::setModifierNodeType(const MString& typeName) {
    nodeTypeName_ = typeName;
    nodeTypeNameSet_ = true;
}

MString zylModifierCmd::meshName() const { return MFnDagNode(meshPath_).name(); }

MStatus zylModifierCmd::applyModifier() {
    MStatus status = MS::kFailure;
    if (!meshPathSet_) return status;
    meshPath_.extendToShape();
    if (!meshPath_.isValid() || meshPath_.apiType() != MFn::kMesh) return status;

    const MObject shape = meshPath_.node();
    const MFnDependencyNode shapeFn(shape);
    hasHistory_ = shapeFn.findPlug("inMesh").isConnected();
    hasTweaks_ = hasNonZeroTweak(shapeFn.findPlug("pnts"));
    int toggle = 0;
    MGlobal::executeCommand("constructionHistory -q -tgl", toggle);
    recordHistory_ = toggle != 0;

    if (!hasHistory_ && !recordHistory_) {
        saveMeshData();
        saveMeshTweaks();
        return modifyMeshDirectly(shape);
    }
    const MObject first = createModifierNode(status);
    if (!status) return status;
    setupModifierNode(first);  // its status is not the command's
    const MObject second = createModifierNode(status);
    if (!status) return status;
    return wireChain(first, second);
}

// Made through the graph modifier, so it joins the scene only when the chain is wired.
MObject zylModifierCmd::createModifierNode(MStatus& status) {
    MObject node;
    if (nodeTypeIdSet_) {
        node = dgModifier_.createNode(nodeTypeId_, &status);
    } else if (nodeTypeNameSet_) {
        node = dgModifier_.createNode(nodeTypeName_, &status);
    } else {
        status = MS::kFailure;
        return {};
    }
    const MFnDependencyNode fn(node);
    if (node.isNull() || !fn.hasAttribute("inMesh") || !fn.hasAttribute("outMesh")) {
        displayError("Invalid Modifier Node: inMesh and outMesh attributes are required.");
        status = MS::kFailure;
        return {};
    }
    status = MS::kSuccess;
    return node;
}

MStatus zylModifierCmd::wireChain(const MObject& first, const MObject& second) {
    MStatus status;
    ModifierInsertion r;
    r.meshShape = meshPath_.node();
    r.meshTransform = meshPath_.transform();
    r.meshInMeshPlug = MFnDependencyNode(r.meshShape).findPlug("inMesh");
    r.meshInMeshAttr = r.meshInMeshPlug.attribute();

    if (hasHistory_) {
        r.upstreamSourcePlug = r.meshInMeshPlug.source();
        r.upstreamNode = r.upstreamSourcePlug.node();
        r.upstreamSourceAttr = r.upstreamSourcePlug.attribute();
        status = dgModifier_.disconnect(r.upstreamSourcePlug, r.meshInMeshPlug);
        if (!status) return status;
    } else if (status = insertIntermediateCopy(r); !status) {
        return status;
    }

    const MFnDependencyNode firstFn(first), secondFn(second);
    r.firstOutMeshAttr = firstFn.attribute("outMesh");
    r.firstInMeshAttr = firstFn.attribute("inMesh");
    r.secondOutMeshAttr = secondFn.attribute("outMesh");
    r.secondInMeshAttr = secondFn.attribute("inMesh");

    moveTweaks(r);

    if (hasTweaks_) {
        dgModifier_.connect(r.upstreamSourcePlug, MPlug(r.tweakNode, r.tweakInputAttr));
        dgModifier_.connect(r.tweakNode, r.tweakOutputAttr, first, r.firstInMeshAttr);
    } else {
        dgModifier_.connect(r.upstreamSourcePlug, MPlug(first, r.firstInMeshAttr));
    }
    dgModifier_.connect(first, r.firstOutMeshAttr, second, r.secondInMeshAttr);
    dgModifier_.connect(second, r.secondOutMeshAttr, r.meshShape, r.meshInMeshAttr);
    status = dgModifier_.doIt();
    if (!status) return status;

    zeroMovedTweaks();
    restoreShadingAndUVSet(r, first);
    return status;
}

// The mesh as it was, kept under its transform as an intermediate object, becomes the
// upstream of the chain; the blind-data template connection moves to it.
MStatus zylModifierCmd::insertIntermediateCopy(ModifierInsertion& r) {
    MStatus status;
    const MObject copy = MFnDagNode(meshPath_).duplicate(false, false, &status);
    if (!status) return status;
    const MObject copyShape = MFnDagNode(copy).child(0);
    dagModifier_.reparentNode(copyShape, r.meshTransform);
    if (status = dagModifier_.doIt(); !status) return status;
    MFnDagNode copyFn(copyShape);
    copyFn.setIntermediateObject(true);
    r.upstreamSourcePlug = copyFn.findPlug("outMesh");
    r.upstreamNode = copyShape;
    r.upstreamSourceAttr = r.upstreamSourcePlug.attribute();
    r.duplicateTransform = copy;
    dagModifier_.deleteNode(copy);
    if (status = dagModifier_.doIt(); !status) return status;
    MDagPath::getAPathTo(copyShape, duplicatePath_);

    if (!MFnMesh(meshPath_).hasBlindData(MFn::kMeshPolygonComponent)) return status;
    MStatus found;
    const MPlug meshTemplates = MFnDependencyNode(r.meshShape).findPlug("blindDataNodes", true, &found);
    if (!found) return status;
    const MPlug meshElement = existingElement(meshTemplates, 0);
    const MPlug source = meshElement.isNull() ? MPlug() : meshElement.source();
    if (source.isNull()) return status;
    const MPlug message = MFnDependencyNode(source.node()).findPlug("message");
    dgModifier_.disconnect(message, meshElement);
    dgModifier_.connect(message, copyFn.findPlug("blindDataNodes").elementByLogicalIndex(0));
    return dgModifier_.doIt();
}

// Moves every "pnts" element, with the connections of its x, y and z, into a new
// "polyTweak" node placed at the head of the chain.
void zylModifierCmd::moveTweaks(ModifierInsertion& r) {
    tweakIndices_.clear();
    tweakVectors_.clear();
    if (!hasTweaks_) return;
    r.tweakNode = dgModifier_.createNode("polyTweak");
    const MFnDependencyNode tweakFn(r.tweakNode);
    r.tweakOutputAttr = tweakFn.attribute("output");
    r.tweakInputAttr = tweakFn.attribute("inputPolymesh");
    const MObject tweakAttr = tweakFn.attribute("tweak");

    struct ChildLinks {
        std::vector<MPlug> destinations;
        MPlug source;  // null: none
    };
    struct Element {
        unsigned index;
        MObject value;
        std::array<ChildLinks, 3> children;
    };
    std::vector<Element> elements;
    const MPlug pnts = MFnDependencyNode(r.meshShape).findPlug("pnts");
    for (unsigned i = 0; i < pnts.numElements(); ++i) {
        const MPlug element = pnts.elementByPhysicalIndex(i);
        if (element.isNull()) continue;
        Element e{element.logicalIndex(), element.asMObject(), {}};
        float x = 0.0f, y = 0.0f, z = 0.0f;
        MFnNumericData(e.value).getData(x, y, z);
        tweakIndices_.append(static_cast<int>(e.index));
        tweakVectors_.append(MFloatVector(x, y, z));
        for (unsigned c = 0; c < element.numChildren() && c < 3; ++c) {
            const MPlug child = element.child(c);
            if (!child.isConnected()) continue;
            MPlugArray linked;
            child.connectedTo(linked, false, true);
            for (const MPlug& destination : linked) {
                e.children[c].destinations.push_back(destination);
                dgModifier_.disconnect(child, destination);
            }
            child.connectedTo(linked, true, false);
            if (linked.length() > 0) {
                e.children[c].source = linked[0];
                dgModifier_.disconnect(linked[0], child);
            }
        }
        elements.push_back(std::move(e));
    }

    const MPlug tweaks(r.tweakNode, tweakAttr);
    for (const Element& e : elements) {
        MPlug element = tweaks.elementByLogicalIndex(e.index);
        element.setValue(e.value);
        for (unsigned c = 0; c < element.numChildren() && c < 3; ++c) {
            const MPlug child = element.child(c);
            for (const MPlug& destination : e.children[c].destinations) dgModifier_.connect(child, destination);
            if (!e.children[c].source.isNull()) dgModifier_.connect(e.children[c].source, child);
        }
    }
}

// The host adds a shape's "pnts" to its evaluated input, and the polyTweak now carries
// them: left on the mesh they would count twice.
void zylModifierCmd::zeroMovedTweaks() {
    if (!hasTweaks_) return;
    const MPlug pnts = MFnDependencyNode(meshPath_.node()).findPlug("pnts");
    for (const int index : tweakIndices_)
        pnts.elementByLogicalIndex(static_cast<unsigned>(index)).setValue(float3Data(0.0f, 0.0f, 0.0f));
}

void zylModifierCmd::restoreShadingAndUVSet(const ModifierInsertion& r, const MObject& first) {
    r.meshInMeshPlug.asMObject();  // evaluates the chain: the node's face set indices are now current
    MFnMesh mesh(meshPath_);
    const auto* node = dynamic_cast<const zylModifierBaseNode*>(MFnDependencyNode(first).userNode());
    if (node) {
        const MStringArray& names = node->uvSetNames();
        if (names.length() > 0) {
            const MString current = mesh.currentUVSetName();
            if (!(current == names[0])) mesh.renameUVSet(current, names[0]);
        }
        const MString name = meshName();
        const MObjectArray& sets = node->shadingSets();
        const MIntArray& indices = node->faceSetIndices();
        const int faces = mesh.numPolygons();
        if (sets.length() == 0) {
            MGlobal::executeCommand("sets -e -fe initialShadingGroup " + name);
        } else if (sets.length() == 1) {
            MString command = "sets -e -fe " + nodeName(sets[0]);
            for (int i = 0; i < faces; ++i) command += faceItem(name, i);
            MGlobal::executeCommand(command);
        } else {
            // Faces past the end of the index list belong to no set.
            const auto setOf = [&](int face) {
                const auto f = static_cast<unsigned>(face);
                const int k = f < indices.length() ? indices[f] : -1;
                return k >= 0 && static_cast<unsigned>(k) < sets.length() ? k : -1;
            };
            std::vector<bool> handled(sets.length(), false);
            for (int i = 0; i < faces; ++i) {
                const int k = setOf(i);
                if (k < 0 || handled[static_cast<std::size_t>(k)]) continue;
                handled[static_cast<std::size_t>(k)] = true;
                MString command = "sets -e  -fe " + nodeName(sets[static_cast<unsigned>(k)]) + faceItem(name, i);
                for (int j = i + 1; j < faces; ++j)
                    if (setOf(j) == k) command += faceItem(name, j);
                MGlobal::executeCommand(command);
            }
        }
    }
    mesh.syncObject();
}

// Through a throw-away copy of the shape: its "outMesh" holds the mesh without tweaks.
void zylModifierCmd::saveMeshData() {
    const MObject copy = MFnDagNode(meshPath_).duplicate();
    MDagPath copyPath;
    MDagPath::getAPathTo(copy, copyPath);
    copyPath.extendToShape();
    savedMeshData_ = MFnDependencyNode(copyPath.node()).findPlug("outMesh").asMObject();
    MGlobal::deleteNode(copy);
}

void zylModifierCmd::saveMeshTweaks() {
    tweakIndices_.clear();
    tweakVectors_.clear();
    if (!hasTweaks_) return;
    const MPlug pnts = MFnDependencyNode(meshPath_.node()).findPlug("pnts");
    for (unsigned i = 0; i < pnts.numElements(); ++i) {
        const MPlug element = pnts.elementByPhysicalIndex(i);
        if (element.isNull()) continue;
        float x = 0.0f, y = 0.0f, z = 0.0f;
        MFnNumericData(element.asMObject()).getData(x, y, z);
        tweakIndices_.append(static_cast<int>(element.logicalIndex()));
        tweakVectors_.append(MFloatVector(x, y, z));
    }
}

MStatus zylModifierCmd::reapplyModifier() {
    if (!hasHistory_ && !recordHistory_) return modifyMeshDirectly(meshPath_.node());
    if (!hasHistory_) dagModifier_.doIt();
    const MStatus status = dgModifier_.doIt();
    if (status) zeroMovedTweaks();
    return status;
}

MStatus zylModifierCmd::revertModifier() {
    const MObject shape = meshPath_.node();
    MPlug outMesh = MFnDependencyNode(shape).findPlug("outMesh");
    if (!hasHistory_ && !recordHistory_) {
        if (!hasTweaks_) return outMesh.setValue(savedMeshData_);
        // The saved data goes in as an evaluated input, under the restored tweaks.
        const MObject copy = MFnDagNode(meshPath_).duplicate();
        MDagPath copyPath;
        MDagPath::getAPathTo(copy, copyPath);
        copyPath.extendToShape();
        MPlug copyOut = MFnDependencyNode(copyPath.node()).findPlug("outMesh");
        copyOut.setValue(savedMeshData_);
        MDGModifier feed;
        feed.connect(copyOut, MFnDependencyNode(shape).findPlug("inMesh"));
        feed.doIt();
        MGlobal::executeCommand("dgeval -src " + meshName() + ".inMesh");
        feed.undoIt();
        MGlobal::deleteNode(copy);
        return restoreTweaks();
    }
    dgModifier_.undoIt();
    if (!hasHistory_) {
        restoreFromIntermediateCopy();
        dagModifier_.undoIt();
    }
    return restoreTweaks();
}

MStatus zylModifierCmd::restoreFromIntermediateCopy() {
    const MObject shape = meshPath_.node();
    const MPlug copyOut = MFnDependencyNode(duplicatePath_.node()).findPlug("outMesh");
    if (!hasTweaks_) return MFnDependencyNode(shape).findPlug("outMesh").setValue(copyOut.asMObject());
    MDGModifier feed;
    feed.connect(copyOut, MFnDependencyNode(shape).findPlug("inMesh"));
    MStatus status = feed.doIt();
    MGlobal::executeCommand("dgeval -src " + meshName() + ".inMesh");
    feed.undoIt();
    return status;
}

MStatus zylModifierCmd::restoreTweaks() {
    MStatus status;
    if (!hasTweaks_) return status;
    const MPlug pnts = MFnDependencyNode(meshPath_.node()).findPlug("pnts");
    for (unsigned i = 0; i < tweakIndices_.length(); ++i) {
        const MFloatVector& v = tweakVectors_[i];
        const MStatus set =
            pnts.elementByLogicalIndex(static_cast<unsigned>(tweakIndices_[i])).setValue(float3Data(v.x, v.y, v.z));
        if (!set) status = set;
    }
    return status;
}
