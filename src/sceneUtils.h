#pragma once

// Free functions over the host scene that the module's nodes and commands share:
// plug-in nodes under transforms and in a mesh's history, the group a shatter
// leaves behind, shading groups, curve sampling, UV interpolation inside a polygon,
// transform copies, the view direction, frame counts and elapsed-time splitting. None
// keeps state.

#include <utility>
#include <vector>

#include "host/api/arrays.h"
#include "host/api/dagPath.h"
#include "host/api/fnDependencyNode.h"
#include "host/api/fnMesh.h"
#include "host/api/fnNurbsCurve.h"
#include "host/api/hostTime.h"
#include "host/api/object.h"
#include "host/api/status.h"
#include "host/api/text.h"
#include "host/api/vectors.h"
#include "math/qmtVector3.h"

// World-space view direction of the active 3D view's camera; untouched when there is no camera.
void getActiveViewDirection(MVector& direction);

// Whole frames, truncated toward zero; beyond the int range its ends (and NaN 0): any
// frame count converts, none overflows. The time's frames are in the scene's time unit.
int wholeFrames(double frames);
int wholeFrames(const MTime& t);
// The frames of the play range, both ends counted: the most a run's frame caches hold.
int playRangeFrames();

// Above 60 seconds (strictly) moves whole minutes out of `seconds`, then above 60
// minutes whole hours out of `minutes`. Outputs it does not set keep the caller's values.
void splitSeconds(double& seconds, int& minutes, int& hours);
// Seconds split that way, as the run-time reports print them: "H::M::S.SS".
MString elapsedTimeText(double seconds);

// The first child of a DAG node that is the host's own rigid body (type name
// "rigidBody") / a zylRigidBody; `child` is null when there is none.
bool findHostRigidBodyChild(const MObject& node, MObject& child);
bool findZylRigidBodyChild(const MObject& node, MObject& child);

// A shatter group: a transform with a child transform whose only child is a voronoiNode.
bool isShatterGroup(const MDagPath& path);
// The path's parent is a shatter group.
bool isInShatterGroup(const MDagPath& path);
// The outermost of the nested shatter groups at or above the path; false without one.
bool findTopShatterGroup(const MDagPath& path, MDagPath& group);
// The voronoiNode of the top shatter group above the path (null, and false, when
// either is missing), with the group's path.
bool findShatterGroupVoronoiNode(const MDagPath& path, MObject& voronoi, MDagPath& group);
// Among the group's child transforms with exactly one child, the first whose child
// is a voronoiNode: that child, or null.
void findVoronoiNodeChild(const MDagPath& group, MObject& voronoi);
// The voronoiNode fed by the mesh instance's "worldMesh" element, or null.
void findWorldMeshConsumer(const MDagPath& meshPath, MObject& consumer);
// Groups findVoronoiNodeChild searched, each with its answer: shards of one shatter share
// a group, which a walk over many of them then searches once.
using VoronoiGroupAnswers = std::vector<std::pair<MObject, MObject>>;
// The voronoiNode fed by the mesh, else the one held in the group two levels above it
// (taken from `answers` when the group was searched before, and added to them).
void findVoronoiNodeForMesh(const MDagPath& meshPath, MObject& voronoi, VoronoiGroupAnswers* answers = nullptr);

// The mesh's "inMesh" history, through a UV tweak, a merge and tweaks, starts at a zylMeshOpNode.
bool hasMeshOpUpstream(const MObject& mesh);
// A node connected as source to the mesh's "inMesh" is a mesh-producing node (kind 989).
bool isInMeshFedByType989(const MObject& mesh);
// The last mesh met walking upstream breadth first; the start node's path when none.
MDagPath findFarthestUpstreamMesh(const MDagPath& path);

// The shading groups of the mesh instance and each polygon's group index; true when
// at least one group came back.
bool getMeshShaders(const MDagPath& meshPath, MObjectArray& shaders, MIntArray& indices);
// The first node downstream of the path's node (itself included) whose name starts
// with the prefix; another shape met first ends the search with false.
bool findShadingEngineName(const MDagPath& path, const MString& prefix, MString& name);

// n world-space points evenly spaced in parameter over the curve's knot domain
// (n = 1: its start). False, with nothing written, when the domain is shorter than 1e-5.
bool sampleCurvePoints(const MFnNurbsCurve& curve, Qmt::QmtVector3* points, int n);

// The UV at an object-space point inside a polygon, interpolated on the polygon's
// plane from the anchor corner, the corner farthest from it in u and the corner
// spanning the largest area with those two. False, with u and v untouched, when the
// polygon, its corners or their UVs cannot be read, or it has fewer than 3 corners.
bool interpolatePolygonUV(const MPoint& point, int polygonId, int anchor, const MFnMesh& mesh,
                          const MString& uvSet, float& u, float& v);

// Copies the three children of "translate" and "rotate" as single-precision values;
// `status` holds the first failure (the copy stops there) or success.
void copyTransformValues(MStatus& status, const MFnDependencyNode& source, const MFnDependencyNode& target);
