#include "src/modifiers/jagginessCmd.h"

#include <cmath>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/api/boundingBox.h"
#include "host/api/fnDagNode.h"
#include "host/api/global.h"
#include "host/api/meshIterators.h"
#include "host/api/progressWindow.h"
#include "src/commandBase.h"
#include "src/fractureBodyNode.h"
#include "src/meshWriter.h"
#include "src/modifiers/tesselateFacesCmd.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/sceneUtils.h"
#include "src/shatter/voronoiNode.h"
#include "src/typeIds.h"

namespace {

// The source file named in reports of failed host calls.
constexpr const char* kSourceName = "src/modifiers/jagginessCmd";

// Cut faces below this share of the largest cut face are left flat.
constexpr double kSmallCutFaceFactor = 0.02;

void check(const MStatus& status, int line) {
    if (!status) printApiError(status, kSourceName, line);
}

// Whether the user lets the named body go: the dialog's answer is "Yes".
bool confirmBodyRemoval(const char* messageHead, const MString& name) {
    const MString command = MString("confirmDialog -title \"ZYL Info\" -message ") + messageHead + name +
                            " must be deleted to add jagginess, " + "do you want to proceed?\"" +
                            " -button \"Yes\" -button \"No\" -defaultButton \"Yes\"-cancelButton \"No\""
                            " -dismissString \"No\"";
    MString answer;
    MGlobal::executeCommand(command, answer);
    return answer == "Yes";
}

double boxVolume(const MDagPath& mesh) {
    const MBoundingBox box = MFnDagNode(mesh).boundingBox();
    return box.height() * box.width() * box.depth();
}

// World-space area of each polygon.
std::vector<double> worldFaceAreas(const MDagPath& mesh) {
    std::vector<double> areas;
    for (MItMeshPolygon it(mesh); !it.isDone(); it.next()) {
        double area = 0.0;
        it.getArea(area, MSpace::kWorld);
        areas.push_back(area);
    }
    return areas;
}

}  // namespace

MDagPathArray shatterGroupMeshes(const MDagPath& group) {
    MDagPathArray meshes;
    if (!group.isValid()) return meshes;
    for (unsigned i = 0, n = group.childCount(); i < n; ++i) {
        MDagPath child = group;
        child.push(group.child(i));
        // A shard's transform stands for its shape (not the intermediate copy beside it).
        if (child.hasFn(MFn::kTransform) && !child.extendToShape()) continue;
        if (child.apiType() == MFn::kMesh) meshes.append(child);
    }
    return meshes;
}

void* jagginessCmd::creator() { return new (std::nothrow) jagginessCmd; }

MSyntax jagginessCmd::newSyntax() {
    // The shard given, else the selected one.
    MSyntax syntax = objectsSyntax(1, 1);
    syntax.addFlag("-res", "-resolution", MSyntax::kUnsigned);
    syntax.addFlag("-st", "-strength", MSyntax::kDouble);
    syntax.addFlag("-sn", "-softnormal", MSyntax::kBoolean);
    syntax.addFlag("-aff", "-affect", MSyntax::kUnsigned);
    syntax.addFlag("-com", "-compute", MSyntax::kNoArg);
    syntax.addFlag("-del", "-delete", MSyntax::kNoArg);
    return syntax;
}

MStatus jagginessCmd::doIt(const MArgList& args) {
    MStatus status;
    argDatabase_ = std::make_unique<MArgDatabase>(syntax(), args, &status);
    if (!status) return status;
    return redoIt();
}

void jagginessCmd::readFlags() {
    const MArgDatabase& db = *argDatabase_;
    options_ = Options();
    readFlag(db, "-res", resolution_);
    options_.strengthGiven = readFlag(db, "-st", strength_);
    readFlag(db, "-sn", options_.softnormal);
    readFlag(db, "-aff", options_.affect);
    if (options_.affect > 2) options_.affect = 0;
    options_.compute = db.isFlagSet("-com");
    options_.remove = db.isFlagSet("-del");
}

