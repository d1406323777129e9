#pragma once

#include <cstdint>

#include "geometry/mesh/connectivityTables.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"

class Clipper;

// Flag bits of BVDFmesh::init and BVDFmesh::buildElementAdjacency.
inline constexpr std::uint32_t BVDF_EDGES = 1;     // build the edge table
inline constexpr std::uint32_t BVDF_VERTICES = 2;  // build the vertex records
inline constexpr std::uint32_t BVDF_PIECES = 4;    // label the connected pieces (init)
inline constexpr std::uint32_t BVDF_VOLUME = 16;   // compute the volume (init)

// Flags word of a BVDFmesh: what buildElementAdjacency has built.
inline constexpr std::uint32_t BVDF_BUILT_EDGES = 1;
inline constexpr std::uint32_t BVDF_BUILT_VERTICES = 2;
static_assert(BVDF_BUILT_EDGES == TABLES_BUILT_EDGES && BVDF_BUILT_VERTICES == TABLES_BUILT_VERTICES);

// Short-lived volume over a ZYL_DFmesh that is cut, split into pieces or tessellated:
// the mesh's edge table, optional per-vertex records, piece numbering (each face's
// piece word, the mesh's piece count) and the plane clipper.
//
// Ownership of the mesh: -1 none given yet, 0 referenced (init), 1 owned (initHull)
// and deleted with the volume. clear() releases the tables and the clipper but keeps
// the flags word, so a cleared volume is only deleted or initialised again.
//
// The edge table and vertex records are built by buildElementAdjacency, in the table
// order of rebuildTables. Piece numbers count from 1; 0 marks a face not yet labelled.
// No base class: the one virtual operation is the destructor.
class BVDFmesh {
public:
    std::int32_t state = -1;
    ZYL_DFmesh* mesh = nullptr;
    double volume = 0.0;                      // written by init with BVDF_VOLUME
    std::uint32_t flags = 0;                  // BVDF_BUILT_EDGES, BVDF_BUILT_VERTICES
    std::uint32_t numEdges = 0;               // records in edges
    std::uint32_t numVertexRecords = 0;       // records in vertexRecords while it exists
    connect_edge* edges = nullptr;            // malloc / free
    connect_vertex* vertexRecords = nullptr;  // array new
    Clipper* clipper = nullptr;               // owned
    // Backing blocks of the vertex records' face and edge arrays (array new); the
    // records' arrays point into them and go with them.
    std::uint32_t* vertexFacePool = nullptr;
    std::uint32_t* vertexEdgePool = nullptr;

    BVDFmesh() = default;
    BVDFmesh(const BVDFmesh&) = delete;
    BVDFmesh& operator=(const BVDFmesh&) = delete;
    // clear(), then deletes the mesh when the volume owns it.
    virtual ~BVDFmesh();

