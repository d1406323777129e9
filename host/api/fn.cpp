#include "host/api/fn.h"

namespace {

// The next wider kind of each kind, kBase at the top.
MFn::Type parentKind(MFn::Type kind) {
    switch (kind) {
        case MFn::kDependencyNode: return MFn::kBase;
        case MFn::kTime:
        case MFn::kAnimCurve:
        case MFn::kMotionPath:
        case MFn::kSkinClusterFilter:
        case MFn::kTweak:
        case MFn::kPolyTweak:
        case MFn::kVertexColour:
        case MFn::kColourSetSource:
        case MFn::kPolyMerge:
        case MFn::kPolyTweakUV:
        case MFn::kPolyCreator:
        case MFn::kPluginDependNode:
        case MFn::kDagNode: return MFn::kDependencyNode;
        case MFn::kTransform:
        case MFn::kShape:
        case MFn::kWorld:
        case MFn::kField: return MFn::kDagNode;
        case MFn::kAirField:
        case MFn::kDragField:
        case MFn::kGravityField:
        case MFn::kNewtonField:
        case MFn::kRadialField:
        case MFn::kTurbulenceField:
        case MFn::kUniformField:
        case MFn::kVortexField:
        case MFn::kVolumeAxisField: return MFn::kField;
        case MFn::kAnimCurveTimeToDistance:
        case MFn::kAnimCurveTimeToAngular:
        case MFn::kAnimCurveTimeToUnitless: return MFn::kAnimCurve;
        case MFn::kGeometric:
        case MFn::kCamera:
        case MFn::kRigidBody:
        case MFn::kLocator: return MFn::kShape;
        case MFn::kPluginLocatorNode: return MFn::kLocator;
        case MFn::kNurbsCurve:
        case MFn::kNurbsSurface:
        case MFn::kMesh: return MFn::kGeometric;
        case MFn::kNumericAttribute:
        case MFn::kTypedAttribute:
        case MFn::kMessageAttribute:
        case MFn::kEnumAttribute:
        case MFn::kUnitAttribute:
        case MFn::kCompoundAttribute: return MFn::kAttribute;
        case MFn::kStringData:
        case MFn::kMeshData:
        case MFn::kNurbsCurveData:
        case MFn::kMatrixData:
        case MFn::kNumericData:
        case MFn::kComponentListData: return MFn::kData;
        case MFn::kMeshVertComponent:
        case MFn::kMeshEdgeComponent:
        case MFn::kMeshPolygonComponent: return MFn::kComponent;
        case MFn::kComponent:
        case MFn::kAttribute:
        case MFn::kData:
        case MFn::kPlugin: return MFn::kBase;
        default: return MFn::kInvalid;
    }
}

}  // namespace

bool MFn::isA(Type kind, Type family) {
    if (kind == kInvalid) return family == kInvalid;
    for (Type k = kind; k != kInvalid; k = parentKind(k))
        if (k == family) return true;
    return false;
}