MStatus jagginessCmd::redoIt() {
    readFlags();
    argDatabase_->getObjects(selection_);
    if (selection_.length() == 0) {
        displayError("no objects selected");
        return MS::kFailure;
    }
    timer_.clear();
    timer_.beginTimer();

    MDagPath shard;
    selection_.getDagPath(0, shard);
    if (shard.hasFn(MFn::kTransform)) shard.extendToShape();
    MDagPath transform = shard;
    transform.pop();
    MDagPath group = transform;
    group.pop();
    if (!displacementKeepsFinite(shard, group)) {
        MString message("strength ");
        message += strength_;
        displayError(message + " is too large: the displaced vertices would not be finite");
        return MS::kFailure;
    }

    if (const MStatus status = removeBodies(transform, group); !status) return status;
    if (options_.remove) {
        if (options_.softnormal) removeSoftNormalNodes(shard, group);
        return MS::kSuccess;
    }

    MGlobal::executeCommand("undoInfo -swf off");
    MStatus status;
    if (options_.affect == 2) {
        // A group that sits in no larger shatter group is the whole hierarchy.
        MDagPath top;
        if (!findTopShatterGroup(group, top)) top = group;
        status = processHierarchy(top);
    } else {
        status = processShard(shard, group);
    }
    MGlobal::executeCommand("undoInfo -swf on");
    return status;
}

MStatus jagginessCmd::removeBodies(const MDagPath& transform, const MDagPath& group) const {
    MObject body;
    if (!findZylRigidBodyChild(transform.node(), body)) return MS::kSuccess;
    const auto* rigidBody = userNodeAs<rigidBodyNode>(body, rigidBodyNode::id);
    if (FractureBodyNode* owner = rigidBody ? rigidBody->getOwner() : nullptr) {
        const MString name = MFnDependencyNode(owner->thisMObject()).name();
        if (!confirmBodyRemoval("\"WARNNING: fracture body ", name)) {
            displayInfo("you have to delete zyl bodies before adding jagginess");
            return MS::kFailure;
        }
        MGlobal::executeCommand("deleteZylFBody -deleteBodies " + name);
        return MS::kSuccess;
    }
    if (!confirmBodyRemoval("\"WARNNING: rigid body group for ", MFnDependencyNode(body).name())) {
        displayInfo("you have to delete zyl bodies before adding jagginess");
        return MS::kFailure;
    }
    MGlobal::executeCommand("undoInfo -swf off");
    for (unsigned i = 0, n = group.childCount(); i < n; ++i) {
        MObject shardBody;
        if (findZylRigidBodyChild(group.child(i), shardBody)) MGlobal::deleteNode(shardBody);
    }
    MGlobal::executeCommand("undoInfo -swf on");
    return MS::kSuccess;
}

void jagginessCmd::removeSoftNormalNodes(const MDagPath& shard, const MDagPath& group) const {
    if (options_.affect != 1) {
        removeSoftNormalNode(shard);
        return;
    }
    for (const MDagPath& mesh : shatterGroupMeshes(group))
        if (hasMeshOpUpstream(mesh.node())) removeSoftNormalNode(mesh);
    for (unsigned i = 0, n = group.childCount(); i < n; ++i) {
        MDagPath child = group;
        child.push(group.child(i));
        if (isShatterGroup(child)) removeSoftNormalNodes(shard, child);
    }
}

