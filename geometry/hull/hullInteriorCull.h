#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "math/qmtVector3.h"

// Candidates that face-driven growth keeps out of its conflict tracker.
//
// Each face of that growth is answered by the candidate of largest projection on its
// normal (the highest input index among equals), which joins the hull when it lies
// more than the tolerance above the face. A point deeper than `depth` inside the hull
// of a few of the cloud's points (the corners) lies at least that depth below the
// highest corner over every face. On a solid cloud most points are such points, and
// nearly every face's answer or a corner lies higher than all of them: the growth
// then asks the tracker alone, and is spared their ranking, classification and tree.
// Where a corner that has joined the hull stands over a face (a plain build's widened
// steps tilt faces over their own vertices), the points left out are searched for one
// that would answer the face in place of the tracker's.
class InteriorCull {
public:
    static constexpr std::uint32_t NONE = 0xFFFFFFFFu;
    // Clouds from this many points on are culled (a cube of 2,000 points builds about
    // 10 % faster); on fewer the corners' search and the tests cost what they save.
    static constexpr std::uint32_t CULL_FROM = 2048;

    // Moves out of candidates (ascending input indices, kept in order) the points
    // that lie deeper than `depth` inside the hull of the cloud's extreme points along
    // the eight diagonals of its box [lo, hi], as far as tetrahedra of those points and
    // a box inside them tell, unless a sample finds that few do. `rounding` bounds the
    // rounding of a point's dot product with a unit normal.
    void apply(const Qmt::QmtVector3* points, std::uint32_t n, std::vector<std::uint32_t>& candidates,
               const Qmt::QmtVector3& lo, const Qmt::QmtVector3& hi, double depth, double rounding);

    // Whether some point left out has not joined the hull.
    bool active() const { return remaining_ > 0; }

    enum class Verdict {
        STANDS,  // the points left out change neither whether nor which candidate joins
        TAKEN,   // `taken`, a point left out, is the face's answer and lies outside it
        UNSURE,  // too close to the tolerance to call within rounding
    };
    // Judges the answer of the face through `corner` with normal `normal` (not always
    // of unit length) against the points left out; `best` is the answer among the
    // other candidates (NONE: none), and a point more than `tolerance` above is
    // outside.
    Verdict challenge(const Qmt::QmtVector3* points, const Qmt::QmtVector3& normal, const Qmt::QmtVector3& corner,
                      std::uint32_t best, double tolerance, std::uint32_t& taken);

    // A point left out has joined the hull.
    void joined(std::uint32_t index);

    // Ends the cull: the points left out that have not joined, ascending.
    std::vector<std::uint32_t> release();

private:
    // Every this many candidates one is tested first (see apply).
    static constexpr std::size_t SAMPLE_STRIDE = 32;

    std::vector<std::uint32_t> culled_;  // the points left out, ascending
    std::vector<std::uint8_t> joined_;   // per entry of culled_
    std::uint32_t remaining_ = 0;
    // The points left out by the cell of a coarse grid they fall in, made at the first
    // search (most builds make none): a search reads only the cells whose box reaches
    // high enough.
    static constexpr std::uint32_t GRID = 8;
    struct Cell {
        Qmt::QmtVector3 lo;
        Qmt::QmtVector3 hi;
        std::uint32_t begin = 0;
        std::uint32_t end = 0;
    };
    std::uint32_t cellOf(const Qmt::QmtVector3& p) const;
    void buildGrid(const Qmt::QmtVector3* points);

    std::vector<Cell> cells_;
    std::vector<double> xs_;
    std::vector<double> ys_;
    std::vector<double> zs_;
    std::vector<std::uint32_t> position_;  // into culled_
    Qmt::QmtVector3 gridLo_;
    Qmt::QmtVector3 gridScale_;
    std::uint32_t corners_[8] = {};
    std::uint32_t cornerCount_ = 0;
    double depth_ = 0.0;
    double rounding_ = 0.0;
};
