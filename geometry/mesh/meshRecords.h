#pragma once

#include <cstdint>

#include "geometry/mesh/connectivity.h"
#include "geometry/mesh/pooledList.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"
#include "math/quaternion.h"

// The engine's mesh records: plain structures with public fields that the geometric
// code, the bodies and the host layer read and write directly. A record owns every
// array it points to (array new / array delete); a ZYL_DFface owns its index arrays.
// Copies of ZYLmesh and ZYL_DFmesh are shallow on purpose.

// Face flag word, shared by ZYLface and ZYL_DFface.
inline constexpr std::uint16_t FACE_CAP = 1;         // cap face; also "selected" for tessellation
inline constexpr std::uint16_t FACE_STRADDLING = 2;  // straddles the current cutting plane
inline constexpr std::uint16_t FACE_UV_SETS = 4;     // owns extra UV-set index arrays
inline constexpr std::uint16_t FACE_CUT = 8;         // cut face read from the host's blind data
inline constexpr std::uint16_t FACE_SPLIT = 16;      // made by the face splitter

// ZYL_DFmesh::flags: the mesh carries extra UV-set arrays.
inline constexpr std::uint16_t MESH_UV_SETS = 4;

inline constexpr std::uint32_t ZYLFACE_MAX_CORNERS = 32;
inline constexpr std::uint32_t MAX_UV_SETS = 9;        // set 1 plus up to eight extra
inline constexpr std::uint32_t MAX_EXTRA_UV_SETS = 8;  // sets 2..9

// Fixed-size face of a ZYLmesh; 400 bytes. A default record is all zero.
struct ZYLface {
    std::uint32_t numVertices = 0;                     // corners in use, at most 32
    std::uint32_t vertices[ZYLFACE_MAX_CORNERS] = {};  // vertex indices in winding order
    std::uint32_t uvs[ZYLFACE_MAX_CORNERS] = {};       // UV index per corner
    std::uint32_t numEdges = 0;                        // entries in use in edges
    std::uint32_t edges[ZYLFACE_MAX_CORNERS] = {};     // into the volume's connect_edge table;
                                                       // slot k = corner k to corner k+1
    std::uint8_t marker = 0;   // 1 = survives the current cut, 0 = wholly below it
    std::uint16_t flags = 0;   // face flag word
    std::uint16_t island = 0;  // connected-piece number from 1; 0 = not labelled
    std::uint16_t extra = 0;   // carried along; maps to ZYL_DFface::material
};

static_assert(sizeof(ZYLface) == 400);

// Compact mesh of bodies, collision volumes and hulls.
struct ZYLmesh {
    std::uint32_t numFaces = 0;
    ZYLface* faces = nullptr;
    std::uint32_t numVertices = 0;
    std::uint32_t numUVs = 0;
    Qmt::QmtVector3* vertices = nullptr;          // local positions [numVertices]
    Qmt::QmtVector3* worldVertices = nullptr;     // [numVertices]
    Qmt::QmtVector3* uvs = nullptr;               // [numUVs], u and v in x and y
    Qmt::QmtVector3* normals = nullptr;           // local face normals [numFaces]
    Qmt::QmtVector3* worldNormals = nullptr;      // [numFaces]
    Qmt::QmtVector3* vertexVelocities = nullptr;  // per-vertex velocities of a deforming mesh
    std::uint8_t velocityFlag = 0;                // 1 = vertexVelocities are meaningful
    Qmt::QmtVector3 centre;
    Qmt::QmtVector3 worldCentre;
    double radius = 0.0;
    double worldRadius = 0.0;
    Qmt::QmtMatrix3 rotation = Qmt::QmtMatrix3::IDENTITY;
    Qmt::QmtVector3 translation;
    Qmt::QmtVector3 scale{1.0, 1.0, 1.0};
    std::uint32_t numMeshGroups = 0;  // connected face islands, written by island labelling
    std::uint16_t reserved = 0;

    ZYLmesh() = default;
    // Shallow: both records then share the arrays; one of them must give up its
    // pointers before the other is destroyed.
    ZYLmesh(const ZYLmesh&) = default;
    ZYLmesh& operator=(const ZYLmesh&) = default;
    ~ZYLmesh() { release(); }

    // Frees every array and nulls its pointer; counts are left as they are.
    void release();
};

