#pragma once

// Kinds of host objects. Numbered kinds are fixed; the others are our own.
class MFn {
public:
    enum Type {
        kInvalid = 0,
        kDagNode = 107,
        kTransform = 110,
        kWorld = 247,
        kField = 256,
        kAirField = 257,
        kDragField = 258,
        kGravityField = 259,
        kNewtonField = 260,
        kRadialField = 261,
        kTurbulenceField = 262,
        kUniformField = 263,
        kVortexField = 264,
        kGeometric = 265,
        kNurbsSurface = 294,
        kMesh = 296,
        kSkinClusterFilter = 344,  // deformer with "matrix" and "inputGeometry"
        kTweak = 349,              // geometry filter with "inputGeometry"
        kVertexColour = 722,       // per-vertex colour node with "inputPolymesh"
        kColourSetSource = 723,    // colour-set creation node with "inMesh"
        kPluginDependNode = 448,
        kPluginLocatorNode = 449,
        kMeshEdgeComponent = 540,
        kMeshPolygonComponent = 541,
        kPolyMerge = 745,      // mesh modifier with "inMesh"
        kPolyTweakUV = 746,    // mesh modifier with "inputPolymesh"
        kVolumeAxisField = 786,
        kPolyCreator = 989,    // mesh-producing node

        kBase = 2000,
        kDependencyNode,
        kTime,
        kShape,
        kLocator,
        kAttribute,
        kNumericAttribute,
        kTypedAttribute,
        kMessageAttribute,
        kEnumAttribute,
        kUnitAttribute,
        kCompoundAttribute,
        kData,
        kStringData,
        kPlugin,
        kCamera,
        kNurbsCurve,
        kAnimCurve,
        kAnimCurveTimeToDistance,
        kAnimCurveTimeToAngular,
        kAnimCurveTimeToUnitless,
        kMotionPath,
        kRigidBody,
        kMeshData,
        kNurbsCurveData,
        kMatrixData,
        kComponent,
        kMeshVertComponent,
        kNumericData,
        kComponentListData,
        kLambert,
        kShadingEngine,
        kPolyTweak,  // mesh modifier with "inputPolymesh" and "tweak"
        kLast
    };

    // Whether an object of kind `kind` is also of kind `family` (a kind is in its own family).
    static bool isA(Type kind, Type family);
};
