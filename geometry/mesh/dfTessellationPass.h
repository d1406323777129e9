#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/mesh/bvDFmesh.h"
#include "math/qmtVector3.h"

// One subdivision pass over the selected faces (FACE_CAP) of a BVDFmesh's mesh: every
// selected n-gon becomes n quads around its centre, and each split edge's midpoint is
// also inserted into the face on its other side. Internal to the tessellation.
//
// The pass first works out every size it needs and allocates all new arrays; only then
// does it touch the mesh, so a failed allocation leaves the mesh as it was.
class DFTessellationPass {
public:
    // keepEdges: carry no corner normals or extra UV sets and edit the volume's edge
    // table in place instead of leaving it to be rebuilt.
    DFTessellationPass(BVDFmesh& volume, bool keepEdges);

    // False when nothing selected has an edge, or when an allocation fails; the mesh is
    // then unchanged (selected faces' spare vectors excepted).
    bool run();

private:
    // One split edge: its new midpoint and the per-side indices of the new corner.
    struct SplitEdge {
        std::uint32_t edge;
        std::uint32_t v0, v1;        // the edge's ends before the split
        std::uint32_t faceA, faceB;
        std::uint32_t vertex;        // the midpoint
        std::uint32_t uv[2];      // side A, side B
        std::uint32_t normal[2];
        std::uint32_t set[MAX_EXTRA_UV_SETS][2];
        std::int16_t dir[2];      // keepEdges: the edge's directions in face A and face B
    };

    // The mesh arrays of the result, allocated before the mesh is changed.
    struct Output {
        std::uint32_t numFaces = 0;
        std::uint32_t numVertices = 0;
        std::uint32_t numUVs = 0;
        std::uint32_t numCornerNormals = 0;
        std::unique_ptr<ZYL_DFface[]> faces;
        std::unique_ptr<Qmt::QmtVector3[]> worldVertices;
        std::unique_ptr<Qmt::QmtVector3[]> vertices;
        std::unique_ptr<Qmt::QmtVector3[]> vertexData;
        std::unique_ptr<Qmt::QmtVector3[]> uvs;
        std::unique_ptr<Qmt::QmtVector3[]> uvSets[MAX_EXTRA_UV_SETS];
        std::unique_ptr<Qmt::QmtVector3[]> cornerNormals;
        std::unique_ptr<Qmt::QmtVector3[]> normals;
        std::unique_ptr<Qmt::QmtVector3[]> worldNormals;
    };

    bool select();
    bool allocateWork();
    void splitEdges();
    void storeFaceAverages(std::uint32_t j, const ZYL_DFface& face);
    void splitEdge(std::uint32_t edgeIndex);
    void resetSplitFlags();
    bool prepareFaces();
    bool allocateOutput();
    void insertMidpoints();
    void insertCorner(std::uint32_t f, const SplitEdge& split, int side);
    void copyUnselectedFaces();
    void buildQuads();
    void commit();

    // Edge-table edits of the keepEdges variant (dfTessellationEdges.cpp).
    bool growEdgeTable();
    void beginEdgeSplit(std::uint32_t splitIndex);
    void openEdgeSlot(std::uint32_t f, std::uint32_t splitIndex, int side);
    void buildSpokes(const ZYL_DFface& face, std::uint32_t centre, std::uint32_t centreUV,
                     std::uint32_t firstQuad, std::uint32_t numQuads);
    void renumberEdgeFaces();
    void finishEdgeTable();

    Qmt::QmtVector3 vertexAt(std::uint32_t i) const;
    Qmt::QmtVector3 uvAt(std::uint32_t i) const;
    Qmt::QmtVector3 cornerNormalAt(std::uint32_t i) const;
    Qmt::QmtVector3 setAt(std::uint32_t s, std::uint32_t i) const;

    BVDFmesh& volume_;
    ZYL_DFmesh& mesh_;
    const bool keepEdges_;

    // Counts at the start of the pass.
    std::uint32_t V_ = 0, N_ = 0, U_ = 0, F_ = 0, E_ = 0;
    bool hasUVs_ = false;
    bool hasNormals_ = false;
    std::uint32_t numSets_ = 0;  // extra UV sets carried by the pass
    std::uint32_t T_ = 0;        // edge slots of the selected faces

    std::vector<std::uint32_t> selected_;     // list order: last selected face first
    std::vector<SplitEdge> splits_;           // in split order
    std::vector<std::uint32_t> insertions_;   // midpoints each face receives
    std::vector<Qmt::QmtVector3> newVertices_;
    std::vector<Qmt::QmtVector3> newUVs_;
    std::vector<Qmt::QmtVector3> newNormals_;
    std::vector<Qmt::QmtVector3> newSetEntries_;  // numSets_ rows of newSetStride_
    std::size_t newSetStride_ = 0;
    std::uint32_t setCounter_ = 0;                // c: next extra-set entry
    std::vector<Qmt::QmtVector3> centreUVs_;      // per selected face
    std::vector<Qmt::QmtVector3> averageNormals_;
    std::vector<Qmt::QmtVector3> setCentres_;     // numSets_ rows of S
    std::uint32_t numQuads_ = 0;
    Output out_;

    // keepEdges only.
    std::vector<std::uint32_t> faceMap_;     // old face -> new index; ABSENT_INDEX if selected
    std::vector<std::uint32_t> firstQuad_;   // per selected face
    std::vector<std::uint32_t> newFaceA_;    // per edge record: quad taking side A, or absent
    std::vector<std::uint32_t> newFaceB_;
    std::uint32_t numSpokes_ = 0;
};
