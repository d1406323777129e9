#include "src/clusterNode.h"

bool clusterFractureNode::isSelected() { return false; }

// The cluster's run-time part comes with the cluster node type.
bool clusterFractureNode::isBreakByFrame() const { return false; }
int clusterFractureNode::getBreakFrame() const { return 1; }
void clusterFractureNode::storeInitialState(const MTime&) {}
void clusterFractureNode::restoreInitialState() {}
void clusterFractureNode::collectFieldSamples(MVectorArray&, MVectorArray&, MDoubleArray&) {}
void clusterFractureNode::applyFieldForces(const MVectorArray&, unsigned&, bool, bool) {}
void clusterFractureNode::refreshStressColours() {}
