#include "hostTestSupport.h"

namespace hosttest {
namespace {

struct Calls {
    std::vector<std::string> seen;
    MCallbackId self = 0, other = 0;
};
Calls* calls = nullptr;

void removesItselfAndTheNext(void*) {
    calls->seen.push_back("first");
    MMessage::removeCallback(calls->self);
    MMessage::removeCallback(calls->other);
}
void never(void*) { calls->seen.push_back("removed one ran"); }
void last(void*) { calls->seen.push_back("last"); }
void added(MObject& node, void*) { calls->seen.push_back("added " + MFnDependencyNode(node).typeName().str()); }
void removed(MObject& node, void*) {
    calls->seen.push_back("removed " + MFnDependencyNode(node).name().str());
}

class Messages : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        calls = &state;
    }
    void TearDown() override {
        HostTest::TearDown();
        calls = nullptr;
    }
    Calls state;
};

TEST_F(Messages, DispatchSurvivesRemovalAndFiltersByType) {
    state.self = MSceneMessage::addCallback(MSceneMessage::kBeforeSave, removesItselfAndTheNext);
    state.other = MSceneMessage::addCallback(MSceneMessage::kBeforeSave, never);
    MSceneMessage::addCallback(MSceneMessage::kBeforeSave, last);
    EXPECT_TRUE(mel("sceneMessage 9; sceneMessage 9; sceneMessage 11"));
    EXPECT_EQ(state.seen, (std::vector<std::string>{"first", "last", "last"}));

    state.seen.clear();
    loadToy();
    MDGMessage::addNodeAddedCallback(added);
    MDGMessage::addNodeRemovedCallback(removed, "toyLocator");
    mel("createNode toyNode -n n; createNode toyLocator -n l; delete n l");
    // Removal callbacks still see the node and its name; the parentless locator got a transform.
    EXPECT_EQ(state.seen,
              (std::vector<std::string>{"added toyNode", "added transform", "added toyLocator", "removed l"}));
}

}  // namespace
}  // namespace hosttest
