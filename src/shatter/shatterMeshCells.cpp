// The shatter command's cutting of one mesh: the mesh read and made ready for the
// cutter, its seeds, its shards built as host meshes and checked, and its history node.

#include <any>
#include <cstdio>
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
#include "src/shatter/shardChecks.h"
#include "src/shatter/shatterCentres.h"
#include "src/shatter/shatterCmd.h"
#include "src/shatter/vertexWeld.h"
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

std::string shortNumber(double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", x);
    return text;
}

// The reader gives each face the host polygon's normal in the object's own space, while
// the points come in world space; the cutter turns every face it splits to agree with
// its normal, so the faces of a turned or scaled object need their normals in world
// space too, or its shards come out open and inside out.
void placeFaceNormals(ZYL_DFmesh& mesh, const MMatrix& world) {
    bool unturned = true;
    for (unsigned r = 0; r < 3; ++r) {
        for (unsigned c = 0; c < 3; ++c) unturned = unturned && world[r][c] == (r == c ? 1.0 : 0.0);
    }
    if (unturned || !mesh.normals || !mesh.worldNormals) return;
    const MMatrix normalMatrix = world.inverse().transpose();
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const QmtVector3& n = mesh.normals[f];
        MVector turned = MVector(n.x, n.y, n.z) * normalMatrix;
        turned.normalize();
        mesh.normals[f] = mesh.worldNormals[f] = {turned.x, turned.y, turned.z};
    }
}

// What a worker thread makes of a shard: the host mesh's arrays and, for a closed
// source, the shard's measures.
struct PreparedShard {
    HostMeshArrays arrays;
    SurfaceMeasure measure;
    double shift = 0.0;  // how far the cut may have moved its faces
};

// Why a source's shards were taken back.
enum class ShardFailure { None, Unsound, Host };

}  // namespace

MStatus shatterCmd::cutMeshIntoCells(const MDagPath& shapePath, unsigned count, unsigned seed,
                                     const MFnNurbsCurve* curve, bool newMaterial, ShatterSeedSet& record,
                                     MStringArray& names) {
    reportedError_ = false;
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
    placeFaceNormals(*engineMesh, shapePath.inclusiveMatrix());

    // The cutter needs a closed surface to make closed shards: corners that exporters
    // wrote once per face become shared (the host mesh stays as it is). A closed mesh
    // too thin for the cut's tolerances is refused before anything is made; an open
    // one is cut all the same, and the user told.
    weldCoincidentVertices(*engineMesh);
    const QmtVector3 about = engineMesh->worldCentre;
    const SurfaceMeasure source = measureSurface(*engineMesh, about);
    if (source.closed) {
        if (const MeshExtent extent = meshExtent(*engineMesh); tooThinToCut(extent)) {
            displayError(meshName + " is too thin to shatter: " + shortNumber(extent.thickness) +
                         " thick for a size of " + shortNumber(extent.size));
            reportedError_ = true;
            return MS::kFailure;
        }
    } else {
        MGlobal::displayWarning(meshName + " is not closed: its shards will not be closed either");
    }

    MStringArray uvLinks[8];
    if (uvSetNames_.length() > 1) {
        for (unsigned k = 0; k < 8; ++k)
            MGlobal::executeCommand("uvLink -query -uvSet " + meshName + uvSetNamePlug(k), uvLinks[k]);
    }
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
        reportedError_ = true;
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
    // Shards of a closed source are checked as they come; the first that is unsound, or
    // that the host cannot make, stops the cut, and what was made for it goes.
    const unsigned firstCreated = createdObjects_.length();
    ShardTally tally(source, about);
    ShardFailure failure = ShardFailure::None;
    VoronoiCellHooks hooks;
    hooks.cancelled = [&failure] { return failure != ShardFailure::None || MProgressWindow::isCancelled(); };
    // A shard's host arrays and measures are made on the thread that cut it; the host
    // meshes here.
    const unsigned uvSetCount = uvSetNames_.length();
    const bool closed = source.closed;
    hooks.prepare = [uvSetCount, closed, about](const ZYL_DFmesh& shard) -> std::any {
        PreparedShard made{makeHostMeshArrays(shard, uvSetCount), {}, 0.0};
        if (closed) {
            made.measure = measureSurface(shard, about);
            made.shift = cutMergeDistance(shard);
        }
        return made;
    };
    hooks.prepared = [&](std::any& made) {
        if (failure != ShardFailure::None) return;
        const auto& shard = std::any_cast<const PreparedShard&>(made);
        if (closed && !tally.add(shard.measure, shard.shift)) {
            failure = ShardFailure::Unsound;
            return;
        }
        MStatus shardMade;
        createShardMeshes(shardMade, shard.arrays, newMaterial, meshName, cutGroup, shaders, uvSetNames_, uvLinks,
                          createdObjects_, names);
        if (!shardMade) failure = ShardFailure::Host;
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
    // With fewer than two seeds no cell is cut, by design.
    if (failure == ShardFailure::None && finished && closed && seeds.size() >= 2 && !tally.sound()) {
        failure = ShardFailure::Unsound;
    }
    if (failure != ShardFailure::None) {
        removeCreatedSince(firstCreated);
        if (failure == ShardFailure::Host) {
            displayError(meshName + ": Unable to create mesh, none of its shards was kept");
        } else {
            displayError(meshName + " could not be cut into closed shards that fill it, none of them was kept");
        }
        reportedError_ = true;
        return MS::kFailure;
    }
    if (!finished) {
        MGlobal::displayInfo("Shatter interrupted!");
        undoIt();
        return MS::kFailure;
    }

    // The neighbours of a shard cut again take their older cut faces now that its cut stands.
    MDagPath parentPath = transformPath;
    parentPath.pop();
    if (isShatterGroup(parentPath)) tagCutFaces(engineMesh.get(), parentPath);
    engineMesh.reset();

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

void shatterCmd::removeCreatedSince(unsigned first) {
    for (unsigned i = first; i < createdObjects_.length(); ++i) MGlobal::deleteNode(createdObjects_[i]);
    createdObjects_.setLength(first);
}
