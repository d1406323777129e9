#pragma once

#include "host/api/dgContext.h"
#include "host/api/status.h"
#include "host/core/scene.h"

namespace host {

// Reads a plug in a context. The normal context is the evaluator's read; a timed
// one evaluates upstream at that time (time node, animation curves, motion paths,
// compounds fed child by child) without touching any stored value or dirty bit.
Value readInContext(const PlugKey& plug, const MDGContext& ctx, MStatus* status = nullptr);

// Time-driven built-ins, evaluated at a time; a node of another kind gives nothing.
bool evaluateAtTime(std::uint64_t node, const Attribute* attr, const MTime& t, Value& out);

}  // namespace host
