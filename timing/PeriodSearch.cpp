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
                          Method method) {
    PeriodSearch r;
    const std::size_t n = std::min(t.size(), m.size());
    if (n < 20) {
        r.why = "too few points for a period search (" + std::to_string(n) + "; at least 20)";
        return r;
    }
    std::vector<double> order(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(n));
    std::sort(order.begin(), order.end());
    const double span = order.back() - order.front();
    std::vector<double> steps;
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (order[i] > order[i - 1]) {
            steps.push_back(order[i] - order[i - 1]);
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
    const auto tt = t.subspan(0, n);
    const auto mm = m.subspan(0, n);
    auto statistic = [&](double period) {
        return method == Method::Dispersion ? 1 - phaseDispersion(tt, mm, period) : lombScargle(tt, mm, 1 / period);
    };
    const double df = 1 / (5 * span);
    for (double f = 1 / maxPeriod; f <= 1 / minPeriod; f += df) {
        r.periods.push_back(1 / f);
        r.power.push_back(statistic(1 / f));
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
    auto refine = [&](double period) {
        const double dp = period * period * df;
        const double best = goldenMinimum([&](double p) { return -statistic(p); }, period - dp, period + dp);
        return Candidate{best, statistic(best)};
    };
    for (std::size_t k = 0; k < peaks.size() && r.candidates.size() < 5; ++k) {
        r.candidates.push_back(refine(r.periods[peaks[k]]));
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
    for (int k = 0; k < 3 && period / 2 >= minPeriod && halvesAlike(tt, mm, period); ++k) {
        period /= 2;
        factor /= 2;
        why = "half the strongest peak (its fold repeats itself)";
    }
    if (!halvesAlike(tt, mm, 2 * period) && 2 * period <= span) {
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
        const MinimaResult minima = findMinima(tt, mm, r.period, epoch->time, r.period / 20);
        const auto e = fitEphemeris(minima.minima);
        if (!e || minima.minima.size() < 3 || !(std::fabs(e->period / r.period - 1) < 1e-3)) {
            break;
        }
        r.period = e->period;
        if (pass == 1) {
            why += ", refined by least squares on the times of " + std::to_string(minima.minima.size()) + " minima";
        }
    }
    r.why = why;
    return r;
}

} // namespace corvane::timing
