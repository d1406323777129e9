#include "src/meshWriter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "geometry/testMeshes.h"
#include "moduleTestSupport.h"

namespace {

using Qmt::QmtVector3;

class MeshWriterTest : public zyltest::ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        // The writers take the cut-face type as made on first use by its owners.
        MStringArray l, s, f;
        l.append(cutFace::kLongName);
        s.append(cutFace::kShortName);
        f.append(cutFace::kDataType);
        ASSERT_TRUE(MFnMesh().createBlindDataType(cutFace::kBlindDataId, l, s, f));
    }
    static std::string mel(const std::string& text) {
        host::Result r;
        EXPECT_TRUE(rt().mel().run(text, false, &r)) << text;
        return host::resultText(r);
    }
};

// " mesh.f[i]" per polygon i: the face items of the module's MEL.
std::string faceItems(const std::string& mesh, std::initializer_list<int> polygons) {
    std::string out;
    for (const int i : polygons) out += " " + mesh + ".f[" + std::to_string(i) + "]";
    return out;
}

std::unique_ptr<ZYL_DFmesh> cube(const QmtVector3& origin = {}, double size = 1.0,
                                 const meshtest::DFOptions& options = {}) {
    return meshtest::makeDFMesh(meshtest::cube(size, origin), options);
}

TEST_F(MeshWriterTest, CreateModesAndRefusals) {
    const auto mesh = cube({1.0, 2.0, 3.0});
    MStatus status;
    MFnMesh fn;
    MObject target;
    ASSERT_TRUE(createMeshFromDFmesh(status, mesh.get(), fn, MStringArray(), &target));
    ASSERT_TRUE(target.hasFn(MFn::kTransform));
    EXPECT_EQ(fn.numPolygons(), 6);
    MPoint p;
    fn.getPoint(6, p);
    EXPECT_EQ(p.x, 2.0);
    EXPECT_EQ(p.z, 4.0);

    // Under a given transform, and in place.
    MFnMesh under;
    MObject parent = target;
    ASSERT_TRUE(createMeshFromDFmesh(status, cube({}, 2.0).get(), under, MStringArray(), &parent));
    EXPECT_TRUE(parent == target);
    EXPECT_EQ(MFnDagNode(target).childCount(), 2u);
    const auto tetra = meshtest::makeDFMesh(meshtest::tetrahedron());
    ASSERT_TRUE(createMeshFromDFmesh(status, tetra.get(), under, MStringArray(), nullptr));
    EXPECT_EQ(under.numPolygons(), 4);

    // Into mesh data: no path to ask about UV sets, which is no failure (and no UVs here).
    MObject data = MFnMeshData().create();
    MFnMesh dataFn;
    EXPECT_TRUE(createMeshFromDFmesh(status, mesh.get(), dataFn, MStringArray(), &data));
    EXPECT_TRUE(status);
    EXPECT_EQ(MFnMesh(data).numPolygons(), 6);

    // Too few points: refused before the host is asked for anything.
    meshtest::Shape fiveFaces = meshtest::tetrahedron();
    fiveFaces.faces.push_back({0, 1, 2});
    auto four = meshtest::makeDFMesh(fiveFaces);
    auto three = meshtest::makeDFMesh({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}});
    const std::size_t nodes = rt().scene.nodeIds().size();
    for (const ZYL_DFmesh* refused : std::initializer_list<const ZYL_DFmesh*>{four.get(), three.get(), nullptr}) {
        MObject none;
        MFnMesh other;
        EXPECT_EQ(createMeshFromDFmesh(status, refused, other, MStringArray(), &none), MS::kFailure);
        EXPECT_EQ(status, MS::kFailure);
        EXPECT_TRUE(none.isNull());
    }
    EXPECT_EQ(rt().scene.nodeIds().size(), nodes);
}

