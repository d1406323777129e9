#pragma once

#include "host/api/boundingBox.h"
#include "host/api/dagPath.h"
#include "host/api/dataBlock.h"
#include "host/api/matrix.h"
#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/pxLocatorNode.h"
#include "host/api/status.h"
#include "math/qmtVector3.h"
#include "src/shatter/voronoiNode.h"

// The shatter preview under a mesh's transform: the points a shatter would cut with
// (cyan) and the seeds of the mesh's current history (blue), both in the locator's
// own space. A shatter of the mesh cuts with both lists instead of making seeds.
// Moving a pattern centre with the manipulator makes the points again with seed 1.
class ShatterLocatorNode : public MPxLocatorNode {
public:
    static void* creator();
    // Adds the attributes and gives the type its manipulator.
    static MStatus initialize();

    MStatus compute(const MPlug& plug, MDataBlock& data) override;
    void draw(M3dView& view, const MDagPath& path, M3dView::DisplayStyle style,
              M3dView::DisplayStatus status) override;
    bool isBounded() const override { return true; }
    // The box of the preview points.
    MBoundingBox boundingBox() const override;

    // World points taken into the locator's space and appended to the preview points.
    void appendPointsToLocalSpace(const Qmt::QmtVector3* points, unsigned count);
    // The history's seeds, taken into the locator's space, replace the second list.
    void setPreviousPointsLocal(const Qmt::QmtVector3* points, unsigned count);

    // The centre slots 0 to 4 from shatter_pos; slots without an element stay as given.
    void readCentres(Qmt::QmtVector3 centres[5]) const;

    ShatterSeedSet record;  // style, radial axis, rings and noise of the last preview run
    double width = 0.0;

    static MObject shatter_pos;
    static MObject numLoc;
    static MObject ca_shatter_pos;
    static MObject ca_numloc;

private:
    // The preview points made again around the current centres, with seed 1.
    MStatus recomputePoints();
    MMatrix exclusiveMatrixInverse() const;
};

// The first child of the transform that is a ShatterLocator (null when none).
MObject findShatterLocatorChild(const MDagPath& transformPath);
