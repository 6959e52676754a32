// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Report.h"

#include <algorithm>

#include "platform/NumberFormat.h"

#include <cmath>

namespace corvane::timing {

using platform::GeneralNumber;

TimingReport analyseTiming(std::span<const double> t, std::span<const double> m, const TimingRequest& request) {
    TimingReport r;
    r.period = request.period;
    std::vector<double> keptT, keptM;
    if (!(r.period > 0) || !std::isfinite(r.period)) {
        r.search = searchPeriod(t, m, request.minPeriod, request.maxPeriod, request.method, request.cancel);
        r.searched = true;
        if (!r.search.ok()) {
            r.problem = r.search.cancelled ? "cancelled" : "no period: " + r.search.why;
            return r;
        }
        r.period = r.search.period;
        if (!r.search.leftOut.empty()) {
            // The times the search left out are left out of the timing too.
            for (std::size_t i = 0; i < t.size() && i < m.size(); ++i) {
                if (std::find(r.search.leftOut.begin(), r.search.leftOut.end(), t[i]) == r.search.leftOut.end()) {
                    keptT.push_back(t[i]);
                    keptM.push_back(m[i]);
                }
            }
            t = keptT;
            m = keptM;
        }
    }
    if (request.epoch) {
        r.epoch = *request.epoch;
    } else {
        const auto e = primaryEpoch(t, m, r.period);
        if (!e) {
            r.problem = "no primary minimum is covered well enough to time the epoch";
            return r;
        }
        r.epoch = e->time;
    }
    r.minima = findMinima(t, m, r.period, r.epoch);
    r.ephemeris = fitEphemeris(r.minima.minima, request.quadratic);
    if (r.ephemeris && r.ephemeris->hasSecondaryShift) {
        Ephemeris& e = *r.ephemeris;
        e.primaryWidth = eclipseWidth(t, m, e.period, e.t0, 0, 0.1);
        e.secondaryWidth = eclipseWidth(t, m, e.period, e.t0, 0.5 + e.secondaryShift / e.period, 0.1);
    }
    return r;
}

std::string timeText(double days) { return GeneralNumber(std::round(days * 1e6) / 1e6); }

std::string periodText(double days) {
    if (!(days != 0) || !std::isfinite(days)) {
        return GeneralNumber(days);
    }
    const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(days))) - 9);
    return GeneralNumber(std::round(days / unit) * unit);
}

std::string errorText(double value) {
    if (!(value != 0) || !std::isfinite(value)) {
        return GeneralNumber(value);
    }
    const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(value))) - 2);
    return GeneralNumber(std::round(value / unit) * unit);
}

std::string minimaCsv(const MinimaResult& r) {
    std::string out = "time,error,type,cycle,o_c\n";
    for (const Minimum& mi : r.minima) {
        out += timeText(mi.at.time) + ',' + errorText(mi.at.error) + ',' + (mi.primary ? "primary" : "secondary") +
               ',' + GeneralNumber(mi.cycle) + ',' + GeneralNumber(std::round(mi.oMinusC * 1e7) / 1e7) + '\n';
    }
    return out;
}

std::string ephemerisText(const Ephemeris& e) {
    std::string out = "Ephemeris: T0 = " + timeText(e.t0) + " +- " + errorText(e.t0Error) + ", P = " +
                      periodText(e.period) + " +- " + errorText(e.periodError);
    if (e.hasQuadratic) {
        out += ", Q = " + errorText(e.quadratic) + " +- " + errorText(e.quadraticError) + " (dP/dE = 2Q)";
    }
    return out;
}

std::string secondaryShiftText(const Ephemeris& e) {
    if (!e.hasSecondaryShift) {
        return "";
    }
    std::string text = "Secondary minima: " + errorText(e.secondaryShift) + " +- " + errorText(e.secondaryShiftError) +
                       " d after phase 0.5 (e cos(omega) ~ " +
                       errorText(3.14159265358979 * e.secondaryShift / (2 * e.period)) + ")";
    if (e.primaryWidth > 0 && e.secondaryWidth > 0) {
        // Each eclipse lasts as long as the separation it happens at: their ratio gives e sin(omega).
        text += "; eclipse widths at a tenth of their depth " + GeneralNumber(std::round(e.primaryWidth * 1e5) / 1e5) + " and " +
                GeneralNumber(std::round(e.secondaryWidth * 1e5) / 1e5) + " d (e sin(omega) ~ " +
                GeneralNumber(std::round((e.secondaryWidth - e.primaryWidth) / (e.secondaryWidth + e.primaryWidth) * 1e4) /
                              1e4) +
                ")";
    }
    return text;
}

} // namespace corvane::timing
