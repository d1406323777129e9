#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/mesh/connectivity.h"
#include "geometry/mesh/meshRecords.h"
#include "geometry/mesh/pooledList.h"
#include "math/qmtVector3.h"

class BVmesh;
class BVDFmesh;
struct CutLoop;       // one cut loop of the cap builder (geometry/clip/cutLoop.h)
class CutEdgeStore;   // edge records made for cut loops (geometry/clip/cutLoop.h)
struct CornerTables;  // attribute tables of the faces written back (geometry/clip/droppedFaceStitch.h)

// Clip flags: only this bit has a meaning. With it the cut closes the opening with
// cap faces lying in the plane.
inline constexpr std::uint32_t CLIP_BUILD_CAPS = 8;

// Single-use plane cutter of a closed mesh. It keeps the part of the mesh on the side
// into which the plane normal points and, with CLIP_BUILD_CAPS, caps the opening.
//
// Life: the owning volume creates it, sets it up once (init for a BVmesh's ZYLmesh,
// initDF for a BVDFmesh's ZYL_DFmesh), runs one clip / clipDF on that same, unchanged
// mesh and deletes it; the owner's finish step divides the cut mesh's vertices by
// getScale(). A second cut on the same clipper is not supported.
//
// Set-up scales the vertices only; a cut copies the faces and corner attributes when
// its classification shows that the plane really cuts the mesh, so a plane that misses
// costs no more than the classification. The write-back hands the working faces'
// arrays over to a detailed mesh, leaving the working faces empty.
//
// The clipper works on scaled copies of the mesh's world vertices (scale = 80 / the
// first half extent of the mesh's oriented box, or 1). The plane point handed to
// clip / clipDF is NOT scaled here: the caller passes its world point times getScale().
//
// Working data: the vertices (the mesh's, then the cut vertices), the corner normals,
// the UVs and extra UV sets (the mesh's entries, then interpolated ones), ZYL_DFface
// working faces for both mesh kinds (the face's spare vector holds its normal), and
// the connect_edge records of the straddling faces. Every working array grows on
// demand, so a cut never writes past an array's end.
//
// Edge array layout after the cut: [0, edge count) the edges of the straddling faces;
// [edge count, edge total) the boundary of the opening: open edges lying in the plane,
// then the closing edges of the split faces (face B = ABSENT_INDEX).
class Clipper {
public:
    Clipper();
    Clipper(const Clipper&) = delete;
    Clipper& operator=(const Clipper&) = delete;
    // Frees every working array and every diagonal edge record held by the list.
    virtual ~Clipper();

    // Set-up for the volume's mesh; a null volume or a volume without a mesh leaves
    // the clipper untouched. Marks every face of the mesh and every edge record of
    // the volume active.
    void init(BVmesh* volume);
    void initDF(BVDFmesh* volume);

    // Cut the mesh the clipper was set up for by the plane through `point` (scaled
    // space) with `normal` (renormalised only when its squared length lies outside
    // [0.99999, 1.00001]). Results: 1 no vertex below the plane (mesh untouched; also
    // a mesh without vertices or a clipper that cannot work), -1 vertices below and
    // none above (mesh untouched), 0 cut: the mesh holds the kept part, its world
    // vertices still multiplied by getScale().
    std::int32_t clip(ZYLmesh* mesh, const Qmt::QmtVector3& normal, const Qmt::QmtVector3& point,
                      std::uint32_t flags);
    std::int32_t clipDF(ZYL_DFmesh* mesh, const Qmt::QmtVector3& normal,
                        const Qmt::QmtVector3& point, std::uint32_t flags);

    double getScale() const { return m_scale; }

    // ---- Cut phases (clipperCut.cpp) ---------------------------------------------

