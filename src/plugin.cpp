// The module's two entry points; everything else lives in the core library, which
// unit tests register in-process.
#include "host/api/plugin.h"
#include "src/moduleRegistry.h"

HOST_PLUGIN_EXPORT MStatus initializePlugin(MObject obj) { return initializeModule(obj); }
HOST_PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj) { return uninitializeModule(obj); }
