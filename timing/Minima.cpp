// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Minima.h"

#include "Search.h"

#include <algorithm>
#include <limits>
#include <map>
#include <array>
#include <cmath>
#include <set>
#include <functional>
#include <numeric>

namespace corvane::timing {

namespace {

struct Window {
    std::vector<double> t, m;
    int before = 0, after = 0;
};

Window window(std::span<const double> t, std::span<const double> m, double guess, double halfWidth) {
    std::vector<std::size_t> idx;
    for (std::size_t i = 0; i < t.size() && i < m.size(); ++i) {
        if (std::fabs(t[i] - guess) <= halfWidth && std::isfinite(m[i])) {
            idx.push_back(i);
        }
    }
    std::sort(idx.begin(), idx.end(), [&](std::size_t a, std::size_t b) { return t[a] < t[b]; });
    Window w;
    for (std::size_t i : idx) {
        w.t.push_back(t[i]);
        w.m.push_back(m[i]);
        (t[i] < guess ? w.before : w.after) += 1;
    }
    return w;
}


// The minimum of f over [a, b]: the best of a grid, then golden section between its neighbours.
double searchMinimum(const std::function<double(double)>& f, double a, double b, int grid = 120) {
    double best = a, fb = f(a);
    for (int k = 1; k <= grid; ++k) {
        const double x = a + (b - a) * k / grid;
        if (const double v = f(x); v < fb) {
            fb = v;
            best = x;
        }
    }
    const double h = (b - a) / grid;
    return goldenMinimum(f, std::max(a, best - h), std::min(b, best + h));
}

// Least squares of y = c0 + c1 x + c2 x^2 through the points; false when singular.
bool parabola(const std::vector<double>& x, const std::vector<double>& y, std::array<double, 3>& c) {
    double s[5] = {}, r[3] = {};
    for (std::size_t i = 0; i < x.size(); ++i) {
        double p = 1;
        for (int k = 0; k < 5; ++k) {
            s[k] += p;
            if (k < 3) {
                r[k] += p * y[i];
            }
            p *= x[i];
        }
    }
    const double a[3][3] = {{s[0], s[1], s[2]}, {s[1], s[2], s[3]}, {s[2], s[3], s[4]}};
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (!(std::fabs(det) > 0)) {
        return false;
    }
    for (int col = 0; col < 3; ++col) {
        double b[3][3];
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                b[i][j] = j == col ? r[i] : a[i][j];
            }
        }
        c[static_cast<std::size_t>(col)] = (b[0][0] * (b[1][1] * b[2][2] - b[1][2] * b[2][1]) -
                                            b[0][1] * (b[1][0] * b[2][2] - b[1][2] * b[2][0]) +
                                            b[0][2] * (b[1][0] * b[2][1] - b[1][1] * b[2][0])) /
                                           det;
    }
    return true;
}

} // namespace

