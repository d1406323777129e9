#pragma once

class FractureBody;
class PrivateHardBody;

// Scratch of one fracture impact: per side (the first for the pair's bodyA, the second
// for bodyB when both are fragments) the fracture body that owns the struck fragment,
// the fragment, and whether this side cracks.
struct FractureImpact {
    struct Side {
        FractureBody* owner = nullptr;
        PrivateHardBody* fragment = nullptr;
        bool cracks = false;
    };
    Side sides[2];
};
