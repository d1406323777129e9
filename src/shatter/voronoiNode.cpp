#include "src/shatter/voronoiNode.h"

#include "host/api/dagPath.h"
#include "host/api/fnAttribute.h"
#include "src/glDraw.h"
#include "src/nodeHelpers.h"

MObject voronoiNode::inShape;
MObject voronoiNode::jaggyLength;
MObject voronoiNode::jaggyStrenght;
MObject voronoiNode::index;
MObject voronoiNode::voroPoints;
MObject voronoiNode::ca_voroPoints;
MObject voronoiNode::ca_shape;

namespace {

// The shatter index shared by every history node of the scene.
int shatterIndexCounter = 0;

MObject jaggyAttribute(const char* longName, const char* shortName) {
    MFnNumericAttribute fn;
    MObject attr = fn.create(longName, shortName, MFnNumericData::kFloat, 0.0);
    fn.setHidden(true);
    fn.setKeyable(false);
    fn.setMin(0.0);
    fn.setMax(4.0);
    return attr;
}

}  // namespace

void* voronoiNode::creator() { return new voronoiNode; }

MStatus voronoiNode::initialize() {
    shatterIndexCounter = 0;

    MFnTypedAttribute typed;
    inShape = typed.create("inShape", "insh", MFnData::kMesh);
    typed.setStorable(false);
    typed.setHidden(false);
    addAttribute(inShape);

    jaggyLength = jaggyAttribute("jaggyLength", "jle");
    addAttribute(jaggyLength);
    jaggyStrenght = jaggyAttribute("jaggyStrenght", "jst");
    addAttribute(jaggyStrenght);

    MFnNumericAttribute numeric;
    index = numeric.create("index", "idx", MFnNumericData::kInt, -1.0);
    numeric.setKeyable(false);
    numeric.setConnectable(false);
    numeric.setHidden(true);
    numeric.setStorable(true);
    addAttribute(index);

    voroPoints = numeric.create("voroPoints", "vop", MFnNumericData::k3Float, 0.0);
    numeric.setArray(true);
    numeric.setKeyable(false);
    MStatus status = addAttribute(voroPoints);
    if (!status) {
        status.perror("Unable to add \"ia_voroPoints\" attribute");
        return status;
    }

    ca_voroPoints = addChangeFlag("ca_voroPoints", "cavo", &status);
    if (!status) {
        status.perror("Unable to add \"ca_voroPoints\" attribute");
        return status;
    }
    ca_shape = addChangeFlag("ca_shape", "csha", &status);
    if (!status) {
        status.perror("Unable to add \"ca_shape\" attribute");
        return status;
    }

    attributeAffects(voroPoints, ca_voroPoints);
    return attributeAffects(inShape, ca_shape);
}

MStatus voronoiNode::compute(const MPlug& plug, MDataBlock& data) {
    // The seeds live in the node's record; the flag only tells that they were read.
    if (plug.attribute() == ca_voroPoints) {
        data.inputValue(voroPoints).asFloatVector();
        markFlagDone(data, plug);
    }
    return MS::kUnknownParameter;
}

void voronoiNode::draw(M3dView&, const MDagPath&, M3dView::DisplayStyle, M3dView::DisplayStatus) {}

void voronoiNode::setPoints(const Qmt::QmtVector3* seeds, unsigned count) {
    record.points.clear();
    const MPlug points(thisMObject(), voroPoints);
    for (unsigned i = 0; i < count; ++i) {
        const MPlug element = points.elementByLogicalIndex(i);
        element.child(0).setValue(seeds[i].x);
        element.child(1).setValue(seeds[i].y);
        element.child(2).setValue(seeds[i].z);
        record.points.append(MPoint(seeds[i].x, seeds[i].y, seeds[i].z, 1.0));
    }
    MPlug(thisMObject(), ca_voroPoints).asBool();
}

void voronoiNode::setPreviousPoints(const Qmt::QmtVector3* points, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
        record.previousPoints.append(MPoint(points[i].x, points[i].y, points[i].z, 1.0));
    }
}

unsigned voronoiNode::numPoints() const { return MPlug(thisMObject(), voroPoints).numElements(); }

MPoint voronoiNode::getPoint(unsigned i, bool world) const {
    const MPlug points(thisMObject(), voroPoints);
    if (i >= points.numElements()) {
        return MPoint(0.0, 0.0, 0.0);
    }
    const MPlug element = points.elementByPhysicalIndex(i);
    const MPoint p(element.child(0).asFloat(), element.child(1).asFloat(), element.child(2).asFloat());
    return world ? MPoint(transformPoint(MVector(p), exclusiveMatrix())) : p;
}

void voronoiNode::getPreviousPoints(MPointArray& out, bool world) const {
    if (!world) {
        out = record.previousPoints;
        return;
    }
    const MMatrix M = exclusiveMatrix();
    for (unsigned i = 0; i < record.previousPoints.length(); ++i) {
        out.append(MPoint(transformPoint(MVector(record.previousPoints[i]), M)));
    }
}

int voronoiNode::getIndex() const { return MPlug(thisMObject(), index).asInt(); }

void voronoiNode::bumpIndex() {
    ++shatterIndexCounter;
    MPlug(thisMObject(), index).setValue(shatterIndexCounter);
}

void voronoiNode::setCurrentIndex(int value) { shatterIndexCounter = value; }

MMatrix voronoiNode::exclusiveMatrix() const {
    MDagPath path;
    MDagPath::getAPathTo(thisMObject(), path);
    return path.exclusiveMatrix();
}