    // Signed distances of the mesh's vertices; |d| < 1e-5 is stored as exactly 0.
    // 1 none below, 0 some below and some above, -1 below and none above.
    std::int32_t classify(const ZYLmesh* mesh, const Qmt::QmtVector3& n, const Qmt::QmtVector3& p);
    std::int32_t classifyDF(const ZYL_DFmesh* mesh, const Qmt::QmtVector3& n,
                            const Qmt::QmtVector3& p);
    // Alive byte and straddle bit of every working face; the edge records of the
    // straddling faces. False when no face straddles.
    bool buildEdges();
    // Cut vertices on the crossing edges (ZYLmesh: no normals, no UV sets). An edge from
    // a vertex on the plane down below is not cut but goes as if below: its cut vertex
    // would only repeat the on-plane vertex.
    void cutEdges(const ZYLmesh* mesh);
    void cutEdgesDF(const ZYL_DFmesh* mesh);
    // Rebuilds every straddling face from its remaining edges plus closing edges in
    // the plane; pieces of a face cut in several places are appended as new faces.
    // worldFaceNormals (may be null: the faces' spare vectors are used) gives each
    // piece the normal of the face it came from.
    void splitFaces(const Qmt::QmtVector3& n, const Qmt::QmtVector3& p,
                    const Qmt::QmtVector3* worldFaceNormals);
    // The two loose ends (vertices met by one edge of the list) of the temporary edge
    // list of face `faceIndex` with the smallest projections on the cut direction
    // inside the face, with the edges they lie on and their slot codes. False when
    // fewer than two exist or the face has no usable normal.
    bool findLooseEnds(const ZYL_DFface& edgeList, std::uint32_t faceIndex, const Qmt::QmtVector3& n,
                       std::uint32_t& first, std::uint32_t& second, std::uint32_t& firstEdge,
                       std::uint32_t& secondEdge, std::uint32_t& firstSlot,
                       std::uint32_t& secondSlot);

    // ---- Write-back (clipperWriteBack.cpp) ---------------------------------------

    // Replaces the mesh's vertices, UVs (and corner normals, extra UV sets) and faces
    // with the surviving and new ones; drops faces without a usable winding, mending
    // the neighbours of those dropped as degenerate (stitchDroppedFaces), and turns
    // each face to agree with its normal (caps: -n). Every face takes the low byte of
    // the first face's island / piece number. Faces of a ZYLmesh with more than 32
    // corners are fan-split in place, from a corner that leaves every piece an area. A failed allocation leaves the mesh untouched
    // and makes the cut report 1.
    void writeBack(ZYLmesh* mesh, const Qmt::QmtVector3& n, std::uint32_t flags);
    void writeBackDF(ZYL_DFmesh* mesh, const Qmt::QmtVector3& n, std::uint32_t flags);

    // ---- Caps (clipperCaps.cpp, clipperCapSplit.cpp) --------------------------------
    // Called by clip / clipDF with CLIP_BUILD_CAPS between splitFaces and the
    // write-back: chains the closing edges [edge count, edge total) into cut loops
    // (their records are rewritten: ends swapped into loop order, face B := the record's
    // own index, active := 1), bridges holes into the loops around them and appends
    // the cap faces at the face count. Each cap face takes one cap normal (-n).

    void buildCaps(const Qmt::QmtVector3& n);
    // Merges every loop lying inside another loop into it as a hole and deletes it.
    void pairCutLoops(PooledList<CutLoop*>& loops, const Qmt::QmtVector3& n);
    // The backward walk has met one of the loop's own vertices: the loop is closed
    // there, its tail beyond the junction goes back to the front of the pool.
    void closeLoopAtJunction(CutLoop* loop, connect_edge* edge, connect_edge*& startEdge,
                             PooledList<connect_edge*>& pool);
    // Removes degenerate edges and spikes (corners folding back on a line).
    void dropDegenerateEdges(CutLoop* loop, std::uint32_t& count);
    // True when the loop turns both ways about n.
    bool isCutLoopNonConvex(const CutLoop* loop, std::uint32_t count, const Qmt::QmtVector3& n) const;
    // The normal about which the loop winds clockwise (its convex corners turn 1 by
    // classifyEdgeTurn): n, -n, or zero when no corner decides it.
    Qmt::QmtVector3 cutLoopOrientation(const CutLoop* loop, std::uint32_t count,
                                       const Qmt::QmtVector3& n) const;
    // Splits a loop winding clockwise about m along diagonals until the pieces are
    // convex or small and caps each; a loop no diagonal can split is capped whole.
    // False when a split could not be made (memory, or a chain broken at its end).
    bool splitNonConvexLoop(CutLoop* loop, std::uint32_t& count, const Qmt::QmtVector3& m,
                            std::uint32_t depth);
    // Positions of the loop's vertices; returns how many were written (at most the
    // loop's edge count).
    std::uint32_t collectLoopPoints(const CutLoop* loop, Qmt::QmtVector3* out) const;
    // One cap face over the loop's vertices; takes a cap normal slot storing -normal
    // whenever the loop has a vertex.
    void makeCapFace(const CutLoop* loop, std::uint32_t count, const Qmt::QmtVector3& normal);
    // The same over the given corners and their UV indices.
    void appendCapFace(const std::vector<std::uint32_t>& vertices, const std::vector<std::uint32_t>& uvs,
                       const Qmt::QmtVector3& normal);
    // Members of the same family that the cut itself does not call.
    void makeCapFaceFan(const CutLoop* loop, std::uint32_t count);
    void countLoopTurns(const CutLoop* loop, std::uint32_t count, Qmt::QmtVector3& n,
                        std::uint32_t& positives, std::uint32_t& negatives) const;
    bool checkDiagonalTurn(const connect_edge& edge, const PooledList<connect_edge*>::Node* node,
                           const CutLoop* loop, const Qmt::QmtVector3& n) const;
    bool segmentCrossesLoop(const connect_edge& edge, const CutLoop* loop) const;
    bool splitNonConvexLoopByDiagonal(CutLoop* loop, std::uint32_t& count, const Qmt::QmtVector3& m);