TEST_F(MeshWriterTest, IndicesOutsideTheirTablesAndCornerNormals) {
    auto mesh = cube({}, 1.0, {1, true, [](std::uint32_t, const QmtVector3& p, std::uint32_t) { return p; }});
    mesh->faces[0].vertices[1] = 99;    // reads vertex 0
    mesh->faces[1].uvs[2] = 1000;        // reads UV 0
    mesh->faces[2].normals[0] = 6;       // names no corner normal: left to the host
    mesh->cornerNormals[1] = {0.0, 0.0, 2.0};
    MStatus status;
    MFnMesh fn;
    MObject target;
    ASSERT_TRUE(createMeshFromDFmesh(status, mesh.get(), fn, MStringArray(), &target));
    MIntArray corners;
    fn.getPolygonVertices(0, corners);
    EXPECT_EQ(corners[1], 0);
    int uv = -1;
    fn.getPolygonUVid(1, 2, uv);
    EXPECT_EQ(uv, 0);
    EXPECT_TRUE(fn.isNormalLocked(0));
    EXPECT_FALSE(fn.isNormalLocked(8));
    EXPECT_TRUE(fn.isNormalLocked(9));
    MFloatVectorArray normals;
    fn.getNormals(normals);
    EXPECT_FLOAT_EQ(normals[4].z, 2.0f);  // face 1's corners carry corner normal 1
}

TEST_F(MeshWriterTest, UVSetsByName) {
    const auto uv = [](std::uint32_t, const QmtVector3& p, std::uint32_t set) {
        return QmtVector3(p.x + set, p.y, 0.0);
    };
    struct Case {
        std::uint32_t engineSets;
        std::vector<std::string> names;
    };
    const Case cases[] = {{1, {"base"}}, {3, {"base", "detail", "decal"}},
                          {8, {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}}};
    for (const Case& c : cases) {
        const auto mesh = cube({}, 1.0, {c.engineSets, false, uv});
        MStringArray names;
        for (const auto& n : c.names) names.append(MString(n));
        MStatus status;
        MFnMesh fn;
        MObject target;
        ASSERT_TRUE(createMeshFromDFmesh(status, mesh.get(), fn, names, &target)) << c.names.size();
        MStringArray made;
        fn.getUVSetNames(made);
        // One set per name; names past the eighth get no data.
        ASSERT_EQ(made.length(), names.length());
        for (unsigned s = 0; s < names.length(); ++s) {
            EXPECT_EQ(made[s], names[s]);
            MFloatArray u, v;
            fn.getUVs(u, v, &names[s]);
            EXPECT_EQ(u.length(), s < c.engineSets ? mesh->numUVs : 0u) << s;
            if (s < c.engineSets) {
                EXPECT_EQ(u[5], float(mesh->uvs[5].x + s));
            }
        }
    }
}

