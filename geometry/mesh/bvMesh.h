#pragma once

#include <cstdint>

#include "geometry/mesh/connectivityTables.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

class Clipper;

// Option bits of BVmesh::init, BVmesh::copyAprox and BVmesh::buildConnectivity.
inline constexpr std::uint32_t BVMESH_EDGES = 1;     // build the edge table
inline constexpr std::uint32_t BVMESH_VERTICES = 2;  // build the per-vertex face and edge lists
inline constexpr std::uint32_t BVMESH_ISLANDS = 4;   // label the face islands (init, copyAprox)
inline constexpr std::uint32_t BVMESH_VOLUME = 16;   // compute the volume (init, copyAprox)

// Built flags of a BVmesh.
inline constexpr std::uint32_t BVMESH_BUILT_EDGES = 1;
inline constexpr std::uint32_t BVMESH_BUILT_VERTICES = 2;
static_assert(BVMESH_BUILT_EDGES == TABLES_BUILT_EDGES && BVMESH_BUILT_VERTICES == TABLES_BUILT_VERTICES);

// Bounding volume of a polygon mesh: the mesh with its volume, an orientation, its
// connectivity (an edge table shared by adjacent faces and per-vertex lists of incident
// faces and edges), its face islands and an optional plane clipper.
//
// The mesh is held by an ownership state, as by the other volumes:
//   -1  no mesh
//    0  the mesh belongs to someone else
//    1  the volume owns the mesh and deletes it when destroyed
// Copies are shallow: they share the mesh, the tables and the clipper and take the
// state with them, so at most one of two sharing volumes may be destroyed.
//
// The edge table and vertex records are built by buildConnectivity, in the table
// order of rebuildTables. No base class: the one virtual operation is the destructor.
class BVmesh {
public:
    std::int32_t state = -1;
    ZYLmesh* mesh = nullptr;
    double volume = 0.0;                      // set by the volume option and computeVolume
    Qmt::QmtMatrix3 orientation;              // zero until setOrientation
    std::uint32_t builtFlags = 0;             // BVMESH_BUILT_EDGES, BVMESH_BUILT_VERTICES
    std::uint32_t numEdges = 0;               // records in edges
    std::uint32_t numVertexRecords = 0;       // records in vertexRecords while it exists
    connect_edge* edges = nullptr;            // malloc / free
    connect_vertex* vertexRecords = nullptr;  // array new
    Clipper* clipper = nullptr;               // owned
    // Backing blocks of the vertex records' face and edge arrays (array new); the
    // records' arrays point into them and go with them.
    std::uint32_t* vertexFacePool = nullptr;
    std::uint32_t* vertexEdgePool = nullptr;
    // With both tables built: the vertices across each vertex's edges, in the order of
    // its edge list, vertex v's from vertexNeighbourStarts[v] to [v + 1] (array new;
    // shared by copies like the tables). Null when not built.
    std::uint32_t* vertexNeighbours = nullptr;
    std::uint32_t* vertexNeighbourStarts = nullptr;

    BVmesh() = default;
    // Refers to a mesh that lives elsewhere (state 0); nothing is built.
    explicit BVmesh(ZYLmesh* referenced) : state(0), mesh(referenced) {}
    BVmesh(const BVmesh&) = default;
    BVmesh& operator=(const BVmesh&) = default;
    // destroy(), then deletes the mesh when the volume owns it.
    virtual ~BVmesh();

    // Frees the edge table, the vertex records and the clipper. The mesh stays
    // attached and the built flags are left as they are.
    void destroy();

    // Attaches the mesh (state 0) and builds what the options ask for. False, with no
    // mesh held, for a null mesh or a face with more than 32 corners or a vertex index
    // not below the vertex count. A failed connectivity build does not fail init.
    bool init(ZYLmesh* newMesh, std::uint32_t options);
    // As init, but over a new convex hull of the mesh, which the volume owns (state 1):
    // the hull of 512 sampled local positions when the mesh has more than 512
    // vertices, else of all its world positions. The hull's world vertices are copies
    // of its local ones. False, with no mesh held, when the mesh is refused or the
    // hull cannot be made.
    bool copyAprox(ZYLmesh* source, std::uint32_t options);

    // Edge table (BVMESH_EDGES) and vertex lists (BVMESH_VERTICES). False without a
    // mesh, for a mesh with invalid indices, on allocation failure, and when the edge
    // table is asked for and the mesh has no edge. Vertex lists receive entries only
    // when both options are given.
    bool buildConnectivity(std::uint32_t options);
    // Numbers the connected face islands from 1 (building the edge table first when
    // it is missing) and stores their count in the mesh's mesh-group count.
    void labelIslands();
    // Spreads the face's island number over shared edges to every face connected to
    // it that is not yet labelled. Nothing happens without a mesh, an edge table or a
    // face, or when the face itself is not labelled.
    void fillIsland(ZYLface* face);

    // volume = ComputeMassProperties(mesh, mesh's local centre); 0 without a mesh.
    void computeVolume();
    // Mean of the world positions of face i's corners; zero without a mesh or corners.
    Qmt::QmtVector3 computeFaceCenter(std::uint32_t i) const;

