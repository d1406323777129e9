#include "src/sceneCallbacks.h"

#include "src/collisionShapeNode.h"
#include "src/fractureBodyNode.h"
#include "src/rigidBodyNode.h"

// Nothing of the scene's wiring exists yet for these to act on.
void timeChangedCallback(void*) {}
void playbackRangeChangedCallback(void*) {}
void resetToStartCallback(void*) {}
void afterOpenCallback(void*) {}
void nodeAddedCallback(MObject&, void*) {}
void exitingCallback(void*) {}
void beforeNewOrOpenCallback(void*) {}

void collisionShapeRemovedCallback(MObject& node, void* clientData) {
    collisionShapeNode::nodeRemovedCallback(node, clientData);
}
void rigidBodyRemovedCallback(MObject& node, void* clientData) { rigidBodyNode::nodeRemovedCallback(node, clientData); }
void fractureBodyRemovedCallback(MObject& node, void* clientData) {
    FractureBodyNode::nodeRemovedCallback(node, clientData);
}
void crackerRemovedCallback(MObject&, void*) {}

// An import needs no rebuild, and messages 23 and 24 no action: these stay empty.
void afterImportCallback(void*) {}
void emptySceneCallback(void*) {}
