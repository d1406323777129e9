#pragma once

#include "host/api/hostTime.h"
#include "host/api/pxLocatorNode.h"
#include "src/typeIds.h"

// A kinematic capsule under an animated transform that strikes fracture bodies with
// the speed of its animation. The solver moves its engine body along the animation
// each frame.
class zylCrackerNode : public MPxLocatorNode {
public:
    static constexpr MTypeId id = zylTypes::kCracker;

    // Whether the cracker takes part in the simulation.
    bool isActive();
    // The transform's world pose now becomes the end of the frame's motion.
    void readNodeTransformWithScale(const MTime& time);
    // Velocities of the motion from the frame's start pose to its end over dt seconds.
    void computeBodyVelocityFromAnimation(double dt);
    // Places the body at fraction s (0 start, 1 end) of the frame's motion.
    void interpolateBodyPlacement(double s);
    // Places the body where the transform is now; that pose starts the next frame.
    void updateBodyFromNodeTransform(const MTime& time);
    // Back to the stored rest pose.
    void resetNodeToRestPosition();
    // The transform's current pose becomes the rest pose.
    void storeRestPosition(const MTime& time);
};
