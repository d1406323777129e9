#pragma once

#include <vector>

#include "host/api/hostTime.h"
#include "host/api/object.h"

class FractureBodyNode;

// What a fracture-body node holds in the scene, kept so that an edit can be taken back:
// its members and stress nodes in connection order, with the stress nodes' settings,
// and its mass.
class FractureBodyLinks {
public:
    explicit FractureBodyLinks(const FractureBodyNode& node);

    // The node takes back, in their order, the members and stress nodes that are free or
    // still its own (others are left where they went since), with their settings, and
    // builds its engine body anew from them at time t, as opening the scene would: every
    // member a fragment again, with its joints, locked, and the body in the world.
    // Nothing when the node is gone.
    void restore(const MTime& t) const;

private:
    struct Stress {
        MObject node;
        double forceStrenght = 0.0;
        double breakEnergy = 0.0;
        int frameToBreak = 0;
        bool enabled = false;
        bool torsion = false;
        bool breakByForce = false;
        bool breakByFrame = false;
    };

    MObject node_;
    double mass_ = 0.0;
    std::vector<MObject> members_;
    std::vector<Stress> stresses_;
};
