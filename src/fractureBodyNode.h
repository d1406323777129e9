#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "host/api/arrays.h"
#include "host/api/dagPath.h"
#include "host/api/dataBlock.h"
#include "host/api/dgModifier.h"
#include "host/api/hostTime.h"
#include "host/api/matrix.h"
#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/pxNode.h"
#include "host/api/status.h"
#include "host/api/text.h"
#include "host/api/vectors.h"
#include "src/nodeHelpers.h"
#include "src/typeIds.h"

class BarrierBody;
class DynamicStress;
class FractureBody;
class MSelectionList;
class SceneStress;
class StressConnections;
class clusterFractureNode;
class rigidBodyNode;

// Owner of one engine fracture body made of member rigid bodies tied by breakable
// joints, each joint shown as a stress node. A member's rigid-body node points to its
// owner, which holds the member's world membership. Attribute changes reach the engine
// body through the change flags.
class FractureBodyNode : public MPxNode {
public:
    FractureBodyNode();
    ~FractureBodyNode() override;

    // The node with a new, empty engine body (none when the engine is out of memory).
    static void* creator();
    static MStatus initialize();
    // Node-removed handler of the type: the engine body goes while connections exist.
    static void nodeRemovedCallback(MObject& node, void* clientData);

    MStatus compute(const MPlug& plug, MDataBlock& data) override;

    // Push one attribute into the engine body, chosen by its change flag; other flags
    // are ignored. Nothing happens without an engine body. They answer true.
    bool applyDoubleParam(const MObject& flag, double value);
    bool applyVectorParam(const MObject& flag, float x, float y, float z);
    bool applyIntParam(const MObject& flag, int value);
    bool applyBoolParam(const MObject& flag, bool value);
    // Scales every joint's strength by the masses it ties (fourth root of the pair's
    // mean mass over the mean of all pairs, clamped).
    void stressToMass();

    // Makes the solver leave cached play-back.
    void notifySolver();

    bool isEnabled() const;
    double getStressThreshold() const;
    int getActFrame() const;
    int getBreakFrame() const;
    // Whether the static parts are released at `actFrame` (`firstHitActive` 2).
    bool isActivatedAtFrame() const;
    // Whether a static body becomes dynamic during a run: on its first hit or at `actFrame`.
    bool wakesDuringRun() const;
    // Aspect 4: whether the propagation style or a threshold is animated.
    bool isAnimatedAspect(int aspect) const;
    // With `selected` on: whether a selected rigid body belongs to this node.
    bool isMemberSelected() const;
    void rename(const MString& name);

    void activateStress(SceneStress* stress);
    void deactivateStress(SceneStress* stress);
    // The by-frame list: kept by the stress nodes while they have this owner.
    void addByFrameStress(SceneStress* stress);
    void removeByFrameStress(SceneStress* stress);
    // A stress node of this body is being deleted: its joint holds until the engine body is
    // built from the scene again.
    void stressNodeGone(SceneStress* stress);
    // The engine body was changed outside a build (a member's active state, say) in a way
    // no build from the scene gives: it is built from the scene at the next run start or
    // save.
    void markRebuildDue() { rebuildDue_ = true; }

    // Adds the engine body to the world and mirrors its index; `enabled` goes on.
    void addToWorld();
    // Dissolves the clusters, deletes the stress nodes and the members' stress colours,
    // lets the members go (they stay connected), deletes the engine body, tells the solver.
    void destroyFractureBody();
    // Deletes the engine body and its joints, which the stress nodes forget first (the
    // world is about to go).
    void releaseEngineBody();

    // Recolours one member's joints; mode 0 normal, above 0 highlighted.
    void colorStresses(const MObject& member, short mode);
    // Recolours every member's joints.
    void recolorStresses();
    // recolorStresses when the body shows its stresses (`displayStressses`).
    void recolorShownStresses();
    // Takes a member out of the fracture body and clears its owner; with dropColours its
    // mesh loses the stress colours. An edit that detaches many members passes the
    // node's stress connections, read once, and renews the engine body's stress trees
    // (FractureBody::renewStressTrees) after the last.
    void detachRigidBody(rigidBodyNode* rb, bool dropColours, StressConnections* connections = nullptr);
    // The member leaves, stress colours and all, and goes on as a free body: in the
    // world when enabled, with nothing of this fracture body left on it. With the
    // connections, as detachRigidBody.
    void releaseMember(rigidBodyNode* rb, StressConnections* connections = nullptr);
    // Whether a transform above the first member is animated; the topmost one becomes
    // the body's animated parent (`animBodyPath`).
    bool detectAnimBody();
    // The animated parent's node: the one found last, else a new search's (null if none).
    MObject getAnimNode();
    // The engine body takes the engine body of the rigid body under the animated parent
    // as its parent body; false when there is none.
    bool linkAnimBody();
    // `animOffset`: the frame the animated parent moves in (its exclusive matrix with its
    // world rotate pivot in the translation row; identity without an animated parent).
    void updateAnimOffset();

