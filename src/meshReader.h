#pragma once

#include "geometry/mesh/meshRecords.h"
#include "host/api/arrays.h"
#include "host/api/object.h"
#include "host/api/text.h"

class MFnMesh;

// Reading a host polygon mesh into the engine's detailed mesh. Both readers give the
// same record: world-space points and corner normals, object-space face normals, up to
// eight UV sets, per face its shading-group index and the cut-face tag. A holed polygon
// becomes the host's triangles of it; every other polygon one face with all its corners.
// They return a new mesh owned by the caller, or null when the mesh has no points or no
// faces. uvSetNames receives the names of every UV set of the mesh, also past the eighth.

// From a function set attached to the shape's DAG path.
ZYL_DFmesh* readMeshIntoDFmesh(MFnMesh& mesh, const MIntArray& shadingIndices, MStringArray& uvSetNames);
// From a mesh data object.
ZYL_DFmesh* readMeshPolygonsIntoDFmesh(MObject meshData, const MIntArray& shadingIndices,
                                       MStringArray& uvSetNames);

// The place of each of a triangle's three vertex ids in its polygon's vertex list (the
// first place when a vertex occurs twice). False when one of them is not in the list:
// such a triangle has no corner data to take and is left out.
bool findTrianglePlaces(const MIntArray& polygonVertices, const MIntArray& triangle, int places[3]);
