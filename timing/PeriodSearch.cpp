// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "PeriodSearch.h"

#include "Minima.h"
#include "Search.h"

#include "platform/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <optional>

namespace corvane::timing {

namespace {

constexpr double TwoPi = 2 * 3.14159265358979;

struct Bin {
    double n = 0, s = 0, ss = 0;
};

std::vector<Bin> fold(std::span<const double> t, std::span<const double> m, double period, int bins, double t0) {
    std::vector<Bin> b(static_cast<std::size_t>(bins));
    for (std::size_t i = 0; i < t.size(); ++i) {
        const double c = (t[i] - t0) / period;
        auto k = static_cast<std::size_t>((c - std::floor(c)) * bins);
        k = std::min(k, static_cast<std::size_t>(bins - 1));
        b[k].n += 1;
        b[k].s += m[i];
        b[k].ss += m[i] * m[i];
    }
    return b;
}

double median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Whether the two halves of the series folded on P (phases 0..0.5 and 0.5..1) are the same curve
// within their errors: a chi-square of their difference, bin by bin, within five standard deviations
// of its expectation.
bool halvesAlike(std::span<const double> t, std::span<const double> m, double period) {
    constexpr int half = 40;
    const std::vector<Bin> b = fold(t, m, period, 2 * half, t.front());
    double chi2 = 0;
    int dof = 0;
    for (int k = 0; k < half; ++k) {
        const Bin& a = b[static_cast<std::size_t>(k)];
        const Bin& c = b[static_cast<std::size_t>(k + half)];
        if (a.n < 3 || c.n < 3) {
            continue;
        }
        const double ma = a.s / a.n, mc = c.s / c.n;
        const double va = std::max(0.0, (a.ss - a.n * ma * ma) / (a.n - 1)) / a.n;
        const double vc = std::max(0.0, (c.ss - c.n * mc * mc) / (c.n - 1)) / c.n;
        if (va + vc <= 0) {
            continue;
        }
        chi2 += (ma - mc) * (ma - mc) / (va + vc);
        ++dof;
    }
    if (dof < 4) {
        return true; // nothing to tell them apart with
    }
    return chi2 / dof < 1 + 5 * std::sqrt(2.0 / dof);
}


// The light at the bottom of the minimum near `at` (a parabola through the points within
// +-halfWidth of it, over every cycle of `period`), with its error; nothing for fewer than 10 points.
std::optional<std::pair<double, double>> bottomOf(std::span<const double> t, std::span<const double> m, double period,
                                                  double at, double halfWidth) {
    double s[5] = {0, 0, 0, 0, 0}, r[3] = {0, 0, 0};
    std::vector<std::pair<double, double>> used;
    for (std::size_t i = 0; i < t.size(); ++i) {
        double d = (t[i] - at) / period;
        d = (d - std::round(d)) * period;
        if (std::fabs(d) > halfWidth) {
            continue;
        }
        const double x = d / halfWidth;
        double p = 1;
        for (int k = 0; k < 5; ++k) {
            s[k] += p;
            if (k < 3) {
                r[k] += p * m[i];
            }
            p *= x;
        }
        used.emplace_back(x, m[i]);
    }
    if (used.size() < 10) {
        return std::nullopt;
    }
    // The normal equations of a + b x + c x^2, solved by Cramer's rule.
    const double a[3][3] = {{s[0], s[1], s[2]}, {s[1], s[2], s[3]}, {s[2], s[3], s[4]}};
    auto det3 = [](const double q[3][3]) {
        return q[0][0] * (q[1][1] * q[2][2] - q[1][2] * q[2][1]) - q[0][1] * (q[1][0] * q[2][2] - q[1][2] * q[2][0]) +
               q[0][2] * (q[1][0] * q[2][1] - q[1][1] * q[2][0]);
    };
    const double det = det3(a);
    if (!(std::fabs(det) > 0)) {
        return std::nullopt;
    }
    double coef[3];
    for (int c = 0; c < 3; ++c) {
        double q[3][3];
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                q[i][j] = j == c ? r[i] : a[i][j];
            }
        }
        coef[c] = det3(q) / det;
    }
    double rss = 0;
    for (const auto& [x, v] : used) {
        const double e = v - (coef[0] + coef[1] * x + coef[2] * x * x);
        rss += e * e;
    }
    const double s2 = rss / static_cast<double>(used.size() - 3);
    const double cofactor = a[1][1] * a[2][2] - a[1][2] * a[2][1]; // (A^-1)_00 = cofactor / det
    return std::pair{coef[0], std::sqrt(std::max(0.0, s2 * cofactor / det))};
}