    // The mesh's world centre (zero without a mesh); setCenter overwrites it.
    Qmt::QmtVector3 getCenter() const;
    void setCenter(const Qmt::QmtVector3& c);
    // Adds d to the mesh's local centre.
    void translate(const Qmt::QmtVector3& d);
    // Column i of the orientation for i = 0, 1, 2; the zero vector otherwise.
    Qmt::QmtVector3 getAxis(int i) const;
    void setOrientation(const Qmt::QmtMatrix3& m) { orientation = m; }
    // Writes nothing; returns the mesh's vertex count (0 without a mesh).
    std::uint32_t computeVertexes(Qmt::QmtVector3* out) const;

    // The i-th edge and vertex records; no range check.
    connect_edge& getConnectEdges(std::uint32_t i) { return edges[i]; }
    const connect_edge& getConnectEdges(std::uint32_t i) const { return edges[i]; }
    connect_vertex& getConnectVertex(std::uint32_t i) { return vertexRecords[i]; }
    const connect_vertex& getConnectVertex(std::uint32_t i) const { return vertexRecords[i]; }

    // Built-flag accessors; they build and release nothing.
    void enableConnectEdges() { builtFlags |= BVMESH_BUILT_EDGES; }
    void disableConnectEdges() { builtFlags &= ~BVMESH_BUILT_EDGES; }
    bool isConnectEdges() const { return (builtFlags & BVMESH_BUILT_EDGES) != 0; }
    void enableConnectVertex() { builtFlags |= BVMESH_BUILT_VERTICES; }
    void disableConnectVertex() { builtFlags &= ~BVMESH_BUILT_VERTICES; }
    bool isConnectVertex() const { return (builtFlags & BVMESH_BUILT_VERTICES) != 0; }

    // Number of face islands (the mesh's mesh-group count); 0 without a mesh.
    std::uint32_t getNumMeshGroups() const { return mesh ? mesh->numMeshGroups : 0; }

    // A new default mesh owned by the volume (state 1); a mesh owned before is
    // deleted. False, with nothing changed, when the allocation fails.
    bool createMesh();
    // Deletes the mesh when the volume owns it and lets go of it in any case (state -1).
    void deleteMesh();

    // Replaces the clipper by a new one set up for this volume's mesh.
    void initClipper();
    // Clipper::clip on the volume's mesh; 0 when there is no clipper. The point is
    // given in the clipper's scaled space.
    std::int32_t clip(const Qmt::QmtVector3& normal, const Qmt::QmtVector3& point,
                      std::uint32_t flags);

    // meshTransformSRT / meshTransformTRS on the mesh; nothing without a mesh.
    void transformSRT(const Qmt::QmtVector3& T, const Qmt::QmtMatrix3& R,
                      const Qmt::QmtVector3& S);
    void transformTRS(const Qmt::QmtVector3& T, const Qmt::QmtMatrix3& R,
                      const Qmt::QmtVector3& S);

    ZYLmesh* getMesh() const { return mesh; }
    Clipper* getClipper() const { return clipper; }
    std::uint32_t getEdgeCount() const { return numEdges; }
    double getVolume() const { return volume; }
    std::int32_t getOwnership() const { return state; }

    // Mesh surgery after a plane cut (defined with the surgery routines).

    // One new mesh per face island (the faces must be labelled; a face whose island is
    // not in 1..mesh-group count is left out); the caller owns the array of mesh-group
    // count entries and the meshes. Null, with nothing handed over, without a mesh,
    // when the mesh-group count is 0, or on allocation failure.
    ZYLmesh** splitByIslands();
    // Completes a cut made by the clipper (result 0: undoes the clipper's scale,
    // splits faces too long for a ZYLface, rebuilds the local normals) and releases
    // the connectivity and the clipper in every case.
    void finishClip(std::int32_t result);
    // True when the edge table has an edge with a single face.
    bool hasOpenEdge() const;
    // Replaces the mesh by the convex hull of the points, owned by the volume (state 1);
    // a mesh the volume owned before is deleted. The hull is made before the old mesh
    // goes, so the points may be that mesh's own vertices. Nothing is built over the
    // hull, and tables built before are left as they are. False, with the mesh and its
    // state unchanged, for null points or when the hull cannot be made.
    bool setConvexHull(const Qmt::QmtVector3* points, std::uint32_t count);
    // The same; the middle argument is not used.
    bool setConvexHull(const Qmt::QmtVector3* points, std::uint32_t unused, std::uint32_t count);

private:
    // This volume's connectivity fields, for the routines shared with BVDFmesh.
    ConnectivityFields tables() {
        return {numEdges, numVertexRecords, edges, vertexRecords, vertexFacePool, vertexEdgePool};
    }
    // At most 32 corners per face, every vertex index below the vertex count.
    static bool indicesValid(const ZYLmesh& candidate);
    // Lets go of the mesh held now: deletes it when owned, unless it is `keep`.
    void releaseHeldMesh(const ZYLmesh* keep);
    // Holds `fresh`, a mesh made for the volume, as owned (state 1), letting go of the
    // one held before.
    void adoptMesh(ZYLmesh* fresh);
    // The common end of init and copyAprox once the mesh is attached: connectivity
    // (its failure ignored), islands and volume as the options ask.
    void buildAttached(std::uint32_t options);
    // buildConnectivity on a mesh whose indices are known to be valid.
    bool buildTables(std::uint32_t options);
    void buildNeighbours();
    void releaseNeighbours();
};
