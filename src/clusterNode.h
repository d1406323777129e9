#pragma once

#include "host/api/arrays.h"
#include "host/api/hostTime.h"
#include "host/api/pxNode.h"
#include "host/api/vectors.h"
#include "src/typeIds.h"

// A group of a fracture body's members whose joints break together. Members find it
// on their `fracture` input.
class clusterFractureNode : public MPxNode {
public:
    static constexpr MTypeId id = zylTypes::kCluster;

    // Whether the cluster, or one of its members, is selected.
    bool isSelected();

    // ---- Driven by the owning fracture body through a run.

    bool isBreakByFrame() const;
    int getBreakFrame() const;
    // The members' rest poses and the stresses' snapshots at the start, and the way back.
    void storeInitialState(const MTime& time);
    void restoreInitialState();
    // Field samples of the inner, then outer force-breakable joints.
    void collectFieldSamples(MVectorArray& positions, MVectorArray& velocities, MDoubleArray& masses);
    // Hands the forces from `cursor` on to the joints sampled, advancing the cursor; with
    // apply false the inner joints' samples are skipped.
    void applyFieldForces(const MVectorArray& forces, unsigned& cursor, bool apply, bool includeOuter);
    // Recolours the members' stresses when the owner shows them.
    void refreshStressColours();
};
