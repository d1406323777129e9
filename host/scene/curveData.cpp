#include "host/scene/curveData.h"

#include <algorithm>

namespace host {

CurveGeometry CurveGeometry::clampedUniform(std::vector<std::array<double, 3>> cvs, int degree) {
    CurveGeometry c;
    c.degree = std::max(1, std::min(degree, static_cast<int>(cvs.size()) - 1));
    c.cvs = std::move(cvs);
    const int spans = static_cast<int>(c.cvs.size()) - c.degree;
    for (int i = 0; i < c.degree - 1; ++i) c.knots.push_back(0);
    for (int i = 0; i <= spans; ++i) c.knots.push_back(i);
    for (int i = 0; i < c.degree - 1; ++i) c.knots.push_back(spans);
    return c;
}

std::array<double, 3> CurveGeometry::point(double t) const {
    if (cvs.empty()) return {0, 0, 0};
    if (cvs.size() == 1 || knots.empty()) return cvs.front();
    // The full knot vector repeats each end once more than the host's list.
    std::vector<double> u;
    u.push_back(knots.front());
    u.insert(u.end(), knots.begin(), knots.end());
    u.push_back(knots.back());
    t = std::clamp(t, domainStart(), domainEnd());
    const int p = degree, n = static_cast<int>(cvs.size());
    int k = p;
    while (k < n - 1 && t >= u[static_cast<std::size_t>(k + 1)]) ++k;
    // de Boor.
    std::vector<std::array<double, 3>> d(static_cast<std::size_t>(p + 1));
    for (int j = 0; j <= p; ++j) d[static_cast<std::size_t>(j)] = cvs[static_cast<std::size_t>(j + k - p)];
    for (int r = 1; r <= p; ++r)
        for (int j = p; j >= r; --j) {
            const double lo = u[static_cast<std::size_t>(j + k - p)], hi = u[static_cast<std::size_t>(j + 1 + k - r)];
            const double a = hi > lo ? (t - lo) / (hi - lo) : 0;
            for (int c = 0; c < 3; ++c)
                d[static_cast<std::size_t>(j)][c] =
                    (1 - a) * d[static_cast<std::size_t>(j - 1)][c] + a * d[static_cast<std::size_t>(j)][c];
        }
    return d[static_cast<std::size_t>(p)];
}

}  // namespace host
