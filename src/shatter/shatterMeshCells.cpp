// The shatter command's cutting of one mesh: the mesh read, its seeds, its shards built
// as host meshes, and its history node.

#include <any>
#include <memory>
#include <string>

#include "engine/world/engineApi.h"
#include "host/api/fnDagNode.h"
#include "host/api/fnMesh.h"
#include "host/api/fnTransform.h"
#include "host/api/global.h"
#include "host/api/progressWindow.h"
#include "host/api/view3d.h"
#include "src/glDraw.h"
#include "src/meshReader.h"
#include "src/meshWriter.h"
#include "src/nodeHelpers.h"
#include "src/sceneUtils.h"
#include "src/shatter/patternSetup.h"
#include "src/shatter/shatterCentres.h"
#include "src/shatter/shatterCmd.h"
#include "src/shatter/voronoiCells.h"
#include "src/typeIds.h"

using Qmt::QmtVector3;

namespace {

constexpr const char* kSourceName = "..\\src\\shatterCmd";

void check(const MStatus& status, int line) {
    if (!status) printApiError(status, kSourceName, line);
}

QmtVector3 placed(const MPoint& p, const MMatrix& matrix) {
    const MVector v = transformPoint(MVector(p), matrix);
    return {v.x, v.y, v.z};
}

}  // namespace

MStatus shatterCmd::cutMeshIntoCells(const MDagPath& shapePath, unsigned count, unsigned seed,
                                     const MFnNurbsCurve* curve, bool newMaterial, ShatterSeedSet& record,
                                     MStringArray& names) {
    M3dView view = M3dView::active3dView();
    MFnMesh mesh(shapePath);
    const MString meshName = mesh.name();
    MDagPath transformPath = shapePath;
    transformPath.pop();

    MObjectArray shaders;
    MIntArray shaderIndices;
    getMeshShaders(shapePath, shaders, shaderIndices);
    uvSetNames_.clear();
    std::unique_ptr<ZYL_DFmesh> engineMesh(readMeshIntoDFmesh(mesh, shaderIndices, uvSetNames_));
    if (!engineMesh) return MS::kFailure;

    MStringArray uvLinks[8];
    if (uvSetNames_.length() > 1) {
        for (unsigned k = 0; k < 8; ++k)
            MGlobal::executeCommand("uvLink -query -uvSet " + meshName + uvSetNamePlug(k), uvLinks[k]);
    }
    MDagPath parentPath = transformPath;
    parentPath.pop();
    if (isShatterGroup(parentPath)) tagCutFaces(engineMesh.get(), parentPath);
    const MPoint pivot = MFnTransform(transformPath).rotatePivot(MSpace::kWorld);

    // The seeds: the record's points placed by its matrix, or a pattern's.
    std::vector<QmtVector3> seeds;
    std::vector<QmtVector3> previous;
    if (record.points.length() == 0) {
        seeds.resize(count);
        zyl_shatter_params params;
        params.points = seeds.data();
        params.requested = params.produced = count;
        params.numSamples = 0;
        params.centre = {pivot.x, pivot.y, pivot.z};
        params.style = record.style;
        params.seed = seed;
        params.radialAxis = record.radialAxis;
        params.numCentres = numCenters_;
        params.width = patternWidth(width_);
        params.maxRings = maxRings_;
        params.minRings = minRings_;
        params.maxNoise = maxNoise_;
        params.minNoise = minNoise_;
        std::vector<QmtVector3> samples;
        if (params.style == 1) {
            generateShatterCenters(5, params.centres, seed, shapePath, engineMesh.get());
        } else if (params.style == 4) {
            if (curve) samples = samplePathForPattern(*curve, params);
        } else if (params.style == 2) {
            limitPointsPerRing(params, count);
        }
        if (!runSeedPattern(params, engineMesh.get())) return MS::kFailure;
        seeds.resize(params.produced);
    } else {
        for (const MPoint& p : record.points) seeds.push_back(placed(p, record.matrix));
        for (const MPoint& p : record.previousPoints) previous.push_back(placed(p, record.matrix));
        seeds.insert(seeds.end(), previous.begin(), previous.end());
    }

    // A seed that is not a number would make a cell of the whole mesh: nothing is cut.
    if (const std::size_t bad = countNonFiniteSeeds(seeds); bad > 0) {
        displayError(meshName + ": " + std::to_string(bad) + " of " + std::to_string(seeds.size()) +
                     " seed points are not finite numbers");
        return MS::kFailure;
    }

    // A shard cut again finds its cut group already below it: the cut faces join it.
    MString cutGroup = cutMaterialName_ + "SG";
    MString found;
    if (newMaterial && findShadingEngineName(shapePath, cutGroup, found)) cutGroup = found;

    MStatus status;
    const int base = MProgressWindow::progress();
    int shownPercent = 0;
    unsigned built = 0;
    VoronoiCellHooks hooks;
    hooks.cancelled = [] { return MProgressWindow::isCancelled(); };
    // A shard's host arrays are made on the thread that cut it; the host meshes here.
    const unsigned uvSetCount = uvSetNames_.length();
    hooks.prepare = [uvSetCount](const ZYL_DFmesh& shard) -> std::any { return makeHostMeshArrays(shard, uvSetCount); };
    hooks.prepared = [&](std::any& shard) {
        MStatus made;
        createShardMeshes(made, std::any_cast<const HostMeshArrays&>(shard), newMaterial, meshName, cutGroup, shaders,
                          uvSetNames_, uvLinks, createdObjects_, names);
    };
    hooks.cellBuilt = [&](std::uint32_t cell, std::uint32_t cells) {
        const int percent = static_cast<int>(std::uint64_t{cell} * 100 / cells);
        if (percent > shownPercent) {
            shownPercent = percent;
            check(MProgressWindow::setProgressStatus(MString("done..") + std::to_string(percent) + " %"), __LINE__);
            check(MProgressWindow::setProgress(percent + base), __LINE__);
        }
        if (++built % 64 == 0) view.refresh(false, false);
    };
    const bool finished = cutVoronoiCells(*engineMesh, seeds, hooks);
    engineMesh.reset();
    if (!finished) {
        MGlobal::displayInfo("Shatter interrupted!");
        undoIt();
        return MS::kFailure;
    }

    historyNode_ = modifier_->createNode(zylTypes::kVoronoi, MObject::kNullObj, &status);
    modifier_->doIt();
    if (historyNode_.isNull()) return status;
    MStatus copied;
    copyTransformValues(copied, MFnDependencyNode(transformPath.node()), MFnDependencyNode(historyNode_));
    const MFnDagNode holder(historyNode_);
    const MObject child = holder.childCount() > 0 ? holder.child(0) : MObject();
    if (auto* history = userNodeAs<voronoiNode>(child, zylTypes::kVoronoi)) {
        history->record.style = record.style;
        history->record.cutMaterialName = newMaterial ? cutMaterialName_ : MString();
        history->record.rings = record.rings;
        history->record.noise = record.noise;
        history->setPoints(seeds.data(), static_cast<unsigned>(seeds.size()));
        history->bumpIndex();
        if (!previous.empty()) history->setPreviousPoints(previous.data(), static_cast<unsigned>(previous.size()));
        const MPlug worldMesh = mesh.findPlug("worldMesh").elementByLogicalIndex(shapePath.instanceNumber());
        modifier_->connect(worldMesh, MPlug(child, voronoiNode::inShape));
        modifier_->doIt();
    }
    return status;
}