MStatus jagginessCmd::processShard(const MDagPath& shard, const MDagPath& group) {
    const bool groupWide = options_.affect == 1;
    readVoronoiJaggySettings(group, groupWide && options_.strengthGiven);  // goes on with the length it has
    if (options_.compute) {
        if (!MProgressWindow::reserve()) {
            displayError("Progress window already in use.");
            return MS::kFailure;
        }
        MDagPathArray done;
        if (groupWide) {
            tessellateGroup(group, done);
        } else {
            tessellateCutFaces(shard, resolution_, options_.softnormal);
            done.append(shard);
        }
        displaceMeshes(done);
        check(MProgressWindow::endProgress(), __LINE__);
    } else if (options_.strengthGiven) {
        if (groupWide) {
            MGlobal::executeCommand("waitCursor -state on");
            displaceGroup(group);
            MGlobal::executeCommand("waitCursor -state off");
        } else if (hasMeshOpUpstream(shard.node())) {
            displaceMesh(shard, false);
        }
    } else if (options_.softnormal) {
        if (groupWide) {
            MGlobal::executeCommand("waitCursor -state on");
            softenGroup(group);
            MGlobal::executeCommand("waitCursor -state off");
        } else if (hasMeshOpUpstream(shard.node())) {
            softenCutFaceNormals(shard);
        }
    }
    printTime();
    return MS::kSuccess;
}

MStatus jagginessCmd::processHierarchy(const MDagPath& group) {
    readVoronoiJaggySettings(group, options_.strengthGiven);
    if (options_.compute) {
        if (!MProgressWindow::reserve()) {
            displayError("Progress window already in use.");
            return MS::kFailure;
        }
        MDagPathArray done;
        tessellateGroup(group, done);
        displaceMeshes(done);
        check(MProgressWindow::endProgress(), __LINE__);
    } else if (options_.strengthGiven || options_.softnormal) {
        MGlobal::executeCommand("waitCursor -state on");
        if (options_.strengthGiven)
            displaceGroup(group);
        else
            softenGroup(group);
        MGlobal::executeCommand("waitCursor -state off");
    }
    MStatus status;
    for (unsigned i = 0, n = group.childCount(); i < n; ++i) {
        MDagPath child = group;
        child.push(group.child(i));
        if (isShatterGroup(child) && !processHierarchy(child)) status = MS::kFailure;
    }
    return status;
}

MStatus jagginessCmd::readVoronoiJaggySettings(const MDagPath& group, bool writeStrength) {
    MObject voronoi;
    findVoronoiNodeChild(group, voronoi);
    if (voronoi.isNull()) {
        displayError("voronoi node not found");
        return MS::kFailure;
    }
    MPlug length(voronoi, voronoiNode::jaggyLength);
    jaggyLength_ = length.asFloat();
    if (writeStrength) MPlug(voronoi, voronoiNode::jaggyStrenght).setValue(static_cast<float>(strength_));
    if (jaggyLength_ != 0.0) return MS::kSuccess;

    // First use: the smallest cut faces stay flat, and the length follows the shard size
    // (of the outermost group, for a shard shattered again, so that all match).
    markSmallCutFaces(group, kSmallCutFaceFactor);
    if (isInShatterGroup(group)) {
        MObject outer;
        MDagPath top;
        if (!findShatterGroupVoronoiNode(group, outer, top)) {
            displayError("voronoi node not found");
            return MS::kFailure;
        }
        MPlug outerLength(outer, voronoiNode::jaggyLength);
        jaggyLength_ = outerLength.asFloat();
        if (jaggyLength_ == 0.0) {
            jaggyLength_ = defaultJaggyLength(group);
            outerLength.setValue(jaggyLength_);
        }
    } else {
        jaggyLength_ = defaultJaggyLength(group);
    }
    // The plug keeps at most 4; the command goes on with its own value.
    length.setValue(jaggyLength_);
    return MS::kSuccess;
}

double jagginessCmd::defaultJaggyLength(const MDagPath& group) {
    // Also for a group without any mesh, where there is no mean to take.
    constexpr double kFallback = 0.3f;
    if (!group.isValid() || !group.hasFn(MFn::kTransform)) return kFallback;
    const MDagPathArray meshes = shatterGroupMeshes(group);
    if (meshes.length() == 0) return kFallback;
    double sum = 0.0;
    for (const MDagPath& mesh : meshes) sum += boxVolume(mesh);
    return 0.02 * std::cbrt(sum / meshes.length());
}