    // ---- Read access ------------------------------------------------------------------

    const Qmt::QmtVector3& getPlaneNormal() const { return m_planeNormal; }
    std::uint32_t getVertexCount() const { return m_vertexCount; }
    const Qmt::QmtVector3* getVertices() const { return m_vertices; }
    std::uint32_t getNormalCount() const { return m_normalCount; }
    const Qmt::QmtVector3* getNormals() const { return m_normals; }
    std::uint32_t getUVCount() const { return m_uvCount; }
    const Qmt::QmtVector3* getUVs() const { return m_uvs; }
    const double* getDistances() const { return m_distances; }
    const std::uint8_t* getKeepFlags() const { return m_keep; }
    std::uint32_t getEdgeCount() const { return m_edgeCount; }
    std::uint32_t getEdgeTotal() const { return m_edgeTotal; }
    const connect_edge* getEdges() const { return m_edges; }
    const std::uint32_t* getVertexRemap() const { return m_vertexRemap; }
    std::uint32_t getFaceCount() const { return m_faceCount; }
    std::uint32_t getSplitFaceCount() const { return m_splitFaceCount; }
    const ZYL_DFface* getFaces() const { return m_faces; }
    std::uint32_t getDiagonalCount() const { return m_diagonalCount; }

private:
    // Set-up shared by both mesh kinds: scale and scaled vertices. The faces and corner
    // attributes are taken from the mesh by the cut itself, once the classification
    // shows that the plane does cut it.
    void setUp(const Qmt::QmtVector3* worldVertices, std::uint32_t V, std::uint32_t F, bool hasUVs);
    bool loadFaces(const ZYLmesh* mesh, ZYL_DFmesh* dfMesh);
    // Corner normals, UVs and extra UV sets with `room` spare entries each.
    bool loadAttributes(const ZYLmesh* mesh, const ZYL_DFmesh* dfMesh, std::uint32_t room);
    // A detailed mesh's faces are moved into the working faces rather than copied, as
    // the write-back replaces them anyway. What the cut changes in them is journalled
    // so that a cut that gives up can hand the mesh its faces back unchanged.
    void journalStraddlingFace(std::uint32_t f);
    void returnBorrowedFaces();
    void releaseArrays();
    // init / initDF on a volume with a mesh: marks every edge active and every face
    // surviving (the face's `survives` byte), then sets up over the world vertices.
    template <class Volume, class Face>
    void setUpVolume(Volume& volume, std::uint8_t Face::*survives);
    std::int32_t runCut(ZYLmesh* mesh, ZYL_DFmesh* dfMesh, const Qmt::QmtVector3& normal,
                        const Qmt::QmtVector3& point, std::uint32_t flags);
    std::int32_t classifyVertices(std::uint32_t V, const Qmt::QmtVector3& n, const Qmt::QmtVector3& p);
    void cutEdgesImpl(std::uint32_t V, bool detailed, bool uvSets);
    // Old working-vertex index -> new mesh index (kept vertices in order, then every cut
    // vertex); returns the new vertex count, ABSENT_INDEX when memory runs out.
    std::uint32_t buildVertexRemap();
    // Writes the kept and cut working vertices to their new places in world (still
    // scaled) and their local counterparts under the mesh placement (Rt = Rᵀ, T, S)
    // to local; returns the mean of the new world vertices.
    Qmt::QmtVector3 placeKeptVertices(Qmt::QmtVector3* world, Qmt::QmtVector3* local, std::uint32_t newCount,
                                      const Qmt::QmtMatrix3& Rt, const Qmt::QmtVector3& T,
                                      const Qmt::QmtVector3& S) const;
    // Remaps the alive working face's vertex indices. Degenerate: the face is dropped as
    // its corners collapse to a line or a point for its size (its vertices stay remapped
    // for the stitch of its neighbours); Dropped: gone for another reason (no valid first
    // corner, or merged down to an edge). `facing` is the normal about which a written
    // face winds counter-clockwise.
    enum class FaceFate { Written, Degenerate, Dropped };
    FaceFate prepareFaceForWrite(ZYL_DFface& face, const Qmt::QmtVector3* world, std::uint32_t newCount,
                                 Qmt::QmtVector3& facing) const;
    // Prepares every alive working face; `kept` lists the faces to write, in index
    // order. The corners of faces dropped as degenerate are stitched into the kept faces
    // whose edges ran along them (stitchDroppedFaces), their attributes appended to
    // `tables`.
    struct PreparedFace {
        std::uint32_t face;
        Qmt::QmtVector3 facing;
    };
    void prepareFacesForWrite(const Qmt::QmtVector3* world, std::uint32_t newCount, const CornerTables& tables,
                              std::vector<PreparedFace>& kept);
    // Cap builder steps. A loop's records are the clipper's closing edges and records
    // of `store`; no edge array growth happens while loops point into it.
    CutLoop* buildCutLoop(PooledList<connect_edge*>& pool, CutEdgeStore& store);
    void capCutLoop(CutLoop* loop, const Qmt::QmtVector3& n);
    // Records the merge of a short two-edge loop's ends (see clipperCaps.cpp).
    void mergeSpikeEnds(const CutLoop* loop);
    // Loop corners in order (the v1 of each edge meeting the next one) with, when the
    // clipper has UVs, the face-A UV index of that v1.
    std::uint32_t gatherLoopCorners(const CutLoop* loop, std::vector<std::uint32_t>& vertices,
                                    std::vector<std::uint32_t>& uvs) const;
    // The loop vertex deepest inside the pockets between the loop and its convex hull
    // about m; false when the hull has fewer than two corners.
    bool findDeepestLoopVertex(const CutLoop* loop, const Qmt::QmtVector3& m, bool dropRepeats,
                               Qmt::QmtVector3& deepest) const;
    // Cuts the loop along the diagonal from the end of `corner`'s edge to vertex `to`:
    // the run after that edge up to the first edge ending at `to`, closed by the
    // reversed diagonal, becomes a second loop; both are capped or split further.
    bool cutAlongDiagonal(CutLoop* loop, std::uint32_t& count, PooledList<connect_edge*>::Node* corner,
                          std::uint32_t to, const Qmt::QmtVector3& m, std::uint32_t depth);
    // Links a record into a loop's list; false (and the cut gives up) when no list node
    // could be had.
    bool linkFront(CutLoop* loop, connect_edge* edge);

