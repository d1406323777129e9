#pragma once

#include <vector>

#include "geometry/mesh/meshRecords.h"
#include "host/api/dagPath.h"
#include "host/api/fnMesh.h"
#include "host/api/object.h"
#include "host/api/status.h"
#include "host/api/text.h"
#include "src/meshArrays.h"

// Cut-face blind data: one int per polygon telling the faces a cut made from the
// surface the mesh had before; every reader takes a face without a value as 0.
namespace cutFace {

inline constexpr int kBlindDataId = 70111001;
inline constexpr const char* kLongName = "zylCutFace";
inline constexpr const char* kShortName = "zcut";
inline constexpr const char* kDataType = "int";

inline constexpr int kSurface = 0;   // a face of the surface before any cut
inline constexpr int kCut = 1;       // made by the cut that produced this mesh
inline constexpr int kOlderCut = 2;  // a cut face of an earlier cut, or one lying against a new cut

}  // namespace cutFace

// Per polygon its cut-face value; polygons without one read 0.
std::vector<int> cutFaceValues(const MFnMesh& fn);

// Engine meshes written back into the host.
//
// The writers assume the cut-face blind-data type exists (the shatter command and the
// mesh-op node make it on first use).

// Builds a host mesh from the engine mesh's world vertices, with its face-vertex normals
// and every UV set. The target chooses the mode: null pointer: the geometry of the mesh
// `fn` is attached to is replaced; a null object: a new transform and mesh, the
// transform stored into the target; an object: a mesh under that transform, or into
// that mesh data object. Vertex and UV indices outside their tables become 0.
// Refused, before any host call, for fewer than 4 points or 4 points and more than 4
// faces. Returns (and writes into `status`) the status of the last UV-set call that
// counts, success when none ran.
MStatus createMeshFromDFmesh(MStatus& status, const ZYL_DFmesh* mesh, MFnMesh& fn, const MStringArray& uvSetNames,
                             MObject* target);
// The same from the mesh's arrays made beforehand (makeHostMeshArrays with as many
// UV-set names).
MStatus createMeshFromArrays(MStatus& status, const HostMeshArrays& arrays, MFnMesh& fn,
                             const MStringArray& uvSetNames, MObject* target);

// Tags the polygons of a freshly built mesh (polygon i = engine face i) by MEL: 1 for a
// face the cut made, else 2 for a cut face of the mesh that was cut, else 0.
void declareCutFaceBlindData(const ZYL_DFmesh* mesh, MFnMesh& fn);

// One shatter cell as a new shard mesh named base + "_shard" + shard id: its cut faces
// tagged, its polygons in the source's shading groups (the cut faces, with cutMaterial,
// in the cut group), its textures linked to its UV sets and its pivots centred. The new
// transform is appended to createdObjects and the mesh's name to createdNames. On a
// refused or failed build it prints "Unable to create mesh" and makes nothing.
MStatus createShardMeshes(MStatus& status, const ZYL_DFmesh* cell, bool cutMaterial, const MString& baseName,
                          const MString& cutShadingGroup, const MObjectArray& shadingGroups,
                          const MStringArray& uvSetNames, const MStringArray (&uvLinks)[8],
                          MObjectArray& createdObjects, MStringArray& createdNames);
// The same from the cell's arrays made beforehand (makeHostMeshArrays with as many
// UV-set names), on the thread that cut it.
MStatus createShardMeshes(MStatus& status, const HostMeshArrays& cell, bool cutMaterial, const MString& baseName,
                          const MString& cutShadingGroup, const MObjectArray& shadingGroups,
                          const MStringArray& uvSetNames, const MStringArray (&uvLinks)[8],
                          MObjectArray& createdObjects, MStringArray& createdNames);

// Before a shard is cut again: every cut face (value 1) of the meshes under `parent`
// that lies against one of the engine mesh's older cut faces (FACE_CUT), facing it on
// the same plane, becomes an older cut face (2).
void tagCutFaces(const ZYL_DFmesh* mesh, const MDagPath& parent);

// The UV-set name plug of UV set k (0 to 7) after a mesh name: ".uvSet[k].uvSetName".
MString uvSetNamePlug(unsigned k);
