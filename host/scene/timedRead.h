#pragma once

#include <map>
#include <tuple>

#include "host/api/dgContext.h"
#include "host/api/status.h"
#include "host/core/scene.h"

namespace host {

// The scratch values of one timed read: what the computes run at that time read and
// wrote, kept apart from the scene's own values and dirty bits.
class TimedValues {
public:
    struct Entry {
        Value value;
        bool clean = false;      // computed (or marked clean) at this time
        bool computing = false;  // its compute is running
    };

    explicit TimedValues(const MTime& t) : time_(t) {}
    const MTime& time() const { return time_; }
    int depth = 0;  // computes running inside one another
    // The entry of a plug (by storage), starting from the scene's stored value.
    Entry& entry(std::uint64_t node, const Attribute* attr, int index);

private:
    MTime time_;
    std::map<std::tuple<std::uint64_t, const Attribute*, int>, Entry> entries_;
};

// Reads a plug in a context. The normal context is the evaluator's read; a timed
// one evaluates upstream at that time (time node, animation curves, motion paths,
// compounds fed child by child, module nodes' computes) without touching any stored
// value or dirty bit.
Value readInContext(const PlugKey& plug, const MDGContext& ctx, MStatus* status = nullptr);

// A plug at the time of `values`, for a compute running there.
Value readTimed(const PlugKey& plug, TimedValues& values);

// Time-driven built-ins, evaluated at a time; a node of another kind gives nothing.
bool evaluateAtTime(std::uint64_t node, const Attribute* attr, const MTime& t, Value& out);

}  // namespace host