// Whether the two minima of the series folded on P (the deepest at phase 0 and the one half a
// cycle later) differ in depth by more than five times their combined error.
bool depthsDiffer(std::span<const double> t, std::span<const double> m, double period) {
    constexpr int bins = 100;
    const double half = period / 2;
    // The deepest phase of the fold on P/2, where both minima fall.
    std::vector<double> sum(bins, 0), count(bins, 0);
    for (std::size_t i = 0; i < t.size(); ++i) {
        const double c = (t[i] - t[0]) / half;
        const auto k = std::min<std::size_t>(static_cast<std::size_t>((c - std::floor(c)) * bins), bins - 1);
        sum[k] += m[i];
        count[k] += 1;
    }
    std::size_t deepest = 0;
    for (std::size_t k = 1; k < bins; ++k) {
        if (count[k] > 0 && (count[deepest] == 0 || sum[k] / count[k] > sum[deepest] / count[deepest])) {
            deepest = k;
        }
    }
    const double at = t[0] + (static_cast<double>(deepest) + 0.5) / bins * half;
    const double bottom = eclipseHalfWidth(t, m, half, at) / 4;
    const auto a = bottomOf(t, m, period, at, bottom), b = bottomOf(t, m, period, at + half, bottom);
    if (!a || !b) {
        return false;
    }
    return std::fabs(a->first - b->first) > 5 * std::hypot(a->second, b->second);
}

struct Stretch {
    std::size_t begin = 0, end = 0; // [begin, end) of the time-ordered series
};

// The series (in time order) cut at every gap longer than `gap`.
std::vector<Stretch> splitStretches(const std::vector<double>& ts, double gap) {
    std::vector<Stretch> out{{0, ts.size()}};
    for (std::size_t i = 1; i < ts.size(); ++i) {
        if (ts[i] - ts[i - 1] > gap) {
            out.back().end = i;
            out.push_back({i, ts.size()});
        }
    }
    return out;
}

// The phase dispersion with each stretch folded on its own: the scatter within the bins of every
// stretch, pooled, over the scatter of the stretches about their own means. Blind to how the
// stretches line up with one another.
double stretchDispersion(std::span<const double> t, std::span<const double> m, const std::vector<Stretch>& stretches,
                         double period, int bins = 50) {
    double within = 0, withinDof = 0, total = 0, totalDof = 0;
    for (const Stretch& s : stretches) {
        const std::size_t len = s.end - s.begin;
        if (len < 3) {
            continue;
        }
        const auto ts = t.subspan(s.begin, len), ms = m.subspan(s.begin, len);
        const double mean = std::accumulate(ms.begin(), ms.end(), 0.0) / static_cast<double>(len);
        for (double v : ms) {
            total += (v - mean) * (v - mean);
        }
        totalDof += static_cast<double>(len - 1);
        for (const Bin& x : fold(ts, ms, period, bins, ts[0])) {
            if (x.n >= 2) {
                within += x.ss - x.s * x.s / x.n;
                withinDof += x.n - 1;
            }
        }
    }
    if (withinDof < 1 || !(total > 0)) {
        return 1;
    }
    return (within / withinDof) / (total / totalDof);
}