    // Attaches the mesh (ownership 0) after letting go of the one held before and
    // builds what the flags ask for: BVDF_EDGES / BVDF_VERTICES as buildElementAdjacency
    // (its result is not looked at), BVDF_PIECES labels the pieces, BVDF_VOLUME stores
    // the volume and overwrites the mesh's local centre. False, with no mesh held, for
    // a null mesh or a face vertex index not below the vertex count.
    bool init(ZYL_DFmesh* newMesh, std::uint32_t initFlags);
    // Releases the edge table, the vertex records and the clipper; flags unchanged.
    void clear();
    // Replaces the clipper by a new one set up for this volume's mesh.
    void initClipper();
    // Edge table (BVDF_EDGES) and vertex records (BVDF_VERTICES); the flags word
    // records what was built. False without a mesh, for a mesh with a face vertex index
    // not below the vertex count, on allocation failure, and when the edge table is
    // asked for and the mesh has no edge. Vertex records receive entries only when both
    // are asked for: their face lists hold one entry per corner on the vertex, their
    // edge lists the edges ending there.
    bool buildElementAdjacency(std::uint32_t buildFlags);
    // Numbers the connected pieces (faces joined by shared edges) from 1 in the order
    // of their lowest face into the faces' piece words and the mesh's piece count.
    // Builds the edge table first when it is not built.
    void labelPieces();
    // Gives the seed's piece number to every face connected to it through shared edges
    // whose piece number is still 0. Nothing happens for a seed outside the mesh or
    // one that carries no number.
    void floodFillPiece(ZYL_DFface* seed);
    // A new array of the mesh's piece count of new meshes, one per piece, owned by the
    // caller. Each piece holds its faces in face order (piece numbers kept) and, in
    // source order, every vertex, corner normal, UV and extra UV-set entry they use;
    // an entry used by several pieces is copied into each. Null without a mesh, with
    // no piece, when a face's piece number lies outside 1..piece count, or on
    // allocation failure.
    ZYL_DFmesh** findPieces();
    // A new mesh holding a, then b, owned by the caller; b's faces take a's first
    // piece number and indices shifted past a's entries (corner-normal indices only
    // when this volume's own mesh has corner normals); an index that reaches the merged
    // count becomes 0. Null for a null argument or on allocation failure.
    ZYL_DFmesh* mergeMeshes(ZYL_DFmesh* a, ZYL_DFmesh* b);
    // Merges pairs of pieces of which one lies strictly inside the other (all world
    // vertices) until none does; the merged piece takes the lower place, later pieces
    // move down and their faces take their new place + 1 as piece number. Rewrites the
    // array and the count; the freed last slots become null.
    void mergeOverlappingPieces(ZYL_DFmesh** pieces, std::uint32_t* count);
    // Completes a cut made by the clipper (result 0: undoes the clipper's scale, drops
    // faces of fewer than 3 corners, recomputes the local face normals) and clears the
    // volume in every case.
    void finishClip(std::int32_t result);
    // Subdivides the selected faces (flag FACE_CAP) level times, level 1 to 3.
    bool tessellateFaces(std::uint16_t level);
    // The variant that keeps edge directions.
    bool tessellateFacesKeepEdges(std::uint16_t level);
    // Lets go of the held mesh as init does, clears the tables and holds a new convex
    // hull of the points, owned by the volume; nothing is built over it. The hull is
    // made first, so the points may be the old mesh's own vertices. False, with no
    // mesh held, when the hull cannot be made.
    bool initHull(const Qmt::QmtVector3* points, std::uint32_t n);
    // The same; the middle argument is not used.
    bool initHull(const Qmt::QmtVector3* points, std::uint32_t unused, std::uint32_t n);
    // True with a mesh, a non-empty edge table and an edge with a single face.
    bool hasOpenEdge() const;
    // Validates the mesh's vertex, UV (when it has UVs), extra UV-set and edge indices
    // and the edge table's vertices; false when a vertex, face-normal or face array is
    // missing.
    bool checkIndices() const;
    // Closest pair of facing faces (world normals with dot product below -1e-5) found
    // through the vertex records: the pair nearest along this face's normal, then the
    // squared distance of the two face polygons with their closest points. The vertex
    // records of both volumes must be built with the edge table; otherwise, or when no
    // pair faces, 3.4028234663852886e38 with the indices 0xFFFFFFFF.
    double closestFacingFaces(const BVDFmesh& other, std::uint32_t& vertexHere,
                              std::uint32_t& vertexThere, std::uint32_t& faceHere,
                              std::uint32_t& faceThere, Qmt::QmtVector3& pointHere,
                              Qmt::QmtVector3& pointThere) const;

    // Face helpers of the tessellation.
    Qmt::QmtVector3 computeFaceCenter(const ZYL_DFface* face) const;
    Qmt::QmtVector3 computeFaceUVCenter(const ZYL_DFface* face, std::uint32_t set) const;
    void computeEdgeDirections(std::uint32_t edge);

    // The i-th edge and vertex records; no range check.
    connect_edge& getConnectEdges(std::uint32_t i) { return edges[i]; }
    const connect_edge& getConnectEdges(std::uint32_t i) const { return edges[i]; }
    connect_vertex& getConnectVertex(std::uint32_t i) { return vertexRecords[i]; }
    const connect_vertex& getConnectVertex(std::uint32_t i) const { return vertexRecords[i]; }

    ZYL_DFmesh* getMesh() const { return mesh; }
    Clipper* getClipper() const { return clipper; }
    std::uint32_t getEdgeCount() const { return numEdges; }
    double getVolume() const { return volume; }
    std::int32_t getOwnership() const { return state; }

private:
    // This volume's connectivity fields, for the routines shared with BVmesh.
    ConnectivityFields tables() {
        return {numEdges, numVertexRecords, edges, vertexRecords, vertexFacePool, vertexEdgePool};
    }
};