    // ---- Building the engine body: first build, rebuild, moves between bodies.

    // The first build from the connected members: joints by distance (or to the
    // nearest body), one stress node per joint, the body prepared and in the world.
    // False without an engine body, or without a joint or when the compound cannot be
    // set up (the body is then destroyed, with its stress nodes).
    bool buildFromMembers(bool nearest);
    // Builds the engine body again from the connected stress nodes at time t.
    void buildFractureBody(const MTime& t);
    // A new engine body built from what the scene stores, as opening it builds one: the
    // members' own masses, the joints of the stress nodes, every setting pushed anew.
    // With newMass, `mass` becomes the members' total, as in a first build.
    void rebuildFromScene(const MTime& t, bool newMass);
    // Once members or stress nodes have left since the last build, the engine body is
    // built anew from the scene (with the members' total as its mass when members left);
    // a member that no stress node ties to another leaves as well. Only at the play
    // range's start, where the scene holds the start state; nothing otherwise.
    void settleMembers();
    // Settings set on the node or its stress nodes (a cluster's too) and not taken yet
    // reach the engine, as opening the scene would bring them: the stress nodes' own
    // strengths stay as they are stored.
    void pullChangeFlags();
    // The same for the stress nodes alone (a cluster's too).
    void pullStressChangeFlags();
    // A stress node for the joint, connected, numbered and owned, with that strength;
    // null, with a message, when it cannot be made.
    SceneStress* createStressNode(DynamicStress* joint, double strength);
    // Files the stress node's joint here and connects the node.
    void addStressNode(SceneStress* stress);
    // Takes the stress out of the engine body (its node keeps the joint when no engine
    // list holds it) and disconnects it; by connection position or by node.
    void removeStressAt(unsigned index);
    void removeStressNode(SceneStress* stress);
    // The same, for an edit that removes many: the numbering of the nodes left waits in
    // `connections` (see StressConnections::renumber).
    void removeStressNode(SceneStress* stress, StressConnections& connections);
    SceneStress* findStressNode(const DynamicStress* joint) const;
    // The members named by the stress node's `body1Name` and `body2Name` (null when missing).
    void findStressBodies(const SceneStress* stress, rigidBodyNode*& body1, rigidBodyNode*& body2) const;
    // Takes the listed members of the source, and the stresses between them, into this
    // node's engine body; with moveOwnership they also leave the source.
    bool takeBodies(const MSelectionList& list, FractureBodyNode* source, bool moveOwnership);
    void dissolveClusters();
    // The cluster's members and stress nodes are tied to this node again.
    void takeClusterLinks(const MObject& cluster);
    void deleteStressNodes();
    // Every stress back to the threshold, enabled, breaking by force only.
    void resetAllStresses();
    void createColorSets();
    // The stress node keeps the cell numbers of its joint's two ends.
    void refreshStressCells(SceneStress* stress) const;
    MString getNodeName() const;
    // Whether a member owned here has a hull or mesh body with a vertex within
    // `distThreshold` above the ground plane, or under it. Changes nothing.
    bool touchesGround(const BarrierBody& ground) const;
    // The mesh a member's collision shape reads, or null.
    static MObject memberMesh(const rigidBodyNode& member);

    MDGModifier& getModifier();

    // The stress nodes on `stresses`, in connection order.
    std::vector<SceneStress*> stressNodes(ConnectionSide side = ConnectionSide::destination) const;
    // While one lives, stressNodes() answers from one read of the connections, for a run
    // of edits that neither makes nor breaks a link on `stresses` (value pushes, rebuilds
    // of the engine body). Scopes nest.
    class StressListScope {
    public:
        explicit StressListScope(const FractureBodyNode& node);
        ~StressListScope();
        StressListScope(const StressListScope&) = delete;
        StressListScope& operator=(const StressListScope&) = delete;

    private:
        const FractureBodyNode& node_;
    };
    // The member rigid-body nodes on `rigidBodies` and the clusters on `clusters`, in
    // connection order.
    std::vector<rigidBodyNode*> memberNodes() const;
    std::vector<clusterFractureNode*> clusterNodes() const;
    // The members on `rigidBodies`, then each cluster's.
    std::vector<rigidBodyNode*> allMemberNodes() const;

    // ---- Driven by the solver through a run.

