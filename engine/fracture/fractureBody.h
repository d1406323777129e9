#pragma once

#include <cstdint>
#include <vector>

#include "engine/bodies/hardBody.h"
#include "geometry/mesh/pooledList.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

class BVbox;
class DynamicStress;
class PrivateHardBody;
template <class Box>
class Binary_Tree;

// Flag bits a fracture body adds to the HardBody flag word.
inline constexpr std::uint32_t FRACTURE_SEC_IMPACTS = 128;  // secondary impacts enabled
inline constexpr std::uint32_t FRACTURE_UNBREAKABLE = 512;

// A compound body: fragment bodies tied by breakable joints that move as one rigid
// body while the joints hold. The compound keeps its own dynamic state and hands every
// change down to its fragments, each of which keeps its pose relative to the compound
// in its pivot fields (rotation R_f^T * R, offset R_f^T * (x - x_f)).
//
// Ownership: the body owns its list nodes, its stress tree and its fragment buffer.
// Fragments, disconnected bodies and joints belong to the world and the host layer;
// child fracture bodies are made by splits and destroyed by applyInitialState and
// clearFragmentJointLists (never by the destructor), and joints are deleted only by
// clearFragmentJointLists.
//
// Iteration: three cursors serve the five first/next pairs (active and off joints
// share one, fragments and disconnected bodies another, children the third), so the
// walks of a pair are never nested. The body's own operations walk the lists
// directly and leave the cursors alone.
class FractureBody : public HardBody {
public:
    // Indexed: membership, removal and appending take constant time at any size.
    using JointList = PooledList<DynamicStress*, true>;
    using FragmentList = PooledList<PrivateHardBody*, true>;
    using ChildList = PooledList<FractureBody*>;

    JointList ownJoints;              // taken out by splits; restored by applyInitialState
    FragmentList disconnectedBodies;  // fragments that lost every joint
    FragmentList fragments;
    std::uint32_t pendingBreaks = 0;  // joints broken since the last split
    JointList deactivatedJoints;      // broken, waiting for the split
    JointList activeJoints;           // holding; ascending index where inserted by index
    std::uint32_t brokenCount = 0;    // joints gathered into offJoints
    JointList offJoints;              // broken joints collected for the host
    std::uint32_t childCounter = 0;   // children made by splits
    ChildList children;
    JointList::Node* jointCursor = nullptr;
    FragmentList::Node* bodyCursor = nullptr;
    ChildList::Node* childCursor = nullptr;
    // 0: off-joint walk, 1: active-joint walk, 2: body walk, 3: child walk.
    std::uint8_t iterationMarks[4] = {};
    std::int32_t crackCount = 0;
    std::int32_t maxCracks = 8;
    Binary_Tree<BVbox>* stressTree = nullptr;
    std::int32_t propagationType = 0;  // 0, 1 or 2
    Qmt::QmtVector3 initialCentreOffset;
    Qmt::QmtVector3 initialBoxSize;
    Qmt::QmtMatrix3 initialLocalAxes = Qmt::QmtMatrix3::IDENTITY;
    double* fragmentBuffer = nullptr;  // per fragment: its mass / the compound's mass
    double globalStressThreshold = 0.0;
    std::int32_t randomThreshold = 0;
    std::int32_t secImpactPercent = 0;
    double secImpactReferenceMass = 0.0;

    FractureBody();
    // Copies share the stress tree and the fragment buffer without owning them, and
    // start with no iteration under way.
    FractureBody(const FractureBody& other);
    FractureBody& operator=(const FractureBody& other);
    // Frees the lists' nodes, the owned tree and buffer, and clears the fragments'
    // parent pointers; deletes no fragment, joint or child.
    ~FractureBody() override;

