#pragma once

// A time value with its unit. Arithmetic and comparisons convert the right
// operand into the left operand's unit, so sums of whole frames stay exact.
class MTime {
public:
    enum Unit {
        kInvalid = 0,
        kHours,
        kMinutes,
        kSeconds,
        kMilliseconds,
        kGames,     // 15 fps
        kFilm,      // 24 fps
        kPALFrame,  // 25 fps
        kNTSCFrame, // 30 fps
        kShowScan,  // 48 fps
        kPALField,  // 50 fps
        kNTSCField, // 60 fps
        kLast
    };

    constexpr MTime() = default;
    constexpr MTime(double value, Unit unit = kFilm) : value_(value), unit_(unit) {}

    double value() const { return value_; }
    Unit unit() const { return unit_; }
    double as(Unit unit) const;
    void setValue(double v) { value_ = v; }
    // Keeps the time, expresses it in the new unit.
    void setUnit(Unit unit);

    MTime operator+(const MTime& o) const { return {value_ + o.as(unit_), unit_}; }
    MTime operator-(const MTime& o) const { return {value_ - o.as(unit_), unit_}; }
    MTime operator+(double frames) const { return {value_ + frames, unit_}; }
    MTime operator-(double frames) const { return {value_ - frames, unit_}; }
    MTime& operator+=(const MTime& o) { return *this = *this + o; }
    MTime& operator-=(const MTime& o) { return *this = *this - o; }
    bool operator==(const MTime& o) const { return value_ == o.as(unit_); }
    bool operator!=(const MTime& o) const { return !(*this == o); }
    bool operator<(const MTime& o) const { return value_ < o.as(unit_); }
    bool operator<=(const MTime& o) const { return value_ <= o.as(unit_); }
    bool operator>(const MTime& o) const { return value_ > o.as(unit_); }
    bool operator>=(const MTime& o) const { return value_ >= o.as(unit_); }

    // Units per second; 0 for kInvalid.
    static double unitsPerSecond(Unit unit);
    // The scene's current time unit.
    static Unit uiUnit();

private:
    double value_ = 0;
    Unit unit_ = kFilm;
};
