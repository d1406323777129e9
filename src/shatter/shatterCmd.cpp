#include "src/shatter/shatterCmd.h"

#include <cmath>
#include <string>

#include "host/api/animControl.h"
#include "host/api/fnDagNode.h"
#include "host/api/global.h"
#include "host/api/progressWindow.h"
#include "math/qmtMath.h"
#include "src/commandBase.h"
#include "src/meshWriter.h"
#include "src/nodeHelpers.h"
#include "src/sceneUtils.h"
#include "src/shatter/patternSetup.h"
#include "src/shatter/shatterLocator.h"
#include "src/typeIds.h"
#include "src/uiScript.h"

namespace {

// The source file named in reports of failed host calls.
constexpr const char* kSourceName = "..\\src\\shatterCmd";

void check(const MStatus& status, int line) {
    if (!status) printApiError(status, kSourceName, line);
}

// The progress window from the reservation on: whichever way the command leaves, the
// window is free again for the next long command.
class ProgressReservation {
public:
    ProgressReservation() = default;
    ProgressReservation(const ProgressReservation&) = delete;
    ProgressReservation& operator=(const ProgressReservation&) = delete;
    ~ProgressReservation() {
        if (!ended_) MProgressWindow::endProgress();
    }
    void end(int line) {
        ended_ = true;
        check(MProgressWindow::endProgress(), line);
    }

private:
    bool ended_ = false;
};

MString nameOf(const MObject& node) { return MFnDependencyNode(node).name(); }
MString nameOf(const MDagPath& path) { return MFnDagNode(path).name(); }

// The first value of "polyEvaluate -wa -ae" for the object.
double worldArea(const MString& object) {
    MDoubleArray answer;
    MGlobal::executeCommand("polyEvaluate -wa -ae " + object, answer);
    return answer.length() > 0 ? answer[0] : 0.0;
}

// The group two levels above a history node's shape, when there is one (the world is none).
MObject resultGroupOf(const MObject& history) {
    MDagPath path;
    if (!MDagPath::getAPathTo(history, path) || !path.pop(2) || !path.isValid() || path.length() == 0) return MObject();
    return path.node();
}

// The parent a created object's group would be; null at the top of the scene.
MObject groupOf(const MObject& object) {
    if (object.isNull()) return MObject();
    const MObject parent = MFnDagNode(object).parent(0);
    return parent.isNull() || parent.apiType() == MFn::kWorld ? MObject() : parent;
}

}  // namespace

struct shatterCmd::Flags {
    unsigned numShards = 0;
    unsigned minShards = 0;
    unsigned maxShards = 0;
    unsigned seed = 0;
    unsigned style = 0;  // the pattern number: the flag's value minus one
    bool newMaterial = false;
    unsigned radialAxis = 0;
    bool verbose = false;
    bool useVolume = false;
    bool undoLast = false;
};

shatterCmd::shatterCmd() = default;

shatterCmd::~shatterCmd() {
    hiddenNames_.clear();
    createdObjects_.clear();
    uvSetNames_.clear();
}

void* shatterCmd::creator() { return new shatterCmd; }

MSyntax shatterCmd::newSyntax() {
    // The objects given, else the active selection.
    MSyntax syntax = objectsSyntax();
    syntax.addFlag("-ns", "-numShards", MSyntax::kUnsigned);
    syntax.addFlag("-min", "-minNumShards", MSyntax::kUnsigned);
    syntax.addFlag("-man", "-maxNumShards", MSyntax::kUnsigned);
    syntax.addFlag("-sed", "-seed", MSyntax::kUnsigned);
    syntax.addFlag("-st", "-shatterStyle", MSyntax::kUnsigned);
    syntax.addFlag("-nm", "-newMat", MSyntax::kBoolean);
    syntax.addFlag("-cmn", "-cutMatName", MSyntax::kString);
    syntax.addFlag("-wid", "-width", MSyntax::kDouble);
    syntax.addFlag("-nr", "-numRings", MSyntax::kUnsigned);
    syntax.addFlag("-mir", "-minNumRings", MSyntax::kUnsigned);
    syntax.addFlag("-mar", "-maxNumRings", MSyntax::kUnsigned);
    syntax.addFlag("-no", "-noise", MSyntax::kDouble);
    syntax.addFlag("-mis", "-minNoiseRings", MSyntax::kDouble);
    syntax.addFlag("-mas", "-maxNoiseRings", MSyntax::kDouble);
    syntax.addFlag("-dog", "-deleteOriginalGeo", MSyntax::kUnsigned);
    syntax.addFlag("-ra", "-radialAxis", MSyntax::kUnsigned);
    syntax.addFlag("-ver", "-verbose", MSyntax::kNoArg);
    syntax.addFlag("-vol", "-useVolume", MSyntax::kBoolean);
    syntax.addFlag("-noc", "-numCenters", MSyntax::kUnsigned);
    syntax.addFlag("-spl", "-spline", MSyntax::kSelectionItem);
    syntax.addFlag("-udl", "-undoLast", MSyntax::kNoArg);
    return syntax;
}

