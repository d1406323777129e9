#include "src/shatter/shatterLocator.h"

#include <GL/gl.h>

#include <memory>
#include <vector>

#include "engine/world/engineApi.h"
#include "host/api/fnAttribute.h"
#include "host/api/fnMesh.h"
#include "host/api/fnTransform.h"
#include "host/api/pxManipContainer.h"
#include "src/glDraw.h"
#include "src/meshReader.h"
#include "src/nodeHelpers.h"
#include "src/sceneUtils.h"
#include "src/shatter/seedPatterns.h"
#include "src/typeIds.h"

using Qmt::QmtVector3;

MObject ShatterLocatorNode::shatter_pos;
MObject ShatterLocatorNode::numLoc;
MObject ShatterLocatorNode::ca_shatter_pos;
MObject ShatterLocatorNode::ca_numloc;

namespace {

// The first mesh below the transform that holds the locator (an invalid path when none).
MDagPath meshBesideLocator(const MObject& locator) {
    MDagPath transform;
    MDagPath::getAPathTo(locator, transform);
    transform.pop();
    for (unsigned i = 0; i < transform.childCount(); ++i) {
        const MObject child = transform.child(i);
        if (child.apiType() == MFn::kMesh) {
            MDagPath mesh = transform;
            mesh.push(child);
            return mesh;
        }
    }
    return MDagPath();
}

MPoint inSpace(const QmtVector3& p, const MMatrix& inverse) { return MPoint(p.x, p.y, p.z) * inverse; }

}  // namespace

void* ShatterLocatorNode::creator() { return new ShatterLocatorNode; }

MStatus ShatterLocatorNode::initialize() {
    MFnNumericAttribute numeric;
    shatter_pos = numeric.create("shatter_pos", "shp", MFnNumericData::k3Double, 0.0);
    numeric.setArray(true);
    numeric.setKeyable(false);
    MStatus status = addAttribute(shatter_pos);
    if (!status) {
        status.perror("Unable to add \"ia_shatterPositions\" attribute");
        return status;
    }

    numLoc = numeric.create("numLoc", "nlc", MFnNumericData::kInt, 1.0);
    numeric.setKeyable(false);
    numeric.setConnectable(false);
    numeric.setHidden(true);
    addAttribute(numLoc);

    ca_shatter_pos = addChangeFlag("ca_shatter_pos", "cashp", &status);
    if (!status) {
        status.perror("Unable to add \"ca_shatterPositions\" attribute");
        return status;
    }
    ca_numloc = addChangeFlag("ca_numloc", "canl", &status);
    if (!status) {
        status.perror("Unable to add \"ca_shatterPositions\" attribute");
        return status;
    }

    attributeAffects(shatter_pos, ca_shatter_pos);
    attributeAffects(numLoc, ca_numloc);
    return MPxManipContainer::addToManipConnectTable(zylTypes::kShatterLocator);
}

MStatus ShatterLocatorNode::compute(const MPlug& plug, MDataBlock& data) {
    if (plug.attribute() == ca_shatter_pos) {
        recomputePoints();
        markFlagDone(data, plug);
    } else if (plug.attribute() == ca_numloc) {
        markFlagDone(data, plug);
    }
    return MS::kUnknownParameter;
}

void ShatterLocatorNode::draw(M3dView& view, const MDagPath& path, M3dView::DisplayStyle, M3dView::DisplayStatus) {
    static const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    view.beginGL();
    glPushAttrib(0xFFFFF);
    pushGLMatrix(identity);

    const auto drawPoints = [](const MPointArray& points) {
        for (const MPoint& p : points) {
            const float at[3] = {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)};
            drawPoint(at);
        }
    };
    glSetColor(0.0f, 1.0f, 1.0f, 1.0f);
    glSetPointSize(4.0f);
    drawPoints(record.points);
    if (record.previousPoints.length() > 0) {
        glSetColor(0.0f, 0.0f, 1.0f, 1.0f);
        drawPoints(record.previousPoints);
    }

    // The label sits at the translation of the locator's transform.
    char label[100] = "Kelvane Preview Mode";
    MDagPath transform = path;
    transform.pop();
    const MVector at = MFnTransform(transform).translation(MSpace::kObject);
    view.setDrawColor(MColor(0.0f, 1.0f, 0.0f, 1.0f));
    view.drawText(label, MPoint(at), M3dView::kLeft);

    popGLMatrix();
    glPopAttrib();
    view.endGL();
}