namespace {

std::optional<MinimumTime> kweeVanWoerdenOnce(std::span<const double> t, std::span<const double> m, double guess,
                                              double halfWidth, int minBranch) {
    const Window w = window(t, m, guess, halfWidth);
    if (w.before < minBranch || w.after < minBranch) {
        return std::nullopt;
    }
    const double lo = w.t.front(), hi = w.t.back();
    auto curve = [&](double u) {
        const auto it = std::upper_bound(w.t.begin(), w.t.end(), u);
        const std::size_t k = static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(it - w.t.begin(), 1,
                                                                                   static_cast<std::ptrdiff_t>(w.t.size()) - 1));
        const double t0 = w.t[k - 1], t1 = w.t[k];
        return t1 > t0 ? w.m[k - 1] + (u - t0) / (t1 - t0) * (w.m[k] - w.m[k - 1]) : w.m[k];
    };
    // S(T) over the points whose mirror lies inside the window, a quarter of the sum of squares: the
    // interpolated mirrors make about N / 4 of the differences independent.
    int used = 0;
    auto S = [&](double T) {
        double sum = 0;
        int n = 0;
        for (std::size_t i = 0; i < w.t.size(); ++i) {
            const double u = 2 * T - w.t[i];
            if (u >= lo && u <= hi) {
                const double d = w.m[i] - curve(u);
                sum += d * d;
                ++n;
            }
        }
        used = n;
        return n > 0 ? sum / n : 1e300;
    };
    const double best = searchMinimum(S, guess - halfWidth / 2, guess + halfWidth / 2);
    S(best);
    const int n = used;
    const double h = halfWidth / 150;
    std::vector<double> x, y;
    for (int k = -3; k <= 3; ++k) {
        x.push_back(k * h);
        y.push_back(S(best + k * h) * n / 4.0);
    }
    std::array<double, 3> c{};
    if (!parabola(x, y, c) || !(c[2] > 0)) {
        return std::nullopt;
    }
    const double shift = -c[1] / (2 * c[2]);
    const double z = n / 4.0;
    // (4AC - B^2) / 4A is S at the parabola's least value; where the sampled S curves more steeply
    // than a parabola that value can come out below the least S measured, which is taken instead.
    const double least = std::max((4 * c[2] * c[0] - c[1] * c[1]) / (4 * c[2]), S(best) * n / 4.0);
    const double var = least / (c[2] * (z - 1));
    if (z <= 1 || !(var >= 0) || std::fabs(shift) > halfWidth / 4) {
        return std::nullopt;
    }
    return MinimumTime{best + shift, std::sqrt(var), static_cast<int>(w.t.size())};
}

std::optional<MinimumTime> polynomialOnce(std::span<const double> t, std::span<const double> m, double guess,
                                          double halfWidth, int minBranch);

} // namespace

// Both methods are repeated about the time found, so that the window is centred on the minimum and
// takes as much of each branch.
std::optional<MinimumTime> kweeVanWoerden(std::span<const double> t, std::span<const double> m, double guess,
                                          double halfWidth, int minBranch) {
    std::optional<MinimumTime> r;
    for (int k = 0; k < 3; ++k) {
        r = kweeVanWoerdenOnce(t, m, r ? r->time : guess, halfWidth, minBranch);
        if (!r) {
            return r;
        }
    }
    return r;
}

std::optional<MinimumTime> symmetricPolynomial(std::span<const double> t, std::span<const double> m, double guess,
                                               double halfWidth, int minBranch) {
    std::optional<MinimumTime> r;
    for (int k = 0; k < 3; ++k) {
        r = polynomialOnce(t, m, r ? r->time : guess, halfWidth, minBranch);
        if (!r) {
            return r;
        }
    }
    return r;
}

namespace {

std::optional<MinimumTime> polynomialOnce(std::span<const double> t, std::span<const double> m, double guess,
                                          double halfWidthIn, int minBranch) {
    // A quartic follows only the bottom of an eclipse: half the window.
    const double halfWidth = halfWidthIn / 2;
    const Window w = window(t, m, guess, halfWidth);
    if (w.before < minBranch || w.after < minBranch || w.t.size() < 6) {
        return std::nullopt;
    }
    auto rss = [&](double T) {
        std::vector<double> x, y;
        for (std::size_t i = 0; i < w.t.size(); ++i) {
            x.push_back((w.t[i] - T) * (w.t[i] - T) / (halfWidth * halfWidth));
            y.push_back(w.m[i]);
        }
        std::array<double, 3> c{};
        if (!parabola(x, y, c)) {
            return 1e300;
        }
        double s = 0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double d = y[i] - (c[0] + c[1] * x[i] + c[2] * x[i] * x[i]);
            s += d * d;
        }
        return s;
    };
    const double best = searchMinimum(rss, guess - halfWidth / 2, guess + halfWidth / 2);
    const double h = halfWidth / 200;
    const double r0 = rss(best);
    const double curvature = (rss(best + h) - 2 * r0 + rss(best - h)) / (h * h);
    const auto n = static_cast<double>(w.t.size());
    if (!(curvature > 0)) {
        return std::nullopt;
    }
    const double s2 = r0 / (n - 4);
    return MinimumTime{best, std::sqrt(2 * s2 / curvature), static_cast<int>(w.t.size())};
}

} // namespace

