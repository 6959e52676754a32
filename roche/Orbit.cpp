// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "roche/Orbit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace corvane::roche {
namespace {

constexpr double TwoPi = 2 * std::numbers::pi;

double reduce(double a) {
    double r = std::fmod(a, TwoPi);
    if (r < 0) {
        r += TwoPi;
    }
    return r >= TwoPi ? 0.0 : r;
}

// Golden-section refinement of a smooth one-dimensional minimum bracketed by [a, b]; the tolerance is
// in the argument (the function is quadratic at its minimum, so its value settles long before).
template <class F>
double goldenMinimum(F&& f, double a, double b, double tol) {
    const double g = (std::sqrt(5.0) - 1) / 2;
    double c = b - g * (b - a), d = a + g * (b - a);
    double fc = f(c), fd = f(d);
    while (b - a > tol) {
        if (fc < fd) {
            b = d;
            d = c;
            fd = fc;
            c = b - g * (b - a);
            fc = f(c);
        } else {
            a = c;
            c = d;
            fc = fd;
            d = a + g * (b - a);
            fd = f(d);
        }
    }
    return (a + b) / 2;
}

} // namespace

double eccentricAnomaly(double M, double e) {
    if (!std::isfinite(M) || !(e >= 0 && e < 1)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (e == 0) {
        return M;
    }
    // Work on the reduced anomaly m in [-pi, pi), where E lies in [m - e, m + e] and f is increasing.
    const double turns = std::floor((M + std::numbers::pi) / TwoPi);
    const double m = M - turns * TwoPi;
    const double base = turns * TwoPi;
    auto f = [&](double E) { return E - e * std::sin(E) - m; };
    double lo = m - e, hi = m + e;
    // Danby's start, m + 0.85 e sign(sin m).
    double E = m + 0.85 * e * (std::sin(m) >= 0 ? 1 : -1);
    E = std::clamp(E, lo, hi);
    for (int pass = 0; pass < 100; ++pass) {
        const double fe = f(E);
        if (fe > 0) {
            hi = E;
        } else {
            lo = E;
        }
        if (std::abs(fe) <= 1e-15) {
            break;
        }
        const double fp = 1 - e * std::cos(E);
        double next = E - fe / fp;
        if (!(next > lo && next < hi)) {
            next = (lo + hi) / 2; // Newton left the bracket: bisect
        }
        if (next == E || hi - lo < 1e-16) {
            break;
        }
        E = next;
    }
    return base + E;
}

Orbit::Orbit(double e, double omega, double iota, double apsidal)
    : e_(std::isfinite(e) ? std::clamp(e, 0.0, MaxEccentricity) : 0.0),
      omega_(std::isfinite(omega) ? omega : 0.0),
      sinI_(std::isfinite(iota) ? std::sin(iota) : 1.0),
      apsidal_(std::isfinite(apsidal) ? apsidal : 0.0) {
    m0_ = meanAnomalyAtPrimary(omega_);
}

double Orbit::omega(double phase) const {
    return apsidal_ == 0 ? omega_ : omega_ + apsidal_ * std::floor(phase);
}

namespace {

// The mean anomaly at which the projected separation is least with theta in (from, from + pi).
double leastSeparation(double e, double omega, double sinI, double from) {
    const double s2 = sinI * sinI;
    auto sky = [&](double theta) {
        const double nu = theta - omega;
        const double delta = (1 - e * e) / (1 + e * std::cos(nu));
        const double st = std::sin(theta);
        return delta * delta * (1 - s2 * st * st);
    };
    // The minimum lies near conjunction (from + pi/2); a coarse scan finds its basin, the golden
    // section refines it.
    constexpr int Scan = 64;
    double best = from + std::numbers::pi / 2, bestValue = sky(best);
    for (int k = 1; k < Scan; ++k) {
        const double t = from + std::numbers::pi * k / Scan;
        if (const double v = sky(t); v < bestValue) {
            best = t;
            bestValue = v;
        }
    }
    // Refined as the root of d(s^2)/d theta / delta^2 =
    //   2 e sin(nu) delta / (1 - e^2) (1 - sin^2 i sin^2 theta) - sin^2 i sin(2 theta),
    // which bisection pins to the last bit, where the flat minimum of s^2 itself only settles to the
    // square root of the rounding.
    auto slope = [&](double theta) {
        const double nu = theta - omega;
        const double delta = (1 - e * e) / (1 + e * std::cos(nu));
        const double st = std::sin(theta);
        return 2 * e * std::sin(nu) * delta / (1 - e * e) * (1 - s2 * st * st) - s2 * std::sin(2 * theta);
    };
    const double h = std::numbers::pi / Scan;
    double lo = best - h, hi = best + h;
    double theta = best;
    if (slope(lo) < 0 && slope(hi) > 0) {
        for (int pass = 0; pass < 200 && hi - lo > 0; ++pass) {
            const double mid = (lo + hi) / 2;
            if (mid == lo || mid == hi) {
                break;
            }
            (slope(mid) > 0 ? hi : lo) = mid;
        }
        theta = (lo + hi) / 2;
    } else {
        theta = goldenMinimum(sky, lo, hi, 1e-12); // a minimum at the end of the scan's half turn
    }
    const double nu = theta - omega;
    // E from nu, then M = E - e sin E.
    const double E = 2 * std::atan2(std::sqrt(1 - e) * std::sin(nu / 2), std::sqrt(1 + e) * std::cos(nu / 2));
    return E - e * std::sin(E);
}

} // namespace

double Orbit::meanAnomalyAtPrimary(double omega) const {
    if (e_ == 0) {
        // The least separation of a circular orbit is at conjunction, theta = pi / 2, for every i.
        return std::numbers::pi / 2 - omega;
    }
    return leastSeparation(e_, omega, sinI_, 0.0);
}

OrbitPosition Orbit::at(double phase) const {
    const double w = omega(phase);
    const double m0 = apsidal_ == 0 ? m0_ : meanAnomalyAtPrimary(w);
    OrbitPosition p;
    const double M = m0 + TwoPi * phase;
    p.meanAnomaly = reduce(M);
    if (e_ == 0) {
        p.trueAnomaly = p.meanAnomaly;
        p.theta = M + w;
        p.separation = 1;
        return p;
    }
    const double E = eccentricAnomaly(M, e_);
    const double nu = 2 * std::atan2(std::sqrt(1 + e_) * std::sin(E / 2), std::sqrt(1 - e_) * std::cos(E / 2));
    p.trueAnomaly = reduce(nu);
    // theta follows the phase continuously (the same turn as M), as the circular rotation angle does.
    p.theta = nu + w + TwoPi * std::round((E - nu) / TwoPi);
    p.separation = 1 - e_ * std::cos(E);
    return p;
}

double Orbit::secondaryPhase() const {
    const double m2 = e_ == 0 ? 3 * std::numbers::pi / 2 - omega_ : leastSeparation(e_, omega_, sinI_, std::numbers::pi);
    return reduce(m2 - m0_) / TwoPi;
}

double Orbit::periastronPhase() const { return reduce(-m0_) / TwoPi; }

double retardedPhase(const Orbit& orbit, const OrbitSettings& o, double phase, double iota, double q) {
    if (!(o.lightTime > 0)) {
        return phase;
    }
    // tau is of order a / c P, some 1e-5 of a cycle: one correction leaves an error of its square.
    const OrbitPosition p = orbit.at(phase);
    const double tau = -o.lightTime * p.separation * std::sin(p.theta) * std::sin(iota) * (1 - q) / (1 + q);
    return phase - tau;
}

EccentricityEstimate estimateEccentricity(double phase2, double width1, double width2, double iota) {
    EccentricityEstimate out;
    const double s = std::sin(iota);
    if (std::isfinite(phase2) && s != 0) {
        out.eCosOmega = std::numbers::pi * (phase2 - 0.5) / (1 + 1 / (s * s));
    }
    if (std::isfinite(width1) && std::isfinite(width2) && width1 + width2 > 0) {
        out.eSinOmega = (width2 - width1) / (width2 + width1);
    }
    return out;
}

} // namespace corvane::roche
