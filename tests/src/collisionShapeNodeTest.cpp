#include <cmath>
#include <string>

#include "moduleTestSupport.h"
#include "src/collisionShapeNode.h"
#include "src/nodeHelpers.h"

namespace zyltest {
namespace {

class CollisionShape : public BatchModuleTest {
protected:
    static collisionShapeNode* shape(const std::string& name) { return user<collisionShapeNode>(name); }
    // A collision shape fed by the mesh's world geometry.
    static collisionShapeNode* feed(const std::string& mesh, const std::string& name, int type = 2) {
        EXPECT_TRUE(mel("createNode zylCollisionShape -n " + name));
        EXPECT_TRUE(mel("connectAttr " + mesh + "Shape.worldMesh[0] " + name + ".inShape"));
        EXPECT_TRUE(mel("setAttr " + name + ".type " + std::to_string(type)));
        return shape(name);
    }
    static void makeMesh(const std::string& name, const std::string& points, const std::string& faces) {
        ASSERT_TRUE(mel("makeMesh -n " + name + " -pts \"" + points + "\" -fc \"" + faces + "\""));
    }
};

TEST_F(CollisionShape, FacesFollowConvexityAndSize) {
    ASSERT_TRUE(mel("makeMesh -cube -s 2 -n box; xform -t 5 0 0 box"));
    const ZYLmesh* cube = feed("box", "cubeCollision")->getCollisionMesh();
    ASSERT_TRUE(cube);
    ASSERT_EQ(cube->numFaces, 6u);
    ASSERT_EQ(cube->numVertices, 8u);
    EXPECT_EQ(cube->vertices[0].x, 4.0);  // world space
    for (std::uint32_t f = 0; f < 6; ++f) {
        const ZYLface& face = cube->faces[f];
        ASSERT_EQ(face.numVertices, 4u);
        Qmt::QmtVector3 centre;
        for (std::uint32_t c = 0; c < 4; ++c) centre += cube->vertices[face.vertices[c]] / 4.0;
        EXPECT_NEAR(cube->normals[f].Length(), 1.0, 1e-12);
        EXPECT_GT(cube->normals[f].Dot(centre - Qmt::QmtVector3(5, 0, 0)), 0.0) << "face " << f;
    }

    // A convex 40-gon becomes a fan of 38 triangles.
    std::string points, corners;
    for (int k = 0; k < 40; ++k) {
        const double a = 2.0 * 3.141592653589793 * k / 40.0;
        points += std::to_string(std::cos(a)) + " " + std::to_string(std::sin(a)) + " 0 ";
        corners += std::to_string(k) + " ";
    }
    makeMesh("disc", points, corners);
    const ZYLmesh* fan = feed("disc", "discCollision")->getCollisionMesh();
    ASSERT_TRUE(fan);
    ASSERT_EQ(fan->numFaces, 38u);
    EXPECT_EQ(fan->faces[37].numVertices, 3u);
    EXPECT_EQ(fan->faces[37].vertices[0], 0u);
    EXPECT_EQ(fan->faces[37].vertices[1], 38u);
    EXPECT_EQ(fan->faces[37].vertices[2], 39u);
    EXPECT_NEAR(fan->normals[37].z, 1.0, 1e-12);

    // A concave pentagon becomes the host's three triangles; a quad whose first three
    // corners lie on a line keeps the zero normal of a fresh record.
    makeMesh("odd", "0 0 0 4 0 0 4 4 0 2 1 0 0 4 0  10 0 0 11 0 0 12 0 0 12 1 0", "0 1 2 3 4; 5 6 7 8");
    const ZYLmesh* odd = feed("odd", "oddCollision")->getCollisionMesh();
    ASSERT_TRUE(odd);
    ASSERT_EQ(odd->numFaces, 4u);
    for (std::uint32_t f = 0; f < 3; ++f) EXPECT_EQ(odd->faces[f].numVertices, 3u);
    EXPECT_EQ(odd->faces[3].numVertices, 4u);
    EXPECT_EQ(odd->normals[3], Qmt::QmtVector3(0, 0, 0));

    // Nothing on inShape: no mesh.
    ASSERT_TRUE(mel("createNode zylCollisionShape -n unfed"));
    EXPECT_EQ(shape("unfed")->getCollisionMesh(), nullptr);
}

TEST_F(CollisionShape, FlipNegatesNormalsOnlyForTriangleMeshes) {
    ASSERT_TRUE(mel("makeMesh -cube -s 2 -n box"));
    collisionShapeNode* cs = feed("box", "cs", 3);
    ASSERT_TRUE(mel("setAttr cs.fcs 1"));
    const ZYLmesh* flipped = cs->getCollisionMesh();
    ASSERT_TRUE(flipped);
    const Qmt::QmtVector3 inward = flipped->normals[0];
    EXPECT_NEAR(inward.Length(), 1.0, 1e-12);

    // Off the triangle-mesh type both switches go back to false at the next evaluation,
    // after the type's own rebuild; the one after that drops the flip.
    ASSERT_TRUE(mel("setAttr cs.ac 1; setAttr cs.type 2"));
    EXPECT_EQ(cs->getCollisionMesh()->normals[0], inward);
    const ZYLmesh* plain = cs->getCollisionMesh();
    ASSERT_TRUE(plain);
    EXPECT_FALSE(MPlug(cs->thisMObject(), collisionShapeNode::flipCollisionSide).asBool());
    EXPECT_FALSE(MPlug(cs->thisMObject(), collisionShapeNode::animatedMesh).asBool());
    EXPECT_EQ(MPlug(cs->thisMObject(), collisionShapeNode::outCollisionType).asInt(), 2);
    EXPECT_EQ(plain->normals[0], -inward);
}

TEST_F(CollisionShape, MeshFollowsItsSourceOnlyWhenRebuiltOrAnimated) {
    ASSERT_TRUE(mel("makeMesh -cube -s 2 -n box"));
    collisionShapeNode* cs = feed("box", "cs", 3);
    ASSERT_EQ(cs->getCollisionMesh()->vertices[0].x, -1.0);

    // A moved mesh does not reach a shape that is not animated...
    ASSERT_TRUE(mel("xform -t 10 0 0 box"));
    EXPECT_EQ(cs->getCollisionMesh()->vertices[0].x, -1.0);
    // ...until a type change rebuilds it.
    ASSERT_TRUE(mel("setAttr cs.type 1"));
    EXPECT_EQ(cs->getCollisionMesh()->vertices[0].x, 9.0);
    EXPECT_EQ(MPlug(cs->thisMObject(), collisionShapeNode::outCollisionType).asInt(), 1);

    // An animated one is refreshed in place while it fits.
    ASSERT_TRUE(mel("setAttr cs.type 3; setAttr cs.ac 1"));
    const ZYLmesh* before = cs->getCollisionMesh();
    ASSERT_TRUE(mel("xform -t 20 0 0 box"));
    const ZYLmesh* after = cs->getCollisionMesh();
    EXPECT_EQ(after, before);
    EXPECT_EQ(after->vertices[0].x, 19.0);
}

// Six loose triangles: as many faces as the cube, more than twice its points.
TEST_F(CollisionShape, DeformingMeshGainingPointsGetsALargerMesh) {
    ASSERT_TRUE(mel("makeMesh -cube -s 2 -n box"));
    std::string points, faces;
    for (int t = 0; t < 6; ++t) {
        const std::string x = std::to_string(3 * t);
        points += x + " 0 0 " + x + " 1 0 " + x + " 0 1 ";
        faces += std::to_string(3 * t) + " " + std::to_string(3 * t + 1) + " " + std::to_string(3 * t + 2) + ";";
    }
    makeMesh("tris", points, faces);
    collisionShapeNode* cs = feed("box", "cs", 3);
    ASSERT_TRUE(mel("setAttr cs.ac 1"));
    ASSERT_EQ(cs->getCollisionMesh()->numVertices, 8u);

    ASSERT_TRUE(mel("connectAttr -f trisShape.worldMesh[0] cs.inShape"));
    const ZYLmesh* mesh = cs->getCollisionMesh();
    ASSERT_TRUE(mesh);
    ASSERT_EQ(mesh->numFaces, 6u);
    ASSERT_EQ(mesh->numVertices, 18u);
    EXPECT_EQ(mesh->vertices[17], Qmt::QmtVector3(15, 0, 1));
    EXPECT_EQ(mesh->faces[5].vertices[2], 17u);
}

TEST_F(CollisionShape, RemovalFreesTheMeshOnce) {
    ASSERT_TRUE(mel("makeMesh -cube -s 2 -n box"));
    collisionShapeNode* cs = feed("box", "cs");
    ASSERT_TRUE(cs->getCollisionMesh());
    // The handler may run before the node goes, and the destructor after it.
    MObject obj = cs->thisMObject();
    collisionShapeNode::nodeRemovedCallback(obj, nullptr);
    collisionShapeNode::nodeRemovedCallback(obj, nullptr);
    ASSERT_TRUE(cs->getCollisionMesh());
    ASSERT_TRUE(mel("delete cs"));
    EXPECT_TRUE(node("cs").isNull());
}

}  // namespace
}  // namespace zyltest