double eclipseWidth(std::span<const double> t, std::span<const double> m, double period, double epoch,
                      double centrePhase, double depthFraction) {
    constexpr int Bins = 300;
    constexpr double Reach = 0.15;
    const std::size_t n = std::min(t.size(), m.size());
    if (n < 20 || !(period > 0)) {
        return 0;
    }
    std::vector<double> sum(Bins, 0), count(Bins, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const double d = std::remainder((t[i] - epoch) / period - centrePhase, 1.0);
        if (std::abs(d) < Reach) {
            const auto k = std::min<std::size_t>(static_cast<std::size_t>((d + Reach) / (2 * Reach) * Bins), Bins - 1);
            sum[k] += m[i];
            count[k] += 1;
        }
    }
    std::vector<double> mean(Bins, NAN), outer;
    for (std::size_t k = 0; k < Bins; ++k) {
        if (count[k] > 0) {
            mean[k] = sum[k] / count[k];
            if (k < Bins / 10 || k >= Bins - Bins / 10) {
                outer.push_back(mean[k]);
            }
        }
    }
    if (outer.size() < 4) {
        return 0;
    }
    std::nth_element(outer.begin(), outer.begin() + static_cast<std::ptrdiff_t>(outer.size() / 2), outer.end());
    const double top = outer[outer.size() / 2];
    // The faintest bin near the centre is the eclipse's bottom.
    std::size_t bottom = Bins / 2;
    for (std::size_t k = Bins / 2 - Bins / 10; k < Bins / 2 + Bins / 10; ++k) {
        if (std::isfinite(mean[k]) && (!std::isfinite(mean[bottom]) || mean[k] > mean[bottom])) {
            bottom = k;
        }
    }
    if (!std::isfinite(mean[bottom]) || !(mean[bottom] > top)) {
        return 0;
    }
    const double half = top + depthFraction * (mean[bottom] - top);
    const double binWidth = 2 * Reach / Bins;
    double edge[2] = {0, 0};
    for (const int dir : {-1, 1}) {
        auto last = static_cast<long>(bottom);
        bool found = false;
        for (long k = last + dir; k >= 0 && k < Bins; k += dir) {
            if (!std::isfinite(mean[static_cast<std::size_t>(k)])) {
                continue;
            }
            const double a = mean[static_cast<std::size_t>(last)], b = mean[static_cast<std::size_t>(k)];
            if (b < half) {
                const double f = (a - half) / (a - b);
                edge[dir > 0 ? 1 : 0] = ((static_cast<double>(last) + f * static_cast<double>(k - last)) + 0.5) * binWidth;
                found = true;
                break;
            }
            last = k;
        }
        if (!found) {
            return 0;
        }
    }
    return (edge[1] - edge[0]) * period;
}

