#include "engine/fracture/jointCandidates.h"

#include <algorithm>
#include <cmath>

#include "geometry/bounds/boundingVolumes.h"

using Qmt::QmtVector3;

namespace {

// A relative margin far above the rounding of any separating-axis test, far below the
// size of a fragment.
constexpr double MARGIN = 1e-4;
constexpr double ORTHONORMAL = 1e-6;

bool orthonormal(const Qmt::QmtMatrix3& axes) {
    const QmtVector3 a[3] = {axes.GetColumn(0), axes.GetColumn(1), axes.GetColumn(2)};
    for (int i = 0; i < 3; ++i) {
        if (!(std::fabs(a[i].SquaredLength() - 1.0) < ORTHONORMAL)) {
            return false;
        }
        if (!(std::fabs(a[i].Dot(a[(i + 1) % 3])) < ORTHONORMAL)) {
            return false;
        }
    }
    return true;
}

struct Bounds {
    double low[3];
    double high[3];
};

}  // namespace

std::vector<std::pair<std::uint32_t, std::uint32_t>> overlapCandidates(const std::vector<const ZYLbox*>& boxes,
                                                                      double grow) {
    using Pair = std::pair<std::uint32_t, std::uint32_t>;
    const auto n = static_cast<std::uint32_t>(boxes.size());
    std::vector<Bounds> bounds(n);
    std::vector<std::uint32_t> swept;  // boxes with usable bounds
    std::vector<std::uint32_t> loose;  // the others: paired with everything
    double scale = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const ZYLbox& box = *boxes[i];
        bool usable = orthonormal(box.axes);
        for (int j = 0; j < 3; ++j) {
            usable = usable && box.halfExtents[j] + grow >= 0.0;
        }
        for (int k = 0; k < 3 && usable; ++k) {
            double reach = 0.0;
            for (int j = 0; j < 3; ++j) {
                reach += std::fabs(box.axes(k, j)) * (box.halfExtents[j] + grow);
            }
            bounds[i].low[k] = box.centre[k] - reach;
            bounds[i].high[k] = box.centre[k] + reach;
            usable = std::isfinite(bounds[i].low[k]) && std::isfinite(bounds[i].high[k]);
        }
        if (!usable) {
            loose.push_back(i);
            continue;
        }
        swept.push_back(i);
        for (int k = 0; k < 3; ++k) {
            scale = std::max({scale, std::fabs(bounds[i].low[k]), std::fabs(bounds[i].high[k])});
        }
    }
    const double margin = MARGIN * scale;
    const auto apart = [&](std::uint32_t a, std::uint32_t b, int k) {
        return bounds[a].low[k] - bounds[b].high[k] > margin || bounds[b].low[k] - bounds[a].high[k] > margin;
    };

    // Sweep along the axis on which the bounds spread most.
    int axis = 0;
    double widest = -1.0;
    for (int k = 0; k < 3; ++k) {
        double low = 0.0;
        double high = 0.0;
        for (std::size_t s = 0; s < swept.size(); ++s) {
            const double c = bounds[swept[s]].low[k];
            low = s == 0 ? c : std::min(low, c);
            high = s == 0 ? c : std::max(high, c);
        }
        if (high - low > widest) {
            widest = high - low;
            axis = k;
        }
    }
    std::sort(swept.begin(), swept.end(), [&](std::uint32_t a, std::uint32_t b) {
        return bounds[a].low[axis] < bounds[b].low[axis] || (bounds[a].low[axis] == bounds[b].low[axis] && a < b);
    });

    std::vector<Pair> pairs;
    for (std::size_t s = 0; s < swept.size(); ++s) {
        const std::uint32_t a = swept[s];
        for (std::size_t t = s + 1; t < swept.size(); ++t) {
            const std::uint32_t b = swept[t];
            if (bounds[b].low[axis] - bounds[a].high[axis] > margin) {
                break;
            }
            if (!apart(a, b, (axis + 1) % 3) && !apart(a, b, (axis + 2) % 3)) {
                pairs.emplace_back(std::min(a, b), std::max(a, b));
            }
        }
    }
    for (const std::uint32_t a : loose) {
        for (std::uint32_t b = 0; b < n; ++b) {
            // A pair of two loose boxes is made once, from its smaller index.
            const bool bothLoose = std::binary_search(loose.begin(), loose.end(), b);
            if (b != a && (!bothLoose || a < b)) {
                pairs.emplace_back(std::min(a, b), std::max(a, b));
            }
        }
    }
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}