TEST_F(MeshWriterTest, ShardsAreTaggedNamedShadedAndCentred) {
    mel("sets -renderable true -empty -name rockSG");
    mel("sets -renderable true -empty -name mossSG");
    mel("sets -renderable true -empty -name cutSG");
    MObjectArray none, one, two;
    one.append(node("rockSG"));
    two.append(node("rockSG"));
    two.append(node("mossSG"));
    const MStringArray links[8];

    auto cell = cube({2.0, 0.0, 0.0}, 2.0);
    cell->shardId = 7;
    const std::uint16_t flags[6] = {FACE_CAP, FACE_CUT, FACE_CAP | FACE_CUT, 0, 0, 0};
    for (int f = 0; f < 6; ++f) cell->faces[f].flags = flags[f];
    cell->faces[4].material = 1;
    cell->faces[5].material = 255;  // no group: takes the main one

    using Lines = std::vector<std::string>;
    struct Case {
        bool cutMaterial;
        const MObjectArray* groups;
        std::vector<std::string> expected;
        Lines (*sets)(const std::string& shard);  // the shading MEL
    };
    const Case cases[] = {
        {true, &none, {"cutSG", "cutSG", "cutSG", "initialShadingGroup", "initialShadingGroup", "initialShadingGroup"},
         [](const std::string& s) -> Lines {
             return {"sets -e -fe initialShadingGroup" + faceItems(s, {3, 4, 5}),
                     "sets -e -fe cutSG" + faceItems(s, {0, 1, 2})};
         }},
        {true, &one, {"cutSG", "cutSG", "cutSG", "rockSG", "rockSG", "rockSG"},
         [](const std::string& s) -> Lines {
             return {"sets -e -fe rockSG" + faceItems(s, {3, 4, 5}), "sets -e -fe cutSG" + faceItems(s, {0, 1, 2})};
         }},
        {true, &two, {"cutSG", "cutSG", "cutSG", "rockSG", "mossSG", "rockSG"},
         [](const std::string& s) -> Lines {
             return {"sets -e -fe rockSG" + faceItems(s, {3}), "sets -e -fe mossSG" + faceItems(s, {4}),
                     "sets -e -fe rockSG" + faceItems(s, {5}), "sets -e -fe cutSG" + faceItems(s, {0, 1, 2})};
         }},
        {false, &none, std::vector<std::string>(6, "initialShadingGroup"),
         [](const std::string& s) -> Lines { return {"sets -e -fe initialShadingGroup " + s}; }},
        {false, &one, std::vector<std::string>(6, "rockSG"),
         [](const std::string& s) -> Lines { return {"sets -e -fe rockSG" + faceItems(s, {0, 1, 2, 3, 4, 5})}; }},
        {false, &two, {"rockSG", "rockSG", "rockSG", "rockSG", "mossSG", "rockSG"},
         [](const std::string& s) -> Lines {
             Lines out;
             for (int i = 0; i < 6; ++i) {
                 out.push_back(std::string("sets -e  -fe ") + (i == 4 ? "mossSG" : "rockSG") + faceItems(s, {i}));
             }
             return out;
         }},
    };
    const std::string blindData = "polyBlindData -id 70111001 -associationType \"face\" -ldn \"zylCutFace\" -ind ";
    std::vector<std::string> names;
    for (const Case& c : cases) {
        rt().commandTrace.clear();
        MStatus status;
        MObjectArray objects;
        MStringArray created;
        ASSERT_TRUE(createShardMeshes(status, cell.get(), c.cutMaterial, "rock", "cutSG", *c.groups, MStringArray(),
                                      links, objects, created));
        ASSERT_EQ(objects.length(), 1u);
        ASSERT_EQ(created.length(), 1u);
        names.push_back(created[0].str());
        EXPECT_EQ(groupsOf(created[0].str()), c.expected) << names.size();
        // The tags are declared under the shape's first name, before the rename; the
        // shading and links stay out of the undo queue.
        const std::string shape = "meshShape" + std::to_string(names.size());
        Lines expected = {blindData + "0 " + faceItems(shape, {3, 4, 5}), blindData + "1 " + faceItems(shape, {0, 2}),
                          blindData + "2 " + faceItems(shape, {1}), "undoInfo -swf off"};
        for (const std::string& line : c.sets(names.back())) expected.push_back(line);
        expected.push_back("undoInfo -swf on");
        expected.push_back("xform -cp " + MFnDependencyNode(objects[0]).name().str());
        EXPECT_EQ(rt().commandTrace, expected) << names.size();
        MFnMesh fn(path(created[0].str()));
        EXPECT_EQ(cutValues(fn), (std::vector<int>{1, 2, 1, 0, 0, 0}));
        // Pivots at the centre of the shard's box.
        const MPoint pivot = MFnTransform(objects[0]).rotatePivot(MSpace::kWorld);
        EXPECT_EQ(pivot.x, 3.0);
        EXPECT_EQ(pivot.y, 1.0);
    }
    // The host keeps names unique: the later shards of id 7 get the names it gives.
    EXPECT_EQ(names[0], "rock_shard7");
    EXPECT_EQ(names[1], "rock_shard8");

    // Only surface faces: one tag list, and the cut command still runs, empty.
    rt().commandTrace.clear();
    MStatus status;
    MObjectArray objects;
    MStringArray created;
    ASSERT_TRUE(createShardMeshes(status, cube().get(), true, "rock", "cutSG", none, MStringArray(), links, objects,
                                  created));
    const std::string shard = created[0].str();
    EXPECT_EQ(rt().commandTrace,
              (std::vector<std::string>{blindData + "0 " + faceItems("meshShape7", {0, 1, 2, 3, 4, 5}),
                                        "undoInfo -swf off",
                                        "sets -e -fe initialShadingGroup" + faceItems(shard, {0, 1, 2, 3, 4, 5}),
                                        "sets -e -fe cutSG", "undoInfo -swf on",
                                        "xform -cp " + MFnDependencyNode(objects[0]).name().str()}));

    // Refused: no MEL at all.
    rt().commandTrace.clear();
    objects.clear();
    created.clear();
    auto flat = cube();
    flat->numVertices = 3;
    EXPECT_EQ(createShardMeshes(status, flat.get(), true, "rock", "cutSG", none, MStringArray(), links, objects,
                                created),
              MS::kFailure);
    EXPECT_EQ(objects.length(), 0u);
    EXPECT_EQ(created.length(), 0u);
    EXPECT_TRUE(rt().commandTrace.empty());
}