double eclipseHalfWidth(std::span<const double> t, std::span<const double> m, double period, double epoch) {
    constexpr int bins = 200;
    const std::size_t n = std::min(t.size(), m.size());
    if (n < 20 || !(period > 0)) {
        return period / 20;
    }
    std::vector<double> sum(bins, 0), count(bins, 0);
    for (std::size_t i = 0; i < n; ++i) {
        double c = (t[i] - epoch) / period + 0.5 / bins; // bin 0 centred on phase 0
        c -= std::floor(c);
        const auto k = std::min<std::size_t>(static_cast<std::size_t>(c * bins), bins - 1);
        sum[k] += m[i];
        count[k] += 1;
    }
    std::vector<double> mean(bins, NAN), filled;
    for (std::size_t k = 0; k < bins; ++k) {
        if (count[k] > 0) {
            mean[k] = sum[k] / count[k];
            filled.push_back(mean[k]);
        }
    }
    if (filled.size() < bins / 4 || !std::isfinite(mean[0])) {
        return period / 20;
    }
    // The bright level: a tenth of the bins are brighter (smaller magnitudes).
    std::nth_element(filled.begin(), filled.begin() + static_cast<std::ptrdiff_t>(filled.size() / 10), filled.end());
    const double top = filled[filled.size() / 10];
    const double half = (mean[0] + top) / 2;
    if (!(mean[0] > top)) {
        return period / 20;
    }
    // Out from phase 0 each way to the first bin brighter than half depth.
    double reach = 0;
    for (const int dir : {1, -1}) {
        int k = 1;
        for (; k < bins / 2; ++k) {
            const double v = mean[static_cast<std::size_t>((dir * k + bins) % bins)];
            if (std::isfinite(v) && v < half) {
                break;
            }
        }
        reach += static_cast<double>(k) / bins / 2;
    }
    return std::clamp(2 * reach, 1.0 / 100, 1.0 / 8) * period;
}

MinimaResult findMinima(std::span<const double> t, std::span<const double> m, double period, double epoch,
                        double halfWidth) {
    MinimaResult r;
    if (t.empty() || !(period > 0)) {
        return r;
    }
    if (!(halfWidth > 0)) {
        halfWidth = eclipseHalfWidth(t, m, period, epoch);
    }
    // An eccentric orbit's secondaries fall away from phase 0.5: where the fold's deepest point between
    // the primaries lies more than a window's half-width from it, the secondaries are sought there.
    double secondaryOffset = 0;
    {
        constexpr int Bins = 200;
        std::vector<double> sum(Bins, 0), count(Bins, 0);
        for (std::size_t i = 0; i < std::min(t.size(), m.size()); ++i) {
            double c = (t[i] - epoch) / period + 0.5 / Bins;
            c -= std::floor(c);
            const auto k = std::min<std::size_t>(static_cast<std::size_t>(c * Bins), Bins - 1);
            sum[k] += m[i];
            count[k] += 1;
        }
        int deepest = -1;
        for (int k = Bins / 10; k < Bins - Bins / 10; ++k) {
            const auto kk = static_cast<std::size_t>(k);
            if (count[kk] > 0 && (deepest < 0 || sum[kk] / count[kk] > sum[static_cast<std::size_t>(deepest)] /
                                                                             count[static_cast<std::size_t>(deepest)])) {
                deepest = k;
            }
        }
        if (deepest >= 0 && std::fabs(deepest / static_cast<double>(Bins) - 0.5) * period > halfWidth) {
            secondaryOffset = (deepest / static_cast<double>(Bins) - 0.5) * period;
        }
    }
    const auto [lo, hi] = std::minmax_element(t.begin(), t.end());
    // Only the half-cycles with a point nearest them can hold a timed eclipse (a window is at most
    // P/8 wide): a walk over every cycle of the span ran for ever on one mistyped time.
    std::set<double> cycles;
    for (const double ti : t) {
        const double e = std::round(2 * (ti - epoch) / period) / 2;
        if (std::isfinite(e)) {
            cycles.insert(e);
        }
    }
    for (const double e : cycles) {
        const bool secondary = std::fabs(e - std::round(e)) >= 0.25;
        const double guess = epoch + e * period + (secondary ? secondaryOffset : 0.0);
        if (guess < *lo - halfWidth || guess > *hi + halfWidth) {
            continue;
        }
        const auto timed = kweeVanWoerden(t, m, guess, halfWidth);
        if (!timed) {
            const Window w = window(t, m, guess, halfWidth);
            if (!w.t.empty()) {
                ++r.skipped;
            }
            continue;
        }
        Minimum mi;
        mi.at = *timed;
        mi.cycle = e;
        mi.primary = std::fabs(e - std::round(e)) < 0.25;
        mi.oMinusC = timed->time - (epoch + e * period);
        r.minima.push_back(mi);
    }
    return r;
}

