#pragma once

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
};

// worldSpace[i]: the curve in instance i's world space.
class CurveNode : public TransformNode {
public:
    static void* creator() { return new CurveNode; }
    MStatus compute(const MPlug& plug, MDataBlock& data) override;
};

// output: the keys evaluated at the input time.
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
