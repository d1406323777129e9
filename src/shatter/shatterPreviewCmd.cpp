#include "src/shatter/shatterPreviewCmd.h"

#include <memory>
#include <vector>

#include "host/api/argDatabase.h"
#include "host/api/boundingBox.h"
#include "host/api/fnMesh.h"
#include "host/api/fnTransform.h"
#include "host/api/global.h"
#include "src/commandBase.h"
#include "src/meshReader.h"
#include "src/nodeHelpers.h"
#include "src/sceneUtils.h"
#include "src/shatter/patternSetup.h"
#include "src/shatter/shatterCentres.h"
#include "src/shatter/shatterLocator.h"
#include "src/shatter/voronoiNode.h"
#include "src/typeIds.h"

using Qmt::QmtVector3;

namespace {

struct PreviewFlags {
    unsigned numShards = 0;
    unsigned style = 0;
    unsigned seed = 0;
    int numCenters = 0;
    double width = 0.0;
    bool drawPoints = false;
    unsigned radialAxis = 0;
    double noise = 0.0;
    int rings = 0;
    MSelectionList path;
    MPoint boxMin, boxMax;
};

PreviewFlags readFlags(const MArgDatabase& db) {
    PreviewFlags f;
    readFlag(db, "-ns", f.numShards);
    readFlag(db, "-st", f.style);
    --f.style;  // the pattern number is one less; 0 wraps to the uniform pattern
    readFlag(db, "-sed", f.seed);
    readFlag(db, "-noc", f.numCenters);
    readFlag(db, "-wd", f.width);
    f.width = patternWidth(f.width);
    f.drawPoints = db.isFlagSet("-dp");
    readFlag(db, "-ra", f.radialAxis);
    readFlag(db, "-no", f.noise);
    if (readFlag(db, "-nr", f.rings)) ++f.rings;
    readFlag(db, "-spl", f.path);
    const auto coordinate = [&db](const char* flag) {
        double v = 0.0;
        readFlag(db, flag, v);
        return v;
    };
    f.boxMin = MPoint(coordinate("-xmn"), coordinate("-ymn"), coordinate("-zmn"));
    f.boxMax = MPoint(coordinate("-xmx"), coordinate("-ymx"), coordinate("-zmx"));
    return f;
}

QmtVector3 toQmt(const MPoint& p) { return {p.x, p.y, p.z}; }

MPlug centrePlug(const MObject& locator, unsigned k) {
    return MPlug(locator, ShatterLocatorNode::shatter_pos).elementByLogicalIndex(k);
}

QmtVector3 readCentre(const MObject& locator, unsigned k) {
    const MPlug element = centrePlug(locator, k);
    return {element.child(0).asDouble(), element.child(1).asDouble(), element.child(2).asDouble()};
}

}  // namespace

void* shatterLocatorCmd::creator() { return new shatterLocatorCmd; }

MSyntax shatterLocatorCmd::newSyntax() {
    MSyntax syntax = objectsSyntax(1, 1);
    syntax.addFlag("-ns", "-numShards", MSyntax::kUnsigned);
    syntax.addFlag("-st", "-shatterStyle", MSyntax::kUnsigned);
    syntax.addFlag("-sed", "-seed", MSyntax::kUnsigned);
    syntax.addFlag("-noc", "-numCenters", MSyntax::kUnsigned);
    syntax.addFlag("-wd", "-width", MSyntax::kDouble);
    syntax.addFlag("-dp", "-drawPoints", MSyntax::kNoArg);
    syntax.addFlag("-ra", "-radialAxis", MSyntax::kUnsigned);
    syntax.addFlag("-no", "-noise", MSyntax::kDouble);
    syntax.addFlag("-nr", "-numRings", MSyntax::kUnsigned);
    syntax.addFlag("-spl", "-spline", MSyntax::kSelectionItem);
    syntax.addFlag("-xmn", "-xmin", MSyntax::kDouble);
    syntax.addFlag("-ymn", "-ymin", MSyntax::kDouble);
    syntax.addFlag("-zmn", "-zmin", MSyntax::kDouble);
    syntax.addFlag("-xmx", "-xmax", MSyntax::kDouble);
    syntax.addFlag("-ymx", "-ymax", MSyntax::kDouble);
    syntax.addFlag("-zmx", "-zmax", MSyntax::kDouble);
    return syntax;
}