std::optional<MinimumTime> primaryEpoch(std::span<const double> t, std::span<const double> m, double period) {
    if (t.size() < 20 || !(period > 0)) {
        return std::nullopt;
    }
    constexpr int bins = 100;
    std::vector<double> sum(bins, 0), count(bins, 0);
    for (std::size_t i = 0; i < t.size() && i < m.size(); ++i) {
        const double c = (t[i] - t[0]) / period;
        const auto k = std::min<std::size_t>(static_cast<std::size_t>((c - std::floor(c)) * bins), bins - 1);
        sum[k] += m[i];
        count[k] += 1;
    }
    int deepest = -1;
    for (int k = 0; k < bins; ++k) {
        if (count[static_cast<std::size_t>(k)] > 0 &&
            (deepest < 0 || sum[static_cast<std::size_t>(k)] / count[static_cast<std::size_t>(k)] >
                                sum[static_cast<std::size_t>(deepest)] / count[static_cast<std::size_t>(deepest)])) {
            deepest = k;
        }
    }
    // The coarse bins find the eclipses; which is deeper is told at a resolution finer than either
    // (a narrow deep eclipse against a wide shallow one whose coarse bin averages fainter): the
    // faintest mean of bins a tenth of its half width, three points at least, near each of the two
    // faintest coarse bins at least 0.15 of a phase apart.
    auto meanOf = [&](int k) { return sum[static_cast<std::size_t>(k)] / count[static_cast<std::size_t>(k)]; };
    int other = -1;
    for (int k = 0; k < bins; ++k) {
        const int apart = std::min(std::abs(k - deepest), bins - std::abs(k - deepest));
        if (count[static_cast<std::size_t>(k)] > 0 && apart >= 15 && (other < 0 || meanOf(k) > meanOf(other))) {
            other = k;
        }
    }
    auto faintestNear = [&](double centre, double half) {
        const double width = half / 10, reach = half + period / bins;
        std::map<long, std::pair<double, int>> fine;
        for (std::size_t i = 0; i < t.size() && i < m.size(); ++i) {
            const double c = (t[i] - centre) / period;
            const double d = (c - std::round(c)) * period;
            if (std::fabs(d) <= reach) {
                auto& b = fine[static_cast<long>(std::floor(d / width))];
                b.first += m[i];
                b.second += 1;
            }
        }
        double faintest = -std::numeric_limits<double>::infinity();
        for (const auto& [bin, b] : fine) {
            if (b.second >= 3) {
                faintest = std::max(faintest, b.first / b.second);
            }
        }
        return faintest;
    };
    double reference = t[0] + (deepest + 0.5) / bins * period;
    double halfWidth = eclipseHalfWidth(t, m, period, reference);
    if (other >= 0) {
        const double alternative = t[0] + (other + 0.5) / bins * period;
        const double otherHalf = eclipseHalfWidth(t, m, period, alternative);
        if (faintestNear(alternative, otherHalf) > faintestNear(reference, halfWidth)) {
            reference = alternative;
            halfWidth = otherHalf;
        }
    }
    const auto [lo, hi] = std::minmax_element(t.begin(), t.end());
    const double middle = (*lo + *hi) / 2;
    const double e0 = std::round((middle - reference) / period);
    // The covered cycle nearest the middle.
    for (int step = 0; step < 2000; ++step) {
        const double e = e0 + ((step % 2 == 0) ? step / 2 : -(step + 1) / 2);
        const double guess = reference + e * period;
        if (guess < *lo || guess > *hi) {
            continue;
        }
        if (auto timed = kweeVanWoerden(t, m, guess, halfWidth)) {
            return timed;
        }
    }
    return std::nullopt;
}

