#pragma once

// A fresh, quiet batch session of the host with the module loaded: where every benchmark
// that drives the module through its commands starts.

#include "host/core/runtime.h"
#include "src/moduleRegistry.h"

namespace benchdata {

inline host::Runtime& freshModuleSession() {
    host::Runtime& rt = host::runtime();
    rt.reset();
    rt.log.setQuiet(true);
    rt.options.batch = true;
    rt.loadStaticModule(initializeModule, uninitializeModule, "zylMaya3x");
    return rt;
}

} // namespace benchdata