    // Back to the start state: engine body, stresses, members and clusters.
    void resetMembers();
    // Reads the start settings at the run's start time.
    void prepareAtTime(const MTime& time);
    // Splits the engine body into its connected parts when it is active.
    void splitAtStart();
    // Breaks the by-frame stresses due at `frame`.
    void breakStressesAtFrame(int frame);
    // Moves the stress nodes to their joints.
    void updateStressPositions();
    // Gives the engine body the motion of its animated ancestor over dt from t0 to t1.
    void followAnimBody(double dt, const MTime& t0, const MTime& t1);
    // Every member's engine body takes its transform's pose.
    void setMembersTime(const MTime& time);
    // Makes the static fragments dynamic.
    void releaseStaticParts();
    // Field samples of the force-breakable stresses and clusters, in a fixed order.
    void collectStressFieldSamples(MVectorArray& positions, MVectorArray& velocities, MDoubleArray& masses);
    // Adds the field's forces on the samples into the accumulator.
    void addFieldForces(const MObject& field, const MVectorArray& positions, const MVectorArray& velocities,
                        const MDoubleArray& masses, MVectorArray& accumulator, double dt);
    // Hands the accumulated field forces to the stresses and clusters.
    void applyStressFieldForces(const MVectorArray& accumulator, int frame);
    // Splits off fragments whose joints gave way to the field forces.
    void splitWeakJoints();

    FractureBody* fractureBody = nullptr;  // the engine body; owned
    // Stress nodes at the last build, plus those made since (it numbers new ones).
    std::uint32_t stressCount = 0;
    std::vector<SceneStress*> byFrameStresses;
    std::int32_t lastRandomThreshold = 0;
    bool affectsFields = true;  // cached `affectForceFields`, read by the field pass
    bool hasAnimBody = false;  // the members have an animated ancestor transform
    std::int32_t randomPercent = 0;  // randomThreshold in whole tens, 0 to 100
    MDagPath animBodyPath;
    MMatrix animOffset;  // the frame the animated ancestor moves in
    std::unique_ptr<MDGModifier> modifier;

    static constexpr MTypeId id = zylTypes::kFractureBody;

    static MObject usercommand;
    static MObject rigidBodies;
    static MObject clusters;
    static MObject animBody;
    static MObject stresses;
    static MObject solver;
    static MObject initialVelocity;
    static MObject initialSpin;
    static MObject distThreshold;
    static MObject passive;
    static MObject firstHitActive;
    static MObject actFrame;
    static MObject breakFrame;
    static MObject stressThreshold;
    static MObject randomThreshold;
    static MObject stress2mass;
    static MObject propStyle;
    static MObject enabled;
    static MObject torsion;
    static MObject unbreakable;
    static MObject secCracks;
    static MObject percentSecCracks;
    static MObject doTrans;
    static MObject mass;
    static MObject friction;
    static MObject bounciness;
    static MObject linearDamping;
    static MObject angularDamping;
    static MObject selected;
    static MObject displayStressses;
    static MObject index;
    static MObject ca_index;
    static MObject keysTX;
    static MObject keysTY;
    static MObject keysTZ;
    static MObject keysRX;
    static MObject keysRY;
    static MObject keysRZ;
    static MObject transFrame;
    static MObject ca_initialVelocity;
    static MObject ca_initialSpin;
    static MObject ca_stressThreshold;
    static MObject ca_randomThreshold;
    static MObject ca_propStyle;
    static MObject ca_enabled;
    static MObject ca_firstHit;
    static MObject ca_stress2mass;
    static MObject ca_unbreakable;
    static MObject ca_secCracks;
    static MObject ca_torsion;
    static MObject ca_mass;
    static MObject ca_friction;
    static MObject ca_bounciness;
    static MObject ca_airdamping;
    static MObject ca_angdamping;
    static MObject affectForceFields;
    static MObject fieldList;  // host force fields connect here
    static MObject ca_forceFields;
    static MObject ca_selected;
    static MObject ca_disStresses;
    static MObject ca_passive;

private:
    MPlug plug(const MObject& attr) const { return MPlug(thisMObject(), attr); }
    // What stressNodes() read within the open StressListScopes, by connection side.
    struct StressListCache {
        unsigned scopes = 0;
        std::array<std::optional<std::vector<SceneStress*>>, 3> bySide;
    };
    mutable StressListCache stressList_;
    // The rigid-body node on `animBody`, when there is one.
    rigidBodyNode* animRigidBody() const;
    // Each stress node whose joint has both ends gets its strength from the threshold,
    // by the ends' group ids, or by their stress cells and group ids.
    void pushGroupStrengths(double threshold);
    void pushCellStrengths(double threshold);
    // The rebuild from the stress nodes; with newMass `mass` takes the members' total.
    void buildFractureBody(const MTime& t, bool newMass);
    // Every setting written back to itself, so that its change flag pushes it again.
    void dirtySettings();
    // The engine body is no longer what the scene stores (members or stress nodes left
    // it): it is built from the scene at the next run start or save, its mass the
    // members' total again when members left.
    bool rebuildDue_ = false;
    bool membersLeft_ = false;
    // Building helpers.
    void nameEngineBody(const MString& name);
    void forgetJoints();
    void numberJointsByAge();
    void releaseStress(SceneStress* stress, StressConnections* connections = nullptr);
    // Joints the engine body let go of: every stress node forgets them (the node's own
    // leave it), then they are deleted.
    void deleteJoints(const std::vector<DynamicStress*>& joints, StressConnections* connections = nullptr);
    void dropStressColours(const rigidBodyNode& member);
};