    struct SplitScratch;  // per-call working storage of splitFaces
    void splitFace(std::uint32_t f, const Qmt::QmtVector3& n, const Qmt::QmtVector3& faceNormal,
                   SplitScratch& scratch, std::uint32_t& added);

    // Capacity growth; every working array may grow while a cut runs (the cap builder
    // appends faces and cap normals too). The per-vertex arrays (use counters,
    // distances, keep flags) grow with the vertex array. False when memory runs out;
    // the cut then gives up before the mesh is changed. Growing moves the records:
    // pointers into the edge array (the cap builder's loops) must not outlive a
    // reserveEdges, nor references to working faces a reserveFaces.
    bool reserveVertices(std::uint32_t needed);
    bool reserveNormals(std::uint32_t needed);
    bool reserveUVs(std::uint32_t needed);
    bool reserveFaces(std::uint32_t needed);
    bool reserveEdges(std::uint32_t needed);
    // Appends a vertex / corner normal and returns its index, ABSENT_INDEX when the
    // array cannot grow. Without a normal array addNormal only counts the index (a cap
    // normal of a mesh without corner normals).
    std::uint32_t addVertex(const Qmt::QmtVector3& v);
    std::uint32_t addNormal(const Qmt::QmtVector3& v);

    Qmt::QmtVector3 m_planeNormal;  // stored by clipDF only

    std::uint32_t m_vertexCount = 0;        // the mesh's vertices, then the cut vertices
    Qmt::QmtVector3* m_vertices = nullptr;  // scaled

    std::uint32_t m_normalCapacity = 0;
    std::uint32_t m_normalCount = 0;       // 0 when the mesh has no corner normals
    Qmt::QmtVector3* m_normals = nullptr;  // unscaled

