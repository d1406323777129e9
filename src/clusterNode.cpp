#include "src/clusterNode.h"

// Clusters take part once their node type exists; until then they do nothing.
bool clusterFractureNode::isSelected() { return false; }
void clusterFractureNode::buildJoints() {}
void clusterFractureNode::storeInitialState(const MTime&) {}
void clusterFractureNode::restoreInitialState() {}
void clusterFractureNode::collectFieldSamples(MVectorArray&, MVectorArray&, MDoubleArray&) {}
void clusterFractureNode::applyFieldForces(const MVectorArray&, unsigned&, bool, bool) {}
bool clusterFractureNode::isBreakByFrame() const { return false; }
int clusterFractureNode::getBreakFrame() const { return 0; }
void clusterFractureNode::refreshStressColours() {}
void clusterFractureNode::releaseStresses() {}