// Variable-size face of a ZYL_DFmesh, the Clipper's working face and the element of a
// ZYL_DMesh face list. Not copyable: faces are copied with copyDFmeshFace.
struct ZYL_DFface {
    std::uint32_t numVertices = 0;   // corners in use
    std::uint32_t capacity = 0;      // length of each per-corner index array
    std::uint32_t* vertices = nullptr;
    std::uint32_t* normals = nullptr;  // corner-normal index per corner
    std::uint32_t* uvs = nullptr;      // UV set 1 index per corner
    std::uint32_t* uvSets[MAX_EXTRA_UV_SETS] = {};  // sets 2..9; the first numUVSets-1 exist
    std::uint32_t numEdges = 0;
    std::uint32_t edgeCapacity = 0;
    std::uint32_t* edges = nullptr;    // into the edge table of the volume or Clipper
    Qmt::QmtVector3 spare;             // scratch: face normal while clipped, centre while tessellated
    std::uint8_t alive = 0;            // as ZYLface::marker
    std::uint16_t flags = 0;           // face flag word
    std::uint16_t piece = 0;           // piece number from 1; 0 = not labelled
    std::uint8_t material = 0;         // host shading-group index; maps to ZYLface::extra
    std::uint8_t numUVSets = 0;        // UV sets carried (1..9; 0 on a default face)

    ZYL_DFface() = default;
    // Arrays for n corners and n edges; k >= 2 adds k-1 extra UV-set arrays and sets
    // FACE_UV_SETS. k is clamped to 9. Alive is 1.
    ZYL_DFface(std::uint32_t n, std::uint32_t k);
    ZYL_DFface(const ZYL_DFface&) = delete;
    ZYL_DFface& operator=(const ZYL_DFface&) = delete;
    ~ZYL_DFface() { release(); }

    // (Re)allocates for n corners and k UV sets (k clamped to 9); old indices are
    // dropped. n = 0 does nothing. FACE_UV_SETS is set for k > 1 and never cleared.
    // If an array cannot be allocated the face is left with no arrays and capacity 0.
    void allocate(std::uint32_t n, std::uint32_t k);

    // Changes the capacity to n keeping the contents: the first numVertices vertex,
    // normal, UV and extra UV-set indices and the first numEdges edge indices (arrays
    // the face lacks are created). k UV sets (clamped to 9; FACE_UV_SETS set for k > 1,
    // sets past k - 1 are freed). n is raised to the vertex and edge counts so nothing
    // is lost. If an array cannot be allocated the face is left unchanged.
    void resize(std::uint32_t n, std::uint32_t k);

    // Frees every index array, nulls its pointer and zeroes the counts and capacities.
    void release();
};

// Detailed mesh read from the host; the mesh that is cut, shattered and tessellated.
struct ZYL_DFmesh {
    std::uint32_t numFaces = 0;
    ZYL_DFface* faces = nullptr;                  // array new, each face destroyed with it
    std::uint32_t numVertices = 0;
    Qmt::QmtVector3* vertices = nullptr;          // local positions [numVertices]
    Qmt::QmtVector3* worldVertices = nullptr;
    Qmt::QmtVector3* normals = nullptr;           // local face normals [numFaces]
    Qmt::QmtVector3* worldNormals = nullptr;
    std::uint32_t numUVs = 0;
    Qmt::QmtVector3* uvs = nullptr;               // UV set 1 [numUVs]
    Qmt::QmtVector3* uvSets[MAX_EXTRA_UV_SETS] = {};  // sets 2..9 [numUVs each]
    std::uint32_t numCornerNormals = 0;
    Qmt::QmtVector3* cornerNormals = nullptr;     // indexed by the faces' normal indices
    Qmt::QmtVector3* vertexData = nullptr;        // per-vertex vectors kept for the host layer
    std::uint8_t auxFlag = 0;
    Qmt::QmtVector3 centre;
    Qmt::QmtVector3 worldCentre;
    double radius = 0.0;
    double worldRadius = 0.0;
    Qmt::QmtMatrix3 rotation = Qmt::QmtMatrix3::IDENTITY;
    Qmt::QmtVector3 translation;
    Qmt::QmtVector3 scale{1.0, 1.0, 1.0};
    std::uint32_t numPieces = 0;   // connected pieces, written by piece labelling
    std::uint32_t numUVSets = 0;
    std::uint16_t shardId = 0;
    std::uint16_t flags = 0;       // MESH_UV_SETS when made with more than one UV set

    ZYL_DFmesh() = default;
    // Shallow, with the same rule as ZYLmesh.
    ZYL_DFmesh(const ZYL_DFmesh&) = default;
    ZYL_DFmesh& operator=(const ZYL_DFmesh&) = default;
    ~ZYL_DFmesh() { release(); }

