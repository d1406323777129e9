#include "src/clusterNode.h"

bool clusterFractureNode::isSelected() { return false; }
