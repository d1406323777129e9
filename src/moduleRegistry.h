#pragma once

#include "host/api/object.h"
#include "host/api/status.h"

// Registers the module's node types, commands, context and callbacks with the host,
// and removes them again.
MStatus initializeModule(MObject obj);
MStatus uninitializeModule(MObject obj);