MStatus shatterLocatorCmd::doIt(const MArgList& args) {
    MStatus status;
    const MArgDatabase db(syntax(), args, &status);
    if (!status) return status;
    const PreviewFlags f = readFlags(db);

    MSelectionList objects;
    db.getObjects(objects);
    MItSelectionList shapes(objects, MFn::kGeometric);
    if (shapes.isDone()) {
        MGlobal::displayInfo(" no poly object selected");
        return MS::kFailure;
    }
    MFnNurbsCurve curve;
    if (f.style == 4) {
        if (f.path.isEmpty()) {
            displayError("path not present");
            return MS::kFailure;
        }
        findPathCurve(f.path, curve);
    }
    if (!f.drawPoints) return MS::kSuccess;

    MDagPath meshPath;
    shapes.getDagPath(meshPath);
    if (meshPath.apiType() != MFn::kMesh) {
        MGlobal::displayInfo(" no poly object selected");
        return MS::kFailure;
    }
    MFnMesh mesh(meshPath);
    MBoundingBox meshBox = mesh.boundingBox();
    meshBox.transformUsing(meshPath.exclusiveMatrix());
    MObject history;
    findWorldMeshConsumer(meshPath, history);
    MStringArray uvSetNames;
    std::unique_ptr<ZYL_DFmesh> engineMesh(readMeshIntoDFmesh(mesh, MIntArray(), uvSetNames));
    if (!engineMesh) return MS::kFailure;

    MDagPath transformPath = meshPath;
    transformPath.pop();
    std::vector<QmtVector3> points(f.numShards);
    zyl_shatter_params params;
    params.points = points.data();
    params.requested = params.produced = f.numShards;
    params.numSamples = 0;
    params.centre = toQmt(MFnTransform(transformPath).rotatePivot(MSpace::kWorld));
    params.style = static_cast<std::uint16_t>(f.style);
    params.seed = f.seed;
    params.numCentres = f.numCenters;
    params.width = f.width;
    params.radialAxis = static_cast<std::int32_t>(f.radialAxis);
    params.maxNoise = params.minNoise = f.noise;
    params.maxRings = params.minRings = f.rings;
    generateShatterCenters(5, params.centres, f.seed, meshPath, engineMesh.get());

    // With a history the user's box (around the shards) steers the sampling.
    const MBoundingBox box = history.isNull() ? meshBox : MBoundingBox(f.boxMin, f.boxMax);
    ZYLbox sampling{toQmt(box.center()), Qmt::QmtMatrix3::IDENTITY,
                    QmtVector3(0.5 * box.width(), 0.5 * box.height(), 0.5 * box.depth())};
    if (!history.isNull()) params.centre = sampling.centre;
    params.centres[0] = sampling.centre;

    const MObject locatorNode = findShatterLocatorChild(transformPath);
    auto* locator = userNodeAs<ShatterLocatorNode>(locatorNode, zylTypes::kShatterLocator);
    if (!locator) return MS::kSuccess;

    const MPlug positions(locatorNode, ShatterLocatorNode::shatter_pos);
    if (positions.numElements() < 2) {
        for (unsigned k = 0; k < 5; ++k) {
            const MPlug element = centrePlug(locatorNode, k);
            element.child(0).setValue(params.centres[k].x);
            element.child(1).setValue(params.centres[k].y);
            element.child(2).setValue(params.centres[k].z);
        }
    }
    MPlug shown(locatorNode, ShatterLocatorNode::numLoc);
    std::vector<QmtVector3> samples;
    switch (params.style) {
        case 1:
            shown.setValue(params.numCentres);
            if (positions.numElements() >= 2) {
                for (int k = 0; k < params.numCentres && k < 5; ++k) params.centres[k] = readCentre(locatorNode, k);
            }
            break;
        case 4:
            samples = samplePathForPattern(curve, params);
            shown.setValue(1);
            break;
        case 2:
            limitPointsPerRing(params, f.numShards);
            shown.setValue(1);
            if (positions.numElements() >= 2) params.centre = readCentre(locatorNode, 0);
            break;
        case 3:
            shown.setValue(1);
            if (positions.numElements() >= 2) params.centre = readCentre(locatorNode, 0);
            break;
        default:
            shown.setValue(1);
            params.centre = sampling.centre = readCentre(locatorNode, 0);
            break;
    }
    runSeedPattern(params, engineMesh.get(), &sampling);

    locator->width = params.width;
    locator->record.style = params.style;
    locator->record.radialAxis = static_cast<std::int16_t>(params.radialAxis);
    locator->record.noise = params.maxNoise;
    locator->record.rings = params.maxRings;
    locator->record.points.clear();
    locator->appendPointsToLocalSpace(points.data(), f.numShards);

    if (auto* seeds = userNodeAs<voronoiNode>(history, zylTypes::kVoronoi)) {
        std::vector<QmtVector3> previous(seeds->numPoints());
        for (unsigned i = 0; i < previous.size(); ++i) previous[i] = toQmt(seeds->getPoint(i, false));
        locator->setPreviousPointsLocal(previous.data(), static_cast<unsigned>(previous.size()));
    }
    return MS::kSuccess;
}
