#pragma once

#include <memory>
#include <vector>

#include "host/api/hostTime.h"
#include "host/core/value.h"

namespace host {

// An animation curve's keys, in time order. A key's out-tangent is linear (toward
// the next key) or stepped (holds its value until the next key).
struct AnimKey {
    MTime time;
    double value = 0;
    bool stepped = false;
};

class AnimKeysData : public DataObject {
public:
    MFn::Type kind() const override { return MFn::kData; }
    std::shared_ptr<DataObject> clone() const override { return std::make_shared<AnimKeysData>(*this); }
    // Replaces a key at the same time.
    void setKey(const AnimKey& key);
    double evaluate(const MTime& t) const;
    std::vector<AnimKey> keys;
};

}  // namespace host
