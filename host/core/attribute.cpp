#include "host/core/attribute.h"

#include <algorithm>

namespace host {

MFn::Type Attribute::apiType() const {
    switch (kind) {
        case AttrKind::Numeric: return MFn::kNumericAttribute;
        case AttrKind::Typed: return MFn::kTypedAttribute;
        case AttrKind::Message: return MFn::kMessageAttribute;
        case AttrKind::Enum: return MFn::kEnumAttribute;
        case AttrKind::Unit: return MFn::kUnitAttribute;
        case AttrKind::Compound: return MFn::kCompoundAttribute;
    }
    return MFn::kAttribute;
}

double Attribute::clamp(double v) const {
    if (minValue) v = std::max(v, *minValue);
    if (maxValue) v = std::min(v, *maxValue);
    return v;
}

}  // namespace host
