#pragma once

#include "host/api/status.h"

namespace host {

// One journaled step of a graph or DAG modifier.
struct ModifierOp {
    virtual ~ModifierOp() = default;
    virtual MStatus doIt() = 0;
    virtual MStatus undoIt() = 0;
};

}  // namespace host
