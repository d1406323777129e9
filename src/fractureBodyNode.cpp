#include "src/fractureBodyNode.h"

MObject FractureBodyNode::enabled;
MObject FractureBodyNode::displayStressses;
MObject FractureBodyNode::ca_propStyle;
MObject FractureBodyNode::ca_randomThreshold;
MObject FractureBodyNode::ca_stressThreshold;
MObject FractureBodyNode::ca_secCracks;
MObject FractureBodyNode::ca_bounciness;
MObject FractureBodyNode::ca_enabled;

bool FractureBodyNode::isEnabled() { return false; }

void FractureBodyNode::detachRigidBody(rigidBodyNode*, bool) {}

void FractureBodyNode::colorStresses(const MObject&, short) {}

bool FractureBodyNode::isMemberSelected() { return false; }

bool FractureBodyNode::detectAnimBody() { return false; }

void FractureBodyNode::linkAnimBody() {}