    // ---- body operations ----
    void setRestitutionCoeff(double value) override;
    void setFrictionCoeff(double value) override;
    void setAirDampingCoeff(double value) override;
    void setAirDampingCoeff2(double value) override;
    void init(const Qmt::QmtVector3& position, const Qmt::QmtMatrix3& rotation,
              const Qmt::QmtVector3& scale) override;
    void activate() override;
    void deActivate() override;
    bool isFirstHit(bool askParent) const override;
    void clearProcessed() override;
    void computeInertiaTensor() override;
    void setMassCenter(const Qmt::QmtVector3& centre) override;
    void modify(ZYLmesh* newMesh) override;
    void updateWorldState() override;
    double computeEnergy() override;
    bool hasMoved() override;
    void ApplyBreakEnergy(DynamicStress* joint) override;
    void setScale(const Qmt::QmtVector3& scale) override;
    void setMass(float mass) override;
    void updateInertiaTensor() override;
    void setAngularVelocity(const Qmt::QmtVector3& w) override;
    void resetDynamics() override;
    void setOrientation(const Qmt::Quaternion& q) override;
    void setRotationMatrix(const Qmt::QmtMatrix3& R) override;
    void setPosition(const Qmt::QmtVector3& p) override;
    void setLinearVelocity(const Qmt::QmtVector3& v) override;
    const ZYLbox& computeBbox() override;
    ZYLcapsule* computeBboxAndAxis(bool world) override;
    ZYLmesh* getMesh() override;
    void storeInitialState(unsigned int mask) override;
    void applyInitialState() override;
    void storeDynState() override;
    void integrateVelocities(double dt, bool damping) override;
    void integratePositions(double dt) override;
    void restoreDynState() override;
    void clearExternalForces() override;
    void applyDisplacement(const Qmt::QmtVector3& d, const Qmt::QmtVector3& a) override;
    void translate(const Qmt::QmtVector3& d) override;
    void rotate(const Qmt::QmtVector3& a) override;

    // ---- accessors ----
    int getCrackCount() const { return crackCount; }
    void resetCrackCount() { crackCount = 0; }
    int getMaxCracks() const { return maxCracks; }
    void setMaxCracks(int value) { maxCracks = value; }
    int getPropagationType() const { return propagationType; }
    Binary_Tree<BVbox>* getTreeMesh() const { return stressTree; }
    void setGlobalStressThreshold(double value) { globalStressThreshold = value; }
    double getGlobalStressThreshold() const { return globalStressThreshold; }
    void setRandomThreshold(int value) { randomThreshold = value; }
    void setSecImpactsParams(int percent, double referenceMass) {
        secImpactPercent = percent;
        secImpactReferenceMass = referenceMass;
    }
    void setBreakable() { flags &= ~FRACTURE_UNBREAKABLE; }
    void setUnBreakable() { flags |= FRACTURE_UNBREAKABLE; }
    bool isBreakable() const { return (flags & FRACTURE_UNBREAKABLE) == 0; }
    void enableSecImpacts() { flags |= FRACTURE_SEC_IMPACTS; }
    void disableSecImpacts() { flags &= ~FRACTURE_SEC_IMPACTS; }
    bool isSecImpacts() const { return (flags & FRACTURE_SEC_IMPACTS) != 0; }
    unsigned int getNActiveJoints() const { return activeJoints.count; }
    unsigned int getNJointBodies() const { return fragments.count; }
    unsigned int numDisconectBodies() const { return disconnectedBodies.count; }
    // Takes the other body's current linear and angular velocity (handed on to the
    // fragments); null does nothing.
    void adquireVelocity(HardBody* other);

    // ---- iteration ----
    DynamicStress* getFirstActiveJoint();
    DynamicStress* getNextActiveJoint();
    DynamicStress* getFirstOffJoint();
    DynamicStress* getNextOffJoint();
    PrivateHardBody* getFirstBody();
    PrivateHardBody* getNextBody();
    PrivateHardBody* getFirstDisconectBody();
    // The same operation as getNextBody: advances whichever list the cursor is in.
    PrivateHardBody* getNextDisconectBody();
    FractureBody* getFirstFBody();
    FractureBody* getNextFBody();

