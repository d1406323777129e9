#pragma once

#include <memory>

#include "host/scene/meshGeometry.h"

#include "host/api/pxNode.h"

// Node objects of the host's own types that compute something.
namespace host::builtin {

// Channel changes make everything world-space below stale.
class TransformNode : public MPxNode {
public:
    static void* creator() { return new TransformNode; }
    MStatus compute(const MPlug& plug, MDataBlock& data) override;
    MStatus setDependentsDirty(const MPlug& plug, MPlugArray& affected) override;
};

// outMesh follows inMesh when fed; worldMesh[i] is the tweaked mesh in instance i's world space.
// "uvSet[k].uvSetName" answers the name of the geometry's UV set k.
class MeshNode : public TransformNode {
public:
    static void* creator() { return new MeshNode; }
    MStatus compute(const MPlug& plug, MDataBlock& data) override;
    MStatus setDependentsDirty(const MPlug& plug, MPlugArray& affected) override;

    // Edits made through a function set while the shape has history: blind data,
    // colour sets, locked normals and UV sets, laid again over each evaluated input.
    std::shared_ptr<const MeshGeometry> overlay;
};

// Lays the decorations of `overlay` over `mesh`, keeping only what still fits its faces and vertices.
void applyOverlay(const MeshGeometry& overlay, MeshGeometry& mesh);

// worldSpace[i]: the curve in instance i's world space.
class CurveNode : public TransformNode {
public:
    static void* creator() { return new CurveNode; }
    MStatus compute(const MPlug& plug, MDataBlock& data) override;
};

// output: the keys evaluated at the input time.
// Kinds that only pass their mesh input on ("output", "outputGeometry"); a
// "polyTweak" adds its "tweak" vectors to the points first.
class PassThroughNode : public MPxNode {
public:
    static void* creator() { return new PassThroughNode; }
    MStatus compute(const MPlug& plug, MDataBlock& data) override;
};

// outColor follows color.
class LambertNode : public MPxNode {
public:
    static void* creator() { return new LambertNode; }
    MStatus compute(const MPlug& plug, MDataBlock& data) override;
};

class AnimCurveNode : public MPxNode {
public:
    static void* creator() { return new AnimCurveNode; }
    MStatus compute(const MPlug& plug, MDataBlock& data) override;
};

// allCoordinates: the point of the path curve at uValue.
class MotionPathNode : public MPxNode {
public:
    static void* creator() { return new MotionPathNode; }
    MStatus compute(const MPlug& plug, MDataBlock& data) override;
};

}  // namespace host::builtin