MStatus shatterCmd::doIt(const MArgList& args) {
    MStatus status;
    argDatabase_ = std::make_unique<MArgDatabase>(syntax(), args, &status);
    if (!status) return status;
    return redoIt();
}

shatterCmd::Flags shatterCmd::readFlags() {
    const MArgDatabase& db = *argDatabase_;
    Flags f;
    const auto read = [&db](const char* flag, auto& value) { return readFlag(db, flag, value); };
    read("-ns", f.numShards);
    f.minShards = f.maxShards = f.numShards;
    read("-min", f.minShards);
    read("-man", f.maxShards);
    // Swapped bounds would make the unsigned range wrap to billions of shards.
    if (f.minShards > f.maxShards) std::swap(f.minShards, f.maxShards);
    read("-sed", f.seed);
    read("-st", f.style);
    --f.style;
    read("-nm", f.newMaterial);
    read("-cmn", cutMaterialName_);
    read("-wid", width_);
    numRings_ = read("-nr", numRings_) ? numRings_ + 1 : 0;
    minRings_ = read("-mir", minRings_) ? minRings_ + 1 : numRings_;
    maxRings_ = read("-mar", maxRings_) ? maxRings_ + 1 : numRings_;
    noise_ = read("-no", noise_) ? noise_ : 0.0;
    if (!read("-mis", minNoise_)) minNoise_ = noise_;
    if (!read("-mas", maxNoise_)) maxNoise_ = noise_;
    read("-dog", deleteSource_);
    read("-ra", f.radialAxis);
    f.verbose = db.isFlagSet("-ver");
    read("-vol", f.useVolume);
    read("-noc", numCenters_);
    if (db.isFlagSet("-spl")) {
        pathSelection_.clear();
        db.getFlagArgument("-spl", 0, pathSelection_);
    }
    f.undoLast = db.isFlagSet("-udl");
    return f;
}

void shatterCmd::makeCutMaterial() {
    MStringArray lamberts;
    MGlobal::executeCommand("ls -et lambert", lamberts);
    for (const MString& shader : lamberts) {
        if (shader == cutMaterialName_) {
            int marked = 0;
            MGlobal::executeCommand("attributeQuery -node " + cutMaterialName_ + " " + "-ex \"cutmat\"", marked);
            if (marked == 1) return;
        }
    }
    MString made;
    MGlobal::executeCommand("shadingNode -asShader lambert -n " + cutMaterialName_, made);
    cutMaterialName_ = made;
    // The new shader is selected, so the mark lands on it.
    MGlobal::executeCommand("addAttr -sn \"cm\" -ln \"cutmat\" -at \"message\" ");
    MString group;
    MGlobal::executeCommand("sets -renderable true -noSurfaceShader true -empty -name " + cutMaterialName_ + "SG", group);
    MGlobal::executeCommand("connectAttr -f " + cutMaterialName_ + ".outColor " + group + ".surfaceShader");
    MGlobal::executeCommand("setAttr " + cutMaterialName_ + ".color 0 0.5 0");
}

