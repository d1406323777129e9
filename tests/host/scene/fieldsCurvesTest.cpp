#include "hostTestSupport.h"

namespace hosttest {
namespace {

using FieldsCurves = HostTest;

void addFieldAttribute(MObject& node, void*) {
    MFnNumericAttribute fn;
    MFnDependencyNode(node).addAttribute(fn.create("zylfield", "zf", MFnNumericData::kBoolean, 1));
}

TEST_F(FieldsCurves, FieldFormulasOverwriteTheirOutput) {
    mel("makeField -t uniform -m 2 -d 0 0 1 -n u; makeField -t gravity -m 10 -d 0 -1 0 -n g;"
        "makeField -t radial -m 4 -md 10 -pos 1 0 0 -n r");
    const MPointArray points{MPoint(1, 0, 0), MPoint(6, 0, 0), MPoint(21, 0, 0)};
    const MVectorArray velocities(3);
    const MDoubleArray masses{1, 2, 3};
    MVectorArray forces(7, MVector(9, 9, 9));  // wrong size, stale values
    ASSERT_TRUE(MFnField(node("u")).getForceAtPoint(points, velocities, masses, forces));
    ASSERT_EQ(forces.length(), 3u);
    EXPECT_EQ(forces[2], MVector(0, 0, 2));
    MFnField(node("g")).getForceAtPoint(points, velocities, masses, forces);
    EXPECT_EQ(forces[1], MVector(0, -20, 0));
    MFnField(node("r")).getForceAtPoint(points, velocities, masses, forces);
    EXPECT_EQ(forces[0], MVector());                  // at the centre
    EXPECT_TRUE(forces[1].isEquivalent(MVector(2, 0, 0)));  // half-way: half the magnitude
    EXPECT_EQ(forces[2], MVector());                  // beyond maxDistance

    // Every field kind is found by the field base kind.
    int fields = 0;
    for (MItDependencyNodes it(MFn::kField); !it.isDone(); it.next()) ++fields;
    EXPECT_EQ(fields, 3);
    fields = 0;
    for (MItDag it(MItDag::kDepthFirst, MFn::kField); !it.isDone(); it.next()) ++fields;
    EXPECT_EQ(fields, 3);
}

TEST_F(FieldsCurves, NodeAddedHandlerAddsAnAttributeToANewField) {
    MDGMessage::addNodeAddedCallback(addFieldAttribute, "radialField");
    mel("makeField -t radial -n r");
    EXPECT_TRUE(MFnDependencyNode(node("r")).hasAttribute("zylfield"));
}

TEST_F(FieldsCurves, CurveDomainPointsAndCounts) {
    mel("makeCurve -d 3 -pt 0 0 0 -pt 1 2 0 -pt 3 2 0 -pt 4 0 0 -pt 6 1 0 -n c; xform -t 0 0 7 c");
    MDagPath path;
    MDagPath::getAPathTo(node("cShape"), path);
    MFnNurbsCurve fn(path);
    EXPECT_EQ(fn.numCVs(), 5);
    EXPECT_EQ(fn.numKnots(), 7);
    double start = -1, end = -1;
    ASSERT_TRUE(fn.getKnotDomain(start, end));
    EXPECT_EQ(start, 0.0);
    EXPECT_EQ(end, 2.0);
    MPoint p;
    fn.getPointAtParam(0, p, MSpace::kWorld);
    EXPECT_TRUE(p.isEquivalent(MPoint(0, 0, 7)));
    fn.getPointAtParam(2, p, MSpace::kWorld);
    EXPECT_TRUE(p.isEquivalent(MPoint(6, 1, 7)));
    fn.getPointAtParam(1, p, MSpace::kObject);
    // Knots 0 0 0 1 2 2 2: at the middle knot the basis is (0, 1/4, 1/2, 1/4, 0).
    EXPECT_TRUE(p.isEquivalent(MPoint(2.75, 1.5, 0), 1e-12)) << p.x << " " << p.y;
}

TEST_F(FieldsCurves, ViewCameraAnswersWithoutAView) {
    rt().options.batch = true;
    MDagPath camera;
    ASSERT_TRUE(M3dView::active3dView().getCamera(camera));
    const MVector d = MFnCamera(camera).viewDirection(MSpace::kWorld);
    // The default camera looks at the origin from (28, 21, 28).
    EXPECT_TRUE(d.isEquivalent(MVector(-28, -21, -28).normal(), 1e-9)) << d.x << " " << d.y << " " << d.z;
    M3dView view = M3dView::active3dView();
    view.beginGL();
    view.endGL();
    view.refresh();
    EXPECT_EQ(rt().viewLog, (std::vector<std::string>{"beginGL", "endGL", "refresh"}));
    EXPECT_EQ(melText("grid -toggle 0; grid -q -toggle"), "0");
    EXPECT_EQ(melText("upAxis -ax z; upAxis -q -axis"), "z");
}

}  // namespace
}  // namespace hosttest
