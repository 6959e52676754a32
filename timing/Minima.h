// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

// Times of minimum of an eclipsing binary and its ephemeris (times in days, values in magnitudes:
// larger is fainter).

namespace corvane::timing {

struct MinimumTime {
    double time = 0, error = 0; // days
    int points = 0;             // points used
};

// Kwee and van Woerden (1956): the series near `guess` (within +-halfWidth) is reflected about
// trial times T; S(T), the mean square difference between each point and the curve (interpolated
// between the points) at its mirror time 2T - t, is least at the time of minimum. S is sampled about
// its least value and fitted by the parabola A T^2 + B T + C; T0 = -B / 2A and
//   sigma^2 = (4 A C - B^2) / (4 A^2 (Z - 1)),  Z = N / 4
// (N points used). Nothing when either branch has fewer than `minBranch` points.
std::optional<MinimumTime> kweeVanWoerden(std::span<const double> t, std::span<const double> m, double guess,
                                          double halfWidth, int minBranch = 5);

// The same minimum timed by a least-squares fit of a symmetric polynomial,
//   m(t) = a0 + a2 (t - T)^2 + a4 (t - T)^4,
// T found by golden-section search, its error from the curvature of the residual sum of squares,
// sigma_T^2 = 2 s^2 / RSS''(T), s^2 = RSS / (N - 4).
std::optional<MinimumTime> symmetricPolynomial(std::span<const double> t, std::span<const double> m, double guess,
                                               double halfWidth, int minBranch = 5);

struct Minimum {
    MinimumTime at;
    bool primary = true;
    double cycle = 0; // E: integer for primaries, half-integer for secondaries
    double oMinusC = 0; // days, against the ephemeris used to find it
};

struct MinimaResult {
    std::vector<Minimum> minima;
    int skipped = 0; // eclipses in the data with a branch missing
};

// The half-width (days) of the window a minimum is timed in: twice the half-width at half depth of
// the primary eclipse of the series folded on P (primary minimum at epoch), between P/100 and P/8
// (a detached pair's narrow eclipses, a contact pair's wide minima); P/20 when the fold shows none.
double eclipseHalfWidth(std::span<const double> t, std::span<const double> m, double period, double epoch);

// Every eclipse the series covers, primary at T0 + E P and secondary at T0 + (E + 1/2) P, timed by
// Kwee and van Woerden within +-halfWidth (days; 0: eclipseHalfWidth); those with a branch of fewer
// than 5 points are skipped and counted. Where the fold's deepest point between the primaries lies
// more than halfWidth from phase 0.5 (an eccentric orbit), the secondaries are sought there; their
// O - C stays against T0 + (E + 1/2) P.
MinimaResult findMinima(std::span<const double> t, std::span<const double> m, double period, double epoch,
                        double halfWidth = 0);

// The full width (days) of the eclipse centred at centrePhase of the series folded on P with the
// epoch, where it is depthFraction of its depth below the bright level: the fold within 0.15 of the
// centre in 300 bins, the bright level the median of the outer fifth of them, each crossing
// interpolated between the bins either side of it; 0 when the fold holds no eclipse there. Near
// the contacts (a tenth of the depth) a transit and an occultation of the same pair last alike; at
// half depth their shapes differ.
double eclipseWidth(std::span<const double> t, std::span<const double> m, double period, double epoch,
                      double centrePhase, double depthFraction = 0.5);

// The deepest minimum of the series folded on P, timed, moved to the cycle nearest the middle of
// the data (the epoch of primary minimum); nothing when no covered minimum can be timed.
std::optional<MinimumTime> primaryEpoch(std::span<const double> t, std::span<const double> m, double period);

struct Ephemeris {
    double t0 = 0, t0Error = 0, period = 0, periodError = 0;
    double quadratic = 0, quadraticError = 0; // Q of T = T0 + P E + Q E^2 (dP/dE = 2Q)
    bool hasQuadratic = false;
    // How much later than phase 0.5 the secondaries fall (days; e cos(omega) ~ pi D / 2P for a
    // slightly eccentric orbit), fitted when both kinds of minimum are timed.
    double secondaryShift = 0, secondaryShiftError = 0;
    bool hasSecondaryShift = false;
    // Each eclipse's full width at a tenth of its depth (days; 0 when it cannot be measured), from the
    // series folded on this ephemeris: their ratio gives e sin(omega) ~ (w2 - w1) / (w2 + w1).
    double primaryWidth = 0, secondaryWidth = 0;
    double chi2 = 0;
    int dof = 0;
    // The time of minimum E (primary) by this ephemeris.
    double at(double cycle, bool primary = true) const {
        return t0 + period * cycle + quadratic * cycle * cycle + (primary ? 0 : secondaryShift);
    }
};

// The weighted least-squares ephemeris T(E) = T0 + P E (+ Q E^2 when quadratic) (+ D for the
// secondaries, when at least two primaries and one secondary are timed) through the minima,
// weights 1/error^2; errors from the normal matrix, scaled by sqrt(chi2/dof) when that is above 1.
// Nothing for fewer than 2 minima (3 for the quadratic) or a singular system.
std::optional<Ephemeris> fitEphemeris(const std::vector<Minimum>& minima, bool quadratic = false);

} // namespace corvane::timing
