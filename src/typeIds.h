#pragma once

#include "host/api/typeId.h"

// The module's node types: fixed ids and type names. Scenes store nodes by type name
// and the module recognises its own nodes by id, so neither may ever change.
namespace zylTypes {

inline constexpr MTypeId kCollisionShape{0x113A50};
inline constexpr MTypeId kSolver{0x113A60};
inline constexpr MTypeId kRigidBody{0x113A70};
inline constexpr MTypeId kCracker{0x113A71};
inline constexpr MTypeId kFractureBody{0x113A80};
inline constexpr MTypeId kCluster{0x113A81};
inline constexpr MTypeId kStress{0x113A82};
inline constexpr MTypeId kMeshOp{0x113A83};
inline constexpr MTypeId kVoronoi{0x113A84};
inline constexpr MTypeId kShatterLocator{0x113A86};
inline constexpr MTypeId kShatterLocatorManip{0x113A88};

inline constexpr const char* kCollisionShapeName = "zylCollisionShape";
inline constexpr const char* kSolverName = "zylSolverNode";
inline constexpr const char* kRigidBodyName = "zylRigidBody";
inline constexpr const char* kCrackerName = "zylCracker";
inline constexpr const char* kFractureBodyName = "fBodyNode";
inline constexpr const char* kClusterName = "ClusterZylNode";
inline constexpr const char* kStressName = "stressNode";
inline constexpr const char* kMeshOpName = "zylMeshOpNode";
inline constexpr const char* kVoronoiName = "voronoiNode";
inline constexpr const char* kShatterLocatorName = "ShatterLocator";
inline constexpr const char* kShatterLocatorManipName = "ShatterLocatorManip";

}  // namespace zylTypes