MBoundingBox ShatterLocatorNode::boundingBox() const {
    MBoundingBox box;
    for (const MPoint& p : record.points) box.expand(p);
    return box;
}

void ShatterLocatorNode::appendPointsToLocalSpace(const QmtVector3* points, unsigned count) {
    const MMatrix inverse = exclusiveMatrixInverse();
    for (unsigned i = 0; i < count; ++i) record.points.append(inSpace(points[i], inverse));
}

void ShatterLocatorNode::setPreviousPointsLocal(const QmtVector3* points, unsigned count) {
    record.previousPoints.clear();
    const MMatrix inverse = exclusiveMatrixInverse();
    for (unsigned i = 0; i < count; ++i) record.previousPoints.append(inSpace(points[i], inverse));
}

void ShatterLocatorNode::readCentres(QmtVector3 centres[5]) const {
    const MPlug positions(thisMObject(), shatter_pos);
    for (unsigned i = 0; i < positions.numElements(); ++i) {
        const MPlug element = positions.elementByPhysicalIndex(i);
        if (element.logicalIndex() < 5) {
            centres[element.logicalIndex()] = {element.child(0).asDouble(), element.child(1).asDouble(),
                                               element.child(2).asDouble()};
        }
    }
}

MStatus ShatterLocatorNode::recomputePoints() {
    const MDagPath meshPath = meshBesideLocator(thisMObject());
    if (!meshPath.isValid()) return MS::kFailure;
    MFnMesh mesh(meshPath);
    MBoundingBox box = mesh.boundingBox();
    box.transformUsing(meshPath.exclusiveMatrix());

    MObjectArray shaders;
    MIntArray shaderIndices;
    getMeshShaders(meshPath, shaders, shaderIndices);
    MStringArray uvSetNames;
    std::unique_ptr<ZYL_DFmesh> engineMesh(readMeshIntoDFmesh(mesh, shaderIndices, uvSetNames));
    if (!engineMesh) return MS::kFailure;

    const unsigned count = record.points.length();
    std::vector<QmtVector3> points(count);
    zyl_shatter_params params;
    params.points = points.data();
    params.requested = params.produced = count;
    params.numSamples = 0;
    params.style = record.style;
    params.width = width;
    params.radialAxis = record.radialAxis;
    params.maxNoise = params.minNoise = record.noise;
    params.maxRings = params.minRings = record.rings;
    params.seed = 1;
    params.numCentres = MPlug(thisMObject(), numLoc).asInt();
    readCentres(params.centres);
    params.centre = params.centres[0];

    const ZYLbox sampling{params.centres[0], Qmt::QmtMatrix3::IDENTITY,
                          QmtVector3(0.5 * box.width(), 0.5 * box.height(), 0.5 * box.depth())};
    runSeedPattern(params, engineMesh.get(), &sampling);
    record.points.clear();
    appendPointsToLocalSpace(points.data(), count);
    return MS::kSuccess;
}

MMatrix ShatterLocatorNode::exclusiveMatrixInverse() const {
    MDagPath path;
    MDagPath::getAPathTo(thisMObject(), path);
    return path.exclusiveMatrixInverse();
}

MObject findShatterLocatorChild(const MDagPath& transformPath) {
    for (unsigned i = 0; i < transformPath.childCount(); ++i) {
        const MObject child = transformPath.child(i);
        if (hasTypeId(child, zylTypes::kShatterLocator)) return child;
    }
    return MObject();
}
