#include "host/api/hostTime.h"

namespace {

// Units per hour: whole numbers, so a conversion rounds once and a whole frame
// that is a whole frame in the other unit too converts exactly.
double perHour(MTime::Unit unit) {
    switch (unit) {
        case MTime::kHours: return 1.0;
        case MTime::kMinutes: return 60.0;
        case MTime::kSeconds: return 3600.0;
        case MTime::kMilliseconds: return 3600000.0;
        case MTime::kGames: return 54000.0;
        case MTime::kFilm: return 86400.0;
        case MTime::kPALFrame: return 90000.0;
        case MTime::kNTSCFrame: return 108000.0;
        case MTime::kShowScan: return 172800.0;
        case MTime::kPALField: return 180000.0;
        case MTime::kNTSCField: return 216000.0;
        default: return 0.0;
    }
}

}  // namespace

double MTime::unitsPerSecond(Unit unit) { return perHour(unit) / 3600.0; }

double MTime::as(Unit unit) const {
    if (unit == unit_) return value_;
    const double from = perHour(unit_), to = perHour(unit);
    if (from == 0 || to == 0) return 0;
    return value_ * to / from;
}

void MTime::setUnit(Unit unit) {
    value_ = as(unit);
    unit_ = unit;
}
