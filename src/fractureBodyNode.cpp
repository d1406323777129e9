#include "src/fractureBodyNode.h"

MObject FractureBodyNode::enabled;
MObject FractureBodyNode::displayStressses;
MObject FractureBodyNode::ca_propStyle;
MObject FractureBodyNode::ca_randomThreshold;
MObject FractureBodyNode::ca_stressThreshold;
MObject FractureBodyNode::ca_secCracks;
MObject FractureBodyNode::ca_bounciness;
MObject FractureBodyNode::ca_enabled;
MObject FractureBodyNode::fieldList;

bool FractureBodyNode::isEnabled() { return false; }

void FractureBodyNode::detachRigidBody(rigidBodyNode*, bool) {}

void FractureBodyNode::colorStresses(const MObject&, short) {}

void FractureBodyNode::resetMembers() {}
void FractureBodyNode::prepareAtTime(const MTime&) {}
void FractureBodyNode::splitAtStart() {}
void FractureBodyNode::breakStressesAtFrame(int) {}
void FractureBodyNode::updateStressPositions() {}
void FractureBodyNode::followAnimBody(double, const MTime&, const MTime&) {}
bool FractureBodyNode::isActivatedAtFrame() { return false; }
int FractureBodyNode::getActFrame() { return 1; }
int FractureBodyNode::getBreakFrame() { return 1; }
void FractureBodyNode::releaseStaticParts() {}
bool FractureBodyNode::isAnimatedAspect(int) { return false; }
void FractureBodyNode::collectStressFieldSamples(MVectorArray&, MVectorArray&, MDoubleArray&) {}
void FractureBodyNode::addFieldForces(const MObject&, const MVectorArray&, const MVectorArray&, const MDoubleArray&,
                                      MVectorArray&, double) {}
void FractureBodyNode::applyStressFieldForces(const MVectorArray&, int) {}
void FractureBodyNode::splitWeakJoints() {}

bool FractureBodyNode::isMemberSelected() { return false; }

bool FractureBodyNode::detectAnimBody() { return false; }

void FractureBodyNode::linkAnimBody() {}
