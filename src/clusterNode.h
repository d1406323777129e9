#pragma once

#include "host/api/pxNode.h"
#include "src/typeIds.h"

// A group of a fracture body's members whose joints break together. Members find it
// on their `fracture` input.
class clusterFractureNode : public MPxNode {
public:
    static constexpr MTypeId id = zylTypes::kCluster;

    // Whether the cluster, or one of its members, is selected.
    bool isSelected();
};