MStatus shatterCmd::redoIt() {
    if (!MProgressWindow::reserve()) {
        MGlobal::displayError("Progress window already in use.");
        return MS::kFailure;
    }
    ProgressReservation window;
    const Flags f = readFlags();

    MSelectionList objects;
    argDatabase_->getObjects(objects);
    hiddenNames_.clear();
    createdObjects_.clear();
    if (objects.length() == 0) {
        displayError("no poly object selected");
        return MS::kFailure;
    }
    if (!modifier_) modifier_ = std::make_unique<MDagModifier>();

    if (f.undoLast) {
        MItSelectionList shapes(objects, MFn::kGeometric);
        if (shapes.isDone()) {
            MGlobal::displayWarning(" invalid selection");
            return MS::kFailure;
        }
        for (; !shapes.isDone(); shapes.next()) {
            MDagPath shape;
            shapes.getDagPath(shape);
            if (shape.apiType() == MFn::kMesh) return reshatterLast(shape);
        }
        return MS::kSuccess;
    }

    // An empty name would make a shader of no name and a group named "SG".
    if (f.newMaterial && cutMaterialName_.empty()) {
        displayError("the cut material needs a name (-cutMatName)");
        return MS::kFailure;
    }
    if (f.newMaterial) makeCutMaterial();
    const std::string blindDataId = std::to_string(cutFace::kBlindDataId);
    MIntArray known;
    MGlobal::executeCommand(MString("blindDataType -q -id ") + blindDataId, known);
    if (known.length() == 0 || known[0] != cutFace::kBlindDataId) {
        MGlobal::executeCommand(MString("blindDataType -id ") + blindDataId +
                                " -dataType \"int\" -longDataName \"zylCutFace\" -shortDataName \"zcut\"");
    }

    MFnNurbsCurve curve;
    bool hasCurve = false;
    if (f.style == 4) {
        if (pathSelection_.isEmpty()) {
            displayError("path not present");
            return MS::kFailure;
        }
        hasCurve = findPathCurve(pathSelection_, curve);
    }

    // The range of the objects' world areas, smallest first seen.
    double smallest = 0.0;
    double largest = 0.0;
    if (f.useVolume && objects.length() >= 2) {
        MStringArray strings;
        objects.getSelectionStrings(strings);
        for (unsigned k = 0; k < strings.length(); ++k) {
            const double area = worldArea(strings[k]);
            if (k == 0) {
                smallest = largest = area;
            } else if (area < smallest) {
                smallest = area;
            } else if (area > largest) {
                largest = area;
            }
        }
    }

    check(MProgressWindow::setProgressRange(0, static_cast<int>(objects.length()) * 100), __LINE__);
    check(MProgressWindow::setTitle("Precutting.."), __LINE__);
    check(MProgressWindow::setInterruptable(true), __LINE__);
    check(MProgressWindow::startProgress(), __LINE__);
    check(MProgressWindow::setProgress(0), __LINE__);
    timer_.clear();
    timer_.beginTimer();

    MStatus status;
    MStringArray allNames;
    bool shattered = false;
    bool failed = false;
    MItSelectionList shapes(objects, MFn::kGeometric);
    if (shapes.isDone()) MGlobal::displayWarning(" invalid selection, not shapes");
    for (; !shapes.isDone(); shapes.next()) {
        MDagPath shapePath;
        shapes.getDagPath(shapePath);
        if (shapePath.apiType() != MFn::kMesh) {
            if (shapePath.apiType() == MFn::kNurbsSurface)
                MGlobal::displayInfo(" ZYL doesnt work on NURBS, convert it to poly.");
            continue;
        }
        if (MFnDagNode(shapePath).isIntermediateObject()) continue;
        const MString shapeName = nameOf(shapePath);
        if (MAnimUtil::isAnimated(shapePath, false)) {
            MGlobal::displayWarning(shapeName + " excluded from shattering because has animation keys");
            continue;
        }
        MDagPath transformPath = shapePath;
        transformPath.pop();
        const MString transformName = nameOf(transformPath);

        unsigned count = f.numShards;
        if (f.minShards != f.maxShards) {
            if (f.useVolume && largest - smallest > 1e-5) {
                const double area = worldArea(shapeName);
                count = static_cast<unsigned>(std::trunc(static_cast<double>(f.maxShards - f.minShards) *
                                                             (area - smallest) / (largest - smallest) +
                                                         f.minShards));
            } else {
                count = static_cast<unsigned>(std::trunc(Qmt::Math::IntervalRandom(static_cast<float>(f.minShards),
                                                                                    static_cast<float>(f.maxShards))));
            }
        }

        previewLocator_ = findShatterLocatorChild(transformPath);
        auto* locator = userNodeAs<ShatterLocatorNode>(previewLocator_, zylTypes::kShatterLocator);
        if (locator) {
            MDagPath locatorPath = transformPath;
            locatorPath.push(previewLocator_);
            locator->record.matrix = locatorPath.exclusiveMatrix();
        }
        existingHistory_ = MObject();
        findWorldMeshConsumer(shapePath, existingHistory_);
        if (!existingHistory_.isNull()) {
            if (!locator) {
                displayWarning("reshattering allowed in preview mode only");
                break;
            }
            const MObject oldGroup = resultGroupOf(existingHistory_);
            if (!oldGroup.isNull()) MGlobal::deleteNode(oldGroup);
        }

        ShatterSeedSet fresh;
        fresh.style = static_cast<std::uint16_t>(f.style);
        fresh.radialAxis = static_cast<std::int16_t>(f.radialAxis);
        fresh.rings = numRings_;
        fresh.noise = noise_;
        fresh.cutMaterialName = cutMaterialName_;
        ShatterSeedSet& record = locator ? locator->record : fresh;

        hiddenNames_.append(transformName);
        const bool animated = MAnimUtil::isAnimated(transformPath, true);
        MGlobal::executeCommand("hide " + (animated ? shapeName : transformName));

        MStringArray names;
        status = cutMeshIntoCells(shapePath, count, f.seed, hasCurve ? &curve : nullptr, f.newMaterial, record, names);
        if (!status) {
            MGlobal::executeCommand("showHidden " + transformName);
            // A mesh refused with an error of its own needs no other word, and fails the command.
            failed = failed || reportedError_;
            if (!reportedError_) MGlobal::displayWarning(transformName + " cannot be shattered with those params");
            continue;
        }
        groupShards(transformPath, animated, names);
        for (const MString& name : names) allNames.append(name);
        shattered = true;
    }

    if (!shattered && f.style == 4) MGlobal::displayWarning(" the path is not crossing the objects, shatter fail");
    timer_.endTimer();
    window.end(__LINE__);
    if (f.verbose) MGlobal::executeCommandOnIdle(shatterTimeCommand(timer_.elapsedTime()));
    setResult(allNames);
    return failed ? MStatus(MS::kFailure) : status;
}