// The Lomb-Scargle power of each stretch, weighted by its points.
double stretchLombScargle(std::span<const double> t, std::span<const double> m, const std::vector<Stretch>& stretches,
                          double frequency) {
    if (stretches.size() == 1) {
        return lombScargle(t, m, frequency);
    }
    double sum = 0, count = 0;
    for (const Stretch& s : stretches) {
        const std::size_t len = s.end - s.begin;
        if (len >= 3) {
            sum += lombScargle(t.subspan(s.begin, len), m.subspan(s.begin, len), frequency);
            count += static_cast<double>(len);
        }
    }
    return count > 0 ? sum * static_cast<double>(t.size()) / count : 0;
}

} // namespace

double phaseDispersion(std::span<const double> t, std::span<const double> m, double period, int bins) {
    const std::size_t n = std::min(t.size(), m.size());
    if (n < 3 || !(period > 0) || bins < 2) {
        return 1;
    }
    double mean = 0;
    for (std::size_t i = 0; i < n; ++i) {
        mean += m[i];
    }
    mean /= static_cast<double>(n);
    double total = 0;
    for (std::size_t i = 0; i < n; ++i) {
        total += (m[i] - mean) * (m[i] - mean);
    }
    if (!(total > 0)) {
        return 1;
    }
    const std::vector<Bin> b = fold(t.subspan(0, n), m.subspan(0, n), period, bins, t[0]);
    double within = 0, count = 0, used = 0;
    for (const Bin& x : b) {
        if (x.n >= 2) {
            within += x.ss - x.s * x.s / x.n;
            count += x.n;
            used += 1;
        }
    }
    if (count - used < 1) {
        return 1;
    }
    return (within / (count - used)) / (total / static_cast<double>(n - 1));
}

double lombScargle(std::span<const double> t, std::span<const double> m, double frequency) {
    const std::size_t n = std::min(t.size(), m.size());
    if (n < 3) {
        return 0;
    }
    double mean = 0;
    for (std::size_t i = 0; i < n; ++i) {
        mean += m[i];
    }
    mean /= static_cast<double>(n);
    double var = 0;
    for (std::size_t i = 0; i < n; ++i) {
        var += (m[i] - mean) * (m[i] - mean);
    }
    var /= static_cast<double>(n - 1);
    const double w = TwoPi * frequency;
    double s2 = 0, c2 = 0;
    for (std::size_t i = 0; i < n; ++i) {
        s2 += std::sin(2 * w * t[i]);
        c2 += std::cos(2 * w * t[i]);
    }
    const double tau = std::atan2(s2, c2) / (2 * w);
    double yc = 0, ys = 0, cc = 0, ss = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double c = std::cos(w * (t[i] - tau)), s = std::sin(w * (t[i] - tau));
        const double y = m[i] - mean;
        yc += y * c;
        ys += y * s;
        cc += c * c;
        ss += s * s;
    }
    if (!(var > 0) || cc <= 0 || ss <= 0) {
        return 0;
    }
    return (yc * yc / cc + ys * ys / ss) / (2 * var);
}