    // ---- joint moves and list upkeep ----
    // Breaks an active joint of this body or of a descendant; false when none holds it.
    bool deActivateJoint(DynamicStress* joint);
    // Back from this body's deactivated list to the tail of the active list.
    void activateJoint(DynamicStress* joint);
    void removeDeactivatedJointsFromActiveList();
    // Turns what the broken joints left into parts: fragments without joints become
    // disconnected bodies, each connected group a child fracture body.
    void split();
    // Breaks the active joints overloaded by external force in this body and its
    // children, then splits every body of the tree that is ready.
    void splitRecursive();
    // Splits this body and then each direct child where joints broke (grandchildren
    // are left alone).
    void splitByExternalBrokenJoints();
    void gatherBrokenJoints();
    void ClearBrokenJointsList();
    void removeDisconectBodies();
    void setUpActiveJoints();
    void registerJoints(const JointList& list);
    void addJoint(DynamicStress* joint);
    void addDisconectBody(PrivateHardBody* body);
    bool hasFragment(const HardBody* body) const;
    // Deletes every joint of the active, deactivated and own lists (the off list only
    // lends them), destroys every descendant and detaches the fragments, which stay
    // listed.
    void clearFragmentJointLists();
    unsigned int getTreeNodeCount() const;
    // Adds the joint to the body's joint list unless it is there: joint count + 1,
    // pushed at the front, joined bit set.
    static void linkJoint(PrivateHardBody* body, DynamicStress* joint);
    // The reverse: joint count - 1, the joined bit cleared with the last joint.
    static void unlinkJoint(PrivateHardBody* body, DynamicStress* joint);
    // First joint of the fragment's joint list with body as CNode or PNode.
    static DynamicStress* findFragmentJoint(const PrivateHardBody* fragment, const HardBody* body);
    // First joint of the active, then deactivated, then own list with body as CNode
    // or PNode.
    DynamicStress* findJointOfBody(const HardBody* body) const;
    // Static when first-hit (asked of this body only) or when any fragment is static.
    void updateStaticBit();

    // ---- queries ----
    bool isSplitReady() const { return pendingBreaks != 0 || deactivatedJoints.count != 0; }
    bool isSplitted() const { return disconnectedBodies.count != 0 || children.count != 0; }
    bool hasStaticBodies() const;
    bool validateDisconnectBodiesGroups() const;
    bool checkSecImpactsCond() const;
    void disableStaticParts();

    // ---- fragment bookkeeping ----
    void deActivateFragmentJoints(PrivateHardBody* fragment);
    void removeFragment(HardBody* body);
    // Out of every list of this body, and of the joint lists of both its ends.
    void removeJoint(DynamicStress* joint);
    void setPropagationType(unsigned int type);

    // What dropBody took out with the body.
    struct DroppedParts {
        std::vector<DynamicStress*> joints;    // in no list any more: the caller deletes them
        std::vector<PrivateHardBody*> bodies;  // fragments left without a joint, detached
    };
    // A body leaves for good (it is about to be deleted, or goes its own way): out of the
    // fragment and disconnected lists of this body and of every body its splits made;
    // every joint that ties it out of every list that holds one (its ends' joint lists
    // included); every fragment that no joint holds any more out too. The stress trees
    // and mass shares are made again, so nothing of the tree keeps the body or its joints.
    // An edit dropping many bodies may pass renewTrees false and call renewStressTrees
    // once after the last: the trees are read by nothing in between, and are built from
    // the fragment lists alone.
    DroppedParts dropBody(HardBody* body, bool renewTrees = true);
    // The fragment buffers and existing stress trees of this body and its descendants made
    // again from their fragment lists.
    void renewStressTrees();

    // ---- compound state ----
    // Mass-weighted centre of the dynamic fragments (of the static ones when there is
    // no dynamic mass); sets invMass. Without fragments out and invMass are left.
    Qmt::QmtVector3& computeCompoundCentre(Qmt::QmtVector3& out);
    void clearJointExternalForces();
    void recomputeVelocityFromFragments(bool recurse);
    void placeStaticChildren();
    void integratePositionsWithChildren(double dt);
    void recomputeCenterFromFragments(bool recurse);
    void recomputeRotationFromFragments(bool recurse);

