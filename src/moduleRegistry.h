#pragma once

#include <cstdint>

#include "host/api/object.h"
#include "host/api/status.h"

// Registers the module's node types, commands, context and callbacks with the host,
// and removes them again.
MStatus initializeModule(MObject obj);
MStatus uninitializeModule(MObject obj);

// 1 while the host runs with its main window, 0 in batch mode; asked at load.
std::int32_t mainWindowExists();
