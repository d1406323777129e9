#include "hostTestSupport.h"

namespace hosttest {
namespace {

using Selection = HostTest;

std::vector<std::string> walk(const MSelectionList& list, MFn::Type filter) {
    std::vector<std::string> out;
    for (MItSelectionList it(list, filter); !it.isDone(); it.next()) {
        MDagPath p;
        MObject node;
        if (it.getDagPath(p))
            out.push_back(p.partialPathName().str());
        else if (it.getDependNode(node))
            out.push_back(MFnDependencyNode(node).name().str());
    }
    return out;
}

TEST_F(Selection, FiltersExpandTransformsToTheirShapes) {
    loadToy();
    mel("makeMesh -cube -n m; createNode mesh -n mOrig -p m; setAttr mOrig.intermediateObject 1; makeMesh -cube -n inner -p m;"
        "makeCurve -pt 0 0 0 -pt 1 0 0 -n c; createNode toyLocator -n loc; createNode nurbsSurface -n surf");
    MSelectionList list;
    for (const char* n : {"m", "c", "loc", "surf", "time1"}) ASSERT_TRUE(list.add(n)) << n;
    // A transform expands to its geometric shapes only, intermediates included; nested transforms do not.
    EXPECT_EQ(walk(list, MFn::kGeometric), (std::vector<std::string>{"mShape", "mOrig", "cShape", "surf"}));
    EXPECT_EQ(walk(list, MFn::kMesh), (std::vector<std::string>{"mShape", "mOrig"}));
    // Other filters test the item itself: a selected transform is no locator.
    EXPECT_EQ(walk(list, MFn::kPluginLocatorNode), (std::vector<std::string>{"loc"}));
    EXPECT_TRUE(walk(list, MFn::kPluginDependNode).empty());
    EXPECT_EQ(walk(list, MFn::kInvalid).size(), 5u);
}

TEST_F(Selection, ComponentsPathsAndActiveList) {
    mel("makeMesh -cube -n m; group -n g m");
    MSelectionList list;
    ASSERT_TRUE(list.add("m.f[3]"));
    ASSERT_TRUE(list.add("|g|m.f[1:2]"));  // merged into the same shape's faces
    ASSERT_TRUE(list.add("|g|m"));
    EXPECT_FALSE(list.add("|m"));
    ASSERT_EQ(list.length(), 2u);
    MDagPath path;
    MObject comp;
    ASSERT_TRUE(list.getDagPath(0, path, comp));
    EXPECT_EQ(path.fullPathName(), "|g|m|mShape");
    MIntArray faces;
    MFnSingleIndexedComponent(comp).getElements(faces);
    EXPECT_EQ(faces, (MIntArray{1, 2, 3}));
    std::vector<int> seen;
    for (MItMeshPolygon it(path, comp); !it.isDone(); it.next()) seen.push_back(static_cast<int>(it.index()));
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));

    // select: wildcards, add, deselect, components, and the active list with them.
    mel("makeMesh -cube -n n1; makeMesh -cube -n n2; select -r \"n?\"; select -d n1; select -add m.f[5]");
    EXPECT_EQ(melText("ls -sl"), "n2\nmShape\n");
    MSelectionList active;
    MGlobal::getActiveSelectionList(active);
    MStringArray strings;
    active.getSelectionStrings(strings);
    EXPECT_EQ(strings, (MStringArray{"n2", "mShape.f[5]"}));
    mel("select -cl");
    EXPECT_EQ(melText("ls -sl"), "");
}

TEST_F(Selection, CommandObjectsByDagNameOrSelection) {
    loadToy();
    mel("makeMesh -cube -n m; group -n g m; select -r m");
    MSyntax syntax;
    syntax.setObjectType(MSyntax::kSelectionList, 0, 2);
    syntax.useSelectionAsDefault(true);
    MArgList args;
    MArgDatabase fromSelection(syntax, args);
    MSelectionList objects;
    ASSERT_TRUE(fromSelection.getObjects(objects));
    ASSERT_EQ(objects.length(), 1u);
    MArgList named;
    named.addArg(MString("|g|m"));
    MArgDatabase byPath(syntax, named);
    ASSERT_TRUE(byPath.getObjects(objects));
    MDagPath p;
    ASSERT_TRUE(objects.getDagPath(0, p));
    EXPECT_EQ(p.fullPathName(), "|g|m");
}

}  // namespace
}  // namespace hosttest