    // ---- crack propagation over the joints ----
    // Lane-0 copies := current states; processed bits of fragments and active joints cleared.
    void resetStepFlags();
    // Starts a crack in the lane: lane marks cleared, lane copies := current states,
    // crack count + 1.
    void beginCrackThread(int lane);
    // Depth-first lane walk from the body; incomingLimit is the squared tolerance of
    // the joint the walk came through.
    void propagateStressThread(HardBody* body, bool secondary, int lane, double incomingLimit);
    void propagateStressFromJointThread(HardBody* body, DynamicStress* joint, bool secondary, int lane,
                                        double incomingLimit);
    // Serial walk on the lane-0 copies with the processed bits as visit marks.
    void propagateStress(HardBody* body, double incomingLimit);
    void propagateStressFromJoint(HardBody* body, DynamicStress* joint, double incomingLimit);
    // Propagation started by one joint's own stress; the motion is left as it was.
    void propagateJointBreak(DynamicStress* joint);
    // Tools over the fragment's active, unprocessed joints.
    double getAverageJointTolerance(HardBody* fragment);
    void setFragmentJointTolerance(HardBody* fragment, double value, bool mark);
    void equalizeJointTolerance(HardBody* fragment);
    void breakFragmentJointRecursive(HardBody* fragment);

    // ---- joint building ----
    // Built joints are active with tolerance 1 and no break energy, and not breakable by
    // force until that bit is set; the first body is the PNode.
    DynamicStress* buildJointsByDistance(HardBody* body, double distance, bool force);
    void buildJointsDefault();
    bool buildJoints(HardBody* body, double distance);
    bool buildJointsByContact(double distance);
    bool rebuildJoints(double distance, bool byContact, bool includeStaticPairs);
    DynamicStress* joinBodies(HardBody* first, HardBody* second);

    // ---- stress tree and secondary cracks ----
    bool updateFromFragments();
    bool buildStressTree();
    bool setUp();
    void assignStressCells(const unsigned int* depthLimit);
    void applySecondaryCracks();

private:
    void copyFrom(const FractureBody& other);
    // Whether a joint of the active, deactivated or own list has the body at an end.
    bool holdsJointOf(const PrivateHardBody* body) const;
    // removeFragment of a body that holdsJointOf found in no joint list here: a fragment
    // leaves without the walks of the lists, which would find nothing to remove.
    void removeJointlessFragment(HardBody* body);
    // Each joint side that is not yet a fragment becomes one and leaves the
    // disconnected bodies; null sides are skipped.
    void adoptJointSides(PrivateHardBody* const (&sides)[2]);
    void releaseStressTree();
    void releaseFragmentBuffer();
    // Fills the buffer with each fragment's share of the compound mass and records
    // the fragment order it was made for.
    void buildFragmentBuffer();
    bool fragmentBufferMatches() const;
    // dropBody's steps over this body and its descendants.
    void collectJointsOf(const HardBody* body, std::vector<DynamicStress*>& out) const;
    void takeJointOut(DynamicStress* joint);
    void dropLeftoverFragments(const std::vector<DynamicStress*>& joints, std::vector<PrivateHardBody*>& left);
    bool dropFromLists(HardBody* body);
    // Destroys every descendant, deepest first; deletes no joint. With detachFragments the
    // descendants' fragments lose their joint lists too.
    void destroyChildren(bool detachFragments);
    // Fragment placement from the compound's current rotation and centre.
    void placeFragmentRotations();
    void handVelocitiesToFragments();
    // Compound rotation/position step shared by integratePositions and its child form.
    void stepOwnPose(double dt);

    bool ownsStressTree_ = true;
    bool ownsFragmentBuffer_ = true;
    std::vector<const PrivateHardBody*> bufferOrder_;  // fragments the buffer was made for
};
