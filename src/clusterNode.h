#pragma once

#include <vector>

#include "host/api/dataBlock.h"
#include "host/api/hostTime.h"
#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/pxNode.h"
#include "host/api/status.h"
#include "host/api/vectors.h"
#include "src/typeIds.h"

class FractureBodyNode;
class MDoubleArray;
class SceneStress;
class rigidBodyNode;

// A group of a fracture body's members whose joints break together. The cluster takes
// over the member links (`rigidBodies`) and two sets of stress nodes from its fracture
// body: the joints inside the group (`instresses`) carry the cluster's own threshold,
// those to the rest of the body (`outstresses`) are made weak, so the group breaks away
// whole. It keeps no state of its own: members, stresses and the fracture-body node
// are read from its connections each time.
class clusterFractureNode : public MPxNode {
public:
    static constexpr MTypeId id = zylTypes::kCluster;

    static MObject rigidBodies;
    static MObject outstresses;
    static MObject instresses;
    static MObject fracture;
    static MObject stressThreshold;
    static MObject breakByFrame;
    static MObject breakFrame;
    static MObject breakEnergy;
    static MObject selected;
    static MObject ca_selected;
    static MObject ca_stressThreshold;
    static MObject ca_breakFrame;
    static MObject ca_breakByFrame;
    static MObject ca_breakEnergy;

    clusterFractureNode() = default;
    // Gives whatever stresses are still connected the fracture body's threshold back.
    ~clusterFractureNode() override;

    static void* creator();
    static MStatus initialize();
    void postConstructor() override {}
    // The change flags push the break settings into the stress nodes; every other plug
    // answers success untouched.
    MStatus compute(const MPlug& plug, MDataBlock& data) override;

    bool isBreakByFrame() const;
    int getBreakFrame() const;
    // `selected` only; selecting the cluster does not select its members.
    bool isSelected() const;

    // The scene's first solver leaves cached play-back.
    void notifySolver();
    // With the fracture body showing stresses, recolours every member.
    void refreshStressColours();

    // Break settings into the stress nodes: by-frame settings go to inner and outer
    // stresses, the strength (`ca_stressThreshold`) and the break energy
    // (`ca_breakEnergy`) to the inner ones only.
    void pushBreakByFrame(bool value);
    void pushBreakFrame(int value);
    void pushThresholds(const MObject& flag, double value);

    // Outer stresses become weak, inner ones take `stressThreshold`. False without a
    // fracture-body node (nothing changes) or without any stress.
    bool assignStresses();
    // Every stress takes the fracture body's threshold back; nothing without one.
    void releaseStresses();

    // ---- Driven by the fracture-body node.

    // Members rest where they are at `time`; the stresses snapshot their state.
    void storeInitialState(const MTime& time);
    // Members and stresses back to that snapshot.
    void restoreInitialState();
    // While the fracture body's engine body is built: the members join it and every
    // stress node whose two end members are found gets a new joint, filed in it.
    void buildJoints();
    // A field sample (world anchor, no velocity, unit mass) per active force-breakable
    // joint, inner then outer.
    void collectFieldSamples(MVectorArray& positions, MVectorArray& velocities, MDoubleArray& masses) const;
    // Takes this cluster's forces from `forces`, starting at `cursor`, in the order of
    // the samples. Without apply the inner samples are skipped; the outer joints get
    // theirs whenever includeOuter is set. Forces of squared length 1e-5 or less are
    // consumed without effect.
    void applyFieldForces(const MVectorArray& forces, unsigned& cursor, bool apply, bool includeOuter) const;

    // ---- The connections.

    // The fracture-body node on `fracture`, else null.
    FractureBodyNode* getFractureNode() const;
    // Member rigid-body nodes, in connection order.
    std::vector<MObject> memberNodes() const;
    // Stress nodes on `instresses` / `outstresses`, in connection order; a connected
    // node that is no stress node gives null.
    std::vector<SceneStress*> innerStresses() const;
    std::vector<SceneStress*> outerStresses() const;

private:
    MPlug plug(const MObject& attr) const { return MPlug(thisMObject(), attr); }
    std::vector<SceneStress*> stressesOn(const MObject& attr) const;
    // Inner then outer, without nulls.
    std::vector<SceneStress*> allStresses() const;
    // Sets strength, break energy and by-frame breaking of each stress.
    static void setStrengths(const std::vector<SceneStress*>& stresses, double strength);
    // A new joint for stress node `stress` at position i of its list between members
    // a (CNode) and b (PNode); without both ends the stress keeps no joint.
    void linkJoint(SceneStress* stress, unsigned i, const MObject& a, const MObject& b, FractureBodyNode* owner);
};
