#pragma once

#include <cstdint>

#include "host/api/dataBlock.h"
#include "host/api/matrix.h"
#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/pxLocatorNode.h"
#include "host/api/status.h"
#include "host/api/text.h"
#include "host/api/vectors.h"
#include "math/qmtVector3.h"

// The seeds of one shatter and how they were made. The history node keeps the seeds it
// cut with and those of the shatter it replaced; the preview locator keeps its preview
// points and the current history's seeds, both in its own space.
struct ShatterSeedSet {
    MPointArray points;          // history: every seed, in cutting order; locator: preview points
    MPointArray previousPoints;  // history: the replaced shatter's seeds; locator: those seeds
    MMatrix matrix;              // the locator's placement when a shatter cuts with it
    MString cutMaterialName;
    std::uint16_t style = 0;
    std::int16_t radialAxis = 0;
    std::int32_t rings = 0;
    double noise = 0.0;
};

// The history a shatter leaves in its shard group: fed by the source mesh's worldMesh,
// it keeps the seeds, the replaced seeds, the cut material and the shatter index that
// gives the shards' bodies their group id. It draws nothing.
class voronoiNode : public MPxLocatorNode {
public:
    static void* creator();
    // Adds the attributes and, being run at every load, starts the shatter index at 0.
    static MStatus initialize();

    MStatus compute(const MPlug& plug, MDataBlock& data) override;
    void draw(M3dView& view, const MDagPath& path, M3dView::DisplayStyle style,
              M3dView::DisplayStatus status) override;

    // voroPoints[0..count) (logical indices) and the first list become the seeds;
    // elements past count are kept.
    void setPoints(const Qmt::QmtVector3* seeds, unsigned count);
    // Appends to the second list.
    void setPreviousPoints(const Qmt::QmtVector3* points, unsigned count);
    unsigned numPoints() const;
    // voroPoints element i by physical index, through the node's exclusive matrix when
    // `world`; (0, 0, 0) when there is no such element.
    MPoint getPoint(unsigned i, bool world) const;
    // Without `world` out becomes the second list; with it the list's points, placed by
    // the node's exclusive matrix, are appended to out.
    void getPreviousPoints(MPointArray& out, bool world) const;
    MString cutMaterialName() const { return record.cutMaterialName; }
    int getIndex() const;
    // The next shatter index, written to `index`.
    void bumpIndex();
    // Sets the shatter index shared by every history node (a scene's largest, once read).
    void setCurrentIndex(int value);

    ShatterSeedSet record;

    static MObject inShape;
    static MObject jaggyLength;
    static MObject jaggyStrenght;
    static MObject index;
    static MObject voroPoints;
    static MObject ca_voroPoints;
    static MObject ca_shape;

private:
    MMatrix exclusiveMatrix() const;
};