    // Frees every array (destroying the faces) and nulls its pointer; zeroes the
    // vertex, UV, corner-normal and UV-set counts, shardId and flags. The face count
    // is left as it is.
    void release();
};

// Editable form of a ZYL_DFmesh. Owns its list nodes, never the faces its face list
// points to.
struct ZYL_DMesh {
    PooledList<ZYL_DFface*> faces;
    PooledList<Qmt::QmtVector3> vertices;       // local positions
    PooledList<Qmt::QmtVector3> worldVertices;  // world positions
    PooledList<Qmt::QmtVector3> uvs;
    PooledList<Qmt::QmtVector3> uvSets[MAX_EXTRA_UV_SETS];
    PooledList<Qmt::QmtVector3> normals;        // local face normals
    PooledList<Qmt::QmtVector3> worldNormals;
    Qmt::QmtVector3 centre;
    Qmt::QmtVector3 worldCentre;
    double radius = 0.0;
    double worldRadius = 0.0;
    Qmt::QmtMatrix3 rotation;  // zero, as are translation and scale
    Qmt::QmtVector3 translation;
    Qmt::QmtVector3 scale;
    std::uint32_t numPieces = 0;
    std::uint32_t numUVSets = 0;
    std::uint16_t shardId = 0;
    std::uint16_t flags = 0;

    ZYL_DMesh() = default;
    // Lists in the mesh's index order; the face list points at the mesh's faces. A
    // null mesh gives an empty record.
    explicit ZYL_DMesh(const ZYL_DFmesh* mesh);
    ZYL_DMesh(const ZYL_DMesh&) = default;
    ZYL_DMesh& operator=(const ZYL_DMesh&) = default;
    ~ZYL_DMesh() = default;
};

// Placement record kept inside every rigid body.
struct BodyTransformRecord {
    std::int32_t index = -1;  // a filed body's index is set through HardBody::setIndex
    char name[256] = {};
    Qmt::QmtVector3 centreOffset;  // local box / sphere centre from the reference point, unscaled
    Qmt::QmtMatrix3 localAxes = Qmt::QmtMatrix3::IDENTITY;
    Qmt::Quaternion localOrientation{1.0, 0.0, 0.0, 0.0};
    Qmt::QmtVector3 boxSize;       // full side lengths of the local box, unscaled
    double unscaledRadius = 0.0;
    double radius = 0.0;           // bounding-sphere radius with the scale
    Qmt::QmtVector3 worldCentre;
    Qmt::QmtVector3 scale{1.0, 1.0, 1.0};
    std::uint32_t tail = 0;

    // localAxes := m (a rotation) and localOrientation := its quaternion, so the two
    // always describe the same frame.
    void setRotation(const Qmt::QmtMatrix3& m);
};

// Extra UV sets (sets 2..9) that go with a UV-set count: none below two, and never
// more than the eight slots.
constexpr std::uint32_t extraUVSetCount(std::uint32_t uvSetCount) {
    return uvSetCount >= 2 ? (uvSetCount < MAX_UV_SETS ? uvSetCount : MAX_UV_SETS) - 1 : 0;
}

// Extra UV-set index arrays a face carries: flag FACE_UV_SETS and two or more sets.
inline std::uint32_t faceExtraUVSets(const ZYL_DFface& face) {
    return (face.flags & FACE_UV_SETS) ? extraUVSetCount(face.numUVSets) : 0;
}

// Extra UV-set arrays a detailed (or editable) mesh carries: flag MESH_UV_SETS and
// two or more sets.
template <class Mesh>
std::uint32_t meshExtraUVSets(const Mesh& mesh) {
    return (mesh.flags & MESH_UV_SETS) ? extraUVSetCount(mesh.numUVSets) : 0;
}

// Copies source into destination: allocates max(vertex count, edge count) entries with
// the source's UV-set count, then copies edges, vertex, normal and UV indices, the
// extra UV-set indices (flag FACE_UV_SETS and two or more sets), flags, UV-set count,
// vertex count, piece and material. The spare vector and alive byte are not copied.
void copyDFmeshFace(const ZYL_DFface& source, ZYL_DFface& destination);

// Moves the source's arrays and fields (spare vector and alive byte included) into the
// destination, whose own arrays are freed, and leaves the source empty.
void moveDFmeshFace(ZYL_DFface& source, ZYL_DFface& destination);

// Mean of points[0..n-1]; zero for n = 0.
Qmt::QmtVector3 computeFaceCenter(const Qmt::QmtVector3* points, std::uint32_t n);