    std::uint32_t m_uvCount = 0;
    Qmt::QmtVector3* m_uvs = nullptr;  // absent when the mesh has no UVs
    Qmt::QmtVector3* m_uvSets[MAX_EXTRA_UV_SETS] = {};  // parallel to m_uvs
    std::uint32_t m_extraUVSets = 0;                    // extra sets in use
    std::uint32_t m_uvCapacity = 0;

    std::uint32_t m_perVertexSize = 0;       // capacity of the vertex and per-vertex arrays
    std::uint32_t* m_useCounts = nullptr;    // scratch: loop edge ends touching each vertex
    double* m_distances = nullptr;           // signed distance from the plane
    std::uint8_t* m_keep = nullptr;          // 1 = the vertex survives the cut

    std::uint32_t m_edgeCount = 0;     // edges of the straddling faces, less those in the plane
    std::uint32_t m_edgeTotal = 0;     // then in-plane open edges, then closing edges
    std::uint32_t m_edgeCapacity = 0;
    connect_edge* m_edges = nullptr;

    std::uint32_t* m_vertexRemap = nullptr;  // working vertex -> new mesh index (write-back)
    // Vertices a cap loop dropped with a too-short edge, each with the vertex the loop
    // went on from instead: the write-back merges them so that the faces beside the cap
    // lose that corner too.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_capMerges;

    std::uint32_t m_faceCount = 0;
    std::uint32_t m_splitFaceCount = 0;  // faces at or above this index are caps
    std::uint32_t m_faceCapacity = 0;
    ZYL_DFface* m_faces = nullptr;

    std::uint32_t m_diagonalCount = 0;           // diagonal edge records made by the caps
    PooledList<connect_edge*> m_diagonals;       // deleted by the destructor

    double m_scale = 1.0;

    std::uint32_t m_meshVertexCount = 0;  // V at set-up: the mesh's own vertices
    std::uint32_t m_meshFaceCount = 0;    // F at set-up
    bool m_hasUVs = false;                // the mesh has UVs: the edges carry UV indices
    bool m_failed = false;                // an array could not grow during the cut
    std::uint16_t m_firstFaceWord = 0;    // island / piece number of the mesh's first face

    struct FaceJournal {
        std::uint32_t numEdges = 0;
        Qmt::QmtVector3 spare;
        std::uint8_t alive = 0;
        ZYL_DFface* original = nullptr;  // copy of a face the split rebuilds
    };
    ZYL_DFmesh* m_borrowedMesh = nullptr;  // whose faces the working faces hold
    std::vector<FaceJournal> m_journal;
};

// ---- Face-record conversions and small helpers (clipperWriteBack.cpp) ---------------

// ZYLface -> working face: one UV set, max(vertex count, edge count) entries; edges,
// vertex and UV indices, flags, island -> piece, extra -> material. Normal indices
// are set to ABSENT_INDEX (a ZYLface has none).
void faceToWorkingFace(const ZYLface& source, ZYL_DFface& destination);
// Working face -> ZYLface in the same / the reversed winding: edges, vertex and UV
// indices, flags, piece -> island, material -> extra. At most 32 entries of each are
// written; longer faces must be split first.
void workingFaceToFace(const ZYL_DFface& source, ZYLface& destination);
void workingFaceToFaceReversed(const ZYL_DFface& source, ZYLface& destination);
// ZYLface -> ZYLface with edges, vertices and UV indices reversed (entry k -> count-1-k).
void reverseFace(const ZYLface& source, ZYLface& destination);
// Working face -> working face reversed, corner normals and extra UV sets included;
// also copies flags, piece, material and the UV-set count.
void reverseWorkingFace(const ZYL_DFface& source, ZYL_DFface& destination);

// Squared distance from q to the segment a..b; t receives the clamped parameter of
// the closest point. A segment shorter than sqrt(1e-5) counts as its point a (t = 0).
double distanceSqToSegment(const Qmt::QmtVector3& q, const Qmt::QmtVector3& a,
                           const Qmt::QmtVector3& b, double& t);

// True when the corner e0 -> e1 -> g1 of the clipper's working vertices folds back:
// the three points lie on a line and e1 is not strictly between e0 and g1.
bool edgesFoldBack(const Clipper& clipper, const std::uint32_t e[2], const std::uint32_t g[2]);

// Fills the box: centre, axis matrix from nine row-major doubles, half extents.
// Writes exactly the record's fifteen doubles and nothing past them.
ZYLbox* makeOrientedBox(ZYLbox* box, const double axes[9], const Qmt::QmtVector3& centre,
                        const Qmt::QmtVector3& halfExtents);
