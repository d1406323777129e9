#pragma once

#include <cstdint>

#include "host/api/object.h"

// Time changes seen since load; batch runs print it with each one.
inline std::int32_t bakedFrameCounter = 0;

// Handlers of the host messages the module listens to. None takes client data:
// each finds the solver itself. Installed at load, removed at unload (moduleRegistry).

// Event "timeChanged".
void timeChangedCallback(void* clientData);
// Event "playbackRangeChanged".
void playbackRangeChangedCallback(void* clientData);
// Scene messages 9 (before save) and 11 (before export).
void resetToStartCallback(void* clientData);
// Scene message 6.
void afterOpenCallback(void* clientData);
// Scene message 4.
void afterImportCallback(void* clientData);
// Scene messages 23 and 24, which need no action.
void emptySceneCallback(void* clientData);
// Any dependency node added.
void nodeAddedCallback(MObject& node, void* clientData);
// Scene message 29: the host is exiting.
void exitingCallback(void* clientData);
// Scene messages 1 (before new) and 5 (before open).
void beforeNewOrOpenCallback(void* clientData);

// Removal of one of the module's nodes, forwarded to the node class's own handler.
void collisionShapeRemovedCallback(MObject& node, void* clientData);
void rigidBodyRemovedCallback(MObject& node, void* clientData);
void fractureBodyRemovedCallback(MObject& node, void* clientData);
void crackerRemovedCallback(MObject& node, void* clientData);
