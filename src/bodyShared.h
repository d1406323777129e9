#pragma once

// What the rigid-body and cracker nodes share in building their engine bodies from a
// collision mesh and in moving them with their host transforms.

#include <array>
#include <optional>
#include <vector>

#include "geometry/mesh/meshRecords.h"
#include "host/api/dagPath.h"
#include "host/api/fnTransform.h"
#include "host/api/hostTime.h"
#include "host/api/matrix.h"
#include "host/api/object.h"
#include "host/api/quaternion.h"
#include "host/api/plug.h"
#include "host/api/text.h"
#include "host/api/vectors.h"
#include "math/qmtVector3.h"

class HardBody;

// A mesh with faces and vertices: anything less gives no body.
bool hasGeometry(const ZYLmesh* mesh);
// A body's mesh with geometry and every vertex finite. A mesh placed beyond single
// precision (world points read as infinite) gives no body either: that is reported as a
// warning on `node`.
bool buildableMesh(const ZYLmesh* mesh, const MObject& node);
Qmt::QmtVector3 vertexMean(const ZYLmesh& mesh);

// The mass of a body made from the mesh: volume × 500, × 0.015 when the solver on
// node's "solver" plug fits units to the host's scale; `centre` gets the centre of
// mass. A negative mass warns and counts positive; a zero one gives mass 1 at the
// vertex mean, with a warning.
double meshBodyMass(const ZYLmesh& mesh, const MObject& node, Qmt::QmtVector3& centre);

// Whether a mass attribute's value counts as set: finite and at least 1e-5. Anything
// else (zero, negative, overflowed) is what a build replaces with the computed mass, and
// no push may hand it to the engine, which stores its inverse.
bool isSetMass(float mass);

// Whether a stored mass centre is so close to the one a build works out (squared distance
// 1e-5 or less) that it stands for it: opening a scene takes the built one then, so a
// build in the session does too.
bool isBuiltCentre(const Qmt::QmtVector3& stored, const Qmt::QmtVector3& built);
// A mass centre not set by the user: the single-precision epsilon in each component.
inline constexpr double kUnsetCentre = 1.1920929e-7;
// The centre plug's three children unset when they stand for `built` (the centre the
// last build worked out), so that the next build works it out again; a user's stays.
void unsetBuiltCentre(const MPlug& centre, const Qmt::QmtVector3& built);

// A user's vector in single precision, as the engine is given it; empty when a
// component lies beyond that range and would arrive as infinity.
std::optional<Qmt::QmtVector3> singleVector(const MFloatVector& v);
// The same of a vector attribute's three children.
std::optional<Qmt::QmtVector3> singleVector(const MPlug& plug);

// The body's name := the text, cut to the record's 255 characters.
void setBodyName(HardBody& body, const MString& name);

// The transformation of rotation q and translation t, as a host matrix.
MMatrix poseMatrix(const MQuaternion& q, const MVector& t);
// The angular velocity that turns q0 into q1 in dt: the axis of q0⁻¹ · q1 scaled by
// its angle over dt, with no turn to the shorter arc.
Qmt::QmtVector3 spinBetween(const MQuaternion& q0, const MQuaternion& q1, double dt);

// The node's DAG path; a failure is reported on standard output.
bool nodeDagPath(const MObject& node, MDagPath& path);
// The transform right above the node; false (quietly) without one.
bool transformAbove(const MObject& node, MFnTransform& transform);
// The channels (translate, rotate and scale children) of a transform that connections
// drive: keys, motion paths and the like.
std::vector<MPlug> drivenChannels(const MObject& transform);
// The driven channels take the values their drivers give at t.
void showDrivenChannelsAt(const MObject& transform, const MTime& t);
// The transform back at its rest position, except for the channels animation drives:
// those show their animated values at the play range's start, where a run starts,
// whenever the rest position was taken.
void resetFromRest(MFnTransform& transform);
// The body's current placement and scale as a host matrix.
MMatrix bodyPoseMatrix(const HardBody& body);

// A number kept in single precision: the nearest float, and beyond the float range the
// largest float of its sign, so that a pose or pivot taken from a scene never turns
// infinite (nor reaches a plug or file as such).
float toSingle(double v);

// Poses kept in single precision: x, y, z and x, y, z, w.
MVector asVector(const std::array<float, 3>& v);
MQuaternion asQuaternion(const std::array<float, 4>& q);
// (1 - s) a + s b.
MVector blendVectors(const MVector& a, const MVector& b, double s);
// The plain component blend (1 - s) q0 + s q1, normalised: no turn to the shorter arc.
MQuaternion blendRotations(const MQuaternion& q0, const MQuaternion& q1, double s);
