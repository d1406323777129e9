#pragma once

#include <cstdint>
#include <vector>

#include "geometry/mesh/meshRecords.h"
#include "host/api/arrays.h"
#include "host/api/vectors.h"

// Everything the mesh writer hands to the host for one engine mesh that follows from the
// mesh alone: made from the mesh without any host call, so on any thread (the shatter
// cuts its cells on worker threads and makes these there too).
//
// Polygon p is engine face p; vertex and UV indices outside their tables are 0.
struct HostMeshArrays {
    // Fewer than 4 points, or 4 points and more than 4 faces: no mesh is made.
    bool refused = true;
    MFloatPointArray points;
    MIntArray counts;
    MIntArray connects;
    MIntArray uvIds;                    // set 0, per corner
    std::vector<MIntArray> extraUVIds;  // extra set s, per corner
    bool extraSets = false;             // the mesh carries extra UV sets
    bool hasUVs = false;                // set 0 has a table
    MFloatArray u, v;                   // set 0
    std::vector<MFloatArray> extraU, extraV;  // extra set s, for the names given
    // The engine's corner normals, for the corners whose normal index names one: the
    // polygon, its vertex (the corner's entry of `connects`) and the normal.
    MVectorArray normals;
    MIntArray normalFaces, normalVertices;
    // Per polygon: its cut-face value (1 cut, else 2 older cut, else 0) and its material.
    std::vector<std::uint8_t> cutValues;
    std::vector<std::uint8_t> materials;
    std::uint16_t shardId = 0;

    int numVertices() const { return static_cast<int>(points.length()); }
    int numPolygons() const { return static_cast<int>(counts.length()); }
};

// The arrays of the mesh, with the UV tables of as many extra sets as `uvSetNames - 1`
// (at most 7) asks for.
HostMeshArrays makeHostMeshArrays(const ZYL_DFmesh& mesh, unsigned uvSetNames);