void jagginessCmd::markSmallCutFaces(const MDagPath& group, double factor) {
    if (!group.isValid() || !group.hasFn(MFn::kTransform)) return;
    const MDagPathArray meshes = shatterGroupMeshes(group);
    // The largest cut face, looked for on the meshes that are the largest so far.
    double largestVolume = 0.0;
    double largestArea = 0.0;
    for (const MDagPath& mesh : meshes) {
        const double volume = boxVolume(mesh);
        if (!(volume > largestVolume)) continue;
        const std::vector<int> values = cutFaceValues(MFnMesh(mesh));
        const std::vector<double> areas = worldFaceAreas(mesh);
        for (std::size_t f = 0; f < values.size() && f < areas.size(); ++f)
            if (values[f] == cutFace::kCut && areas[f] > largestArea) largestArea = areas[f];
        largestVolume = volume;
    }
    for (const MDagPath& mesh : meshes) {
        MFnMesh fn(mesh);
        const std::vector<int> values = cutFaceValues(fn);
        const std::vector<double> areas = worldFaceAreas(mesh);
        MIntArray small;
        for (std::size_t f = 0; f < values.size() && f < areas.size(); ++f)
            if (values[f] == cutFace::kCut && areas[f] < factor * largestArea) small.append(static_cast<int>(f));
        if (small.length() > 0)
            fn.setIntBlindData(small, MFn::kMeshPolygonComponent, cutFace::kBlindDataId, cutFace::kLongName,
                               cutFace::kOlderCut);
    }
}

bool jagginessCmd::tessellateCutFaces(MDagPath shape, unsigned resolution, bool softnormal) const {
    if (shape.apiType() != MFn::kMesh) shape.extendToShape();
    const std::unique_ptr<tesselateFacesCmd> command(static_cast<tesselateFacesCmd*>(tesselateFacesCmd::creator()));
    if (!command) return false;
    command->setMeshPath(shape);
    command->setModifierNodeType(zylTypes::kMeshOp);
    command->setOperationType(1);  // subdivide the cut faces
    command->setOperationMode(softnormal ? 1 : 0);
    command->setOperationIterations(static_cast<short>(resolution));
    command->applyModifier();  // a mesh it cannot change stays as it is
    return true;
}

void jagginessCmd::tessellateGroup(const MDagPath& group, MDagPathArray& done) const {
    const unsigned count = group.childCount();
    check(MProgressWindow::setProgressRange(0, static_cast<int>(100 * count)), __LINE__);
    check(MProgressWindow::setTitle("applying jagginess.."), __LINE__);
    check(MProgressWindow::setInterruptable(true), __LINE__);
    check(MProgressWindow::startProgress(), __LINE__);
    check(MProgressWindow::setProgress(0), __LINE__);
    for (unsigned i = 0; i < count; ++i) {
        MStatus status;
        const bool cancelled = MProgressWindow::isCancelled(&status);
        check(status, __LINE__);
        if (cancelled) {
            displayInfo("jaggyness interrupted!");
            return;
        }
        MDagPath mesh = group;
        mesh.push(group.child(i));
        if (mesh.hasFn(MFn::kTransform) && !mesh.extendToShape()) continue;
        if (mesh.apiType() != MFn::kMesh) continue;
        if (!hasMeshOpUpstream(mesh.node()) && tessellateCutFaces(mesh, resolution_, options_.softnormal))
            done.append(mesh);
        const unsigned percent = i * 100 / count;
        check(MProgressWindow::setProgressStatus("done.." + std::to_string(percent) + " %"), __LINE__);
        check(MProgressWindow::setProgress(static_cast<int>(percent * count)), __LINE__);
    }
}

void jagginessCmd::printTime() {
    timer_.endTimer();
    MGlobal::executeCommandOnIdle(" \n print  \"\\n jaggynnes time " + elapsedTimeText(timer_.elapsedTime()) + "\"\n");
}
