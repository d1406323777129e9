#include "src/moduleRegistry.h"

MStatus initializeModule(MObject) { return MS::kSuccess; }

MStatus uninitializeModule(MObject obj) {
    if (obj.isNull()) return MS::kFailure;
    return MS::kSuccess;
}