std::optional<Ephemeris> fitEphemeris(const std::vector<Minimum>& minima, bool quadratic) {
    // Secondaries of an eccentric orbit fall away from phase 0.5 by the same time every cycle: with
    // primaries and secondaries both timed, that displacement is a parameter of its own, so that it
    // moves neither T0 nor P.
    const auto primaries = std::count_if(minima.begin(), minima.end(), [](const Minimum& m) { return m.primary; });
    const bool shift = primaries >= 2 && primaries < static_cast<std::ptrdiff_t>(minima.size());
    const std::size_t k = (quadratic ? 3 : 2) + (shift ? 1 : 0);
    if (minima.size() < (quadratic ? 3u : 2u)) {
        return std::nullopt;
    }
    std::vector<std::vector<double>> a(k, std::vector<double>(k, 0.0));
    std::vector<double> b(k, 0.0);
    auto basisOf = [&](const Minimum& mi) {
        std::array<double, 4> v{1, mi.cycle, 0, 0};
        std::size_t next = 2;
        if (quadratic) {
            v[next++] = mi.cycle * mi.cycle;
        }
        if (shift) {
            v[next] = mi.primary ? 0 : 1;
        }
        return v;
    };
    for (const Minimum& mi : minima) {
        const double w = mi.at.error > 0 ? 1 / (mi.at.error * mi.at.error) : 1;
        const std::array<double, 4> basis = basisOf(mi);
        for (std::size_t i = 0; i < k; ++i) {
            b[i] += w * basis[i] * mi.at.time;
            for (std::size_t j = 0; j < k; ++j) {
                a[i][j] += w * basis[i] * basis[j];
            }
        }
    }
    // Gauss-Jordan inverse of the normal matrix.
    std::vector<std::vector<double>> inv(k, std::vector<double>(k, 0.0));
    for (std::size_t i = 0; i < k; ++i) {
        inv[i][i] = 1;
    }
    for (std::size_t col = 0; col < k; ++col) {
        std::size_t pivot = col;
        for (std::size_t r = col + 1; r < k; ++r) {
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) {
                pivot = r;
            }
        }
        if (!(std::fabs(a[pivot][col]) > 0)) {
            return std::nullopt;
        }
        std::swap(a[pivot], a[col]);
        std::swap(inv[pivot], inv[col]);
        const double d = a[col][col];
        for (std::size_t j = 0; j < k; ++j) {
            a[col][j] /= d;
            inv[col][j] /= d;
        }
        for (std::size_t r = 0; r < k; ++r) {
            if (r != col) {
                const double f = a[r][col];
                for (std::size_t j = 0; j < k; ++j) {
                    a[r][j] -= f * a[col][j];
                    inv[r][j] -= f * inv[col][j];
                }
            }
        }
    }
    std::vector<double> x(k, 0.0);
    for (std::size_t i = 0; i < k; ++i) {
        for (std::size_t j = 0; j < k; ++j) {
            x[i] += inv[i][j] * b[j];
        }
    }
    Ephemeris e;
    e.t0 = x[0];
    e.period = x[1];
    e.hasQuadratic = quadratic;
    e.quadratic = quadratic ? x[2] : 0;
    e.hasSecondaryShift = shift;
    e.secondaryShift = shift ? x[k - 1] : 0;
    for (const Minimum& mi : minima) {
        const double w = mi.at.error > 0 ? 1 / (mi.at.error * mi.at.error) : 1;
        const double d = mi.at.time - e.at(mi.cycle, mi.primary);
        e.chi2 += w * d * d;
    }
    e.dof = static_cast<int>(minima.size()) - static_cast<int>(k);
    const double scale = e.dof > 0 ? std::sqrt(std::max(1.0, e.chi2 / e.dof)) : 1;
    e.t0Error = std::sqrt(std::max(0.0, inv[0][0])) * scale;
    e.periodError = std::sqrt(std::max(0.0, inv[1][1])) * scale;
    if (quadratic) {
        e.quadraticError = std::sqrt(std::max(0.0, inv[2][2])) * scale;
    }
    if (shift) {
        e.secondaryShiftError = std::sqrt(std::max(0.0, inv[k - 1][k - 1])) * scale;
    }
    return e;
}

} // namespace corvane::timing
