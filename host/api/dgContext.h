#pragma once

#include "host/api/hostTime.h"

// Where a plug is evaluated: the normal scene state, or a given time.
class MDGContext {
public:
    MDGContext() = default;
    explicit MDGContext(const MTime& t) : timed_(true), time_(t) {}

    bool isNormal() const { return !timed_; }
    MTime getTime() const { return time_; }

    static const MDGContext fsNormal;

private:
    bool timed_ = false;
    MTime time_;
};
