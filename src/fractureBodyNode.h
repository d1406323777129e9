#pragma once

#include "host/api/arrays.h"
#include "host/api/vectors.h"
#include "host/api/hostTime.h"
#include "host/api/pxNode.h"
#include "src/typeIds.h"

class FractureBody;
class rigidBodyNode;

// Owner of one engine fracture body made of member rigid bodies tied by breakable
// joints. A member's rigid-body node points to its owner, which holds the member's
// world membership.
class FractureBodyNode : public MPxNode {
public:
    static constexpr MTypeId id = zylTypes::kFractureBody;

    static MObject enabled;
    static MObject displayStressses;
    static MObject ca_propStyle;
    static MObject ca_randomThreshold;
    static MObject ca_stressThreshold;
    static MObject ca_secCracks;
    static MObject ca_bounciness;
    static MObject ca_enabled;

    bool isEnabled();
    // Takes a member out of the fracture body and clears its owner; with dropColours its
    // mesh loses the stress colours.
    void detachRigidBody(rigidBodyNode* rb, bool dropColours);
    // Recolours one member's joints; mode 0 normal, above 0 highlighted.
    void colorStresses(const MObject& member, short mode);
    // Whether one of the members is selected; their drawing then shows the whole body.
    bool isMemberSelected();
    // Whether a transform above the members is animated (it is then the body's
    // animated parent).
    bool detectAnimBody();
    // Ties the engine body to the animated parent found by detectAnimBody.
    void linkAnimBody();

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
    // Whether the static parts are released at `actFrame` (`firstHitActive` 2).
    bool isActivatedAtFrame();
    int getActFrame();
    int getBreakFrame();
    // Makes the static fragments dynamic.
    void releaseStaticParts();
    // Whether the aspect (4: propagation style or thresholds) is animated.
    bool isAnimatedAspect(int aspect);
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
    bool hasAnimBody = false;              // the members have an animated ancestor transform
    bool affectsFields = true;             // cached `affectForceFields`, read by the field pass

    static MObject fieldList;  // host force fields connect here
};
