#include "host/scene/animationData.h"

#include <algorithm>

namespace host {

void AnimKeysData::setKey(const AnimKey& key) {
    const auto it = std::lower_bound(keys.begin(), keys.end(), key.time,
                                     [](const AnimKey& k, const MTime& t) { return k.time < t; });
    if (it != keys.end() && it->time == key.time)
        *it = key;
    else
        keys.insert(it, key);
}

double AnimKeysData::evaluate(const MTime& t) const {
    if (keys.empty()) return 0;
    if (t <= keys.front().time) return keys.front().value;
    if (t >= keys.back().time) return keys.back().value;
    const auto next = std::upper_bound(keys.begin(), keys.end(), t,
                                       [](const MTime& x, const AnimKey& k) { return x < k.time; });
    const AnimKey& a = *(next - 1);
    const AnimKey& b = *next;
    if (a.stepped || t == a.time) return a.value;
    // In frames of the key's own unit, multiplying before dividing: whole-frame keys
    // take no round trip through seconds, and a time on a key gives its value exactly.
    const MTime::Unit unit = a.time.unit();
    const double span = b.time.as(unit) - a.time.value();
    const double done = t.as(unit) - a.time.value();
    return span > 0 ? a.value + (b.value - a.value) * done / span : a.value;
}

}  // namespace host