PeriodSearch searchPeriod(std::span<const double> t, std::span<const double> m, double minPeriod, double maxPeriod,
                          Method method, const std::atomic<bool>* cancel) {
    PeriodSearch r;
    r.method = method;
    const std::size_t n = std::min(t.size(), m.size());
    if (n < 20) {
        r.why = "too few points for a period search (" + std::to_string(n) + "; at least 20)";
        return r;
    }
    // The series in time order.
    std::vector<std::size_t> index(n);
    std::iota(index.begin(), index.end(), std::size_t{0});
    std::sort(index.begin(), index.end(), [&](std::size_t a, std::size_t b) { return t[a] < t[b]; });
    // A time far off at either end (a typo) would stretch the span, and with it the number of
    // trials, by as much: such points are left out and reported.
    std::size_t lo = 0, hi = n - 1;
    while (hi - lo + 1 > 20 && r.leftOut.size() < n / 10) {
        const double rest = t[index[hi - 1]] - t[index[lo + 1]];
        const double floor = std::max(rest, 1e-6);
        if (t[index[hi]] - t[index[hi - 1]] > 1000 * floor) {
            r.leftOut.push_back(t[index[hi--]]);
        } else if (t[index[lo + 1]] - t[index[lo]] > 1000 * floor) {
            r.leftOut.push_back(t[index[lo++]]);
        } else {
            break;
        }
    }
    std::vector<double> ts, ms;
    for (std::size_t i = lo; i <= hi; ++i) {
        ts.push_back(t[index[i]]);
        ms.push_back(m[index[i]]);
    }
    const double span = ts.back() - ts.front();
    auto stopped = [&] {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            r.cancelled = true;
        }
        return r.cancelled;
    };
    auto stop = [&](PeriodSearch& result) {
        result.period = 0;
        result.why = "cancelled";
        return result;
    };
    std::vector<double> steps;
    for (std::size_t i = 1; i < ts.size(); ++i) {
        if (ts[i] > ts[i - 1]) {
            steps.push_back(ts[i] - ts[i - 1]);
        }
    }
    if (minPeriod <= 0) {
        minPeriod = std::max(0.05, 3 * median(steps));
    }
    if (maxPeriod <= 0) {
        maxPeriod = span / 2;
    }
    r.minPeriod = minPeriod;
    r.maxPeriod = maxPeriod;
    if (!(span > 0) || maxPeriod * 2 > span * (1 + 1e-9) || !(maxPeriod > minPeriod)) {
        r.why = "the time span (" + platform::GeneralNumber(span) + " d) is shorter than two trial periods of the range " +
                platform::GeneralNumber(minPeriod) + " to " + platform::GeneralNumber(maxPeriod) + " d";
        return r;
    }
    // Campaigns far apart (seasons, space-telescope sectors) are separate stretches, each brought to
    // its own median level: their zero points seldom agree.
    const std::vector<Stretch> stretches = splitStretches(ts, span / 5);
    double longest = 0;
    for (const Stretch& s : stretches) {
        const std::span<double> part(ms.data() + s.begin, s.end - s.begin);
        const double level = median(std::vector<double>(part.begin(), part.end()));
        for (double& v : part) {
            v -= level;
        }
        longest = std::max(longest, ts[s.end - 1] - ts[s.begin]);
    }
    longest = std::max(longest, span / 1e4);
    const std::span<const double> tt(ts), mm(ms);
    auto coherent = [&](double period) {
        return method == Method::Dispersion ? 1 - phaseDispersion(tt, mm, period) : lombScargle(tt, mm, 1 / period);
    };
    // Each stretch on its own, summed: a smooth periodogram whose peaks are as wide as one stretch
    // allows, so a step of a tenth of 1/(longest stretch) cannot miss one; across the gaps between
    // stretches the fringes are far narrower and are searched only near these peaks.
    auto separate = [&](double period) {
        return method == Method::Dispersion ? 1 - stretchDispersion(tt, mm, stretches, period)
                                            : stretchLombScargle(tt, mm, stretches, 1 / period);
    };
    const double dfCoarse = 1 / (10 * longest);
    const double trials = (1 / minPeriod - 1 / maxPeriod) / dfCoarse;
    if (!(trials <= MaxTrials)) {
        r.why = "the search from " + platform::GeneralNumber(minPeriod) + " to " + platform::GeneralNumber(maxPeriod) +
                " d over a span of " + platform::GeneralNumber(span) + " d would take " +
                platform::GeneralNumber(std::round(trials)) + " trial periods (at most " +
                platform::GeneralNumber(MaxTrials) + "): give a narrower range";
        return r;
    }
    for (double f = 1 / maxPeriod; f <= 1 / minPeriod; f += dfCoarse) {
        if (r.periods.size() % 1024 == 0 && stopped()) {
            return stop(r);
        }
        r.periods.push_back(1 / f);
        r.power.push_back(separate(1 / f));
    }
    // The separate peaks: local maxima, best first, each refined.
    std::vector<std::size_t> peaks;
    for (std::size_t k = 0; k < r.power.size(); ++k) {
        const bool left = k == 0 || r.power[k] >= r.power[k - 1];
        const bool right = k + 1 == r.power.size() || r.power[k] > r.power[k + 1];
        if (left && right) {
            peaks.push_back(k);
        }
    }
    std::sort(peaks.begin(), peaks.end(), [&](std::size_t a, std::size_t b) { return r.power[a] > r.power[b]; });
    // Near a peak, every fringe of the whole series: a step of 1/(100 T) resolves a folded eclipse
    // kept to a fiftieth of the phase over the span T; the best is then refined by golden section.
    const double dfFine = 1 / (100 * span);
    auto refine = [&](double period) {
        const double f0 = 1 / period;
        double bestF = f0, bestPower = coherent(period);
        const double reach = 1.5 * dfCoarse;
        long long k = 0;
        for (double f = std::max(f0 - reach, dfFine); f <= f0 + reach; f += dfFine) {
            if (++k % 1024 == 0 && stopped()) {
                break;
            }
            const double p = coherent(1 / f);
            if (p > bestPower) {
                bestPower = p;
                bestF = f;
            }
        }
        const double best = 1 / goldenMinimum([&](double f) { return -coherent(1 / f); }, bestF - dfFine, bestF + dfFine);
        return Candidate{best, coherent(best)};
    };
    // More peaks refined than kept: neighbouring peaks may refine to one period.
    for (std::size_t k = 0; k < peaks.size() && k < 10; ++k) {
        const Candidate c = refine(r.periods[peaks[k]]);
        if (stopped()) {
            return stop(r);
        }
        const bool seen = std::any_of(r.candidates.begin(), r.candidates.end(), [&](const Candidate& o) {
            return std::fabs(1 / o.period - 1 / c.period) < 2 * dfFine;
        });
        if (!seen) {
            r.candidates.push_back(c);
        }
    }
    std::stable_sort(r.candidates.begin(), r.candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.power > b.power; });
    if (r.candidates.size() > 5) {
        r.candidates.resize(5);
    }
    if (r.candidates.empty()) {
        r.why = "the periodogram has no peak";
        return r;
    }
    double period = r.candidates.front().period;
    double factor = 1;
    std::string why = "the strongest peak";
    // A fold whose two halves repeat is twice a period; a fold at twice the period whose halves differ
    // shows the two unequal minima of an eclipsing binary.
    for (int k = 0; k < 3 && period / 2 >= minPeriod && halvesAlike(tt, mm, period) && !depthsDiffer(tt, mm, period);
         ++k) {
        period /= 2;
        factor /= 2;
        why = "half the strongest peak (its fold repeats itself)";
    }
    if ((!halvesAlike(tt, mm, 2 * period) || depthsDiffer(tt, mm, 2 * period)) && 2 * period <= span) {
        period *= 2;
        factor *= 2;
        r.doubled = true;
        why = "twice the strongest peak: folded on it, the two minima differ in depth or shape";
    }
    r.period = factor * r.candidates.front().period;
    // The periodogram's resolution is a fraction of P^2 / T; the times of the minima it covers, fitted
    // by least squares, pin the period far better.
    for (int pass = 0; pass < 2; ++pass) {
        const auto epoch = primaryEpoch(tt, mm, r.period);
        if (!epoch) {
            break;
        }
        const MinimaResult minima = findMinima(tt, mm, r.period, epoch->time);
        const auto e = fitEphemeris(minima.minima);
        if (!e || minima.minima.size() < 3 || !(std::fabs(e->period / r.period - 1) < 1e-3)) {
            break;
        }
        r.period = e->period;
        if (pass == 1) {
            why += ", refined by least squares on the times of " + std::to_string(minima.minima.size()) + " minima";
        }
    }
    if (!r.leftOut.empty()) {
        why += "; left out " + std::to_string(r.leftOut.size()) + (r.leftOut.size() == 1 ? " time" : " times") +
               " far outside the rest of the series (" + platform::GeneralNumber(r.leftOut.front()) +
               (r.leftOut.size() > 1 ? ", ..." : "") + ": a mistyped time?)";
    }
    r.why = why;
    return r;
}

} // namespace corvane::timing
