#include "src/crackerNode.h"

bool zylCrackerNode::isActive() { return false; }
void zylCrackerNode::readNodeTransformWithScale(const MTime&) {}
void zylCrackerNode::computeBodyVelocityFromAnimation(double) {}
void zylCrackerNode::interpolateBodyPlacement(double) {}
void zylCrackerNode::updateBodyFromNodeTransform(const MTime&) {}
void zylCrackerNode::resetNodeToRestPosition() {}
void zylCrackerNode::storeRestPosition(const MTime&) {}
