#pragma once

class DynamicStress;
class FractureBody;
class HardBody;
class PublicWorld;

// What the world does with a fracture body beyond filing it as one body: its
// fragments move with it and leave the world's lists while it is filed, its loose
// pieces and split-off children are filed on their own. Each function is one step
// of a world operation and only calls the world's public operations.

// The fracture body behind a body pointer; null for any other kind (or null).
FractureBody* asFractureBody(HardBody* body);

// addBody, once the fracture body is filed: its fragments leave the lists, its
// disconnected bodies are filed on their own and the disconnected list is emptied.
void fileFractureBodyParts(PublicWorld& world, FractureBody& body);

// removeBody, once the fracture body is out: its children leave the world and its
// fragments are filed as plain bodies.
void returnFractureBodyParts(PublicWorld& world, FractureBody& body);

// breakFractureJoint, after the pairs are released: removes the joint (and the
// fragments it alone held) and files each of its two bodies that is no longer a
// fragment. Always true.
bool breakFractureBodyJoint(PublicWorld& world, FractureBody& body, DynamicStress* joint);

// reinsertBodyTree: a whole body is re-filed when active; a split one has its loose
// pieces re-filed and its children handled the same way.
void reinsertFractureBodyTree(PublicWorld& world, FractureBody& body);

// countBodies: what the body adds to the world's count beyond itself (its
// fragments less one).
int fractureBodyCountBeyondItself(const FractureBody& body);

// checkWorld: walks the body's fragments, disconnected bodies and joints with its
// iteration cursors, writing one debug line each.
void logFractureBody(FractureBody& body);

// clear and postCollisionUpdate: a fracture body that has come apart.
bool isSplitFractureBody(HardBody* body);
