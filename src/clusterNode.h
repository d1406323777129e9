#pragma once

#include "host/api/arrays.h"
#include "host/api/hostTime.h"
#include "host/api/pxNode.h"
#include "src/typeIds.h"

// A group of a fracture body's members whose joints break together. Members find it
// on their `fracture` input.
class clusterFractureNode : public MPxNode {
public:
    static constexpr MTypeId id = zylTypes::kCluster;

    // Whether the cluster, or one of its members, is selected.
    bool isSelected();

    // ---- Driven by the owning fracture-body node.

    // Files the members in the owner's engine body and gives the stress nodes joints.
    void buildJoints();
    // The members' rest poses at the time and the stress nodes' snapshots, and the way back.
    void storeInitialState(const MTime& time);
    void restoreInitialState();
    // Field samples of the active, force-breakable joints, appended to the owner's.
    void collectFieldSamples(MVectorArray& positions, MVectorArray& velocities, MDoubleArray& masses);
    // Takes this cluster's forces from `cursor` on, advancing it; without apply the
    // inner joints' samples are skipped, the outer joints' taken whatever it says.
    void applyFieldForces(const MVectorArray& forces, unsigned& cursor, bool apply, bool includeOuter);
    bool isBreakByFrame() const;
    int getBreakFrame() const;
    // Recolours the members' stresses.
    void refreshStressColours();
    // Every stress node gets the owner's threshold back.
    void releaseStresses();
};
