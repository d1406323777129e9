#pragma once

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

    FractureBody* fractureBody = nullptr;  // the engine body; owned
    bool hasAnimBody = false;              // the members have an animated ancestor transform
};