void shatterCmd::groupShards(const MDagPath& transformPath, bool animated, const MStringArray& names) const {
    const MString transformName = nameOf(transformPath);
    MDagPath parent = transformPath;
    parent.pop();
    MString command;
    if (animated) {
        command = " group -name " + transformName + "_s1" + " -parent " + transformName + " ";
    } else if (parent.length() > 0 && parent.apiType() == MFn::kTransform) {
        const MString parentName = nameOf(parent);
        command = " group -name " + parentName + "_s1" + " -parent " + parentName + " ";
    } else {
        command = " group -name zylShatterGroup ";
    }
    for (const MString& name : names) command += name + " ";
    if (!historyNode_.isNull()) command += nameOf(historyNode_) + " ";
    MGlobal::executeCommandOnIdle(command);
}

MStatus shatterCmd::reshatterLast(const MDagPath& meshPath) {
    MObject history;
    findVoronoiNodeForMesh(meshPath, history);
    auto* node = userNodeAs<voronoiNode>(history, zylTypes::kVoronoi);
    if (!node) {
        displayError("voronoi node not found, abort");
        return MS::kFailure;
    }
    if (node->record.previousPoints.length() == 0) {
        displayInfo("shatter history not found, use undoAll");
        return MS::kFailure;
    }
    const MPlug inShape(history, voronoiNode::inShape);
    if (inShape.isNull()) {
        displayError("voronoi node shape attribute not found, abort");
        return MS::kFailure;
    }
    const MPlug source = inShape.source();
    MDagPath sourcePath;
    if (source.isNull() || !MDagPath::getAPathTo(source.node(), sourcePath) || !sourcePath.isValid() ||
        sourcePath.apiType() != MFn::kMesh) {
        displayError("voronoi node shape not found, abort");
        return MS::kFailure;
    }

    // The record carries the seeds alone: the new history keeps no pattern settings.
    ShatterSeedSet record;
    node->getPreviousPoints(record.points, false);
    cutMaterialName_ = node->cutMaterialName();
    bool newMaterial = true;
    if (cutMaterialName_.empty()) {
        cutMaterialName_ = "zylCutMat0";
        newMaterial = false;
    }
    MStringArray names;
    const MStatus status = cutMeshIntoCells(sourcePath, record.points.length(), 0, nullptr, newMaterial, record, names);
    if (status) {
        const MObject oldGroup = resultGroupOf(history);
        if (!oldGroup.isNull()) {
            modifier_->deleteNode(oldGroup);
            modifier_->doIt();
        }
        MDagPath transformPath = sourcePath;
        transformPath.pop();
        groupShards(transformPath, MAnimUtil::isAnimated(transformPath, true), names);
    }
    return status;
}

MStatus shatterCmd::undoIt() {
    if (modifier_) modifier_->undoIt();

    // Shards go with the groups they were put in; the top of the scene is no group.
    if (createdObjects_.length() > 0) {
        MObject group = groupOf(createdObjects_[0]);
        for (const MObject& object : createdObjects_) {
            const MObject parent = groupOf(object);
            if (parent != group) {
                if (!group.isNull()) MGlobal::deleteNode(group);
                group = parent;
            }
            MGlobal::deleteNode(object);
        }
        if (!group.isNull()) MGlobal::deleteNode(group);
        createdObjects_.clear();
    }

    if (previewLocator_.isNull()) {
        if (hiddenNames_.length() > 0) {
            MGlobal::executeCommand("undoInfo -swf off");
            MString command = "showHidden ";
            for (const MString& name : hiddenNames_) command += " " + name;
            MGlobal::executeCommand(command);
            MGlobal::executeCommand("undoInfo -swf on");
        }
    } else {
        MGlobal::executeCommandOnIdle("hide " + nameOf(previewLocator_));
        MGlobal::executeCommandOnIdle(uiScript::kDisablePreviewMode);
        previewLocator_ = MObject();
    }
    hiddenNames_.clear();
    MGlobal::executeCommand("flushUndo");
    return MS::kSuccess;
}

MString shatterTimeCommand(double seconds) {
    return " \n print  \"shatter time " + elapsedTimeText(seconds) + "\"\n";
}