TEST_F(MeshWriterTest, ShardTexturesFollowTheirUVSets) {
    const auto mesh = cube({}, 1.0, {3, false, [](std::uint32_t, const QmtVector3& p, std::uint32_t) { return p; }});
    MStringArray names, links[8];
    for (const char* n : {"map1", "detail", "decal"}) names.append(n);
    links[0].append("stoneFile");
    links[1].append("dirtFile");
    links[1].append("mossFile");
    links[3].append("unused");  // no set 3
    MStatus status;
    MObjectArray objects;
    MStringArray created;
    ASSERT_TRUE(createShardMeshes(status, mesh.get(), false, "rock", "cutSG", MObjectArray(), names, links, objects,
                                  created));
    const std::string shard = created[0].str();
    EXPECT_EQ(rt().uvLinks[shard + ".uvSet[0].uvSetName"], std::vector<std::string>{"stoneFile"});
    EXPECT_EQ(rt().uvLinks[shard + ".uvSet[1].uvSetName"], (std::vector<std::string>{"dirtFile", "mossFile"}));
    EXPECT_EQ(rt().uvLinks.count(shard + ".uvSet[3].uvSetName"), 0u);
    const auto& trace = rt().commandTrace;
    ASSERT_EQ(trace.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(trace.begin() + 1, trace.end() - 1),
              (std::vector<std::string>{"undoInfo -swf off", "sets -e -fe initialShadingGroup " + shard,
                                        "uvLink -uvSet " + shard + ".uvSet[0].uvSetName -texture stoneFile",
                                        "uvLink -uvSet " + shard + ".uvSet[1].uvSetName -texture dirtFile",
                                        "uvLink -uvSet " + shard + ".uvSet[1].uvSetName -texture mossFile",
                                        "undoInfo -swf on"}));
}

TEST_F(MeshWriterTest, NeighbouringCutFacesLyingAgainstACutBecomeOlder) {
    // The mesh about to be cut: its +x face at x = 1 was a cut face.
    auto cutMesh = cube();
    cutMesh->faces[3].flags = FACE_CUT;
    mel("createNode transform -n group1");
    // Neighbours: [1, 2] faces it with its -x face; [0, 1] lies on the same plane with
    // the same normal (+x face); [3, 4] has its -x face on another plane. The first two
    // sit under transforms of their own, the third right under the group.
    mel("createNode transform -n shardA -p group1");
    mel("createNode transform -n shardB -p group1");
    const QmtVector3 origins[] = {{1, 0, 0}, {0, 0, 0}, {3, 0, 0}};
    const char* parents[] = {"shardA", "shardB", "group1"};
    std::vector<MFnMesh> shards(3);
    for (int i = 0; i < 3; ++i) {
        MStatus status;
        MObject parent = path(parents[i]).node();
        ASSERT_TRUE(createMeshFromDFmesh(status, cube(origins[i]).get(), shards[i], MStringArray(), &parent));
        MIntArray all;
        for (int f = 0; f < 6; ++f) all.append(f);
        shards[i].setIntBlindData(all, MFn::kMeshPolygonComponent, cutFace::kBlindDataId, cutFace::kLongName, 1);
    }
    tagCutFaces(cutMesh.get(), path("group1"));
    EXPECT_EQ(cutValues(shards[0]), (std::vector<int>{1, 1, 1, 1, 1, 2}));
    EXPECT_EQ(cutValues(shards[1]), std::vector<int>(6, 1));
    EXPECT_EQ(cutValues(shards[2]), std::vector<int>(6, 1));

    // Without an older cut face, or under a parent that is no transform: nothing changes.
    tagCutFaces(cube().get(), path("group1"));
    tagCutFaces(cutMesh.get(), MDagPath());
    EXPECT_EQ(cutValues(shards[1]), std::vector<int>(6, 1));
}

}  // namespace
